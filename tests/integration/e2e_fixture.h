#pragma once
// The whole program on the private PulseAudio server: a temporary program
// folder, the real device backend, the program-wide objects and a MainWindow
// that has run its window-created sequence. Real time passes while a test
// waits (events are processed meanwhile). Tear-down runs the destroy sequence
// and puts the program-wide state back as a fresh run finds it.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <filesystem>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/window_lifecycle.h"
#include "library/recordings_list.h"
#include "playback/audio_player.h"
#include "recording/audio_library.h"
#include "recording/capture_input.h"
#include "program_window.h"
#include "test_support.h"
#include "tray/tray_icon.h"

namespace e2e {

constexpr double kTone = 997.0;      // the virtual microphone's tone
constexpr double kAmplitude = 0.5;   // -6 dBFS
using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

inline std::uint32_t LE32At(const QByteArray& b, qsizetype at) {
  std::uint32_t v = 0;
  for (qsizetype i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
  return v;
}
inline std::uint16_t LE16At(const QByteArray& b, qsizetype at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8));
}

// One channel of a 16-bit stereo WAV image as samples in [-1, 1).
inline std::vector<float> WavChannel(const QByteArray& wav, int channel) {
  std::vector<float> out;
  for (qsizetype at = 44 + channel * 2; at + 1 < wav.size(); at += 4)
    out.push_back(static_cast<float>(static_cast<std::int16_t>(LE16At(wav, at))) / 32768.0f);
  return out;
}

inline std::size_t Frames(const QByteArray& wav) { return wav.size() < 44 ? 0 : static_cast<std::size_t>(wav.size() - 44) / 4; }

// Amplitude and phase of `freq` over n samples, Hann-windowed so that the
// tone's mirror image does not leak into the phase.
inline std::complex<double> Bin(const float* x, std::size_t n, double freq, double rate) {
  std::complex<double> acc;
  double weights = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(i) + 0.5) / static_cast<double>(n));
    weights += w;
    acc += w * static_cast<double>(x[i]) * std::polar(1.0, -2.0 * std::numbers::pi * freq * static_cast<double>(i) / rate);
  }
  return acc * (2.0 / weights);
}

// How far the tone strays from one unbroken sine over [from, to): 10 ms
// windows, each window's phase against the phase the first window predicts.
// One frame dropped or repeated at 48 kHz moves the phase by 0.13 rad.
struct ToneFit {
  double worstPhase = 0;  // rad
  double worstAmplitudeError = 0;
  std::size_t windows = 0;
};
inline ToneFit FitTone(const std::vector<float>& x, double rate, std::size_t from, std::size_t to) {
  ToneFit fit;
  const auto win = static_cast<std::size_t>(std::lround(rate / 100.0));
  if (to > x.size()) to = x.size();
  if (from + win > to) return fit;
  const double step = 2.0 * std::numbers::pi * kTone * static_cast<double>(win) / rate;
  const std::complex<double> first = Bin(x.data() + from, win, kTone, rate);
  for (std::size_t k = 0; from + (k + 1) * win <= to; ++k) {
    const auto b = Bin(x.data() + from + k * win, win, kTone, rate);
    const double expected = std::arg(first) + step * static_cast<double>(k);
    fit.worstPhase = std::max(fit.worstPhase, std::abs(std::remainder(std::arg(b) - expected, 2.0 * std::numbers::pi)));
    fit.worstAmplitudeError = std::max(fit.worstAmplitudeError, std::abs(std::abs(b) - kAmplitude));
    ++fit.windows;
  }
  return fit;
}

// Frequency over [from, to) from the rising zero crossings.
inline double ZeroCrossingFrequency(const std::vector<float>& x, double rate, std::size_t from, std::size_t to) {
  int crossings = 0;
  std::size_t first = 0, last = 0;
  for (std::size_t i = std::max<std::size_t>(from, 1); i < std::min(to, x.size()); ++i)
    if (x[i - 1] < 0 && x[i] >= 0) {
      if (crossings++ == 0) first = i;
      last = i;
    }
  return crossings < 2 ? 0.0 : (crossings - 1) * rate / static_cast<double>(last - first);
}

// The first and one past the last sample louder than `threshold`.
struct Span {
  std::size_t begin = 0, end = 0;
  std::size_t size() const { return end - begin; }
};
inline Span LoudSpan(const std::vector<float>& x, std::size_t from = 0, float threshold = 0.05f) {
  Span s{x.size(), x.size()};
  for (std::size_t i = from; i < x.size(); ++i)
    if (std::abs(x[i]) > threshold) {
      if (s.begin == x.size()) s.begin = i;
      s.end = i + 1;
    }
  if (s.begin == x.size()) s.begin = s.end = x.size();
  return s;
}

inline std::optional<std::uint32_t> FindDevice(const std::string& name) {
  BASS_WASAPI_DEVICEINFO info;
  for (std::uint32_t i = 0; BASS_WASAPI_GetDeviceInfo(i, &info); ++i)
    if (info.name == name) return i;
  return std::nullopt;
}

inline bool DeviceStarted(int device) {
  return device >= 0 && BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(device)) == 1 && BASS_WASAPI_IsStarted() != 0;
}

// What a sink plays, taken from its monitor with the library itself
// (stereo 48 kHz float). The test's own capture device: the program never
// sees it, and it is released before the program's tear-down.
class MonitorCapture {
 public:
  explicit MonitorCapture(const std::string& monitorName = "Monitor of Speaker") {
    const auto n = FindDevice(monitorName);
    if (!n || BASS_WASAPI_Init(static_cast<int>(*n), 0, 0, 0, 1.0f, 0.05f, &Proc, this) != 1) return;
    device_ = static_cast<int>(*n);
    BASS_WASAPI_INFO info{};
    BASS_WASAPI_GetInfo(&info);
    rate_ = info.freq;
    channels_ = info.chans;
    // An idle sink's monitor may take up to a second or so before its first
    // data (the server renders an idle sink in long lumps).
    ok_ = BASS_WASAPI_Start() == 1 && test::WaitUntil([this] { return frames() > 0; }, 3000);
  }
  ~MonitorCapture() { Stop(); }
  MonitorCapture(const MonitorCapture&) = delete;
  MonitorCapture& operator=(const MonitorCapture&) = delete;

  bool ok() const { return ok_; }
  std::uint32_t rate() const { return rate_; }
  void Stop() {
    if (device_ >= 0 && BASS_WASAPI_SetDevice(static_cast<std::uint32_t>(device_))) BASS_WASAPI_Free();
    device_ = -1;
  }
  // Frames captured so far.
  std::size_t frames() {
    std::lock_guard lock(mutex_);
    return channels_ ? samples_.size() / channels_ : 0;
  }
  // One channel of everything captured so far.
  std::vector<float> Channel(std::uint32_t c) {
    std::lock_guard lock(mutex_);
    std::vector<float> out;
    for (std::size_t i = c; i < samples_.size(); i += channels_) out.push_back(samples_[i]);
    return out;
  }

 private:
  // The library's capture thread.
  static std::int32_t Proc(void* buffer, std::uint32_t length, void* user) {
    auto* self = static_cast<MonitorCapture*>(user);
    const auto* f = static_cast<const float*>(buffer);
    std::lock_guard lock(self->mutex_);
    self->samples_.insert(self->samples_.end(), f, f + length / sizeof(float));
    return 1;
  }
  int device_ = -1;
  bool ok_ = false;
  std::uint32_t rate_ = 0, channels_ = 0;
  std::mutex mutex_;
  std::vector<float> samples_;
};

class ProgramOnPulse : public ::testing::Test {
 protected:
  test::TempFolder folder;
  std::unique_ptr<MainWindow> window;

  void SetUp() override { SetProgramFolder(folder.path()); }

  // Start-up as the program does it, on the sound server's devices.
  void Launch() {
    AudioLibrary_UseBackend(nullptr);
    window = test::OpenProgramWindow();
  }

  void TearDown() override {
    test::CloseProgramWindow(window);
    test::ResetProgramState();
  }

  MainWindow& w() { return *window; }
  void PressRecord() { w().按钮1->click(); }
  void PressPlay() { w().按钮2->click(); }
  // Real time passes; the window thread keeps handling events.
  static void Wait(int ms) { QTest::qWait(ms); }

  // Selects the item with this text in a combo box, as the user does (the
  // item-selected event included).
  static bool ChooseItem(QComboBox& box, const QString& text) {
    const int i = box.findText(text);
    if (i < 0) return false;
    box.setCurrentIndex(i);
    emit box.activated(i);
    return true;
  }

  int recordings = 0;  // recordings made, rows expected in the list

  // Records for about `ms` at the rate shown in cmbRate (running `before`
  // just before the start and `midway` half-way); returns the real time
  // between the two presses.
  //
  // The microphone's tone comes from a feeder process that can underrun on
  // a loaded machine, putting a hole into the tone before the program sees
  // it. The feeder's own sink is watched meanwhile; when it shows a hole the
  // recording is made again (up to three times), so that a gap found in the
  // program's recording is the program's.
  double Record(int ms, const std::function<void()>& midway = {}, const std::function<void()>& before = {}) {
    double pressed = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
      MonitorCapture feeder("Monitor of MicFeed");
      Wait(150);
      if (before) before();
      PressRecord();
      const auto started = Clock::now();
      Wait(ms / 2);
      if (midway) midway();
      Wait(ms - ms / 2);
      const auto stopped = Clock::now();
      PressRecord();
      ++recordings;
      pressed = Seconds(stopped - started);
      Wait(150);
      feeder.Stop();
      const auto tone = feeder.Channel(0);
      const ToneFit fit = FitTone(tone, feeder.rate(), feeder.rate() / 10, tone.size());
      if (!feeder.ok() || (fit.worstPhase < 0.05 && fit.worstAmplitudeError < 0.02)) break;
      std::printf("[e2e] the tone's feeder underran (phase %.2f rad); recording again\n", fit.worstPhase);
    }
    return pressed;
  }

  std::filesystem::path Storage() const { return std::filesystem::path(State().StorageFolder); }
  static std::vector<std::filesystem::path> WavFiles(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
      if (e.is_regular_file() && e.path().extension() == ".wav") out.push_back(e.path());
    return out;
  }
  // The stored file of the last row.
  QByteArray LastRecording() {
    const int rows = RowCount(w().RecordingsList());
    return rows == 0 ? QByteArray() : test::ReadAll(CellText(w().RecordingsList(), rows - 1, kColumnPath));
  }
  QByteArray TempFile() const { return test::ReadAll(folder.fs() / "temp.wav"); }
};

}  // namespace e2e
