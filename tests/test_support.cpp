#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
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
