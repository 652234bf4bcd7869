// Device operations of the library over the virtual backend: numbering and
// flags, the per-thread current device, capture and output threads and their
// stop guarantees, error codes.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

#include "audio/pulse_backend.h"
#include "audio/virtual_backend.h"
#include "recording/audio_library.h"

namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::size_t kPeriod = 480;  // Init with period 0.01 s
constexpr std::uint32_t kMicFlags = BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT | BASS_DEVICE_INPUT;
constexpr std::uint32_t kSpeakerFlags = BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT;

// What a device callback saw. The behaviour decides each result (call is 1-based).
struct Probe {
  std::mutex mutex;
  std::vector<float> samples;
  std::vector<std::thread::id> threads;
  std::vector<int> currentInside;
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false};
  std::function<std::int32_t(int call, float* buf, std::uint32_t bytes)> behaviour;
};

std::int32_t CaptureProc(void* buffer, std::uint32_t length, void* user) {
  auto* p = static_cast<Probe*>(user);
  p->inside = true;
  const int call = ++p->calls;
  {
    std::lock_guard lock(p->mutex);
    auto* f = static_cast<float*>(buffer);
    p->samples.insert(p->samples.end(), f, f + length / sizeof(float));
    p->threads.push_back(std::this_thread::get_id());
    p->currentInside.push_back(BASS_WASAPI_GetDevice());
  }
  const std::int32_t r = p->behaviour ? p->behaviour(call, static_cast<float*>(buffer), length) : 1;
  p->inside = false;
  return r;
}

// Output callbacks get their probe through this pointer (user is 0, as in the program).
Probe* gOutputProbe = nullptr;
std::int32_t OutputProc(void* buffer, std::uint32_t length, void*) {
  Probe* p = gOutputProbe;
  const int call = ++p->calls;
  {
    std::lock_guard lock(p->mutex);
    p->threads.push_back(std::this_thread::get_id());
  }
  return p->behaviour(call, static_cast<float*>(buffer), length);
}

// A gate a callback can wait at.
struct Gate {
  std::promise<void> open;
  std::shared_future<void> opened = open.get_future().share();
  void Wait() const { opened.wait(); }
};

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vb = std::make_shared<audio::VirtualBackend>();
    AudioLibrary_UseBackend(vb);
  }
  void TearDown() override {
    AudioLibrary_UseBackend(nullptr);
    gOutputProbe = nullptr;
  }
  std::uint32_t AddMic(std::uint32_t channels = 2, std::vector<audio::VirtualBackend::Tone> tones = {}) {
    return vb->Add({"Mic", kMicFlags, kRate, channels, std::move(tones)});
  }
  std::uint32_t AddSpeaker() { return vb->Add({"Speaker", kSpeakerFlags, kRate, 2, {}}); }
  // Capture in the program's way, with a 10 ms period and the given buffer.
  bool InitMic(std::uint32_t n, Probe& p, float buffer = 1.0f) {
    return BASS_WASAPI_Init(static_cast<int>(n), 0, 0, 0, buffer, 0.01f, CaptureProc, &p) == 1;
  }
  bool InitSpeaker(Probe& p, float buffer = 0.1f) {
    gOutputProbe = &p;
    return BASS_WASAPI_Init(-1, 0, 0, 0, buffer, 0.01f, OutputProc, nullptr) == 1;
  }
  static std::vector<float> Ramp(std::size_t samples, float start = 0.0f) {
    std::vector<float> v(samples);
    for (std::size_t i = 0; i < samples; ++i) v[i] = start + static_cast<float>(i) * 1e-4f;
    return v;
  }
  std::shared_ptr<audio::VirtualBackend> vb;
};

TEST_F(DeviceTest, DevicesAreNumberedInOrderWithFlagsAndKeepTheirNumberWhenGone) {
  struct Row {
    const char* name;
    std::uint32_t flags;
    std::uint32_t rate, channels;
  };
  const Row rows[] = {
      {"Mic", kMicFlags, 48000, 2},
      {"Speaker", kSpeakerFlags, 44100, 2},
      {"Monitor of Speaker", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT | BASS_DEVICE_LOOPBACK, 44100, 2},
      {"Unplugged", BASS_DEVICE_INPUT, 48000, 1},
  };
  for (const Row& r : rows) vb->Add({r.name, r.flags, r.rate, r.channels, {}});
  vb->Remove(0);
  BASS_WASAPI_DEVICEINFO info;
  for (std::uint32_t i = 0; i < std::size(rows); ++i) {
    ASSERT_EQ(BASS_WASAPI_GetDeviceInfo(i, &info), 1) << i;
    EXPECT_EQ(info.name, rows[i].name);
    EXPECT_EQ(info.flags, i == 0 ? rows[i].flags & ~BASS_DEVICE_ENABLED : rows[i].flags) << i;
    EXPECT_EQ(info.mixfreq, rows[i].rate);
    EXPECT_EQ(info.mixchans, rows[i].channels);
  }
  EXPECT_EQ(BASS_WASAPI_GetDeviceInfo(std::size(rows), &info), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);

  Probe p;
  EXPECT_FALSE(InitMic(0, p));  // gone
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
  EXPECT_FALSE(InitMic(3, p));  // disabled
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
}

TEST_F(DeviceTest, CurrentDeviceIsPerThreadAndInitMinusOneOpensTheDefaultOutput) {
  vb->Add({"Speaker", BASS_DEVICE_ENABLED, kRate, 2, {}});  // 0: not the default
  const auto mic = AddMic(1);                                 // 1
  vb->Add({"Headphones", kSpeakerFlags, 44100, 6, {}});      // 2: the default output

  Probe in, out;
  ASSERT_TRUE(InitMic(mic, in));
  EXPECT_EQ(BASS_WASAPI_GetDevice(), static_cast<int>(mic));
  ASSERT_TRUE(InitSpeaker(out));
  EXPECT_EQ(BASS_WASAPI_GetDevice(), 2);
  BASS_WASAPI_INFO info;
  ASSERT_EQ(BASS_WASAPI_GetInfo(&info), 1);
  EXPECT_EQ(info.freq, 44100u);
  EXPECT_EQ(info.chans, 6u);
  EXPECT_EQ(info.buflen, 4410u * 6 * sizeof(float));  // 0.1 s ring

  ASSERT_EQ(BASS_WASAPI_SetDevice(mic), 1);
  ASSERT_EQ(BASS_WASAPI_GetInfo(&info), 1);
  EXPECT_EQ(info.freq, kRate);
  EXPECT_EQ(info.chans, 1u);

  // Another thread has no current device until it sets one; its choice is its own.
  int otherBefore = 0, otherAfter = 0, otherError = 0;
  std::thread([&] {
    otherBefore = BASS_WASAPI_GetDevice();
    otherError = BASS_ErrorGetCode();
    BASS_WASAPI_SetDevice(2);
    otherAfter = BASS_WASAPI_GetDevice();
  }).join();
  EXPECT_EQ(otherBefore, -1);
  EXPECT_EQ(otherError, BASS_ERROR_INIT);
  EXPECT_EQ(otherAfter, 2);
  EXPECT_EQ(BASS_WASAPI_GetDevice(), static_cast<int>(mic));

  EXPECT_EQ(BASS_WASAPI_SetDevice(0), 0);  // exists, not initialised
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(-1)), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
  EXPECT_EQ(BASS_WASAPI_GetDevice(), static_cast<int>(mic));  // unchanged by the failures
}

TEST_F(DeviceTest, CaptureDeliversExactSamplesInPeriodsOnItsOwnThread) {
  const auto mic = AddMic();
  Probe p;
  ASSERT_TRUE(InitMic(mic, p));
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  EXPECT_EQ(BASS_WASAPI_IsStarted(), 1);
  const auto ramp = Ramp(3 * kPeriod * 2);
  ASSERT_EQ(vb->PushSamples(mic, ramp), 3 * kPeriod);
  ASSERT_TRUE(vb->WaitDelivered(mic));
  ASSERT_EQ(BASS_WASAPI_Stop(1), 1);
  EXPECT_EQ(BASS_WASAPI_IsStarted(), 0);
  EXPECT_FALSE(vb->StreamOpen(mic));

  std::lock_guard lock(p.mutex);
  EXPECT_EQ(p.samples, ramp);
  EXPECT_EQ(p.calls.load(), 3);
  for (std::size_t i = 0; i < p.threads.size(); ++i) {
    EXPECT_NE(p.threads[i], std::this_thread::get_id());
    EXPECT_EQ(p.currentInside[i], static_cast<int>(mic));  // the device is current inside its callback
  }
}

TEST_F(DeviceTest, HoleBecomesSilenceAndTheToneRunsOnAroundIt) {
  const double freq = 997.0, amp = 0.5;
  const auto mic = AddMic(1, {{freq, amp}});
  Probe p;
  ASSERT_TRUE(InitMic(mic, p));
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  vb->Push(mic, 2 * kPeriod);
  vb->PushHole(mic, kPeriod);
  vb->Push(mic, 2 * kPeriod);
  ASSERT_TRUE(vb->WaitDelivered(mic));
  BASS_WASAPI_Free();

  std::lock_guard lock(p.mutex);
  ASSERT_EQ(p.samples.size(), 5 * kPeriod);
  std::size_t tone = 0;  // the generator's phase counts only frames it made
  for (std::size_t i = 0; i < p.samples.size(); ++i) {
    if (i >= 2 * kPeriod && i < 3 * kPeriod) {
      ASSERT_EQ(p.samples[i], 0.0f) << i;
      continue;
    }
    const double want = amp * std::sin(2.0 * std::numbers::pi * freq * static_cast<double>(tone++) / kRate);
    ASSERT_NEAR(p.samples[i], want, 1e-4) << i;
  }
}

TEST_F(DeviceTest, CallbackResultZeroStopsTheCapture) {
  const auto mic = AddMic();
  Probe p;
  p.behaviour = [](int call, float*, std::uint32_t) { return call == 2 ? 0 : 1; };
  ASSERT_TRUE(InitMic(mic, p));
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  vb->Push(mic, 4 * kPeriod);
  ASSERT_TRUE(vb->WaitDelivered(mic));
  EXPECT_EQ(p.calls.load(), 2);
  EXPECT_EQ(BASS_WASAPI_IsStarted(), 0);
  EXPECT_EQ(vb->Push(mic, kPeriod), 0u);  // no longer taken in
  // A new start works and begins with what was queued before the stop.
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  vb->Push(mic, kPeriod);
  ASSERT_TRUE(vb->WaitDelivered(mic));
  EXPECT_EQ(p.calls.load(), 5);
}

// Stop from the window thread while a callback runs: it waits for that
// callback; Stop(1) drops the queue, Stop(0) delivers it before returning;
// no callback follows either.
TEST_F(DeviceTest, StopWaitsForTheRunningCallbackAndResetDecidesTheQueue) {
  for (const bool reset : {true, false}) {
    SCOPED_TRACE(reset ? "Stop(1)" : "Stop(0)");
    const auto mic = AddMic();
    Probe p;
    Gate gate;
    std::promise<void> entered;
    p.behaviour = [&](int call, float*, std::uint32_t) {
      if (call == 1) {
        entered.set_value();
        gate.Wait();
      }
      return 1;
    };
    ASSERT_TRUE(InitMic(mic, p));
    ASSERT_EQ(BASS_WASAPI_Start(), 1);
    vb->Push(mic, kPeriod);
    entered.get_future().wait();
    vb->Push(mic, 4 * kPeriod);  // queued behind the blocked callback
    std::thread opener([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      gate.open.set_value();
    });
    ASSERT_EQ(BASS_WASAPI_Stop(reset), 1);
    EXPECT_FALSE(p.inside.load());
    EXPECT_EQ(p.calls.load(), reset ? 1 : 5);
    EXPECT_EQ(vb->Push(mic, kPeriod), 0u);  // no longer taken in
    opener.join();
    {
      std::lock_guard lock(p.mutex);
      EXPECT_EQ(p.samples.size(), (reset ? 1 : 5) * kPeriod * 2);
    }

    ASSERT_EQ(BASS_WASAPI_Start(), 1);
    vb->Push(mic, kPeriod);
    ASSERT_TRUE(vb->WaitDelivered(mic));
    EXPECT_EQ(p.calls.load(), reset ? 2 : 6);
    ASSERT_EQ(BASS_WASAPI_Free(), 1);
  }
}

TEST_F(DeviceTest, StopOrFreeFromInsideTheCallbackEndsItWithoutDeadlock) {
  enum class Act { Stop0, Stop1, Free };
  for (const Act act : {Act::Stop0, Act::Stop1, Act::Free}) {
    SCOPED_TRACE(static_cast<int>(act));
    const auto mic = AddMic();
    Probe p;
    std::atomic<int> resultInside{-1};
    p.behaviour = [&](int call, float*, std::uint32_t) {
      if (call == 2) resultInside = act == Act::Free ? BASS_WASAPI_Free() : BASS_WASAPI_Stop(act == Act::Stop1);
      return 1;
    };
    ASSERT_TRUE(InitMic(mic, p));
    ASSERT_EQ(BASS_WASAPI_Start(), 1);
    vb->Push(mic, 4 * kPeriod);
    if (act == Act::Free) {
      // The stream closes once the callback has returned.
      for (int i = 0; i < 5000 && vb->StreamOpen(mic); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_FALSE(vb->StreamOpen(mic));
    } else {
      ASSERT_TRUE(vb->WaitDelivered(mic));
    }
    EXPECT_EQ(resultInside.load(), 1);
    EXPECT_EQ(p.calls.load(), 2);
    EXPECT_EQ(vb->Push(mic, kPeriod), 0u);
    if (act == Act::Free) {
      EXPECT_EQ(BASS_WASAPI_GetDevice(), -1);
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
      ASSERT_TRUE(InitMic(mic, p));  // the number can be initialised again
    } else {
      EXPECT_EQ(BASS_WASAPI_IsStarted(), 0);
    }
    ASSERT_EQ(BASS_WASAPI_Free(), 1);
  }
}

// A consumer too slow for the server: what does not fit is dropped whole,
// what was taken arrives intact and in order.
TEST_F(DeviceTest, RingOverflowDropsTheExcessAndKeepsWhatFitIntact) {
  const auto mic = AddMic();
  Probe p;
  Gate gate;
  std::promise<void> entered;
  p.behaviour = [&](int call, float*, std::uint32_t) {
    if (call == 1) {
      entered.set_value();
      gate.Wait();
    }
    return 1;
  };
  ASSERT_TRUE(InitMic(mic, p, 0.05f));  // ring of 2400 frames
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  const auto first = Ramp(kPeriod * 2);
  vb->PushSamples(mic, first);
  entered.get_future().wait();
  const auto more = Ramp(4000 * 2, 1.0f);
  EXPECT_EQ(vb->PushSamples(mic, more), 2400u);
  EXPECT_EQ(vb->PushSamples(mic, more), 0u);
  gate.open.set_value();
  ASSERT_TRUE(vb->WaitDelivered(mic));
  BASS_WASAPI_Free();

  std::vector<float> expect = first;
  expect.insert(expect.end(), more.begin(), more.begin() + 2400 * 2);
  std::lock_guard lock(p.mutex);
  EXPECT_EQ(p.samples, expect);
}

// The program's output callback: data while there is some, then "no data"
// while the device still holds queued data, then Stop(0) when it is empty.
TEST_F(DeviceTest, OutputDrainedByTheCallbackPlaysEveryFrameThenStops) {
  const auto speaker = AddSpeaker();
  const auto tune = Ramp(2000 * 2, 0.5f);
  std::size_t given = 0;  // output thread only
  std::atomic<int> stopResult{-1};
  Probe p;
  p.behaviour = [&](int, float* buf, std::uint32_t bytes) -> std::int32_t {
    const std::size_t n = std::min<std::size_t>(bytes / sizeof(float), tune.size() - given);
    if (n > 0) {
      std::copy_n(tune.begin() + static_cast<std::ptrdiff_t>(given), n, buf);
      given += n;
      return static_cast<std::int32_t>(n * sizeof(float));
    }
    int zero = 0;
    if (BASS_WASAPI_GetData(&zero, BASS_DATA_AVAILABLE) == 0) {
      stopResult = BASS_WASAPI_Stop(0);
      return 0;
    }
    return -1;
  };
  ASSERT_TRUE(InitSpeaker(p));
  ASSERT_EQ(BASS_WASAPI_Start(), 1);
  std::size_t real = 0;
  for (int i = 0; i < 100 && BASS_WASAPI_IsStarted(); ++i) real += vb->Play(speaker, kPeriod);
  EXPECT_EQ(BASS_WASAPI_IsStarted(), 0);
  EXPECT_EQ(stopResult.load(), 1);
  EXPECT_EQ(real, 2000u);
  const auto played = vb->Played(speaker);
  ASSERT_GE(played.size(), tune.size());
  EXPECT_EQ(std::vector<float>(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(tune.size())), tune);
  for (std::size_t i = tune.size(); i < played.size(); ++i) ASSERT_EQ(played[i], 0.0f);  // silence after
  std::lock_guard lock(p.mutex);
  for (auto id : p.threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST_F(DeviceTest, OutputStopZeroLetsTheQueuePlayStopOneDropsIt) {
  for (const bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "Stop(1)" : "Stop(0)");
    vb = std::make_shared<audio::VirtualBackend>();  // one default output per round
    AudioLibrary_UseBackend(vb);
    const auto speaker = AddSpeaker();
    float next = 0.0f;  // output thread only: an endless ramp
    Probe p;
    p.behaviour = [&](int, float* buf, std::uint32_t bytes) {
      for (std::uint32_t i = 0; i < bytes / sizeof(float); ++i) buf[i] = (next += 1.0f);
      return static_cast<std::int32_t>(bytes);
    };
    ASSERT_TRUE(InitSpeaker(p));
    BASS_WASAPI_INFO info;
    ASSERT_EQ(BASS_WASAPI_GetInfo(&info), 1);
    ASSERT_EQ(BASS_WASAPI_Start(), 1);
    ASSERT_EQ(vb->Play(speaker, kPeriod), kPeriod);
    // The output thread keeps the whole buffer queued ahead of need.
    int zero = 0;
    for (int i = 0; i < 2000 && BASS_WASAPI_GetData(&zero, BASS_DATA_AVAILABLE) < static_cast<int>(info.buflen); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(BASS_WASAPI_GetData(&zero, BASS_DATA_AVAILABLE), static_cast<int>(info.buflen));
    const int callsAtStop = p.calls.load();
    ASSERT_EQ(BASS_WASAPI_Stop(reset), 1);
    EXPECT_EQ(BASS_WASAPI_IsStarted(), 0);
    const std::size_t queued = info.buflen / (2 * sizeof(float));
    EXPECT_EQ(vb->Play(speaker, queued + kPeriod), reset ? 0u : queued);
    EXPECT_EQ(BASS_WASAPI_GetData(&zero, BASS_DATA_AVAILABLE), 0);
    EXPECT_EQ(p.calls.load(), callsAtStop);
    const auto played = vb->Played(speaker);
    for (std::size_t i = 1; i < kPeriod * 2 + (reset ? 0 : queued * 2); ++i)
      ASSERT_EQ(played[i], played[i - 1] + 1.0f) << i;  // one unbroken ramp
    ASSERT_EQ(BASS_WASAPI_Free(), 1);
  }
}

TEST_F(DeviceTest, BadUseFailsWithItsErrorCode) {
  const auto mic = AddMic();
  const auto broken = vb->Add({"Broken", kMicFlags & ~BASS_DEVICE_DEFAULT, kRate, 2, {}, true, false});
  const auto mute = vb->Add({"Mute", kMicFlags & ~BASS_DEVICE_DEFAULT, kRate, 2, {}, false, true});
  BASS_WASAPI_INFO info;
  int zero = 0;
  // Nothing initialised on this thread.
  EXPECT_EQ(BASS_WASAPI_Start(), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(BASS_WASAPI_Stop(1), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(BASS_WASAPI_Free(), 0);
  EXPECT_EQ(BASS_WASAPI_IsStarted(), 0);
  EXPECT_EQ(BASS_WASAPI_GetInfo(&info), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(BASS_WASAPI_GetData(&zero, BASS_DATA_AVAILABLE), -1);
  EXPECT_EQ(BASS_WASAPI_SetVolume(BASS_WASAPI_CURVE_WINDOWS, 0.5f), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(BASS_WASAPI_GetVolume(BASS_WASAPI_CURVE_WINDOWS), -1.0f);

  Probe p;
  EXPECT_FALSE(InitMic(99, p));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
  EXPECT_FALSE(InitSpeaker(p));  // no output device at all
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
  EXPECT_FALSE(InitMic(broken, p));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
  EXPECT_EQ(BASS_WASAPI_Init(static_cast<int>(mic), 0, 0, 0, 1.0f, 0.1f, nullptr, nullptr), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_EQ(BASS_WASAPI_Init(static_cast<int>(mic), 44100, 0, 0, 1.0f, 0.1f, CaptureProc, &p), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);

  ASSERT_TRUE(InitMic(mute, p));
  EXPECT_EQ(BASS_WASAPI_Start(), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_START);
  EXPECT_EQ(BASS_WASAPI_IsStarted(), 0);

  ASSERT_TRUE(InitMic(mic, p));
  EXPECT_FALSE(InitMic(mic, p));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  EXPECT_EQ(BASS_WASAPI_GetDevice(), static_cast<int>(mic));  // a failed Init changes nothing
  EXPECT_EQ(BASS_WASAPI_SetVolume(BASS_WASAPI_CURVE_WINDOWS, 1.5f), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_EQ(BASS_WASAPI_SetVolume(BASS_WASAPI_CURVE_WINDOWS, 0.37f), 1);
  EXPECT_FLOAT_EQ(BASS_WASAPI_GetVolume(BASS_WASAPI_CURVE_WINDOWS), 0.37f);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
  EXPECT_EQ(BASS_WASAPI_Free(), 1);
  EXPECT_EQ(BASS_WASAPI_Free(), 0);  // already freed
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
}

// With no sound server the real backend lists nothing and opens nothing.
TEST(DeviceNoServer, PulseBackendWithoutServerFailsCleanly) {
  AudioLibrary_UseBackend(std::make_shared<audio::PulseBackend>("unix:/nonexistent/tavrin-no-server"));
  BASS_WASAPI_DEVICEINFO info;
  EXPECT_EQ(BASS_WASAPI_GetDeviceInfo(0, &info), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
  EXPECT_EQ(BASS_WASAPI_Init(-1, 0, 0, 0, 0.4f, 0.05f, OutputProc, nullptr), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
  EXPECT_EQ(BASS_WASAPI_Init(0, 0, 0, 0, 1.0f, 0.1f, CaptureProc, nullptr), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
  EXPECT_EQ(BASS_WASAPI_Start(), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  AudioLibrary_UseBackend(nullptr);
}

}  // namespace
