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
#include "playback/audio_player.h"
#include "tray/tray_icon.h"

namespace {

// The executable's folder, unless it cannot be written or the program is
// installed (its data lives in ../share/tavrin): then the per-user data folder.
std::string ChooseProgramFolder() {
  const QString exeDir = QCoreApplication::applicationDirPath();
  const QFileInfo info(exeDir);
  const bool installed = QFileInfo(exeDir + "/../share/tavrin").isDir();
  if (info.isDir() && info.isWritable() && !installed) return exeDir.toStdString();
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QDir().mkpath(data);
  return data.toStdString();
}

// A desktop session that ends sends SIGTERM (and SIGHUP, SIGINT from a
// terminal): treat them as a close request through the close query, so a
// normal end is recorded. The handler only writes a byte to a socket.
int signalSocket[2] = {-1, -1};

void OnTerminateSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalSocket[0], &byte, 1);
}

// Installed first, so an early signal waits in the socket instead of ending
// the process without its destroy sequence.
void CatchTerminateSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSocket) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnTerminateSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
}

// Once start-up has finished: a signal becomes a close request.
void RouteTerminateSignals(QWidget& window) {
  if (signalSocket[1] < 0) return;
  auto* notifier = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char byte;
    [[maybe_unused]] const ssize_t n = ::read(signalSocket[1], &byte, 1);
    window.close();
  });
}

}  // namespace

void CreateProgramObjects() {
  AppState& s = State();
  s.trayIcon = new TrayIcon;
  s.WaveHeader = WaveHeaderRecord{};
  s.audioPlayer = new AudioPlayer;
}

void CleanUp() {
  AppState& s = State();
  delete s.trayIcon;  // its destructor removes the icon once more
  s.trayIcon = nullptr;
  s.StorageFolder.clear();
  s.WaveHeader = WaveHeaderRecord{};
  s.TempRecordingPath.clear();
  s.TempRecordingCreatedPath.clear();
  s.BrowseStartFolder.clear();
  delete s.audioPlayer;
  s.audioPlayer = nullptr;
}

int RunProgram(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("tavrin");
  QApplication::setOrganizationName("tavrin");
  // The window may be hidden in the tray while a message box closes; only the
  // destroy sequence ends the run.
  QApplication::setQuitOnLastWindowClosed(false);
  CatchTerminateSignals();
  SetProgramFolder(ChooseProgramFolder());

  CreateProgramObjects();
  {
    MainWindow window;
    State().mainWindow = &window;
    QObject::connect(&window, &MainWindow::aboutToBeDestroyed, &app, [&window] {
      WindowDestroying(window);
      // Queued: a close at the very end of start-up comes before the loop runs.
      QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    window.SetStartupRunning(true);
    window.show();
    WindowCreated(window);
    RouteTerminateSignals(window);
    window.SetStartupRunning(false);
    app.exec();
    State().mainWindow = nullptr;
  }
  CleanUp();
  return 0;
}
