#include "program_window.h"

#include "app/app_state.h"
#include "app/common_dialog.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_lifecycle.h"
#include "recording/audio_library.h"
#include "recording/capture_input.h"
#include "settings/settings_tab.h"
#include "util/shell.h"

namespace test {

std::unique_ptr<MainWindow> OpenProgramWindow() {
  CreateProgramObjects();
  auto window = std::make_unique<MainWindow>();
  State().mainWindow = window.get();
  window->show();
  WindowCreated(*window);
  return window;
}

void CloseProgramWindow(std::unique_ptr<MainWindow>& window) {
  if (!window) return;
  AppState& s = State();
  if (s.RecordMixer != 0 && BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.InputDevice))) BASS_WASAPI_Stop(1);
  WindowDestroying(*window);
  s.mainWindow = nullptr;
  window.reset();
}

void ResetProgramState() {
  CleanUp();
  AppState& s = State();
  s.TempRecording.Close(false);
  s.TempRecording.Forget();
  s.RecordBuffer.Free();
  s.RecordBuffer.RecordStep = 0;
  s.RecordBuffer.SetLimitForTesting(kMaxImageBytes);
  s.InputDevice = -1;
  s.DeviceListFilling = false;
  s.InputStream = s.RecordMixer = 0;
  s.ElapsedHours = s.ElapsedMinutes = s.ElapsedSeconds = 0;
  s.OutputDevice = -1;
  s.OutputMixer = s.PlaybackStream = 0;
  SetRecordingFullHandler(nullptr);
  CommonDialog::TestAnswer() = nullptr;
  TestFolderBrowser() = nullptr;
  TestShellHooks() = {};
  AudioLibrary_UseBackend(nullptr);
}

}  // namespace test
