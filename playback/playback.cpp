#include "playback/playback.h"

#include "app/app_state.h"

namespace {

// Releases the device and sets it up again from the default output device,
// with a new mixer and a new stream over the image.
bool RebuildOutputChain() {
  AppState& s = State();
  BASS_WASAPI_Free();
  if (BASS_WASAPI_Init(-1, 0, 0, 0, 0.4f, 0.05f, &OutputCallback, nullptr) != 1) {
    // The old device is gone: nothing may act on it, or on whichever device
    // happens to be current, again.
    s.OutputDevice = -1;
    BASS_StreamFree(s.OutputMixer);
    s.OutputMixer = 0;
    return false;
  }
  s.OutputDevice = BASS_WASAPI_GetDevice();
  BASS_WASAPI_INFO info{};
  BASS_WASAPI_GetInfo(&info);
  BASS_StreamFree(s.OutputMixer);
  s.OutputMixer =
      BASS_Mixer_StreamCreate(info.freq, info.chans, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE | BASS_MIXER_END | BASS_MIXER_POSEX);
  BASS_StreamFree(s.PlaybackStream);
  s.PlaybackStream = OpenPlaybackStream();
  return true;
}

}  // namespace

std::uint32_t OpenPlaybackStream() {
  AppState& s = State();
  // While a recording runs the image grows and may move: no stream may read it.
  if (s.RecordMixer != 0 || !s.RecordBuffer.Exists()) return 0;
  return BASS_StreamCreateFile(1, s.RecordBuffer.Bytes(), 0, static_cast<QWORD64>(s.RecordBuffer.RecordUsed()),
                               BASS_UNICODE | BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
}

void PlayRecording() {
  AppState& s = State();
  // Without a usable output device there is nothing to play on; never touch
  // another device (the capture device must not start outside a recording).
  if (s.OutputDevice < 0 || BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.OutputDevice)) != 1) return;
  if (BASS_WASAPI_IsStarted()) {
    if (!RebuildOutputChain()) return;
  }
  if (s.PlaybackStream != 0) BASS_Mixer_StreamAddChannel(s.OutputMixer, s.PlaybackStream, 0);
  if (BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.OutputDevice)) != 1) return;
  BASS_WASAPI_Stop(1);
  BASS_Mixer_ChannelSetPosition(s.PlaybackStream, 0, BASS_POS_BYTE);
  BASS_ChannelSetPosition(s.OutputMixer, 0, BASS_POS_BYTE);
  BASS_WASAPI_Start();
}

std::int32_t OutputCallback(void* buffer, std::uint32_t length, void*) {
  const std::int32_t n = BASS_ChannelGetData(State().OutputMixer, buffer, length);
  if (n >= 0) return n;
  std::uint32_t zero = 0;
  if (BASS_WASAPI_GetData(&zero, BASS_DATA_AVAILABLE) == 0) {
    BASS_WASAPI_Stop(0);
    return 0;
  }
  return n;
}
