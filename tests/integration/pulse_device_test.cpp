// The library's devices against the private PulseAudio server: "speaker"
// (default sink), "micfeed", and the sources "mic" (default, 997 Hz at -6 dBFS,
// stereo 48 kHz) and "mic_mono", plus the sinks' monitors.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <mutex>
#include <numbers>
#include <optional>
#include <thread>
#include <vector>

#include "recording/audio_library.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

std::optional<std::uint32_t> FindDevice(const std::string& name) {
  BASS_WASAPI_DEVICEINFO info;
  for (std::uint32_t i = 0; BASS_WASAPI_GetDeviceInfo(i, &info); ++i)
    if (info.name == name) return i;
  return std::nullopt;
}

struct Capture {
  std::mutex mutex;
  std::vector<float> samples;
  std::size_t limit = 0;  // samples wanted
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false};
};

std::int32_t CaptureProc(void* buffer, std::uint32_t length, void* user) {
  auto* c = static_cast<Capture*>(user);
  c->inside = true;
  ++c->calls;
  {
    std::lock_guard lock(c->mutex);
    auto* f = static_cast<float*>(buffer);
    const std::size_t n = length / sizeof(float);
    const std::size_t take = std::min(n, c->limit - std::min(c->limit, c->samples.size()));
    c->samples.insert(c->samples.end(), f, f + take);
  }
  c->inside = false;
  return 1;
}

// Waits (bounded) until the capture holds what it wants.
bool WaitFull(Capture& c, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < until) {
    {
      std::lock_guard lock(c.mutex);
      if (c.samples.size() >= c.limit) return true;
    }
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

std::vector<float> Channel(const std::vector<float>& s, std::uint32_t channels, std::uint32_t c) {
  std::vector<float> out;
  for (std::size_t i = c; i < s.size(); i += channels) out.push_back(s[i]);
  return out;
}

// Amplitude and phase of one frequency over a window (a single DFT bin).
std::complex<double> Bin(const float* x, std::size_t n, double freq, double rate) {
  std::complex<double> acc;
  for (std::size_t i = 0; i < n; ++i)
    acc += static_cast<double>(x[i]) * std::polar(1.0, -2.0 * std::numbers::pi * freq * static_cast<double>(i) / rate);
  return acc * (2.0 / static_cast<double>(n));
}

double Rms(const std::vector<float>& x, std::size_t from = 0) {
  double sum = 0;
  for (std::size_t i = from; i < x.size(); ++i) sum += double(x[i]) * x[i];
  return std::sqrt(sum / static_cast<double>(x.size() - from));
}

class PulseDevice : public ::testing::Test {
 protected:
  void SetUp() override { AudioLibrary_UseBackend(nullptr); }
  void TearDown() override { AudioLibrary_UseBackend(nullptr); }
};

TEST_F(PulseDevice, ListsSourcesAndSinksWithDefaultAndLoopbackFlags) {
  REQUIRE_PULSE();
  struct Want {
    const char* name;
    std::uint32_t set, clear;
    std::uint32_t channels;
  };
  constexpr auto E = BASS_DEVICE_ENABLED, D = BASS_DEVICE_DEFAULT, I = BASS_DEVICE_INPUT, L = BASS_DEVICE_LOOPBACK;
  const Want wants[] = {
      {"VirtualMic", E | D | I, L, 2},
      {"VirtualMicMono", E | I, D | L, 1},
      {"Speaker", E | D, I | L, 2},
      {"MicFeed", E, D | I | L, 2},
      {"Monitor of Speaker", E | I | L, D, 2},
      {"Monitor of MicFeed", E | I | L, D, 2},
  };
  std::vector<std::uint32_t> numbers;
  for (const Want& w : wants) {
    SCOPED_TRACE(w.name);
    const auto n = FindDevice(w.name);
    ASSERT_TRUE(n.has_value());
    BASS_WASAPI_DEVICEINFO info;
    ASSERT_EQ(BASS_WASAPI_GetDeviceInfo(*n, &info), 1);
    EXPECT_EQ(info.flags & w.set, w.set);
    EXPECT_EQ(info.flags & w.clear, 0u);
    EXPECT_EQ(info.mixfreq, 48000u);
    EXPECT_EQ(info.mixchans, w.channels);
    numbers.push_back(*n);
  }
  // A second listing keeps every number.
  for (std::size_t i = 0; i < std::size(wants); ++i) EXPECT_EQ(FindDevice(wants[i].name), numbers[i]);
}

// Two seconds from the virtual microphone: the 997 Hz tone at amplitude 0.5,
// its phase running on from block to block without a gap.
TEST_F(PulseDevice, CapturesTheMicrophoneToneWithoutGaps) {
  REQUIRE_PULSE();
  const auto mic = FindDevice("VirtualMic");
  ASSERT_TRUE(mic);
  Capture c;
  c.limit = 2 * 48000 * 2;
  ASSERT_EQ(BASS_WASAPI_Init(static_cast<int>(*mic), 0, 0, 0, 1.0f, 0.1f, CaptureProc, &c), 1);
  BASS_WASAPI_INFO info;
  ASSERT_EQ(BASS_WASAPI_GetInfo(&info), 1);
  EXPECT_EQ(info.freq, 48000u);
  EXPECT_EQ(info.chans, 2u);
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  const bool full = WaitFull(c, 8s);
  ASSERT_EQ(BASS_WASAPI_Free(), 1);
  ASSERT_TRUE(full);

  std::lock_guard lock(c.mutex);
  for (std::uint32_t ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE(ch);
    const auto x = Channel(c.samples, 2, ch);
    // Skip the first 100 ms (the stream settling), then 10 ms windows.
    constexpr std::size_t kWin = 480;
    const std::size_t start = 4800;
    const double step = 2.0 * std::numbers::pi * 997.0 * kWin / 48000.0;
    const std::complex<double> first = Bin(x.data() + start, kWin, 997.0, 48000.0);
    double worstPhase = 0, worstAmp = 0;
    for (std::size_t k = 0; start + (k + 1) * kWin <= x.size(); ++k) {
      const auto b = Bin(x.data() + start + k * kWin, kWin, 997.0, 48000.0);
      const double expected = std::arg(first) + step * static_cast<double>(k);
      worstPhase = std::max(worstPhase, std::abs(std::remainder(std::arg(b) - expected, 2.0 * std::numbers::pi)));
      worstAmp = std::max(worstAmp, std::abs(std::abs(b) - 0.5));
    }
    EXPECT_LT(worstPhase, 0.05) << "phase jumped: a gap or a repeat in the capture";
    EXPECT_LT(worstAmp, 0.02);
    EXPECT_NEAR(Rms(x, start), 0.5 / std::sqrt(2.0), 0.01);  // -6 dBFS sine
  }
}

TEST_F(PulseDevice, MonoMicrophoneGivesOneChannel) {
  REQUIRE_PULSE();
  const auto mono = FindDevice("VirtualMicMono");
  ASSERT_TRUE(mono);
  Capture c;
  c.limit = 48000 / 2;
  ASSERT_EQ(BASS_WASAPI_Init(static_cast<int>(*mono), 0, 0, 0, 1.0f, 0.1f, CaptureProc, &c), 1);
  BASS_WASAPI_INFO info;
  ASSERT_EQ(BASS_WASAPI_GetInfo(&info), 1);
  EXPECT_EQ(info.chans, 1u);
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  const bool full = WaitFull(c, 5s);
  BASS_WASAPI_Free();
  ASSERT_TRUE(full);
  std::lock_guard lock(c.mutex);
  EXPECT_NEAR(std::abs(Bin(c.samples.data() + 4800, 9600, 997.0, 48000.0)), 0.5, 0.02);
}

// A tone played on the default output (Init -1) comes back through the
// speaker's monitor; the program's drain-then-stop lets all of it be heard.
TEST_F(PulseDevice, OutputToneComesBackThroughTheMonitorToItsEnd) {
  REQUIRE_PULSE();
  const auto monitor = FindDevice("Monitor of Speaker");
  ASSERT_TRUE(monitor);
  Capture c;
  c.limit = 2 * 48000 * 2;  // 2 s
  ASSERT_EQ(BASS_WASAPI_Init(static_cast<int>(*monitor), 0, 0, 0, 1.0f, 0.1f, CaptureProc, &c), 1);
  ASSERT_EQ(BASS_WASAPI_Start(), 1);

  static std::atomic<std::size_t> given;
  static std::atomic<int> stopped;
  given = 0;
  stopped = 0;
  constexpr std::size_t kToneFrames = 24000;  // 0.5 s of 440 Hz at amplitude 0.25
  WASAPIPROC out = [](void* buffer, std::uint32_t length, void*) -> std::int32_t {
    auto* f = static_cast<float*>(buffer);
    const std::size_t frames = std::min<std::size_t>(length / 8, kToneFrames - given);
    for (std::size_t i = 0; i < frames; ++i) {
      const double t = static_cast<double>(given + i) / 48000.0;
      f[2 * i] = f[2 * i + 1] = static_cast<float>(0.25 * std::sin(2.0 * std::numbers::pi * 440.0 * t));
    }
    given += frames;
    if (frames > 0) return static_cast<std::int32_t>(frames * 8);
    int zero = 0;
    if (BASS_WASAPI_GetData(&zero, BASS_DATA_AVAILABLE) > 0) return -1;
    stopped = BASS_WASAPI_Stop(0);
    return 0;
  };
  ASSERT_EQ(BASS_WASAPI_Init(-1, 0, 0, 0, 0.4f, 0.05f, out, nullptr), 1);
  const int speaker = BASS_WASAPI_GetDevice();
  BASS_WASAPI_DEVICEINFO dinfo;
  ASSERT_EQ(BASS_WASAPI_GetDeviceInfo(static_cast<std::uint32_t>(speaker), &dinfo), 1);
  EXPECT_EQ(dinfo.name, "Speaker");
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  const bool full = WaitFull(c, 8s);
  EXPECT_EQ(stopped.load(), 1);          // the callback found the device empty and stopped it
  EXPECT_EQ(BASS_WASAPI_IsStarted(), 0);
  BASS_WASAPI_Free();
  ASSERT_EQ(BASS_WASAPI_SetDevice(*monitor), 1);
  BASS_WASAPI_Free();
  ASSERT_TRUE(full);

  std::lock_guard lock(c.mutex);
  const auto x = Channel(c.samples, 2, 0);
  std::size_t firstLoud = x.size(), lastLoud = 0;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (std::abs(x[i]) > 0.05f) {
      firstLoud = std::min(firstLoud, i);
      lastLoud = i;
    }
  ASSERT_LT(firstLoud, x.size()) << "nothing came back";
  // All 0.5 s came back (ends found to within a period of the sine).
  EXPECT_NEAR(static_cast<double>(lastLoud - firstLoud), static_cast<double>(kToneFrames), 120.0);
  const std::size_t mid = firstLoud + kToneFrames / 2 - 2400;
  EXPECT_NEAR(std::abs(Bin(x.data() + mid, 4800, 440.0, 48000.0)), 0.25, 0.01);
}

TEST_F(PulseDevice, NoCaptureCallbackRunsAfterStopOrFree) {
  REQUIRE_PULSE();
  const auto mic = FindDevice("VirtualMic");
  ASSERT_TRUE(mic);
  for (const bool useFree : {false, true}) {
    Capture c;
    c.limit = 48000 * 2 * 10;
    ASSERT_EQ(BASS_WASAPI_Init(static_cast<int>(*mic), 0, 0, 0, 1.0f, 0.1f, CaptureProc, &c), 1);
    ASSERT_EQ(BASS_WASAPI_Start(), 1);
    while (c.calls.load() < 3) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(useFree ? BASS_WASAPI_Free() : BASS_WASAPI_Stop(1), 1);
    EXPECT_FALSE(c.inside.load());
    const int calls = c.calls.load();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(c.calls.load(), calls);
    if (!useFree) BASS_WASAPI_Free();
  }
}

TEST_F(PulseDevice, SetVolumeIsTheSourceVolumeOnTheServer) {
  REQUIRE_PULSE();
  const auto mic = FindDevice("VirtualMic");
  ASSERT_TRUE(mic);
  Capture c;
  ASSERT_EQ(BASS_WASAPI_Init(static_cast<int>(*mic), 0, 0, 0, 1.0f, 0.1f, CaptureProc, &c), 1);
  ASSERT_EQ(BASS_WASAPI_SetVolume(BASS_WASAPI_CURVE_WINDOWS, 0.5f), 1);
  const std::string shown = test::Run("pactl get-source-volume mic");
  EXPECT_NE(shown.find("32768"), std::string::npos) << shown;  // PA_VOLUME_NORM / 2
  EXPECT_NEAR(BASS_WASAPI_GetVolume(BASS_WASAPI_CURVE_WINDOWS), 0.5f, 1e-4f);
  ASSERT_EQ(BASS_WASAPI_SetVolume(BASS_WASAPI_CURVE_WINDOWS, 1.0f), 1);
  EXPECT_NE(test::Run("pactl get-source-volume mic").find("65536"), std::string::npos);
  BASS_WASAPI_Free();
}

}  // namespace
