#include "tray/tray_event_handler.h"

#include <QWidget>

#include "tray/tray_icon.h"

void TrayEventHandler(int code, QWidget* window) {
  if (code != kTrayLeftButtonDown || !window) return;
  window->show();
  window->setWindowState(Qt::WindowNoState);
}
