#include <gtest/gtest.h>

#include <QComboBox>
#include <atomic>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "audio/device_backend.h"
#include "audio/virtual_backend.h"
#include "recording/audio_library.h"
#include "recording/capture_input.h"
#include "recording/temp_recording.h"
#include "recording/wave_image.h"
#include "test_support.h"

namespace {

// Scripted devices, a fresh program folder and the recording state of a
// program that has not recorded yet.
struct CaptureFixture : ::testing::Test {
  test::TempFolder folder;
  std::shared_ptr<audio::VirtualBackend> vb = std::make_shared<audio::VirtualBackend>();

  void SetUp() override {
    BASS_Init(0, 44100, 0, nullptr, nullptr);  // already done by an earlier test is fine
    AudioLibrary_UseBackend(vb);
    SetProgramFolder(folder.path());
    AppState& s = State();
    s.InputDevice = -1;
    s.RecordBuffer.RecordStep = 200000;
  }
  void TearDown() override {
    audio::FreeAllDevices();
    AppState& s = State();
    BASS_StreamFree(s.RecordMixer);
    BASS_StreamFree(s.InputStream);
    BASS_StreamFree(s.PlaybackStream);
    s.RecordMixer = s.InputStream = s.PlaybackStream = 0;
    s.InputDevice = -1;
    s.DeviceListFilling = false;
    s.RecordBuffer.Free();
    s.RecordBuffer.SetLimitForTesting(kMaxImageBytes);
    s.TempRecording.Close(false);
    s.TempRecording.Forget();
    SetRecordingFullHandler(nullptr);
    AudioLibrary_UseBackend(nullptr);
  }

  // The streams of a running recording without a device: the test calls
  // InputCallback itself, as the capture thread would.
  void MakeStreams(std::uint32_t inRate, std::uint32_t inChans, std::uint32_t outRate) {
    AppState& s = State();
    s.InputStream = BASS_StreamCreate(inRate, inChans, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE, STREAMPROC_PUSH, nullptr);
    s.RecordMixer = BASS_Mixer_StreamCreate(outRate, 2, BASS_STREAM_DECODE);
    ASSERT_NE(s.InputStream, 0u);
    ASSERT_NE(s.RecordMixer, 0u);
    ASSERT_TRUE(BASS_Mixer_StreamAddChannel(s.RecordMixer, s.InputStream, 0));
    ASSERT_TRUE(PrepareRecordImage(outRate));
    CreateTempRecording();
    AppendTempRecording(s.RecordBuffer.Bytes(), 44);
  }

  QByteArray Image() const {
    const RecordImage& img = State().RecordBuffer;
    return QByteArray(reinterpret_cast<const char*>(img.Bytes()), img.AvailableBytes());
  }
};

// A stereo float block: left rises from `from` by `step` per frame, right is its negative.
std::vector<float> Ramp(std::size_t frames, float from, float step) {
  std::vector<float> b(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    b[2 * i] = from + step * static_cast<float>(i);
    b[2 * i + 1] = -b[2 * i];
  }
  return b;
}

std::int16_t SampleAt(const QByteArray& image, std::size_t frame, int channel) {
  const auto at = static_cast<qsizetype>(44 + frame * 4 + static_cast<std::size_t>(channel) * 2);
  return static_cast<std::int16_t>(static_cast<std::uint8_t>(image[at]) | (static_cast<std::uint8_t>(image[at + 1]) << 8));
}

audio::VirtualBackend::Spec Device(const char* name, std::uint32_t flags, std::uint32_t rate = 48000,
                                   std::uint32_t channels = 2) {
  audio::VirtualBackend::Spec spec;
  spec.name = name;
  spec.flags = flags;
  spec.rate = rate;
  spec.channels = channels;
  return spec;
}

}  // namespace

TEST_F(CaptureFixture, ListsEnabledCaptureDevicesAndOpensTheLastDefault) {
  vb->Add(Device("Speakers", BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT));                   // 0: output
  vb->Add(Device("Unplugged", BASS_DEVICE_INPUT | BASS_DEVICE_DEFAULT));                    // 1: disabled
  vb->Add(Device("Mic A", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT | BASS_DEVICE_DEFAULT));  // 2
  vb->Add(Device("Monitor", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT | BASS_DEVICE_LOOPBACK)); // 3
  vb->Add(Device("Mic B", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT | BASS_DEVICE_DEFAULT, 32000, 1));  // 4

  QComboBox cmbInput;
  ListCaptureDevices(cmbInput);
  ASSERT_EQ(cmbInput.count(), 3);
  const struct {
    const char* name;
    int device;
  } expected[] = {{"Mic A", 2}, {"Monitor", 3}, {"Mic B", 4}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(cmbInput.itemText(i).toStdString(), expected[i].name);
    EXPECT_EQ(cmbInput.itemData(i).toInt(), expected[i].device);
  }
  EXPECT_EQ(cmbInput.currentIndex(), -1);
  EXPECT_EQ(State().InputDevice, 4);
  EXPECT_FALSE(State().DeviceListFilling);
  // Both defaults were opened on the way; the first one stays open.
  EXPECT_TRUE(BASS_WASAPI_SetDevice(2));
  EXPECT_TRUE(BASS_WASAPI_SetDevice(4));
  EXPECT_FALSE(BASS_WASAPI_SetDevice(3));
  BASS_WASAPI_INFO info{};
  ASSERT_TRUE(BASS_WASAPI_GetInfo(&info));
  EXPECT_EQ(info.freq, 32000u);
  EXPECT_NE(State().InputStream, 0u);
  EXPECT_FALSE(BASS_WASAPI_IsStarted());  // opened, not started, while idle
}

TEST_F(CaptureFixture, ChoosingADeviceWhileIdleOpensItWithoutStarting) {
  vb->Add(Device("Mic A", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT | BASS_DEVICE_DEFAULT));
  vb->Add(Device("Mic B", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT, 22050));
  QComboBox cmbInput;
  ListCaptureDevices(cmbInput);
  const HSTREAM before = State().InputStream;
  cmbInput.setCurrentIndex(1);
  DeviceChosen(cmbInput);
  EXPECT_EQ(State().InputDevice, 1);
  EXPECT_FALSE(BASS_WASAPI_SetDevice(0));  // the previous device was released
  ASSERT_TRUE(BASS_WASAPI_SetDevice(1));
  EXPECT_FALSE(BASS_WASAPI_IsStarted());
  EXPECT_NE(State().InputStream, 0u);
  EXPECT_NE(State().InputStream, before);
}

// One captured block that converts to far more than one pull is drained
// completely, in order, into the image and the mirror file.
TEST_F(CaptureFixture, DrainsLargeBlocksInOrder) {
  MakeStreams(96000, 2, 96000);
  const std::size_t frames = 48000;  // 0.5 s: 192000 bytes converted, several pulls
  auto block = Ramp(frames, -0.9f, 1.8f / frames);
  ASSERT_EQ(InputCallback(block.data(), static_cast<std::uint32_t>(block.size() * sizeof(float)), nullptr), 1);
  auto second = Ramp(frames, -0.9f + 1.8f, 0.0f);  // a flat continuation at +0.9
  ASSERT_EQ(InputCallback(second.data(), static_cast<std::uint32_t>(second.size() * sizeof(float)), nullptr), 1);

  const QByteArray image = Image();
  const std::size_t got = static_cast<std::size_t>(image.size() - 44) / 4;
  EXPECT_EQ(got, 2 * frames);
  for (std::size_t i = 1; i < got; ++i) {
    ASSERT_GE(SampleAt(image, i, 0), SampleAt(image, i - 1, 0)) << "frame " << i;
    ASSERT_EQ(SampleAt(image, i, 1), -SampleAt(image, i, 0)) << "frame " << i;
  }
  EXPECT_LT(SampleAt(image, 0, 0), -29000);
  EXPECT_GT(SampleAt(image, got - 1, 0), 29000);

  BASS_StreamFree(State().RecordMixer);
  State().RecordMixer = 0;
  CloseTempRecording();
  EXPECT_EQ(test::ReadAll(folder.fs() / "temp.wav"), image);
}

TEST_F(CaptureFixture, AFullImageStopsTheCaptureAndTellsOnce) {
  MakeStreams(48000, 2, 48000);
  State().RecordBuffer.SetLimitForTesting(44 + 100000);
  std::atomic<int> told{0};
  SetRecordingFullHandler([&] { ++told; });

  auto block = Ramp(4800, 0.1f, 0.0f);  // 0.1 s = 19200 bytes converted
  const auto bytes = static_cast<std::uint32_t>(block.size() * sizeof(float));
  int accepted = 0;
  while (InputCallback(block.data(), bytes, nullptr) == 1) ASSERT_LT(++accepted, 100);
  EXPECT_EQ(accepted, 5);  // 5 × 19200 fit into 100000, the sixth does not
  EXPECT_EQ(told.load(), 1);
  EXPECT_TRUE(State().RecordBuffer.Full());
  EXPECT_EQ(State().RecordBuffer.RecordUsed(), 44 + 5 * 19200);

  EXPECT_EQ(InputCallback(block.data(), bytes, nullptr), 0);  // takes nothing more
  EXPECT_EQ(told.load(), 1);
  EXPECT_EQ(State().RecordBuffer.RecordUsed(), 44 + 5 * 19200);

  BASS_StreamFree(State().RecordMixer);
  State().RecordMixer = 0;
  CloseTempRecording();
  EXPECT_EQ(test::ReadAll(folder.fs() / "temp.wav"), Image());
}
