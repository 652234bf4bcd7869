#include "app/startup.h"

#include <QApplication>
#include <QWidget>

int RunProgram(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget w;
  w.show();
  app.exec();
  return 0;
}
