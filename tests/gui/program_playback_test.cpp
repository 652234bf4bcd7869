// The Play and Save buttons on the record tab, through the whole program.
#include "program_fixture.h"

using namespace program_test;

namespace {

class Playback : public ProgramFixture {
 protected:
  // A finished 48 kHz recording of `frames` (the output's own rate, so
  // playback converts only the sample format); returns the stored file.
  QByteArray Record(std::size_t frames) {
    w().cmbRate->setCurrentIndex(1);
    PressRecord();
    PushTone(mic, frames);
    PressRecord();
    const auto files = WavFiles(Storage());
    return files.empty() ? QByteArray() : test::ReadAll(files.back());
  }

  // Lets the output device play until it has taken `frames` frames of real
  // data or `limit` frames in all; returns the real frames.
  std::size_t PlayOut(std::size_t frames, std::size_t limit) {
    std::size_t real = 0;
    for (std::size_t played = 0; real < frames && played < limit; played += 2400) real += vb->Play(speaker, 2400);
    return real;
  }

  // Whether `played` (interleaved float), from `at` on, is the 16-bit
  // recording `wav` converted back, frame for frame.
  static ::testing::AssertionResult PlaysAs(const std::vector<float>& played, std::size_t at, const QByteArray& wav) {
    const std::size_t frames = Frames(wav);
    if (played.size() < (at + frames) * 2) return ::testing::AssertionFailure() << "only " << played.size() / 2 << " frames played";
    for (std::size_t i = 0; i < frames; ++i)
      for (int c = 0; c < 2; ++c) {
        const float want = static_cast<float>(SampleAt(wav, i, c)) / 32768.0f;
        if (std::fabs(played[(at + i) * 2 + static_cast<std::size_t>(c)] - want) > 1e-4f)
          return ::testing::AssertionFailure() << "frame " << i << " channel " << c << ": " << played[(at + i) * 2 + c]
                                               << " != " << want;
      }
    return ::testing::AssertionSuccess();
  }

  // Where the recording `wav` starts in `played`, looking from frame `from`
  // on: the first sound, less the recording's own silent lead-in (its tone
  // starts at phase 0).
  static std::size_t StartOf(const std::vector<float>& played, std::size_t from, const QByteArray& wav) {
    std::size_t lead = 0;
    while (lead < Frames(wav) && SampleAt(wav, lead, 0) == 0 && SampleAt(wav, lead, 1) == 0) ++lead;
    for (std::size_t i = from; i * 2 + 1 < played.size(); ++i)
      if (played[i * 2] != 0.0f || played[i * 2 + 1] != 0.0f) return i >= from + lead ? i - lead : from;
    return played.size() / 2;
  }
};

}  // namespace

TEST_F(Playback, PlaysTheRecordingAndStopsAfterIt) {
  Launch();
  const QByteArray wav = Record(10 * kMicPeriod);
  const std::size_t frames = Frames(wav);
  ASSERT_GT(frames, 40000u);

  for (int round = 0; round < 2; ++round) {  // a second Play after the end plays it again
    SCOPED_TRACE(round);
    const std::size_t before = vb->Played(speaker).size() / 2;
    w().按钮2->click();
    EXPECT_EQ(PlayOut(frames, frames + 48000), frames);
    const std::vector<float> played = vb->Played(speaker);
    const std::size_t start = StartOf(played, before, wav);
    EXPECT_LT(start - before, 4800u) << "playback starts at once";
    EXPECT_TRUE(PlaysAs(played, start, wav));
    // The device stops by itself once the data has been played out.
    vb->Play(speaker, 4800);
    EXPECT_TRUE(test::WaitUntil([&] { return !DeviceStarted(speaker); }, 5000));
    EXPECT_FALSE(DeviceStarted(mic));
  }
}

TEST_F(Playback, PlayWhilePlayingStartsAgainFromTheBeginning) {
  Launch();
  const QByteArray wav = Record(10 * kMicPeriod);
  w().按钮2->click();
  vb->Play(speaker, 24000);
  ASSERT_TRUE(DeviceStarted(speaker));
  const std::size_t before = vb->Played(speaker).size() / 2;
  w().按钮2->click();
  EXPECT_EQ(PlayOut(Frames(wav), Frames(wav) + 48000), Frames(wav));
  const std::vector<float> played = vb->Played(speaker);
  EXPECT_TRUE(PlaysAs(played, StartOf(played, before, wav), wav));
}

// Play with nothing to play: no sound, the capture device stays stopped and a
// running recording goes on unchanged.
TEST_F(Playback, PlayWithNothingToPlayChangesNothing) {
  const struct {
    const char* name;
    bool outputDevice;
    bool recording;
  } table[] = {
      {"before anything was recorded", true, false},
      {"during a recording", true, true},
      {"without an output device", false, false},
      {"without an output device, during a recording", false, true},
  };
  int n = 0;
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const auto programFolder = folder.fs() / std::to_string(n++);
    std::filesystem::create_directory(programFolder);
    SetProgramFolder(programFolder.string());
    vb = std::make_shared<audio::VirtualBackend>();
    AddStandardDevices();
    if (!row.outputDevice) vb->Remove(speaker);
    Launch(false);
    EXPECT_EQ(State().OutputDevice != -1, row.outputDevice);
    if (row.recording) {
      PressRecord();
      PushTone(mic, 5 * kMicPeriod);
    }
    const std::int32_t used = State().RecordBuffer.RecordUsed();
    w().按钮2->click();
    if (row.outputDevice) {
      EXPECT_EQ(PlayOut(1, 9600), 0u);
    }
    EXPECT_EQ(DeviceStarted(mic), row.recording);
    EXPECT_EQ(State().RecordBuffer.RecordUsed(), used);
    if (row.recording) {
      PushTone(mic, 5 * kMicPeriod);
      PressRecord();
      const auto files = WavFiles(Storage());
      ASSERT_EQ(files.size(), 1u);
      EXPECT_NEAR(static_cast<double>(Frames(test::ReadAll(files[0]))), 10 * kMicPeriod * 22050.0 / kMicRate,
                  kConversionSlack);
    }
    TearDown();
  }
}

TEST_F(Playback, SaveAsCopiesTheStoredFileAndOffersTheLastPath) {
  Launch();
  const QByteArray wav = Record(5 * kMicPeriod);
  std::vector<QString> offered;
  const auto first = folder.fs() / "first.wav";
  const auto second = folder.fs() / "second";  // the default extension is added
  std::vector<std::filesystem::path> answers = {first, second};
  CommonDialog::TestAnswer() = [&](const CommonDialog& d) -> std::optional<QString> {
    offered.push_back(d.fileName);
    EXPECT_EQ(d.title, "Save As...");
    EXPECT_EQ(d.defaultExtension, "wav");
    return QString::fromStdString(answers[offered.size() - 1].string());
  };
  w().按钮3->click();
  w().按钮3->click();
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0], "");
  EXPECT_EQ(offered[1].toStdString(), first.string());
  EXPECT_EQ(test::ReadAll(first), wav);
  EXPECT_EQ(test::ReadAll(folder.fs() / "second.wav"), wav);
  EXPECT_EQ(RowCount(w().RecordingsList()), 1) << "a saved copy adds no row";

  // Cancel writes nothing; a path that cannot be written is reported.
  CommonDialog::TestAnswer() = [](const CommonDialog&) -> std::optional<QString> { return std::nullopt; };
  std::filesystem::remove(first);
  w().按钮3->click();
  EXPECT_FALSE(std::filesystem::exists(first));
  const std::string bad = (folder.fs() / "missing" / "x.wav").string();
  CommonDialog::TestAnswer() = [&](const CommonDialog&) -> std::optional<QString> { return QString::fromStdString(bad); };
  test::MessageBoxAnswerer answerer;
  w().按钮3->click();
  ASSERT_EQ(answerer.seen().size(), 1u);
  EXPECT_EQ(answerer.seen()[0].text.toStdString(), "文件保存失败：" + bad);
}

TEST_F(Playback, SaveDuringARecordingWritesASnapshot) {
  Launch();
  PressRecord();
  PushTone(mic, 10 * kMicPeriod);
  const auto copy = folder.fs() / "snapshot.wav";
  CommonDialog::TestAnswer() = [&](const CommonDialog&) { return QString::fromStdString(copy.string()); };
  w().按钮3->click();
  const QByteArray snap = test::ReadAll(copy);
  EXPECT_EQ(snap.size(), State().RecordBuffer.RecordUsed());
  EXPECT_EQ(LE32At(snap, 4), 0u);
  EXPECT_EQ(LE32At(snap, 40), 0u);
  PushTone(mic, 5 * kMicPeriod);
  PressRecord();
  const QByteArray wav = test::ReadAll(WavFiles(Storage()).at(0));
  ASSERT_GT(wav.size(), snap.size());
  EXPECT_EQ(wav.mid(44, snap.size() - 44), snap.mid(44)) << "the snapshot holds the samples so far";
  EXPECT_EQ(snap.left(4), "RIFF");
  EXPECT_EQ(snap.mid(8, 32), wav.mid(8, 32)) << "the same format and data chunk head";
}

// A recording that starts while playback runs takes the stream away: the
// output drains and stops by itself, and the next Play plays the new recording.
TEST_F(Playback, ARecordingStartedDuringPlaybackEndsIt) {
  Launch();
  Record(10 * kMicPeriod);
  w().按钮2->click();
  ASSERT_GT(vb->Play(speaker, 9600), 0u);
  PressRecord();
  // What the device already holds (its 0.4 s buffer at most) still plays.
  std::size_t drained = 0;
  for (int i = 0; i < 10; ++i) drained += vb->Play(speaker, 4800);
  EXPECT_LE(drained, 19200u);
  EXPECT_EQ(vb->Play(speaker, 4800), 0u) << "no more of the old recording";
  EXPECT_TRUE(test::WaitUntil([&] { return !DeviceStarted(speaker); }, 5000));
  PushTone(mic, 5 * kMicPeriod);
  PressRecord();
  const QByteArray second = test::ReadAll(CellText(w().RecordingsList(), 1, kColumnPath));
  EXPECT_EQ(second, TempFile());

  const std::size_t before = vb->Played(speaker).size() / 2;
  w().按钮2->click();
  EXPECT_EQ(PlayOut(Frames(second), Frames(second) + 48000), Frames(second));
  const std::vector<float> played = vb->Played(speaker);
  EXPECT_TRUE(PlaysAs(played, StartOf(played, before, second), second));
}
