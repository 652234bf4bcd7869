#include "app/window_lifecycle.h"

#include "app/app_state.h"
#include "app/main_window.h"
#include "settings/config_file.h"

void WindowCreated(MainWindow& window) {
  window.高级选择夹1->setCurrentIndex(0);
}

void WindowDestroying(MainWindow&) {
  WriteSetting(kConfigSection, kKeyCloseCheck, kCloseCheckNormal);
}

void StatusBarDoubleClicked() {}
