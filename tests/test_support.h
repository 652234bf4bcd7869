#pragma once
// Helpers shared by the test programs.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace test {

// A fresh program folder in /tmp for one test.
struct TempFolder {
  QTemporaryDir dir;
  std::string path() const { return dir.path().toStdString(); }
  std::filesystem::path fs() const { return std::filesystem::path(path()); }
};

QByteArray ReadAll(const std::filesystem::path& p);
void WriteAll(const std::filesystem::path& p, const QByteArray& bytes);

// The private sound server started by scripts/test. Returns true when it
// answers. When TAVRIN_REQUIRE_PULSE=1 (set by scripts/test) a missing server
// is a failure, not a skip, so CI can never pass by skipping.
bool PulseAvailable();
bool PulseRequired();

// Runs a command line through /bin/sh; returns its standard output.
std::string Run(const std::string& command, int* exitCode = nullptr);

// The real executable, copied into a program folder of its own and started
// there on the offscreen platform (or TAVRIN_TEST_DISPLAY when asked).
class ProgramProcess {
 public:
  explicit ProgramProcess(const std::string& programFolder, bool realDisplay = false);
  ~ProgramProcess();
  bool Start();
  // An environment variable for the next Start (e.g. PULSE_SERVER of a
  // server of the test's own).
  void SetEnvironment(const std::string& name, const std::string& value);
  // Sends a signal and waits for the end; returns the exit code (-1 if it
  // crashed or did not end within the time).
  int Signal(int sig, int waitMs = 10000);
  int WaitForEnd(int waitMs);
  long long pid() const;
  bool running() const;
  std::string output() const;

 private:
  std::string folder_;
  bool realDisplay_;
  void* process_;
  std::vector<std::pair<std::string, std::string>> environment_;
};

// Driving the real program's windows on TAVRIN_TEST_DISPLAY like a user, with
// xdotool. Window ids are X window ids, 0 for none.
std::string TestDisplay();  // TAVRIN_TEST_DISPLAY, or empty
bool XDoToolAvailable();    // the display answers and xdotool is there
std::string XDoTool(const std::string& arguments, int* exitCode = nullptr);
// A visible window of the process whose title is exactly `title`; 0 when none
// shows within ms.
unsigned long WaitForWindow(long long pid, const std::string& title, int ms);
// True when no visible window of the process has that title any more within ms.
bool WaitWindowGone(long long pid, const std::string& title, int ms);
// Moves the pointer to (x, y) inside the window and clicks the left button.
void ClickInWindow(unsigned long window, int x, int y);
// Gives the window the keyboard focus, then presses keys ("Return", "Escape").
void PressKeys(unsigned long window, const std::string& keys);
// Gives the window the keyboard focus, then types text (ASCII).
void TypeText(unsigned long window, const std::string& text);

// The program's own windows, as a user finds them.
inline constexpr const char* kMainCaption = "Tavrin 录音机 1.0";  // once start-up has finished
inline constexpr const char* kQuestionTitle = "友情提醒";         // TimedMessageBox
inline constexpr const char* kPlainBoxTitle = "信息：";           // plain information box
inline constexpr const char* kSaveDialogTitle = "Save As...";
// The record button (按钮1) and the Save button (按钮3) in the main window's
// client area: the record tab's page starts at the window's origin.
void ClickRecordButton(unsigned long mainWindow);
void ClickSaveButton(unsigned long mainWindow);
// Waits for the save dialog, types the full path and confirms; true when the
// dialog has gone.
bool SaveThroughDialog(long long pid, const std::string& path, int ms = 15000);

// A private PulseAudio server of one test (scripts/pulse-private) in a folder
// of its own, for faults that must not touch the suite's shared server.
class PrivatePulse {
 public:
  PrivatePulse();
  ~PrivatePulse();  // stops it by PID
  bool ok() const { return !server_.empty(); }
  const std::string& server() const { return server_; }  // the PULSE_SERVER value
  long long serverPid() const;
  // pactl against this server; returns its output.
  std::string Pactl(const std::string& arguments, int* exitCode = nullptr) const;

 private:
  TempFolder dir_;
  std::string server_;
};

// 16-bit PCM WAV files with the canonical 44-byte header.
struct WavHeader {
  bool valid = false;  // "RIFF", "WAVE", "fmt " and "data" where they belong
  std::uint32_t riffSize = 0, fmtSize = 0, rate = 0, byteRate = 0, dataSize = 0;
  std::uint16_t format = 0, channels = 0, blockAlign = 0, bits = 0;
};
WavHeader ParseWavHeader(const QByteArray& wav);
// One channel of the whole frames after the header.
std::vector<std::int16_t> WavChannel16(const QByteArray& wav, int channel);
// The first sample in [from, to) where a steady tone of `freq` (peak
// `amplitude` in 16-bit units) breaks: a sample that does not follow from the
// two before it as a sine does, or a period without its peak. Returns `to`
// when the tone runs on unbroken.
std::size_t FirstToneBreak(const std::vector<std::int16_t>& x, double freq, double rate, double amplitude,
                           std::size_t from, std::size_t to);
// The same over the whole span, except that a break beside a stretch of
// silence is counted apart: on a loaded machine the tone's feeder can come
// late, and the sound server then plays silence into the microphone. Samples
// the program drops or repeats leave no silence and stay breaks.
struct ToneCheck {
  std::size_t firstBreak = 0;  // `to` when none
  int feederGaps = 0;
};
ToneCheck CheckTone(const std::vector<std::int16_t>& x, double freq, double rate, double amplitude, std::size_t from,
                    std::size_t to);

// Polls `condition` while processing events, up to `ms`.
bool WaitUntil(const std::function<bool()>& condition, int ms);

// Answers the message boxes the code under test opens (modal, so they run
// their own loop): each box seen is recorded and answered with the next
// action from the list ("ok", "cancel", "close"); after the list, "ok".
class MessageBoxAnswerer {
 public:
  struct Seen {
    QString title;
    QString text;
    int icon;
  };
  explicit MessageBoxAnswerer(std::vector<std::string> actions = {});
  ~MessageBoxAnswerer();
  const std::vector<Seen>& seen() const { return seen_; }

 private:
  void Poll();
  std::vector<std::string> actions_;
  std::vector<Seen> seen_;
  void* timer_;
};

}  // namespace test

// Skips (or fails under scripts/test) a test that needs the private sound server.
#define REQUIRE_PULSE()                                                  \
  do {                                                                   \
    if (!test::PulseAvailable()) {                                       \
      if (test::PulseRequired()) FAIL() << "private PulseAudio server not reachable"; \
      GTEST_SKIP() << "no PulseAudio server (run through scripts/test)"; \
    }                                                                    \
  } while (0)
