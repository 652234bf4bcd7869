// SIGKILL at random moments of real recordings: temp.wav must hold the tone
// unbroken up to shortly before the kill, and the copy the next start saves
// must open as a WAV file of the right length in libsndfile and in soxi.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <numeric>
#include <random>
#include <thread>

#include "settings/config_file.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kRate = 22050;            // the first start's rate
constexpr double kPeak = 0.5 * 32768;      // the virtual microphone's -6 dBFS tone
constexpr double kTone = 997;
constexpr double kAllowedLoss = 0.5;       // seconds before the kill
constexpr std::size_t kConverterStart = static_cast<std::size_t>(kRate / 20);  // the converter's first 50 ms
constexpr int kTrials = 20;

std::uintmax_t SizeOf(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : n;
}

// The copy as other programs see it.
void ExpectOpensWithFrames(const fs::path& copy, std::int64_t frames) {
  SF_INFO info{};
  SNDFILE* sf = sf_open(copy.c_str(), SFM_READ, &info);
  ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
  EXPECT_EQ(info.frames, frames);
  EXPECT_EQ(info.samplerate, static_cast<int>(kRate));
  EXPECT_EQ(info.channels, 2);
  sf_close(sf);
  int code = -1;
  const std::string soxFrames = test::Run("soxi -s '" + copy.string() + "' 2>&1", &code);
  EXPECT_EQ(code, 0) << soxFrames;
  EXPECT_EQ(std::atoll(soxFrames.c_str()), frames) << soxFrames;
}

TEST(FaultKill, KillDuringRecordingLosesAtMostHalfASecond) {
  REQUIRE_PULSE();
  if (!test::XDoToolAvailable()) GTEST_SKIP() << "no test display (TAVRIN_TEST_DISPLAY) or no xdotool";
  test::TempFolder folder;
  const fs::path temp = folder.fs() / "temp.wav";

  // Kill moments over 1..10 s, one in each twentieth of the range (in a
  // random order), biased towards the short end to keep the run short.
  const unsigned seed = std::random_device{}();
  std::mt19937 rng(seed);
  std::vector<int> strata(kTrials);
  std::iota(strata.begin(), strata.end(), 0);
  std::shuffle(strata.begin(), strata.end(), rng);
  std::uniform_real_distribution<double> within(0.0, 1.0);
  std::vector<double> killAfter;
  for (int s : strata) {
    const double u = (s + within(rng)) / kTrials;
    killAfter.push_back(1.0 + 9.0 * u * u * u);
  }
  std::cout << "[ seed     ] " << seed << "\n";

  std::vector<double> losses;
  QByteArray lastTemp;
  for (int trial = 0; trial <= kTrials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    test::ProgramProcess program(folder.path(), true);
    ASSERT_TRUE(program.Start());
    if (trial > 0) {
      // The run before was killed: the question comes, and its copy is saved.
      const unsigned long box = test::WaitForWindow(program.pid(), test::kQuestionTitle, 15000);
      ASSERT_NE(box, 0u) << "no recovery question; " << program.output();
      test::PressKeys(box, "Return");
      const fs::path copy = folder.fs() / ("copy" + std::to_string(trial - 1) + ".wav");
      ASSERT_TRUE(test::SaveThroughDialog(program.pid(), copy.string()));
      ASSERT_NE(test::WaitForWindow(program.pid(), test::kMainCaption, 15000), 0u);
      ExpectOpensWithFrames(copy, (lastTemp.size() - 44) / 4);
      EXPECT_TRUE(test::ReadAll(copy).mid(44) == lastTemp.mid(44));
      EXPECT_TRUE(test::ReadAll(temp) == lastTemp) << "the start changed temp.wav";
      fs::remove(copy);
    }
    if (trial == kTrials) {
      EXPECT_EQ(program.Signal(SIGTERM), 0);
      break;
    }
    const unsigned long main = test::WaitForWindow(program.pid(), test::kMainCaption, 15000);
    ASSERT_NE(main, 0u);

    fs::remove(temp);
    test::ClickRecordButton(main);
    ASSERT_TRUE(test::WaitUntil([&] { return SizeOf(temp) >= 44; }, 10000)) << "the click did not start a recording";
    const auto started = Clock::now();
    const auto killAt = started + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(killAfter[static_cast<std::size_t>(trial)]));
    // Data must flow before the kill moment, or the kill proves nothing.
    ASSERT_TRUE(test::WaitUntil([&] { return SizeOf(temp) > 44 + 4 * 2205; }, 5000)) << "no audio arrives";
    std::this_thread::sleep_until(killAt);
    const double recorded = std::chrono::duration<double>(Clock::now() - started).count();
    ::kill(static_cast<pid_t>(program.pid()), SIGKILL);
    program.WaitForEnd(10000);
    ASSERT_FALSE(program.running());

    lastTemp = test::ReadAll(temp);
    const test::WavHeader h = test::ParseWavHeader(lastTemp);
    ASSERT_TRUE(h.valid);
    EXPECT_EQ(h.riffSize, 0u);
    EXPECT_EQ(h.dataSize, 0u);
    EXPECT_EQ(h.rate, static_cast<std::uint32_t>(kRate));
    const double kept = static_cast<double>((lastTemp.size() - 44) / 4) / kRate;
    const double loss = recorded - kept;
    losses.push_back(loss);
    EXPECT_LE(loss, kAllowedLoss) << "recorded " << recorded << " s, temp.wav holds " << kept << " s";
    for (int channel = 0; channel < 2; ++channel) {
      const auto x = test::WavChannel16(lastTemp, channel);
      const test::ToneCheck tone = test::CheckTone(x, kTone, kRate, kPeak, kConverterStart, x.size());
      EXPECT_EQ(tone.firstBreak, x.size()) << "channel " << channel << " of " << x.size() << " frames";
      if (tone.feederGaps > 0) std::cout << "[ note     ] the tone's feeder came late " << tone.feederGaps << " time(s)\n";
    }
  }
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyCloseCheck, folder.path() + "/录音配置.ini"), "正常关闭");

  std::sort(losses.begin(), losses.end());
  if (!losses.empty()) {
    std::cout << "[ figures  ] audio lost per kill over " << losses.size() << " trials: median "
              << losses[losses.size() / 2] << " s, max " << losses.back() << " s, min " << losses.front() << " s\n";
  }
}

}  // namespace
