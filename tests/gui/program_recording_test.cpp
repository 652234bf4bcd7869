// Recording through the whole program: the record button, the capture
// callback, the final file, the mirror file, the list row and the timer.
#include <QDateTime>
#include <QRegularExpression>

#include "program_fixture.h"
#include "recording/record_button.h"
#include "recording/recording_timer.h"
#include "util/program_texts.h"
#include "util/unscramble_text.h"

using namespace program_test;

namespace {

std::string IdleTip() { return UnscrambleText(StoredCaptionText(), KeyText()); }

class Recording : public ProgramFixture {};

}  // namespace

TEST_F(Recording, EndToEndWritesTheFileTheMirrorAndTheRow) {
  Launch();
  ASSERT_EQ(w().cmbRate->currentText(), "22050") << "first start without a configuration file";
  const std::uint32_t rate = 22050;
  const std::size_t pushed = 30 * kMicPeriod + kMicPeriod / 2;  // 3.05 s

  PressRecord();
  EXPECT_EQ(w().按钮1->text(), "停止");
  EXPECT_TRUE(w().记录时间->isActive());
  EXPECT_EQ(w().记录时间->interval(), 1000);
  PushTone(mic, 30 * kMicPeriod);
  // The last half period is still waiting in the library when the stop is
  // pressed: it belongs to the recording all the same.
  ASSERT_EQ(vb->Push(mic, kMicPeriod / 2), kMicPeriod / 2);
  PressRecord();
  EXPECT_EQ(w().按钮1->text(), "录制");
  EXPECT_FALSE(w().记录时间->isActive());
  EXPECT_EQ(State().trayIcon->Tip(), IdleTip());

  const auto files = WavFiles(Storage());
  ASSERT_EQ(files.size(), 1u);
  const QByteArray wav = test::ReadAll(files[0]);
  ASSERT_GE(wav.size(), 44);
  EXPECT_EQ(wav.left(4), "RIFF");
  EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
  EXPECT_EQ(LE32At(wav, 4), static_cast<std::uint32_t>(wav.size() - 8));
  EXPECT_EQ(LE32At(wav, 24), rate);
  EXPECT_EQ(LE32At(wav, 28), rate * 4);
  EXPECT_EQ(wav.mid(36, 4), "data");
  EXPECT_EQ(LE32At(wav, 40), static_cast<std::uint32_t>(wav.size() - 44));
  // Everything captured, including what the rate converter held at the stop.
  const double expectedFrames = static_cast<double>(pushed) * rate / kMicRate;
  EXPECT_NEAR(static_cast<double>(Frames(wav)), expectedFrames, kConversionSlack);
  // Skip the converter's settling at the start.
  EXPECT_NEAR(ToneFrequency(wav, rate, rate / 10, Frames(wav)), kMicTone, 1.0);
  EXPECT_EQ(TempFile(), wav) << "the mirror is the finished file byte for byte";

  QTreeWidget& list = w().RecordingsList();
  ASSERT_EQ(RowCount(list), 1);
  EXPECT_EQ(CellText(list, 0, kColumnNumber), "0");
  EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)")
                  .match(QString::fromStdString(CellText(list, 0, kColumnCreated)))
                  .hasMatch());
  EXPECT_EQ(CellText(list, 0, kColumnLength), w().透明标签10->text().toStdString());
  EXPECT_TRUE(QRegularExpression(R"(^\d\d:\d\d:\d\d$)").match(w().透明标签10->text()).hasMatch());
  EXPECT_EQ(CellText(list, 0, kColumnSize), "0.3 MB");  // 264 KB
  EXPECT_EQ(CellText(list, 0, kColumnPath), files[0].string());
  EXPECT_TRUE(QRegularExpression(R"(^\d{4}(-\d{1,2}){5}\.wav$)")
                  .match(QString::fromStdString(files[0].filename().string()))
                  .hasMatch());
  EXPECT_EQ(w().高级选择夹1->tabText(1), "列表(1)");
}

TEST_F(Recording, StopBeforeAnyDataGivesAHeaderOnlyFile) {
  Launch();
  PressRecord();
  PressRecord();
  const auto files = WavFiles(Storage());
  ASSERT_EQ(files.size(), 1u);
  const QByteArray wav = test::ReadAll(files[0]);
  ASSERT_EQ(wav.size(), 44);
  EXPECT_EQ(LE32At(wav, 4), 36u);
  EXPECT_EQ(LE32At(wav, 40), 0u);
  EXPECT_EQ(TempFile(), wav);
  EXPECT_EQ(CellText(w().RecordingsList(), 0, kColumnSize), "0 MB");
}

TEST_F(Recording, SecondRecordingReplacesTheMirror) {
  Launch();
  PressRecord();
  PushTone(mic, 20 * kMicPeriod);
  PressRecord();
  const QByteArray first = TempFile();
  PressRecord();
  EXPECT_EQ(LE32At(TempFile(), 40), 0u) << "a running recording's mirror has sizes 0";
  PushTone(mic, 5 * kMicPeriod);
  PressRecord();
  const QByteArray second = TempFile();
  EXPECT_LT(second.size(), first.size());
  const std::string lastPath = CellText(w().RecordingsList(), 1, kColumnPath);
  EXPECT_EQ(test::ReadAll(lastPath), second);
  EXPECT_EQ(w().高级选择夹1->tabText(1), "列表(2)");
}

// A device picked during a recording continues the same file.
TEST_F(Recording, AnotherDeviceDuringARecordingContinuesTheFile) {
  AddStandardDevices();
  const std::uint32_t usb = vb->Add({"USB Microphone", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT, 44100, 1, {{440.0, 0.5}}});
  Launch(false);
  ASSERT_EQ(w().cmbInput->count(), 2);
  w().cmbRate->setCurrentIndex(1);  // 48000
  PressRecord();
  PushTone(mic, 10 * kMicPeriod);
  // Still in the library at the change: it stays in the recording.
  ASSERT_EQ(vb->Push(mic, kMicPeriod / 2), kMicPeriod / 2);
  w().cmbInput->setCurrentIndex(1);
  emit w().cmbInput->activated(1);
  EXPECT_EQ(State().InputDevice, static_cast<int>(usb));
  EXPECT_FALSE(DeviceStarted(mic));
  PushTone(usb, 44100, 4410);
  PressRecord();

  const auto files = WavFiles(Storage());
  ASSERT_EQ(files.size(), 1u);
  const QByteArray wav = test::ReadAll(files[0]);
  EXPECT_NEAR(static_cast<double>(Frames(wav)), 96000.0 + kMicPeriod / 2, kConversionSlack);
  EXPECT_NEAR(ToneFrequency(wav, 48000, 4800, 50400), kMicTone, 1.0);
  EXPECT_NEAR(ToneFrequency(wav, 48000, 55200, Frames(wav) - 2400), 440.0, 1.0);
}

TEST_F(Recording, AStartThatCannotStartTheDeviceReturnsToIdle) {
  Launch();
  test::WriteAll(folder.fs() / "temp.wav", "left over");
  vb->SetFailures(mic, false, true);
  {
    test::MessageBoxAnswerer answerer;
    PressRecord();
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].title, "信息：");
    EXPECT_EQ(answerer.seen()[0].text, "无法启动录音设备，录音未开始！");
  }
  EXPECT_EQ(w().按钮1->text(), "录制");
  EXPECT_EQ(w().按钮1->icon().pixmap(72).toImage(), IdlePicture().pixmap(72).toImage());
  EXPECT_FALSE(w().记录时间->isActive());
  EXPECT_EQ(State().trayIcon->Tip(), IdleTip());
  EXPECT_EQ(State().RecordMixer, 0u);
  EXPECT_TRUE(WavFiles(Storage()).empty());

  // The next press starts again once the device can start.
  vb->SetFailures(mic, false, false);
  PressRecord();
  EXPECT_NE(State().RecordMixer, 0u);
  PushTone(mic, kMicPeriod);
  PressRecord();
  EXPECT_EQ(WavFiles(Storage()).size(), 1u);
}

// With no capture device the rest of the start-up still runs.
TEST_F(Recording, NoCaptureDevice) {
  speaker = vb->Add({"Speakers", BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT, 48000, 2, {}});
  Launch(false);
  EXPECT_EQ(State().InputDevice, -1);
  EXPECT_EQ(w().cmbInput->count(), 0);
  EXPECT_TRUE(std::filesystem::is_directory(folder.fs() / "录音存储"));
  EXPECT_EQ(State().StorageFolder, DefaultStorageFolder());
  EXPECT_EQ(Setting(kKeyCloseCheck), "开启");
  EXPECT_EQ(w().cmbRate->currentText(), "22050");
  EXPECT_EQ(w().windowTitle().toStdString(), IdleTip());
  EXPECT_TRUE(State().trayIcon->IsShown());
  EXPECT_EQ(w().高级选择夹1->tabText(1), "列表(0)");
  {
    test::MessageBoxAnswerer answerer;
    PressRecord();
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].text, "未找到录音设备，无法录音！");
  }
  EXPECT_EQ(w().按钮1->text(), "录制");
  EXPECT_FALSE(w().记录时间->isActive());
}

TEST_F(Recording, WithoutADefaultFlagTheFirstEnabledDeviceIsOpened) {
  const std::uint32_t off = vb->Add({"Unplugged", BASS_DEVICE_INPUT, 48000, 2, {{kMicTone, 0.5}}});
  mic = vb->Add({"Line In", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT, 48000, 2, {{kMicTone, 0.5}, {kMicTone, 0.5}}});
  speaker = vb->Add({"Speakers", BASS_DEVICE_ENABLED | BASS_DEVICE_DEFAULT, 48000, 2, {}});
  Launch(false);
  (void)off;
  ASSERT_EQ(w().cmbInput->count(), 1);
  EXPECT_EQ(State().InputDevice, static_cast<int>(mic));
  PressRecord();
  PushTone(mic, 5 * kMicPeriod);
  PressRecord();
  const auto files = WavFiles(Storage());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_GT(Frames(test::ReadAll(files[0])), 10000u);
}

// A final file that cannot be written: reported, no row, and the recording
// stays in memory and in the mirror.
TEST_F(Recording, AFinalFileThatCannotBeWrittenIsReported) {
  test::WriteAll(folder.fs() / "not-a-folder", "x");
  WriteSetting(kConfigSection, kKeyStorageFolder, (folder.fs() / "not-a-folder").string() + "/");
  Launch();
  PressRecord();
  PushTone(mic, 5 * kMicPeriod);
  {
    test::MessageBoxAnswerer answerer;
    PressRecord();
    ASSERT_EQ(answerer.seen().size(), 1u);
    const QString prefix = "录音文件保存失败：" + QString::fromStdString(State().StorageFolder);
    ASSERT_TRUE(answerer.seen()[0].text.startsWith(prefix)) << answerer.seen()[0].text.toStdString();
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}(-\d{1,2}){5}\.wav$)")
                    .match(answerer.seen()[0].text.mid(prefix.size()))
                    .hasMatch());
  }
  EXPECT_EQ(RowCount(w().RecordingsList()), 0);
  const QByteArray temp = TempFile();
  EXPECT_GT(Frames(temp), 10000u);
  EXPECT_EQ(LE32At(temp, 40), static_cast<std::uint32_t>(temp.size() - 44));
  // Save As still has the image.
  const auto copy = folder.fs() / "copy.wav";
  CommonDialog::TestAnswer() = [&](const CommonDialog&) { return QString::fromStdString(copy.string()); };
  w().按钮3->click();
  EXPECT_EQ(test::ReadAll(copy), temp);
}

TEST_F(Recording, AFullImageStopsAndSavesTheRecording) {
  Launch();
  State().RecordBuffer.SetLimitForTesting(44 + 40000);
  test::MessageBoxAnswerer answerer;
  PressRecord();
  for (int i = 0; i < 20 && State().RecordMixer != 0; ++i) {
    vb->Push(mic, kMicPeriod);
    vb->WaitDelivered(mic);
    QCoreApplication::processEvents();
  }
  ASSERT_TRUE(test::WaitUntil([] { return State().RecordMixer == 0; }, 5000));
  ASSERT_TRUE(test::WaitUntil([&] { return !answerer.seen().empty(); }, 5000));
  EXPECT_EQ(answerer.seen()[0].text, "录音已达到最大长度，已自动停止并保存。");
  EXPECT_EQ(w().按钮1->text(), "录制");
  const auto files = WavFiles(Storage());
  ASSERT_EQ(files.size(), 1u);
  const QByteArray wav = test::ReadAll(files[0]);
  EXPECT_LE(wav.size(), 44 + 40000);
  EXPECT_GT(wav.size(), 44);
  EXPECT_EQ(LE32At(wav, 40), static_cast<std::uint32_t>(wav.size() - 44));
  EXPECT_EQ(RowCount(w().RecordingsList()), 1);
  EXPECT_EQ(answerer.seen().size(), 1u) << "one notice per recording";
}

TEST_F(Recording, TimerTextFollowsTheClock) {
  Launch();
  const struct {
    std::int64_t ms;
    const char* text;
  } table[] = {
      {59000, "00:00:59"}, {60000, "00:01:00"}, {3600000, "01:00:00"}, {360000000, "100:00:00"},
  };
  for (const auto& row : table) {
    State().ElapsedHours = State().ElapsedMinutes = State().ElapsedSeconds = 0;
    RecordingTimerTickAt(row.ms);
    EXPECT_EQ(w().透明标签10->text(), row.text);
    EXPECT_EQ(State().trayIcon->Tip(), row.text);
  }
  // Late ticks do not drift: each shows the clock's seconds, never going back.
  State().ElapsedHours = State().ElapsedMinutes = State().ElapsedSeconds = 0;
  const struct {
    std::int64_t ms;
    const char* text;
  } late[] = {{1000, "00:00:01"}, {3400, "00:00:03"}, {4900, "00:00:05"}, {6400, "00:00:06"},
              {7990, "00:00:08"}, {7500, "00:00:08"}, {61400, "00:01:01"}};
  for (const auto& row : late) {
    RecordingTimerTickAt(row.ms);
    EXPECT_EQ(w().透明标签10->text(), row.text) << row.ms;
  }
}

TEST(RecordingFileName, IsTheStopMomentWithoutLeadingZeros) {
  const struct {
    QDateTime moment;
    const char* name;
  } table[] = {
      {QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58)), "2023-12-31-23-59-58.wav"},
      {QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0)), "2024-1-1-0-0-0.wav"},
      {QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2)), "2024-3-5-9-7-2.wav"},
  };
  for (const auto& row : table) EXPECT_EQ(RecordingFileName(row.moment), row.name);
}

TEST_F(Recording, FirstStartWithoutAConfigurationFile) {
  test::MessageBoxAnswerer answerer;
  Launch();
  EXPECT_TRUE(answerer.seen().empty()) << "no question at a first start";
  EXPECT_EQ(w().cmbRate->currentText(), "22050");
  EXPECT_EQ(w().cmbInput->currentIndex(), 0);
  EXPECT_EQ(Setting(kKeyCloseCheck), "开启");
  EXPECT_TRUE(std::filesystem::is_directory(folder.fs() / "录音存储"));
  EXPECT_EQ(State().StorageFolder, folder.path() + "/录音存储/");
  EXPECT_EQ(w().编辑框1->text().toStdString(), State().StorageFolder);
  EXPECT_EQ(w().高级选择夹1->currentIndex(), 0);
  Destroy();
  EXPECT_EQ(Setting(kKeyCloseCheck), "正常关闭");
}

TEST_F(Recording, SavedDeviceIsShownButTheDefaultDeviceRecords) {
  const std::uint32_t usb = vb->Add({"USB Microphone", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT, 48000, 2, {}});
  AddStandardDevices();
  WriteSetting(kConfigSection, kKeyDefaultDevice, "0");
  WriteSetting(kConfigSection, kKeyDefaultQuality, "1");
  Launch(false);
  ASSERT_EQ(w().cmbInput->count(), 2);
  EXPECT_EQ(w().cmbInput->currentIndex(), 0);
  EXPECT_EQ(w().cmbInput->currentData().toInt(), static_cast<int>(usb));
  EXPECT_EQ(State().InputDevice, static_cast<int>(mic));
  EXPECT_EQ(w().cmbRate->currentText(), "48000");
  PressRecord();
  PushTone(mic, 10 * kMicPeriod);
  PressRecord();
  const auto files = WavFiles(Storage());
  ASSERT_EQ(files.size(), 1u);
  const QByteArray wav = test::ReadAll(files[0]);
  EXPECT_NEAR(ToneFrequency(wav, 48000, 4800, Frames(wav)), kMicTone, 1.0);
}

// A storage folder read without its trailing "/" gets one.
TEST_F(Recording, StorageFolderReadWithoutTrailingSeparatorGetsOne) {
  const auto mine = folder.fs() / "mine";
  std::filesystem::create_directory(mine);
  WriteSetting(kConfigSection, kKeyStorageFolder, mine.string());
  Launch();
  EXPECT_EQ(State().StorageFolder, mine.string() + "/");
  PressRecord();
  PressRecord();
  EXPECT_EQ(WavFiles(mine).size(), 1u);
}
