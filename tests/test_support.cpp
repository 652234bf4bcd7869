#include "test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <numbers>
#include <string_view>

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
  for (const auto& [name, value] : environment_) env.insert(QString::fromStdString(name), QString::fromStdString(value));
  p->setProcessEnvironment(env);
  p->setProcessChannelMode(QProcess::MergedChannels);
  p->start(QString::fromStdString(exe.string()), {});
  return p->waitForStarted(5000);
}

void ProgramProcess::SetEnvironment(const std::string& name, const std::string& value) {
  environment_.emplace_back(name, value);
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

std::string TestDisplay() {
  const char* v = std::getenv("TAVRIN_TEST_DISPLAY");
  return v ? std::string(v) : std::string();
}

std::string XDoTool(const std::string& arguments, int* exitCode) {
  return Run("DISPLAY='" + TestDisplay() + "' xdotool " + arguments + " 2>/dev/null", exitCode);
}

namespace {
// An X server without -noreset resets when its last client leaves, and
// refuses connections meanwhile: between two program runs of a test the
// program would then find no display. One idle client held for the whole test
// program keeps the server up.
pid_t displayHolder = 0;

void ReleaseDisplay() {
  if (displayHolder > 0) ::kill(displayHolder, SIGTERM);
}

bool HoldDisplay() {
  if (displayHolder > 0 && ::kill(displayHolder, 0) == 0) return true;
  for (int attempt = 0; attempt < 50; ++attempt) {
    auto* holder = new QProcess;  // lives as long as the test program
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(TestDisplay()));
    holder->setProcessEnvironment(env);
    holder->start("xdotool", {"sleep", "86400"});
    if (!holder->waitForStarted(5000)) {
      delete holder;
      return false;
    }
    // Still there after a moment: it has its connection.
    if (!holder->waitForFinished(200)) {
      displayHolder = static_cast<pid_t>(holder->processId());
      std::atexit(ReleaseDisplay);
      return true;
    }
    delete holder;
  }
  return false;
}
}  // namespace

bool XDoToolAvailable() {
  if (TestDisplay().empty()) return false;
  if (!HoldDisplay()) return false;
  int code = -1;
  XDoTool("getdisplaygeometry >/dev/null", &code);
  return code == 0;
}

namespace {
// xdotool takes window names as regular expressions.
std::string ExactTitlePattern(const std::string& title) {
  std::string out = "^";
  for (char c : title) {
    if (std::string_view("\\.^$|()[]{}*+?").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out + "$";
}

unsigned long FindWindow(long long pid, const std::string& title) {
  const std::string out =
      XDoTool("search --all --onlyvisible --pid " + std::to_string(pid) + " --name '" + ExactTitlePattern(title) + "'");
  return out.empty() ? 0 : std::stoul(out);
}
}  // namespace

unsigned long WaitForWindow(long long pid, const std::string& title, int ms) {
  unsigned long found = 0;
  WaitUntil([&] { return (found = FindWindow(pid, title)) != 0; }, ms);
  return found;
}

bool WaitWindowGone(long long pid, const std::string& title, int ms) {
  return WaitUntil([&] { return FindWindow(pid, title) == 0; }, ms);
}

void ClickInWindow(unsigned long window, int x, int y) {
  XDoTool("mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " + std::to_string(y) +
          " click 1");
}

void PressKeys(unsigned long window, const std::string& keys) {
  XDoTool("windowfocus --sync " + std::to_string(window) + " key " + keys);
}

void TypeText(unsigned long window, const std::string& text) {
  XDoTool("windowfocus --sync " + std::to_string(window) + " type --delay 5 '" + text + "'");
}

void ClickRecordButton(unsigned long mainWindow) { ClickInWindow(mainWindow, 115 + 230 / 2, 148 + 74 / 2); }

void ClickSaveButton(unsigned long mainWindow) { ClickInWindow(mainWindow, 361 + 72 / 2, 182 + 30 / 2); }

bool SaveThroughDialog(long long pid, const std::string& path, int ms) {
  const unsigned long dialog = WaitForWindow(pid, kSaveDialogTitle, ms);
  if (dialog == 0) return false;
  TypeText(dialog, path);
  PressKeys(dialog, "Return");
  return WaitWindowGone(pid, kSaveDialogTitle, ms);
}

PrivatePulse::PrivatePulse() {
  const std::string out = Run(std::string(TAVRIN_SOURCE_DIR) + "/scripts/pulse-private start '" + dir_.path() + "'");
  const std::string prefix = "export PULSE_SERVER=";
  const auto at = out.find(prefix);
  if (at == std::string::npos) return;
  server_ = out.substr(at + prefix.size());
  while (!server_.empty() && (server_.back() == '\n' || server_.back() == ' ')) server_.pop_back();
}

PrivatePulse::~PrivatePulse() {
  Run(std::string(TAVRIN_SOURCE_DIR) + "/scripts/pulse-private stop '" + dir_.path() + "' >/dev/null 2>&1");
}

long long PrivatePulse::serverPid() const {
  const QByteArray text = ReadAll(dir_.fs() / "server.pid").trimmed();
  return text.isEmpty() ? 0 : text.toLongLong();
}

std::string PrivatePulse::Pactl(const std::string& arguments, int* exitCode) const {
  return Run("PULSE_SERVER='" + server_ + "' pactl " + arguments + " 2>/dev/null", exitCode);
}

namespace {
std::uint32_t U32(const QByteArray& b, qsizetype at) {
  std::uint32_t v = 0;
  for (qsizetype i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
  return v;
}
std::uint16_t U16(const QByteArray& b, qsizetype at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8));
}
}  // namespace

WavHeader ParseWavHeader(const QByteArray& wav) {
  WavHeader h;
  if (wav.size() < 44) return h;
  h.valid = wav.mid(0, 4) == "RIFF" && wav.mid(8, 4) == "WAVE" && wav.mid(12, 4) == "fmt " && wav.mid(36, 4) == "data";
  h.riffSize = U32(wav, 4);
  h.fmtSize = U32(wav, 16);
  h.format = U16(wav, 20);
  h.channels = U16(wav, 22);
  h.rate = U32(wav, 24);
  h.byteRate = U32(wav, 28);
  h.blockAlign = U16(wav, 32);
  h.bits = U16(wav, 34);
  h.dataSize = U32(wav, 40);
  return h;
}

std::vector<std::int16_t> WavChannel16(const QByteArray& wav, int channel) {
  std::vector<std::int16_t> out;
  if (wav.size() < 44) return out;
  const qsizetype frames = (wav.size() - 44) / 4;
  out.reserve(static_cast<std::size_t>(frames));
  for (qsizetype f = 0; f < frames; ++f) out.push_back(static_cast<std::int16_t>(U16(wav, 44 + f * 4 + channel * 2)));
  return out;
}

std::size_t FirstToneBreak(const std::vector<std::int16_t>& x, double freq, double rate, double amplitude,
                           std::size_t from, std::size_t to) {
  to = std::min(to, x.size());
  if (from < 2) from = 2;
  // x[n] = 2 cos(w) x[n-1] - x[n-2] for a sine; 2 % of the peak leaves room for
  // rounding and the converter's noise, while a lost or repeated sample moves
  // a sample by at least a tenth of the peak at these rates.
  const double c = 2.0 * std::cos(2.0 * std::numbers::pi * freq / rate);
  const double tolerance = 0.02 * amplitude;
  const auto period = static_cast<std::size_t>(std::ceil(rate / freq)) + 1;
  std::size_t sincePeak = 0;
  for (std::size_t n = from; n < to; ++n) {
    const double predicted = c * x[n - 1] - x[n - 2];
    if (std::abs(x[n] - predicted) > tolerance) return n;
    if (std::abs(static_cast<double>(x[n])) >= 0.9 * amplitude)
      sincePeak = 0;
    else
      ++sincePeak;
    if (sincePeak > period) return n;
  }
  return to;
}

ToneCheck CheckTone(const std::vector<std::int16_t>& x, double freq, double rate, double amplitude, std::size_t from,
                    std::size_t to) {
  ToneCheck check;
  to = std::min(to, x.size());
  const auto window = static_cast<std::size_t>(rate / 20);
  const auto minSilence = static_cast<std::size_t>(rate / 1000);
  for (;;) {
    const std::size_t at = FirstToneBreak(x, freq, rate, amplitude, from, to);
    if (at >= to) break;
    // The first run of silence near the break, if any.
    std::size_t run = 0, end = 0;
    for (std::size_t i = at > window ? at - window : 0; i < std::min(to, at + window); ++i) {
      run = std::abs(static_cast<double>(x[i])) < 0.05 * amplitude ? run + 1 : 0;
      if (run >= minSilence) {
        while (i < to && std::abs(static_cast<double>(x[i])) < 0.05 * amplitude) ++i;
        end = i;
        break;
      }
    }
    if (end == 0 || end <= from) {
      check.firstBreak = at;
      return check;
    }
    ++check.feederGaps;
    from = end + 2;
  }
  check.firstBreak = to;
  return check;
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
