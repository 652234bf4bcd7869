// Unexpected-close recovery with the real executable on the test display: a
// recording killed with SIGKILL, the question at the next start, the saved
// copy with its sizes repaired, Cancel, and the marker cleared by a normal end.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "settings/config_file.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBytesPerSecond = 22050 * 4;  // the first start's rate, stereo 16-bit

class RecoveryProgram : public ::testing::Test {
 protected:
  test::TempFolder folder;

  void SetUp() override {
    REQUIRE_PULSE();
    if (!test::XDoToolAvailable()) GTEST_SKIP() << "no test display (TAVRIN_TEST_DISPLAY) or no xdotool";
  }

  fs::path Temp() const { return folder.fs() / "temp.wav"; }
  std::string Marker() const { return ReadSetting(kConfigSection, kKeyCloseCheck, folder.path() + "/录音配置.ini"); }
  std::uintmax_t TempSize() const {
    std::error_code ec;
    const auto n = fs::file_size(Temp(), ec);
    return ec ? 0 : n;
  }

  // Starts the program, records until temp.wav holds `seconds` of audio, and
  // kills it.
  void RecordAndKill(double seconds) {
    test::ProgramProcess program(folder.path(), true);
    ASSERT_TRUE(program.Start());
    const unsigned long main = test::WaitForWindow(program.pid(), test::kMainCaption, 15000);
    ASSERT_NE(main, 0u) << program.output();
    test::ClickRecordButton(main);
    const auto wanted = static_cast<std::uintmax_t>(44 + seconds * kBytesPerSecond);
    ASSERT_TRUE(test::WaitUntil([&] { return TempSize() >= wanted; }, 15000 + static_cast<int>(seconds * 1000)))
        << "temp.wav did not grow: " << TempSize() << " bytes";
    program.Signal(SIGKILL);
    ASSERT_FALSE(program.running());
  }

  std::set<fs::path> Files() const {
    std::set<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(folder.fs())) out.insert(e.path());
    return out;
  }
};

TEST_F(RecoveryProgram, KilledRecordingIsOfferedAndSavedWithRepairedSizes) {
  RecordAndKill(1.5);
  EXPECT_EQ(Marker(), "开启");
  const QByteArray temp = test::ReadAll(Temp());
  const test::WavHeader th = test::ParseWavHeader(temp);
  ASSERT_TRUE(th.valid);
  EXPECT_EQ(th.riffSize, 0u);
  EXPECT_EQ(th.dataSize, 0u);
  EXPECT_EQ(th.rate, 22050u);
  EXPECT_EQ(th.channels, 2);
  EXPECT_EQ(th.bits, 16);
  ASSERT_GE(temp.size(), 44 + kBytesPerSecond);

  const fs::path copy = folder.fs() / "recovered copy.wav";
  {
    test::ProgramProcess program(folder.path(), true);
    ASSERT_TRUE(program.Start());
    const unsigned long box = test::WaitForWindow(program.pid(), test::kQuestionTitle, 15000);
    ASSERT_NE(box, 0u) << "no recovery question; " << program.output();
    test::PressKeys(box, "Return");
    ASSERT_TRUE(test::SaveThroughDialog(program.pid(), copy.string()));
    ASSERT_NE(test::WaitForWindow(program.pid(), test::kMainCaption, 15000), 0u);
    EXPECT_EQ(Marker(), "开启");
    EXPECT_EQ(program.Signal(SIGTERM), 0) << program.output();
  }
  EXPECT_EQ(Marker(), "正常关闭");

  const QByteArray saved = test::ReadAll(copy);
  const test::WavHeader sh = test::ParseWavHeader(saved);
  ASSERT_TRUE(sh.valid);
  EXPECT_EQ(sh.riffSize, static_cast<std::uint32_t>(saved.size() - 8));
  EXPECT_EQ(sh.dataSize, static_cast<std::uint32_t>((saved.size() - 44) / 4 * 4));
  EXPECT_EQ(saved.mid(8, 32), temp.mid(8, 32)) << "format chunk changed";
  EXPECT_TRUE(saved.mid(44) == temp.mid(44)) << "samples differ from temp.wav";
  EXPECT_TRUE(test::ReadAll(Temp()) == temp) << "temp.wav changed";

  // After the normal end nothing is asked.
  test::ProgramProcess again(folder.path(), true);
  ASSERT_TRUE(again.Start());
  ASSERT_NE(test::WaitForWindow(again.pid(), test::kMainCaption, 15000), 0u);
  EXPECT_EQ(test::WaitForWindow(again.pid(), test::kQuestionTitle, 0), 0u);
  EXPECT_EQ(again.Signal(SIGTERM), 0);
}

TEST_F(RecoveryProgram, CancelCopiesNothingAndTheQuestionComesUntilANormalEnd) {
  RecordAndKill(0.5);
  const QByteArray temp = test::ReadAll(Temp());
  // Two unexpected ends in a row: the second start offers the same file again.
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    const std::set<fs::path> before = Files();
    test::ProgramProcess program(folder.path(), true);
    ASSERT_TRUE(program.Start());
    const unsigned long box = test::WaitForWindow(program.pid(), test::kQuestionTitle, 15000);
    ASSERT_NE(box, 0u) << program.output();
    test::PressKeys(box, "Escape");
    ASSERT_NE(test::WaitForWindow(program.pid(), test::kMainCaption, 15000), 0u);
    EXPECT_EQ(test::WaitForWindow(program.pid(), test::kSaveDialogTitle, 0), 0u);
    EXPECT_EQ(Files(), before);
    EXPECT_TRUE(test::ReadAll(Temp()) == temp);
    if (run == 0) {
      program.Signal(SIGKILL);
    } else {
      EXPECT_EQ(program.Signal(SIGTERM), 0);
    }
  }
  EXPECT_EQ(Marker(), "正常关闭");
  test::ProgramProcess program(folder.path(), true);
  ASSERT_TRUE(program.Start());
  ASSERT_NE(test::WaitForWindow(program.pid(), test::kMainCaption, 15000), 0u);
  EXPECT_EQ(test::WaitForWindow(program.pid(), test::kQuestionTitle, 0), 0u);
  EXPECT_EQ(program.Signal(SIGTERM), 0);
  EXPECT_TRUE(test::ReadAll(Temp()) == temp);
}

}  // namespace
