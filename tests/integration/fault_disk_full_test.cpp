// A full disk under the real executable: a small tmpfs as the storage folder
// (the final file cannot be written) and as the program folder (temp.wav
// fills it). The recording in memory must stay whole either way.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>

#include "settings/config_file.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kRate = 22050;
constexpr double kPeak = 0.5 * 32768;
constexpr double kTone = 997;
constexpr std::size_t kConverterStart = static_cast<std::size_t>(kRate / 20);
// The converter's last output at a stop follows the input's abrupt end, not the tone.
constexpr std::size_t kConverterEnd = static_cast<std::size_t>(kRate / 500);

// A tmpfs of `bytes` mounted on a folder of its own for one test.
class SmallDisk {
 public:
  explicit SmallDisk(std::uintmax_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      error_ = std::strerror(errno);
    }
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  std::string path() const { return dir_.path(); }
  fs::path fs() const { return dir_.fs(); }

 private:
  test::TempFolder dir_;
  bool mounted_ = false;
  std::string error_;
};

std::uintmax_t SizeOf(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : n;
}

std::vector<fs::path> WavFiles(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".wav") out.push_back(e.path());
  return out;
}

// A finished recording of `seconds`: complete header, the tone unbroken.
void ExpectWholeRecording(const QByteArray& wav, double seconds) {
  const test::WavHeader h = test::ParseWavHeader(wav);
  ASSERT_TRUE(h.valid);
  EXPECT_EQ(h.riffSize, static_cast<std::uint32_t>(wav.size() - 8));
  EXPECT_EQ(h.dataSize, static_cast<std::uint32_t>(wav.size() - 44));
  const double kept = static_cast<double>((wav.size() - 44) / 4) / kRate;
  EXPECT_GE(kept, seconds - 0.5) << "recorded " << seconds << " s";
  for (int channel = 0; channel < 2; ++channel) {
    const auto x = test::WavChannel16(wav, channel);
    ASSERT_GT(x.size(), kConverterStart + kConverterEnd);
    const std::size_t to = x.size() - kConverterEnd;
    const test::ToneCheck tone = test::CheckTone(x, kTone, kRate, kPeak, kConverterStart, to);
    EXPECT_EQ(tone.firstBreak, to) << "channel " << channel << " of " << x.size() << " frames";
    if (tone.feederGaps > 0) std::cout << "[ note     ] the tone's feeder came late " << tone.feederGaps << " time(s)\n";
  }
}

class FaultDiskFull : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PULSE();
    if (!test::XDoToolAvailable()) GTEST_SKIP() << "no test display (TAVRIN_TEST_DISPLAY) or no xdotool";
  }

  // Records from a click until `seconds` have passed since temp.wav appeared,
  // then clicks again; returns the time recorded.
  static double Record(unsigned long main, const fs::path& temp, double seconds) {
    std::error_code ec;
    fs::remove(temp, ec);
    test::ClickRecordButton(main);
    if (!test::WaitUntil([&] { return SizeOf(temp) >= 44; }, 10000)) return 0;
    const auto started = Clock::now();
    std::this_thread::sleep_until(started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
    test::ClickRecordButton(main);
    return std::chrono::duration<double>(Clock::now() - started).count();
  }
};

TEST_F(FaultDiskFull, FullStorageFolderReportsTheFailureAndKeepsTheImage) {
  SmallDisk disk(300 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs (needs root): " << disk.error();
  test::TempFolder folder;
  // Already on the small disk: must keep its bytes.
  QByteArray earlier(100 * 1024, '\0');
  for (qsizetype i = 0; i < earlier.size(); ++i) earlier[i] = static_cast<char>(i * 7 + 3);
  test::WriteAll(disk.fs() / "earlier.wav", earlier);
  ASSERT_TRUE(WriteSetting(kConfigSection, kKeyStorageFolder, disk.path() + "/", folder.path() + "/录音配置.ini"));

  test::ProgramProcess program(folder.path(), true);
  ASSERT_TRUE(program.Start());
  const unsigned long main = test::WaitForWindow(program.pid(), test::kMainCaption, 15000);
  ASSERT_NE(main, 0u) << program.output();
  // 4 s are 350 KB: more than the disk holds.
  const double recorded = Record(main, folder.fs() / "temp.wav", 4.0);
  ASSERT_GT(recorded, 0) << "the click did not start a recording";
  const unsigned long box = test::WaitForWindow(program.pid(), test::kPlainBoxTitle, 15000);
  ASSERT_NE(box, 0u) << "the failed save was not reported";
  test::PressKeys(box, "Return");
  ASSERT_TRUE(test::WaitWindowGone(program.pid(), test::kPlainBoxTitle, 10000));

  // The image is whole: Save As to a normal folder gives all of it, the same
  // bytes as the finished temp.wav.
  const fs::path saved = folder.fs() / "saved.wav";
  test::ClickSaveButton(main);
  ASSERT_TRUE(test::SaveThroughDialog(program.pid(), saved.string()));
  ASSERT_TRUE(test::WaitUntil([&] { return SizeOf(saved) > 44; }, 10000));
  const QByteArray image = test::ReadAll(saved);
  ExpectWholeRecording(image, recorded);
  EXPECT_TRUE(image == test::ReadAll(folder.fs() / "temp.wav"));

  EXPECT_TRUE(test::ReadAll(disk.fs() / "earlier.wav") == earlier) << "a file already on the disk was damaged";
  // No cut-off recording is left behind to pass for a whole one.
  EXPECT_EQ(WavFiles(disk.fs()), std::vector<fs::path>{disk.fs() / "earlier.wav"});
  EXPECT_EQ(program.Signal(SIGTERM), 0);
}

TEST_F(FaultDiskFull, FullProgramFolderStillGivesTheWholeRecording) {
  // Room for the program, its configuration and about 1.5 s of temp.wav.
  SmallDisk disk(fs::file_size(TAVRIN_EXE) + 200 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs (needs root): " << disk.error();
  test::TempFolder storage;
  ASSERT_TRUE(WriteSetting(kConfigSection, kKeyStorageFolder, storage.path() + "/", disk.path() + "/录音配置.ini"));

  test::ProgramProcess program(disk.path(), true);
  ASSERT_TRUE(program.Start());
  const unsigned long main = test::WaitForWindow(program.pid(), test::kMainCaption, 15000);
  ASSERT_NE(main, 0u) << program.output();
  const fs::path temp = disk.fs() / "temp.wav";
  const double recorded = Record(main, temp, 4.0);
  ASSERT_GT(recorded, 0) << "the click did not start a recording";
  std::vector<fs::path> files;
  ASSERT_TRUE(test::WaitUntil([&] { return !(files = WavFiles(storage.fs())).empty(); }, 10000))
      << "no recording in the storage folder";
  ASSERT_EQ(files.size(), 1u);
  ASSERT_TRUE(test::WaitUntil([&] { return test::ParseWavHeader(test::ReadAll(files[0])).dataSize > 0; }, 10000));
  const QByteArray wav = test::ReadAll(files[0]);
  ExpectWholeRecording(wav, recorded);
  // The mirror got what fitted, in order.
  const QByteArray mirror = test::ReadAll(temp);
  EXPECT_LT(mirror.size(), wav.size());
  EXPECT_TRUE(wav.mid(44).startsWith(mirror.mid(44)));
  EXPECT_EQ(test::WaitForWindow(program.pid(), test::kPlainBoxTitle, 0), 0u);
  // The end comes normally even when the marker cannot be written any more.
  EXPECT_EQ(program.Signal(SIGTERM), 0);
}

}  // namespace
