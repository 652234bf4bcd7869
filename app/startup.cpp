#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/window_lifecycle.h"

namespace {

// The executable's folder, unless it cannot be written or belongs to the
// system (an installed program): then the per-user data folder.
std::string ChooseProgramFolder() {
  const QString exeDir = QCoreApplication::applicationDirPath();
  const QFileInfo info(exeDir);
  const bool systemFolder = exeDir.startsWith("/usr/") || exeDir.startsWith("/opt/") || exeDir == "/bin" ||
                            exeDir == "/sbin" || exeDir.startsWith("/snap/");
  if (info.isDir() && info.isWritable() && !systemFolder) return exeDir.toStdString();
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QDir().mkpath(data);
  return data.toStdString();
}

// Releases the program-wide objects and texts, in this order, once the
// message loop has ended.
void CleanUp() {
  AppState& s = State();
  s.StorageFolder.clear();
  s.WaveHeader = WaveHeaderRecord{};
  s.TempRecordingPath.clear();
  s.TempRecordingCreatedPath.clear();
  s.BrowseStartFolder.clear();
}

// A desktop session that ends sends SIGTERM (and SIGHUP, SIGINT from a
// terminal): treat them as a close request through the close query, so a
// normal end is recorded. The handler only writes a byte to a socket.
int signalSocket[2] = {-1, -1};

void OnTerminateSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalSocket[0], &byte, 1);
}

void RouteTerminateSignals(QWidget& window) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSocket) != 0) return;
  auto* notifier = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char byte;
    [[maybe_unused]] const ssize_t n = ::read(signalSocket[1], &byte, 1);
    window.close();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminateSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

}  // namespace

int RunProgram(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("tavrin");
  QApplication::setOrganizationName("tavrin");
  // The window may be hidden in the tray while a message box closes; only the
  // destroy sequence ends the run.
  QApplication::setQuitOnLastWindowClosed(false);
  SetProgramFolder(ChooseProgramFolder());

  State().WaveHeader = WaveHeaderRecord{};

  {
    MainWindow window;
    State().mainWindow = &window;
    QObject::connect(&window, &MainWindow::aboutToBeDestroyed, &app, [&window] {
      WindowDestroying(window);
      QCoreApplication::quit();
    });
    RouteTerminateSignals(window);
    window.show();
    WindowCreated(window);
    app.exec();
    State().mainWindow = nullptr;
  }
  CleanUp();
  return 0;
}
