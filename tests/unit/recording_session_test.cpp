#include <gtest/gtest.h>

#include <QByteArray>
#include <QComboBox>
#include <cmath>
#include <memory>
#include <filesystem>

#include "app/app_state.h"
#include "audio/device_backend.h"
#include "audio/virtual_backend.h"
#include "recording/audio_library.h"
#include "recording/capture_input.h"
#include "recording/recording_session.h"
#include "recording/temp_recording.h"
#include "recording/wave_image.h"
#include "test_support.h"

namespace {

std::uint32_t LE32At(const QByteArray& b, int at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
  return v;
}

// Program-wide recording state back to "no recording yet" in a fresh folder,
// on the virtual backend (no devices unless a test adds them), so no test
// here depends on a sound server.
struct SessionFixture : ::testing::Test {
  test::TempFolder folder;
  std::shared_ptr<audio::VirtualBackend> vb = std::make_shared<audio::VirtualBackend>();
  void SetUp() override {
    BASS_Init(0, 44100, 0, nullptr, nullptr);  // already done by an earlier test is fine
    AudioLibrary_UseBackend(vb);
    SetProgramFolder(folder.path());
    State().InputDevice = -1;
    Reset();
  }
  void TearDown() override {
    audio::FreeAllDevices();
    AppState& s = State();
    BASS_StreamFree(s.RecordMixer);
    BASS_StreamFree(s.InputStream);
    BASS_StreamFree(s.PlaybackStream);
    BASS_StreamFree(s.OutputMixer);
    s.InputStream = s.OutputMixer = 0;
    s.InputDevice = -1;
    Reset();
    AudioLibrary_UseBackend(nullptr);
  }
  static void Reset() {
    AppState& s = State();
    s.RecordMixer = 0;
    s.PlaybackStream = 0;
    s.RecordBuffer.Free();
    s.RecordBuffer.RecordStep = 200000;
    s.RecordBuffer.SetLimitForTesting(kMaxImageBytes);
    s.TempRecording.Close(false);
    s.TempRecording.Forget();
    s.TempRecordingPath.clear();
    s.TempRecordingCreatedPath.clear();
  }
  QByteArray Image() const {
    const RecordImage& img = State().RecordBuffer;
    return QByteArray(reinterpret_cast<const char*>(img.Bytes()), img.AvailableBytes());
  }
};

}  // namespace

// The stop path on an image that never received data (the device delivered
// nothing): header-only file, sizes filled everywhere.
TEST_F(SessionFixture, StopBeforeAnyDataGivesA44ByteFile) {
  ASSERT_TRUE(PrepareRecordImage(44100));
  CreateTempRecording();
  AppendTempRecording(State().RecordBuffer.Bytes(), 44);
  StopRecording();

  const QByteArray temp = test::ReadAll(folder.fs() / "temp.wav");
  ASSERT_EQ(temp.size(), 44);
  EXPECT_EQ(LE32At(temp, 4), 36u);
  EXPECT_EQ(LE32At(temp, 40), 0u);
  EXPECT_EQ(temp, Image());
  EXPECT_EQ(State().WaveHeader.riffSize, 36u);
  EXPECT_EQ(State().WaveHeader.dataSize, 0u);
  EXPECT_FALSE(State().TempRecording.IsOpen());

  const auto out = folder.fs() / "out.wav";
  ASSERT_TRUE(WriteRecordingFile(out.string()));
  EXPECT_EQ(test::ReadAll(out), temp);
}

TEST_F(SessionFixture, WriteRecordingFileReportsWhatHappened) {
  ASSERT_TRUE(PrepareRecordImage(48000));
  const QByteArray samples(123457, 's');
  ASSERT_TRUE(State().RecordBuffer.Append(samples.constData(), static_cast<std::size_t>(samples.size())));

  const auto out = folder.fs() / "a.wav";
  test::WriteAll(out, QByteArray(300000, 'o'));  // replaced, not overwritten in place
  ASSERT_TRUE(WriteRecordingFile(out.string()));
  EXPECT_EQ(test::ReadAll(out), Image());
  EXPECT_EQ(test::ReadAll(out).size(), 44 + samples.size());

  EXPECT_FALSE(WriteRecordingFile((folder.fs() / "missing" / "b.wav").string()));

  // No image (after a failed start): the file is created and stays empty.
  State().RecordBuffer.Free();
  ASSERT_TRUE(WriteRecordingFile(out.string()));
  EXPECT_TRUE(std::filesystem::exists(out));
  EXPECT_EQ(test::ReadAll(out).size(), 0);
}

// A rate that gives no mixer abandons the start at once: no image, and the
// mirror file of the last recording stays as it was.
TEST_F(SessionFixture, StartWithoutAMixerUndoes) {
  test::WriteAll(folder.fs() / "temp.wav", QByteArray("last recording"));
  EXPECT_FALSE(StartRecording(0));
  EXPECT_EQ(State().RecordMixer, 0u);
  EXPECT_FALSE(State().RecordBuffer.Exists());
  EXPECT_FALSE(State().TempRecording.IsOpen());
  EXPECT_EQ(test::ReadAll(folder.fs() / "temp.wav"), QByteArray("last recording"));
}

namespace {

std::uint16_t LE16At(const QByteArray& b, int at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8));
}

struct Tone {
  double frequency = 0;
  int peak = 0;
};

// Frequency (from rising zero crossings) and peak of one channel of a 16-bit
// stereo WAV image, over frames [from, to).
Tone Measure(const QByteArray& wav, int channel, std::int64_t from, std::int64_t to, std::uint32_t rate) {
  auto at = [&](std::int64_t f) { return static_cast<std::int16_t>(LE16At(wav, static_cast<int>(44 + f * 4 + channel * 2))); };
  Tone t;
  std::int64_t first = -1, last = -1, crossings = 0;
  for (std::int64_t f = from + 1; f < to; ++f) {
    t.peak = std::max(t.peak, std::abs(static_cast<int>(at(f))));
    if (at(f - 1) < 0 && at(f) >= 0) {
      if (first < 0) first = f;
      else ++crossings;
      last = f;
    }
  }
  if (crossings > 0) t.frequency = static_cast<double>(crossings) * rate / static_cast<double>(last - first);
  return t;
}

audio::VirtualBackend::Spec Mic(const char* name, std::uint32_t rate, std::vector<audio::VirtualBackend::Tone> tones,
                                bool isDefault = true) {
  audio::VirtualBackend::Spec spec;
  spec.name = name;
  spec.flags = BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT | (isDefault ? BASS_DEVICE_DEFAULT : 0u);
  spec.rate = rate;
  spec.channels = static_cast<std::uint32_t>(tones.size());
  spec.tones = std::move(tones);
  return spec;
}

// Recording through scripted capture devices; the test plays the sound server.
struct DeviceSession : SessionFixture {
  QComboBox cmbInput;

  // The server captures `seconds` of the device's tones, period by period.
  void Capture(std::uint32_t device, std::uint32_t rate, double seconds) {
    const auto period = static_cast<std::size_t>(rate / 10);
    const auto periods = static_cast<int>(std::lround(seconds * 10));
    for (int i = 0; i < periods; ++i) {
      ASSERT_EQ(vb->Push(device, period), period);
      ASSERT_TRUE(vb->WaitDelivered(device));
    }
  }

  QByteArray TempWav() const { return test::ReadAll(folder.fs() / "temp.wav"); }

  // Header of a finished recording, and the mirror file identical to the image.
  void ExpectFinished(const QByteArray& wav, std::uint32_t rate) {
    ASSERT_GE(wav.size(), 44);
    EXPECT_EQ(LE16At(wav, 20), 1);
    EXPECT_EQ(LE16At(wav, 22), 2);
    EXPECT_EQ(LE32At(wav, 24), rate);
    EXPECT_EQ(LE32At(wav, 28), rate * 4);
    EXPECT_EQ(LE16At(wav, 34), 16);
    EXPECT_EQ(LE32At(wav, 4), static_cast<std::uint32_t>(wav.size() - 8));
    EXPECT_EQ(LE32At(wav, 40), static_cast<std::uint32_t>(wav.size() - 44));
    EXPECT_EQ(TempWav(), wav);
  }
};

// A recording holds what was captured, short by no more than the rate
// converter's delay (the tail still inside the converter at the stop).
void ExpectLength(const QByteArray& wav, std::uint32_t rate, double seconds, int converters = 1) {
  const double frames = static_cast<double>((wav.size() - 44) / 4);
  EXPECT_LE(frames, rate * seconds + 2);
  EXPECT_GE(frames, rate * (seconds - 0.04 * converters));
}

}  // namespace

TEST_F(DeviceSession, StereoDeviceAt48kRecordsStereo16BitAt44100) {
  vb->Add(Mic("Mic", 48000, {{997, 0.5}, {440, 0.5}}));
  ListCaptureDevices(cmbInput);
  State().OutputMixer = BASS_Mixer_StreamCreate(48000, 2, BASS_SAMPLE_FLOAT | BASS_MIXER_POSEX | BASS_MIXER_END | BASS_STREAM_DECODE);

  ASSERT_TRUE(StartRecording(44100));
  EXPECT_NE(State().RecordMixer, 0u);
  // While recording the mirror file holds the header with sizes 0 and the data so far.
  Capture(0, 48000, 0.5);
  const QByteArray during = TempWav();
  ASSERT_GT(during.size(), 44);
  EXPECT_EQ(LE32At(during, 4), 0u);
  EXPECT_EQ(LE32At(during, 40), 0u);
  // Save As during the recording: the image as it stands, sizes 0.
  const auto saved = folder.fs() / "saved.wav";
  ASSERT_TRUE(WriteRecordingFile(saved.string()));
  EXPECT_EQ(test::ReadAll(saved), during);
  Capture(0, 48000, 0.5);
  StopRecording();
  EXPECT_EQ(State().RecordMixer, 0u);

  const QByteArray wav = Image();
  ExpectFinished(wav, 44100);
  EXPECT_EQ(wav.mid(44, during.size() - 44), during.mid(44));
  const std::int64_t frames = (wav.size() - 44) / 4;
  ExpectLength(wav, 44100, 1.0);
  const Tone left = Measure(wav, 0, 2000, frames, 44100);
  const Tone right = Measure(wav, 1, 2000, frames, 44100);
  EXPECT_NEAR(left.frequency, 997.0, 3.0);
  EXPECT_NEAR(right.frequency, 440.0, 3.0);
  EXPECT_NEAR(left.peak, 16384, 1200);
  EXPECT_NEAR(right.peak, 16384, 1200);

  // Playback stream on the image, already plugged into the output mixer.
  EXPECT_NE(State().PlaybackStream, 0u);
  EXPECT_FALSE(BASS_Mixer_StreamAddChannel(State().OutputMixer, State().PlaybackStream, 0));
}

TEST_F(DeviceSession, MonoDeviceFillsBothChannels) {
  vb->Add(Mic("Mono mic", 22050, {{997, 0.5}}));
  ListCaptureDevices(cmbInput);
  ASSERT_TRUE(StartRecording(48000));
  Capture(0, 22050, 1.0);
  StopRecording();

  const QByteArray wav = Image();
  ExpectFinished(wav, 48000);
  const std::int64_t frames = (wav.size() - 44) / 4;
  ExpectLength(wav, 48000, 1.0);
  for (int channel : {0, 1}) {
    const Tone t = Measure(wav, channel, 2000, frames, 48000);
    EXPECT_NEAR(t.frequency, 997.0, 3.0) << channel;
    EXPECT_GT(t.peak, 12000) << channel;
  }
}

TEST_F(DeviceSession, ChoosingAnotherDeviceDuringARecordingContinuesTheSameFile) {
  vb->Add(Mic("Mic A", 48000, {{997, 0.5}, {997, 0.5}}));
  vb->Add(Mic("Mic B", 32000, {{440, 0.5}}, false));
  ListCaptureDevices(cmbInput);
  ASSERT_TRUE(StartRecording(44100));
  Capture(0, 48000, 0.5);

  cmbInput.setCurrentIndex(1);
  DeviceChosen(cmbInput);
  EXPECT_EQ(State().InputDevice, 1);
  ASSERT_TRUE(BASS_WASAPI_SetDevice(1));
  EXPECT_TRUE(BASS_WASAPI_IsStarted());
  Capture(1, 32000, 0.5);
  StopRecording();

  const QByteArray wav = Image();
  ExpectFinished(wav, 44100);
  const std::int64_t frames = (wav.size() - 44) / 4;
  ExpectLength(wav, 44100, 1.0, 2);  // each device's converter keeps its tail
  EXPECT_NEAR(Measure(wav, 0, 2000, 20000, 44100).frequency, 997.0, 3.0);
  EXPECT_NEAR(Measure(wav, 1, frames - 18000, frames, 44100).frequency, 440.0, 3.0);
}

TEST_F(DeviceSession, FailedDeviceStartLeavesNoImageAndNoFile) {
  const std::uint32_t mic = vb->Add(Mic("Mic", 48000, {{997, 0.5}, {997, 0.5}}));
  ListCaptureDevices(cmbInput);
  ASSERT_TRUE(StartRecording(44100));  // an earlier recording of this run
  Capture(mic, 48000, 0.2);
  StopRecording();
  ASSERT_TRUE(std::filesystem::exists(folder.fs() / "temp.wav"));

  vb->SetFailures(mic, false, true);
  EXPECT_FALSE(StartRecording(44100));
  EXPECT_EQ(State().RecordMixer, 0u);
  EXPECT_FALSE(State().RecordBuffer.Exists());
  EXPECT_EQ(State().PlaybackStream, 0u);
  EXPECT_FALSE(State().TempRecording.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(folder.fs() / "temp.wav"));

  // A device that could not be opened at all: its start fails the same way.
  audio::FreeAllDevices();
  BASS_StreamFree(State().InputStream);
  State().InputStream = 0;
  vb->SetFailures(mic, true, false);
  OpenInputDevice();
  EXPECT_FALSE(StartRecording(44100));
  EXPECT_FALSE(State().RecordBuffer.Exists());
  EXPECT_FALSE(std::filesystem::exists(folder.fs() / "temp.wav"));
}

TEST_F(DeviceSession, SecondRecordingReplacesTheFirst) {
  vb->Add(Mic("Mic", 48000, {{997, 0.5}, {997, 0.5}}));
  ListCaptureDevices(cmbInput);
  ASSERT_TRUE(StartRecording(48000));
  Capture(0, 48000, 0.5);
  StopRecording();
  const QByteArray first = Image();
  const HSTREAM firstPlayback = State().PlaybackStream;
  ASSERT_NE(firstPlayback, 0u);

  ASSERT_TRUE(StartRecording(22050));
  EXPECT_EQ(State().PlaybackStream, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(firstPlayback, BASS_POS_BYTE), ~QWORD64{0});  // freed with the first image
  EXPECT_EQ(TempWav().size(), 44);  // replaced, then the new header
  Capture(0, 48000, 0.2);
  StopRecording();
  const QByteArray second = Image();
  ExpectFinished(second, 22050);
  EXPECT_LT(second.size(), first.size());
}
