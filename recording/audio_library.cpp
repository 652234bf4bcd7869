// Library set-up, handles, streams and mixers of the facade.
// (Placeholder: every operation fails cleanly until the streams land.)
#include "recording/audio_library.h"

#include "audio/error.h"

namespace {
template <typename T>
T Fail(T value) {
  audio::SetError(BASS_ERROR_NOTAVAIL);
  return value;
}
}  // namespace

BOOL32 BASS_SetConfig(std::uint32_t, std::uint32_t) { return Fail(0); }
BOOL32 BASS_Init(int, std::uint32_t, std::uint32_t, void*, void*) { return Fail(0); }
BOOL32 BASS_Free() { return Fail(0); }
int BASS_ErrorGetCode() { return audio::LastError(); }
HSTREAM BASS_StreamCreate(std::uint32_t, std::uint32_t, std::uint32_t, STREAMPROC, void*) { return Fail(0u); }
std::int32_t BASS_StreamPutData(HSTREAM, const void*, std::uint32_t) { return Fail(-1); }
HSTREAM BASS_StreamCreateFile(BOOL32, const void*, QWORD64, QWORD64, std::uint32_t) { return Fail(0u); }
BOOL32 BASS_StreamFree(HSTREAM) { return Fail(0); }
HSTREAM BASS_Mixer_StreamCreate(std::uint32_t, std::uint32_t, std::uint32_t) { return Fail(0u); }
BOOL32 BASS_Mixer_StreamAddChannel(HSTREAM, HCHANNEL, std::uint32_t) { return Fail(0); }
BOOL32 BASS_Mixer_ChannelSetPosition(HCHANNEL, QWORD64, std::uint32_t) { return Fail(0); }
std::int32_t BASS_ChannelGetData(HCHANNEL, void*, std::uint32_t) { return Fail(-1); }
BOOL32 BASS_ChannelSetPosition(HCHANNEL, QWORD64, std::uint32_t) { return Fail(0); }
QWORD64 BASS_ChannelGetLength(HCHANNEL, std::uint32_t) { return Fail(~QWORD64{0}); }
double BASS_ChannelBytes2Seconds(HCHANNEL, QWORD64) { return Fail(-1.0); }
BOOL32 BASS_ChannelStop(HCHANNEL) { return Fail(0); }
