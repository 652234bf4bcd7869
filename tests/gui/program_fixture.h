#pragma once
// The whole program on scripted devices: a temporary program folder, the
// virtual audio backend with a stereo 48 kHz microphone (997 Hz, default) and
// a default output device, the program-wide objects and a MainWindow that has
// run its window-created sequence. Tear-down runs the destroy sequence and
// puts the program-wide state back as a fresh run finds it.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/common_dialog.h"
#include "app/main_window.h"
#include "app/window_lifecycle.h"
#include "audio/virtual_backend.h"
#include "library/recordings_list.h"
#include "playback/audio_player.h"
#include "recording/audio_library.h"
#include "recording/capture_input.h"
#include "settings/config_file.h"
#include "settings/settings_tab.h"
#include "program_window.h"
#include "test_support.h"
#include "tray/tray_icon.h"
#include "util/shell.h"

namespace program_test {

constexpr std::uint32_t kMicRate = 48000;
constexpr double kMicTone = 997.0;
// The capture period the program asks for (0.1 s): pushes of whole periods
// are delivered at once.
constexpr std::size_t kMicPeriod = kMicRate / 10;

// Frames a rate-converted recording may differ from the exact length ratio
// (rounding inside the converter).
constexpr double kConversionSlack = 1.0;

inline std::uint32_t LE32At(const QByteArray& b, int at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
  return v;
}

inline std::int16_t SampleAt(const QByteArray& wav, std::size_t frame, int channel) {
  const std::size_t at = 44 + frame * 4 + static_cast<std::size_t>(channel) * 2;
  return static_cast<std::int16_t>(static_cast<std::uint8_t>(wav[static_cast<qsizetype>(at)]) |
                                   (static_cast<std::uint8_t>(wav[static_cast<qsizetype>(at + 1)]) << 8));
}

// Frequency of one channel of a 16-bit stereo WAV image over frames
// [from, to), from its rising zero crossings.
inline double ToneFrequency(const QByteArray& wav, std::uint32_t rate, std::size_t from, std::size_t to) {
  int crossings = 0;
  std::size_t first = 0, last = 0;
  for (std::size_t i = from + 1; i < to; ++i) {
    if (SampleAt(wav, i - 1, 0) < 0 && SampleAt(wav, i, 0) >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

inline std::size_t Frames(const QByteArray& wav) { return wav.size() < 44 ? 0 : static_cast<std::size_t>(wav.size() - 44) / 4; }

class ProgramFixture : public ::testing::Test {
 protected:
  test::TempFolder folder;
  std::shared_ptr<audio::VirtualBackend> vb = std::make_shared<audio::VirtualBackend>();
  std::uint32_t mic = 0;
  std::uint32_t speaker = 1;
  std::unique_ptr<MainWindow> window;

  void SetUp() override { SetProgramFolder(folder.path()); }

  // The standard devices; a test that wants others adds them itself.
  void AddStandardDevices() {
    mic = vb->Add({"Built-in Microphone", BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT | BASS_DEVICE_INPUT, kMicRate, 2,
                   {{kMicTone, 0.5}, {kMicTone, 0.5}}});
    speaker = vb->Add({"Speakers", BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT, 48000, 2, {}});
  }

  // Start-up as the program does it, on the devices added so far (the
  // standard ones when none were added).
  void Launch(bool standardDevices = true) {
    if (standardDevices) AddStandardDevices();
    AudioLibrary_UseBackend(vb);
    window = test::OpenProgramWindow();
  }

  void TearDown() override {
    test::CloseProgramWindow(window);
    test::ResetProgramState();
  }

  // The destroy sequence, then the window goes.
  void Destroy() { test::CloseProgramWindow(window); }

  MainWindow& w() { return *window; }

  // Pushes `frames` of the device's tone in whole periods and waits until the
  // program has taken them.
  void PushTone(std::uint32_t device, std::size_t frames, std::size_t period = kMicPeriod) {
    for (std::size_t done = 0; done < frames;) {
      const std::size_t n = std::min(period, frames - done);
      ASSERT_EQ(vb->Push(device, n), n);
      ASSERT_TRUE(vb->WaitDelivered(device));
      done += n;
    }
  }

  void PressRecord() { w().按钮1->click(); }

  std::filesystem::path Storage() const { return std::filesystem::path(State().StorageFolder); }

  // The WAV files of a folder.
  static std::vector<std::filesystem::path> WavFiles(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
      if (e.is_regular_file() && e.path().extension() == ".wav") out.push_back(e.path());
    return out;
  }

  std::string Setting(const char* key) const { return ReadSetting(kConfigSection, key); }
  static bool DeviceStarted(std::uint32_t device) {
    return BASS_WASAPI_SetDevice(device) == 1 && BASS_WASAPI_IsStarted() != 0;
  }
  QByteArray TempFile() const { return test::ReadAll(folder.fs() / "temp.wav"); }
};

}  // namespace program_test
