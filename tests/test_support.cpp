#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <csignal>
#include <cstdlib>

namespace test {

QByteArray ReadAll(const std::filesystem::path& p) {
  QFile f(QString::fromStdString(p.string()));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void WriteAll(const std::filesystem::path& p, const QByteArray& bytes) {
  QFile f(QString::fromStdString(p.string()));
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

std::string Run(const std::string& command, int* exitCode) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    if (exitCode) *exitCode = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int status = pclose(pipe);
  if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

bool PulseRequired() {
  const char* v = std::getenv("TAVRIN_REQUIRE_PULSE");
  return v && std::string(v) == "1";
}

bool PulseAvailable() {
  static const bool ok = [] {
    int code = 0;
    Run("pactl info >/dev/null 2>&1", &code);
    return code == 0;
  }();
  return ok;
}

ProgramProcess::ProgramProcess(const std::string& programFolder, bool realDisplay)
    : folder_(programFolder), realDisplay_(realDisplay), process_(new QProcess) {}

ProgramProcess::~ProgramProcess() {
  auto* p = static_cast<QProcess*>(process_);
  if (p->state() != QProcess::NotRunning) {
    p->kill();
    p->waitForFinished(5000);
  }
  delete p;
}

bool ProgramProcess::Start() {
  const std::filesystem::path exe = std::filesystem::path(folder_) / "tavrin";
  std::filesystem::copy_file(TAVRIN_EXE, exe, std::filesystem::copy_options::overwrite_existing);
  auto* p = static_cast<QProcess*>(process_);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (realDisplay_ && env.contains("TAVRIN_TEST_DISPLAY")) {
    env.insert("DISPLAY", env.value("TAVRIN_TEST_DISPLAY"));
    env.remove("QT_QPA_PLATFORM");
  } else {
    env.insert("QT_QPA_PLATFORM", "offscreen");
  }
  p->setProcessEnvironment(env);
  p->setProcessChannelMode(QProcess::MergedChannels);
  p->start(QString::fromStdString(exe.string()), {});
  return p->waitForStarted(5000);
}

int ProgramProcess::Signal(int sig, int waitMs) {
  auto* p = static_cast<QProcess*>(process_);
  if (p->state() == QProcess::NotRunning) return -1;
  ::kill(static_cast<pid_t>(p->processId()), sig);
  return WaitForEnd(waitMs);
}

int ProgramProcess::WaitForEnd(int waitMs) {
  auto* p = static_cast<QProcess*>(process_);
  if (p->state() != QProcess::NotRunning && !p->waitForFinished(waitMs)) return -1;
  if (p->exitStatus() != QProcess::NormalExit) return -1;
  return p->exitCode();
}

long long ProgramProcess::pid() const { return static_cast<QProcess*>(process_)->processId(); }

bool ProgramProcess::running() const { return static_cast<QProcess*>(process_)->state() == QProcess::Running; }

std::string ProgramProcess::output() const {
  return static_cast<QProcess*>(process_)->readAll().toStdString();
}

bool WaitUntil(const std::function<bool()>& condition, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return true;
}

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<std::string> actions) : actions_(std::move(actions)) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [this] { Poll(); });
  timer->start();
  timer_ = timer;
}

MessageBoxAnswerer::~MessageBoxAnswerer() { delete static_cast<QTimer*>(timer_); }

void MessageBoxAnswerer::Poll() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible() || box->property("answered").toBool()) return;
  box->setProperty("answered", true);
  seen_.push_back({box->windowTitle(), box->text(), static_cast<int>(box->icon())});
  std::string action = seen_.size() <= actions_.size() ? actions_[seen_.size() - 1] : "ok";
  if (action == "close") {
    box->reject();
  } else if (action == "cancel") {
    if (QAbstractButton* b = box->button(QMessageBox::Cancel)) b->click(); else box->reject();
  } else {
    if (QAbstractButton* b = box->button(QMessageBox::Ok)) b->click(); else box->accept();
  }
}

}  // namespace test
