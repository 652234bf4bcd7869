#pragma once
// Helpers shared by the test programs.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <string>
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
};

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
