// Device operations of the facade.
// (Placeholder: every operation fails cleanly until the devices land.)
#include "recording/audio_library.h"

#include "audio/error.h"

namespace {
template <typename T>
T Fail(T value) {
  audio::SetError(BASS_ERROR_NOTAVAIL);
  return value;
}
}  // namespace

BOOL32 BASS_WASAPI_GetDeviceInfo(std::uint32_t, BASS_WASAPI_DEVICEINFO*) { return Fail(0); }
BOOL32 BASS_WASAPI_Init(int, std::uint32_t, std::uint32_t, std::uint32_t, float, float, WASAPIPROC, void*) {
  return Fail(0);
}
BOOL32 BASS_WASAPI_Free() { return Fail(0); }
BOOL32 BASS_WASAPI_Start() { return Fail(0); }
BOOL32 BASS_WASAPI_Stop(BOOL32) { return Fail(0); }
BOOL32 BASS_WASAPI_IsStarted() { return Fail(0); }
BOOL32 BASS_WASAPI_SetDevice(std::uint32_t) { return Fail(0); }
int BASS_WASAPI_GetDevice() { return Fail(-1); }
BOOL32 BASS_WASAPI_GetInfo(BASS_WASAPI_INFO*) { return Fail(0); }
BOOL32 BASS_WASAPI_SetVolume(std::uint32_t, float) { return Fail(0); }
float BASS_WASAPI_GetVolume(std::uint32_t) { return Fail(-1.0f); }
std::int32_t BASS_WASAPI_GetData(void*, std::uint32_t) { return Fail(-1); }
void AudioLibrary_UseBackend(std::shared_ptr<audio::DeviceBackend>) {}
