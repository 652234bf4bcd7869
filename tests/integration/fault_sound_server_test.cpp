// The sound server killed during a recording, and the recording source
// removed: the program must neither crash nor hang, temp.wav keeps the audio
// from before the fault, and a click stops the recording into its file.
// Each case runs on a server of its own, so the suite's server is untouched.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 22050;
constexpr double kPeak = 0.5 * 32768;
constexpr double kTone = 997;
constexpr std::size_t kConverterStart = static_cast<std::size_t>(kRate / 20);
constexpr std::uintmax_t kSecond = 22050 * 4;

std::uintmax_t SizeOf(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : n;
}

// The module that provides a source, from `pactl list short modules`.
std::string ModuleOfSource(const test::PrivatePulse& pulse, const std::string& source) {
  std::istringstream lines(pulse.Pactl("list short modules"));
  for (std::string line; std::getline(lines, line);)
    if (line.find("source_name=" + source + " ") != std::string::npos ||
        line.find("source_name=" + source + "\t") != std::string::npos)
      return line.substr(0, line.find('\t'));
  return {};
}

struct Case {
  const char* name;
  // Makes the fault; true when it was made.
  std::function<bool(test::PrivatePulse&)> fault;
};

class FaultSoundServer : public ::testing::TestWithParam<Case> {};

TEST_P(FaultSoundServer, RecordingSurvivesAndStopsIntoItsFile) {
  if (!test::XDoToolAvailable()) GTEST_SKIP() << "no test display (TAVRIN_TEST_DISPLAY) or no xdotool";
  test::PrivatePulse pulse;
  ASSERT_TRUE(pulse.ok()) << "scripts/pulse-private did not start a server";
  test::TempFolder folder;
  const fs::path temp = folder.fs() / "temp.wav";
  const fs::path storage = folder.fs() / "录音存储";

  test::ProgramProcess program(folder.path(), true);
  program.SetEnvironment("PULSE_SERVER", pulse.server());
  ASSERT_TRUE(program.Start());
  const unsigned long main = test::WaitForWindow(program.pid(), test::kMainCaption, 15000);
  ASSERT_NE(main, 0u) << program.output();
  test::ClickRecordButton(main);
  ASSERT_TRUE(test::WaitUntil([&] { return SizeOf(temp) >= 44 + kSecond; }, 15000)) << "no recording";

  const std::uintmax_t before = SizeOf(temp);
  ASSERT_TRUE(GetParam().fault(pulse));
  // The fault has reached the program once temp.wav stays put.
  std::uintmax_t last = SizeOf(temp);
  int still = 0;
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        const std::uintmax_t now = SizeOf(temp);
        still = now == last ? still + 1 : 0;
        last = now;
        return still >= 60;  // about half a second without growth
      },
      15000));
  ASSERT_TRUE(program.running()) << "the program ended: " << program.output();
  const QByteArray mirror = test::ReadAll(temp);
  ASSERT_GE(static_cast<std::uintmax_t>(mirror.size()), before);

  // The user stops, and gets the file: everything up to the fault.
  test::ClickRecordButton(main);
  std::vector<fs::path> files;
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        files.clear();
        for (const auto& e : fs::directory_iterator(storage)) files.push_back(e.path());
        return files.size() == 1 && test::ParseWavHeader(test::ReadAll(files[0])).dataSize > 0;
      },
      15000))
      << "the stop gave no file; running: " << program.running();
  const QByteArray wav = test::ReadAll(files[0]);
  const test::WavHeader h = test::ParseWavHeader(wav);
  EXPECT_EQ(h.riffSize, static_cast<std::uint32_t>(wav.size() - 8));
  EXPECT_EQ(h.dataSize, static_cast<std::uint32_t>(wav.size() - 44));
  EXPECT_GE(static_cast<std::uintmax_t>(wav.size()), before);
  EXPECT_TRUE(wav.mid(44).startsWith(mirror.mid(44))) << "the file does not hold what temp.wav held";
  for (int channel = 0; channel < 2; ++channel) {
    const auto x = test::WavChannel16(wav, channel);
    const auto upToFault = static_cast<std::size_t>((before - 44) / 4);
    const test::ToneCheck tone = test::CheckTone(x, kTone, kRate, kPeak, kConverterStart, upToFault);
    EXPECT_EQ(tone.firstBreak, upToFault) << "channel " << channel;
  }
  // No hang at the end either.
  EXPECT_EQ(program.Signal(SIGTERM), 0) << program.output();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultSoundServer,
    ::testing::Values(Case{"ServerKilled",
                           [](test::PrivatePulse& pulse) {
                             return pulse.serverPid() > 0 && ::kill(static_cast<pid_t>(pulse.serverPid()), SIGKILL) == 0;
                           }},
                      Case{"SourceRemoved",
                           [](test::PrivatePulse& pulse) {
                             const std::string module = ModuleOfSource(pulse, "mic");
                             if (module.empty()) return false;
                             int code = -1;
                             pulse.Pactl("unload-module " + module, &code);
                             return code == 0;
                           }}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
