// Recording through the whole program on the sound server: the record
// button, real capture from the virtual microphone, the stored file, its
// mirror, the list row; a device change during a recording.
#include <QRegularExpression>
#include <cstdio>

#include "e2e_fixture.h"

using namespace e2e;

namespace {

class RecordOnPulse : public ProgramOnPulse {};

std::string ExpectedSizeText(qsizetype bytes) {
  const double kib = std::ceil(static_cast<double>(bytes) / 1024.0);
  char text[32];
  std::snprintf(text, sizeof text, "%.13g MB", std::round(kib / 1024.0 * 10.0) / 10.0);
  return text;
}

}  // namespace

TEST_F(RecordOnPulse, RecordsTheMicrophoneWholeAtEachRate) {
  REQUIRE_PULSE();
  Launch();
  ASSERT_EQ(State().InputDevice, static_cast<int>(FindDevice("VirtualMic").value_or(0)));
  for (const std::uint32_t rate : {48000u, 44100u, 22050u}) {
    SCOPED_TRACE(rate);
    ASSERT_TRUE(ChooseItem(*w().cmbRate, QString::number(rate)));
    const double pressed = Record(2300);
    EXPECT_EQ(w().按钮1->text(), "录制");
    const QByteArray wav = LastRecording();
    ASSERT_GE(wav.size(), 44);
    EXPECT_EQ(wav.left(4), "RIFF");
    EXPECT_EQ(LE32At(wav, 4), static_cast<std::uint32_t>(wav.size() - 8));
    EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(LE32At(wav, 16), 16u);
    EXPECT_EQ(LE16At(wav, 20), 1u);  // PCM
    EXPECT_EQ(LE16At(wav, 22), 2u);
    EXPECT_EQ(LE32At(wav, 24), rate);
    EXPECT_EQ(LE32At(wav, 28), rate * 4);
    EXPECT_EQ(LE16At(wav, 32), 4u);
    EXPECT_EQ(LE16At(wav, 34), 16u);
    EXPECT_EQ(wav.mid(36, 4), "data");
    EXPECT_EQ(LE32At(wav, 40), static_cast<std::uint32_t>(wav.size() - 44));
    EXPECT_EQ(TempFile(), wav) << "the mirror is the stored file byte for byte";

    const double length = static_cast<double>(Frames(wav)) / rate;
    EXPECT_NEAR(length, pressed, 0.2) << "recorded " << length << " s of " << pressed << " s";
    for (int c = 0; c < 2; ++c) {
      SCOPED_TRACE(c);
      const auto x = WavChannel(wav, c);
      const std::size_t settle = rate / 10;  // the converter's start
      EXPECT_NEAR(ZeroCrossingFrequency(x, rate, settle, x.size()), kTone, 0.5);
      const ToneFit fit = FitTone(x, rate, settle, x.size());
      EXPECT_GT(fit.windows, 150u);
      EXPECT_LT(fit.worstPhase, 0.05) << "the tone's phase jumped: audio lost or repeated";
      EXPECT_LT(fit.worstAmplitudeError, 0.02);
      std::printf("[e2e] %u Hz ch%d: %.3f s recorded, %.3f s between presses, %zu windows, worst phase %.1e rad, amp err %.1e\n",
                  rate, c, length, pressed, fit.windows, fit.worstPhase, fit.worstAmplitudeError);
      // The same recording with one frame taken out must fail the fit.
      auto dropped = x;
      dropped.erase(dropped.begin() + static_cast<std::ptrdiff_t>(dropped.size() / 2));
      EXPECT_GT(FitTone(dropped, rate, settle, dropped.size()).worstPhase, 0.1);
    }
  }

  // The rows: numbered from 0, the stop moment's file, the timer's text.
  QTreeWidget& list = w().RecordingsList();
  ASSERT_EQ(RowCount(list), recordings);
  EXPECT_EQ(static_cast<int>(WavFiles(Storage()).size()), recordings);
  for (int r = 0; r < recordings; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(CellText(list, r, kColumnNumber), std::to_string(r));
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)")
                    .match(QString::fromStdString(CellText(list, r, kColumnCreated)))
                    .hasMatch());
    // 2.3 s of a one-second timer.
    EXPECT_EQ(CellText(list, r, kColumnLength), "00:00:02");
    const std::string path = CellText(list, r, kColumnPath);
    EXPECT_EQ(CellText(list, r, kColumnSize), ExpectedSizeText(test::ReadAll(path).size()));
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}(-\d{1,2}){5}\.wav$)")
                    .match(QString::fromStdString(std::filesystem::path(path).filename().string()))
                    .hasMatch());
  }
  EXPECT_EQ(w().高级选择夹1->tabText(1), QString("列表(%1)").arg(recordings));
}

// Choosing the mono microphone during a recording: the same file goes on,
// with the tone from both devices, the mono one on both channels.
TEST_F(RecordOnPulse, AnotherDeviceDuringARecordingContinuesTheFile) {
  REQUIRE_PULSE();
  Launch();
  constexpr std::uint32_t rate = 48000;
  ASSERT_TRUE(ChooseItem(*w().cmbRate, "48000"));
  const auto stereo = FindDevice("VirtualMic"), mono = FindDevice("VirtualMicMono");
  ASSERT_TRUE(stereo && mono);
  const double pressed = Record(
      3000,
      [&] {
        ASSERT_TRUE(ChooseItem(*w().cmbInput, "VirtualMicMono"));
        EXPECT_EQ(State().InputDevice, static_cast<int>(*mono));
        EXPECT_TRUE(DeviceStarted(State().InputDevice)) << "the new device records at once";
      },
      [&] {
        ASSERT_TRUE(ChooseItem(*w().cmbInput, "VirtualMic"));
        ASSERT_EQ(State().InputDevice, static_cast<int>(*stereo));
      });
  const double switchedAt = 1.5;
  // One recording, one file.
  EXPECT_EQ(RowCount(w().RecordingsList()), recordings);
  EXPECT_EQ(static_cast<int>(WavFiles(Storage()).size()), recordings);
  const QByteArray wav = LastRecording();
  EXPECT_EQ(TempFile(), wav);
  EXPECT_EQ(LE32At(wav, 40), static_cast<std::uint32_t>(wav.size() - 44));
  const double length = static_cast<double>(Frames(wav)) / rate;
  // The change itself costs the old device's unfinished period and the new
  // one's start.
  EXPECT_NEAR(length, pressed, 0.35);
  std::printf("[e2e] device change: %.3f s recorded, %.3f s between presses\n", length, pressed);

  const auto left = WavChannel(wav, 0), right = WavChannel(wav, 1);
  const auto at = [&](double s) { return static_cast<std::size_t>(s * rate); };
  // Each half away from the change (the new device's start), in both channels.
  const struct {
    const char* name;
    std::size_t from, to;
  } halves[] = {{"stereo microphone", at(0.1), at(switchedAt - 0.25)}, {"mono microphone", at(switchedAt + 0.25), left.size()}};
  for (const auto& half : halves) {
    SCOPED_TRACE(half.name);
    ASSERT_LT(half.from + rate / 2, half.to);
    for (const auto* x : {&left, &right}) {
      EXPECT_NEAR(ZeroCrossingFrequency(*x, rate, half.from, half.to), kTone, 0.5);
      const ToneFit fit = FitTone(*x, rate, half.from, half.to);
      EXPECT_LT(fit.worstPhase, 0.05);
      EXPECT_LT(fit.worstAmplitudeError, 0.02);
      std::printf("[e2e] %s: %zu windows, worst phase %.1e rad, amp err %.1e\n", half.name, fit.windows, fit.worstPhase,
                  fit.worstAmplitudeError);
    }
  }
  // The mono device lands on both channels alike.
  double worst = 0;
  for (std::size_t i = halves[1].from; i < left.size(); ++i) worst = std::max(worst, double(std::abs(left[i] - right[i])));
  EXPECT_LT(worst, 1.5 / 32768.0);
}
