#include "recording/capture_input.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <memory>

#include "app/app_state.h"
#include "recording/audio_library.h"
#include "recording/temp_recording.h"

namespace {
std::function<void()>& FullHandler() {
  static std::function<void()> handler;
  return handler;
}
}  // namespace

void SetRecordingFullHandler(std::function<void()> handler) { FullHandler() = std::move(handler); }

void ListCaptureDevices(QComboBox& cmbInput) {
  AppState& s = State();
  for (std::uint32_t i = 0;; ++i) {
    BASS_WASAPI_DEVICEINFO info;
    if (!BASS_WASAPI_GetDeviceInfo(i, &info)) break;
    if (!(info.flags & BASS_DEVICE_INPUT) || !(info.flags & BASS_DEVICE_ENABLED)) continue;
    {
      // The first item added would otherwise become the current one.
      const QSignalBlocker quiet(cmbInput);
      cmbInput.addItem(QString::fromStdString(info.name), static_cast<int>(i));
      cmbInput.setCurrentIndex(-1);
    }
    if (info.flags & BASS_DEVICE_DEFAULT) {
      s.InputDevice = static_cast<int>(i);
      s.DeviceListFilling = true;
      DeviceChosen(cmbInput);
    }
  }
  s.DeviceListFilling = false;
}

void DeviceChosen(QComboBox& cmbInput) {
  AppState& s = State();
  if (!s.DeviceListFilling) {
    // Free only our own capture device: when it cannot be selected (never
    // opened, or it failed to open) the current device is another one, e.g.
    // the output device, which must stay.
    if (BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.InputDevice))) {
      // During a recording the old device's last audio stays in it.
      if (s.RecordMixer != 0 && BASS_WASAPI_Stop(0)) FinishInputStream();
      BASS_WASAPI_Free();
    }
    BASS_StreamFree(s.InputStream);
    s.InputStream = 0;
    const QVariant value = cmbInput.currentData();
    s.InputDevice = value.isValid() ? value.toInt() : -1;
  }
  OpenInputDevice();
}

void OpenInputDevice() {
  AppState& s = State();
  if (!BASS_WASAPI_Init(s.InputDevice, 0, 0, 0, 1.0f, 0.1f, &InputCallback, nullptr)) return;
  BASS_WASAPI_INFO info{};
  BASS_WASAPI_GetInfo(&info);
  s.InputStream = BASS_StreamCreate(info.freq, info.chans, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
  if (s.RecordMixer != 0) {
    BASS_Mixer_StreamAddChannel(s.RecordMixer, s.InputStream, 0);
    BASS_WASAPI_Start();
  }
}

bool PullRecordMixer() {
  AppState& s = State();
  // One pull buffer per thread, made on its first call: its content never
  // matters beyond the n bytes each pull fills.
  thread_local std::unique_ptr<std::uint8_t[]> pull(new std::uint8_t[kPullBytes]());
  for (;;) {
    const std::int32_t n = BASS_ChannelGetData(s.RecordMixer, pull.get(), kPullBytes);
    if (n <= 0) return true;
    if (!s.RecordBuffer.Append(pull.get(), static_cast<std::size_t>(n))) return false;
    AppendTempRecording(pull.get(), static_cast<std::size_t>(n));
  }
}

void FinishInputStream() {
  AppState& s = State();
  if (s.InputStream == 0) return;
  BASS_StreamPutData(s.InputStream, nullptr, BASS_STREAMPROC_END);
  PullRecordMixer();
}

// Capture thread. Drains RecordMixer completely on every call, so no converted
// audio waits in the mixer between calls.
std::int32_t InputCallback(void* buffer, std::uint32_t length, void*) {
  AppState& s = State();
  if (s.RecordBuffer.Full()) return 0;
  BASS_StreamPutData(s.InputStream, buffer, length);
  if (!PullRecordMixer()) {
    if (const auto& handler = FullHandler()) handler();
    return 0;
  }
  return 1;
}
