#include "recording/input_level.h"

#include "app/app_state.h"
#include "app/main_window.h"

float InputLevelFor(int position) { return static_cast<float>(position / 100.0); }

void ApplyInputLevel() {
  AppState& s = State();
  if (!s.mainWindow) return;
  const float level = InputLevelFor(s.mainWindow->sldInputLevel->value());
  if (s.InputDevice < 0) return;
  if (BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(s.InputDevice)) == 1)
    BASS_WASAPI_SetVolume(BASS_WASAPI_CURVE_WINDOWS, level);
}
