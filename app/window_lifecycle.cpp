#include "app/window_lifecycle.h"

#include "app/app_state.h"
#include "app/main_window.h"
#include "library/recordings_list.h"
#include "playback/playback.h"
#include "recording/capture_input.h"
#include "recording/record_button.h"
#include "settings/config_file.h"
#include "settings/unexpected_close.h"
#include "tray/tray_event_handler.h"
#include "tray/tray_icon.h"
#include "util/program_texts.h"
#include "util/shell.h"
#include "util/unscramble_text.h"

namespace {

std::string Caption() { return UnscrambleText(StoredCaptionText(), KeyText()); }

// With no default-flagged capture device, the first enabled one serves, so
// a machine whose server names no default still records.
void OpenFirstCaptureDeviceIfNoDefault(MainWindow& window) {
  AppState& s = State();
  if (s.InputDevice != -1 || window.cmbInput->count() == 0) return;
  s.InputDevice = window.cmbInput->itemData(0).toInt();
  s.DeviceListFilling = true;
  DeviceChosen(*window.cmbInput);
  s.DeviceListFilling = false;
}

void OpenOutputDevice() {
  AppState& s = State();
  if (BASS_WASAPI_Init(-1, 0, 0, 0, 0.4f, 0.05f, &OutputCallback, nullptr) == 1) {
    s.OutputDevice = BASS_WASAPI_GetDevice();
    BASS_WASAPI_INFO info{};
    BASS_WASAPI_GetInfo(&info);
    s.OutputMixer = BASS_Mixer_StreamCreate(info.freq, info.chans,
                                            BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE | BASS_MIXER_END | BASS_MIXER_POSEX);
  }
}

void HandleTrayEvent(MainWindow& window, int code) {
  if (code == kTrayHostCreated && State().trayIcon) {
    // A restarted tray host has forgotten the icon: add it again.
    State().trayIcon->Add(&window, State().trayIcon->Tip());
    return;
  }
  TrayEventHandler(code, &window);
}

}  // namespace

void WindowCreated(MainWindow& window) {
  AppState& s = State();
  window.高级选择夹1->setCurrentIndex(0);                       // 1
  BASS_SetConfig(BASS_CONFIG_UPDATETHREADS, 0);                // 2
  BASS_Init(0, 44100, 0, nullptr, nullptr);                    // 3
  s.OutputDevice = -1;                                         // 4
  s.InputDevice = -1;
  ListCaptureDevices(*window.cmbInput);                        // 5
  OpenFirstCaptureDeviceIfNoDefault(window);                   // 6: only the capture device is left out
  OpenOutputDevice();                                          // 7
  BASS_Init(-1, 44100, BASS_DEVICE_3D, &window, nullptr);      // 8
  s.RecordBuffer.Free();                                       // 9
  s.RecordBuffer.RecordStep = 200000;
  s.StorageFolder = NormaliseReadStorageFolder(ReadSetting(kConfigSection, kKeyStorageFolder));  // 10
  if (s.StorageFolder.empty()) s.StorageFolder = DefaultStorageFolder();
  window.编辑框1->setText(QString::fromStdString(s.StorageFolder));
  EnsureDefaultStorageFolder();                                // 11
  window.RecordingsList().clear();                             // 12
  const std::string quality = ReadSetting(kConfigSection, kKeyDefaultQuality);  // 13
  const std::string device = ReadSetting(kConfigSection, kKeyDefaultDevice);
  SelectComboIndex(*window.cmbInput, SettingToInt(device));    // 14
  if (quality.empty()) {                                       // 15
    window.cmbRate->setCurrentIndex(4);
  } else {
    SelectComboIndex(*window.cmbRate, SettingToInt(quality));
  }
  CheckUnexpectedClose();                                      // 16
  WriteSetting(kConfigSection, kKeyCloseCheck, kCloseCheckRunning);  // 17
  window.statusText->setText(QString::fromStdString(UnscrambleText(StoredStatusText(), KeyText())));  // 18
  window.setWindowTitle(QString::fromStdString(Caption()));   // 19
  if (s.trayIcon) {
    s.trayIcon->Add(&window, Caption());                       // 20
    s.trayIcon->HookWindow([&window](int code) { HandleTrayEvent(window, code); });  // 21
    window.canHideToTray = [] { return State().trayIcon && State().trayIcon->IsShown(); };
  }
  FillRecordingsList();                                        // 22
  MeasureRecordingsList();
  InstallRecordingFullHandler();
}

void WindowDestroying(MainWindow&) {
  AppState& s = State();
  if (s.trayIcon) s.trayIcon->Remove();
  WriteSetting(kConfigSection, kKeyCloseCheck, kCloseCheckNormal);
  // Devices first, so no callback can run while the streams go.
  if (s.InputDevice != -1 && BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.InputDevice))) BASS_WASAPI_Free();
  if (s.OutputDevice != -1 && BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.OutputDevice))) BASS_WASAPI_Free();
  BASS_StreamFree(s.RecordMixer);
  BASS_StreamFree(s.InputStream);
  s.InputStream = 0;
  s.RecordMixer = 0;
  BASS_Free();
  s.OutputMixer = 0;
  s.PlaybackStream = 0;
}

void StatusBarDoubleClicked() {
  const std::string address = UnscrambleText(StoredAddressText(), KeyText());
  if (!address.empty()) ShellOpen(AddressUrl(address));
}
