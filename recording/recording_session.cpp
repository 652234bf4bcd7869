#include "recording/recording_session.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "app/app_state.h"
#include "recording/audio_library.h"
#include "recording/capture_input.h"
#include "recording/temp_recording.h"
#include "recording/wave_image.h"

bool StartRecording(int rate) {
  AppState& s = State();
  const std::uint32_t r = rate > 0 ? static_cast<std::uint32_t>(rate) : 0;
  if (!PrepareRecordImage(r)) return false;  // no memory for the first block: nothing else made yet

  s.RecordMixer = r != 0 ? BASS_Mixer_StreamCreate(r, 2, BASS_STREAM_DECODE) : 0;
  if (s.RecordMixer == 0) {
    // No mixer (e.g. rate 0 from an empty rate text): a device started now
    // would record nothing, so the start is abandoned before the mirror file
    // of the last recording is replaced.
    s.RecordBuffer.Free();
    return false;
  }
  BASS_Mixer_StreamAddChannel(s.RecordMixer, s.InputStream, 0);

  CreateTempRecording();
  AppendTempRecording(s.RecordBuffer.Bytes(), static_cast<std::size_t>(s.RecordBuffer.RecordUsed()));

  // Start only our capture device: when it cannot be selected, Start would act
  // on whatever device is current on this thread.
  const bool started =
      BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.InputDevice)) != 0 && BASS_WASAPI_Start() != 0;
  if (!started) {
    BASS_StreamFree(s.RecordMixer);
    s.RecordMixer = 0;
    s.RecordBuffer.Free();
    DiscardTempRecording();
    return false;
  }
  return true;
}

void StopRecording() {
  AppState& s = State();
  // Stop(0): what the device captured before the press still reaches the
  // image. After Stop returns no capture callback runs, so the image,
  // RecordUsed and the file are the window thread's again.
  if (BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.InputDevice))) BASS_WASAPI_Stop(0);
  // The rate converter holds back its last milliseconds until told the input
  // has ended.
  FinishInputStream();
  BASS_StreamFree(s.RecordMixer);
  s.RecordMixer = 0;

  const std::int32_t used = s.RecordBuffer.RecordUsed();
  if (used < kWaveHeaderBytes) {
    CloseTempRecording();
    return;
  }
  const auto riffSize = static_cast<std::uint32_t>(used - 8);
  const auto dataSize = static_cast<std::uint32_t>(used - kWaveHeaderBytes);
  s.WaveHeader.riffSize = riffSize;
  s.WaveHeader.dataSize = dataSize;
  std::uint8_t le[4];
  PutLE32(le, riffSize);
  PatchTempRecording(4, le, 4);
  PutLE32(le, dataSize);
  PatchTempRecording(40, le, 4);
  CloseTempRecording();
  s.RecordBuffer.PatchSizes(riffSize, dataSize);

  if (s.RecordBuffer.Bytes() != nullptr) {
    s.PlaybackStream = BASS_StreamCreateFile(1, s.RecordBuffer.Bytes(), 0, static_cast<QWORD64>(used),
                                             BASS_UNICODE | BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    if (s.PlaybackStream != 0 && s.OutputMixer != 0) BASS_Mixer_StreamAddChannel(s.OutputMixer, s.PlaybackStream, 0);
  }
}

namespace {
bool WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}
}  // namespace

bool WriteRecordingFile(const std::string& path) {
  AppState& s = State();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok;
  if (s.RecordMixer != 0) {
    // Capture may append (and move the image) meanwhile.
    ok = s.RecordBuffer.ReadSnapshot([fd](const std::uint8_t* p, std::size_t n) { return WriteAll(fd, p, n); });
  } else {
    ok = WriteAll(fd, s.RecordBuffer.Bytes(), static_cast<std::size_t>(s.RecordBuffer.AvailableBytes()));
  }
  if (::close(fd) != 0) ok = false;
  // A cut-off file (a full disk) would pass for a recording in the list.
  if (!ok) ::unlink(path.c_str());
  return ok;
}
