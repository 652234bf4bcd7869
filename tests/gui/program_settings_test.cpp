// The settings tab, the recovery after an unexpected end, the input level
// and the tray events, through the whole program.
#include <QWindow>

#include "program_fixture.h"

using namespace program_test;

namespace {
class Settings : public ProgramFixture {
 protected:
  // As the window manager minimizes: through the platform window, not
  // showMinimized() (which shows the widget again afterwards).
  void Minimize() {
    w().windowHandle()->setWindowState(Qt::WindowMinimized);
    test::WaitUntil([&] { return (w().windowState() & Qt::WindowMinimized) != 0; }, 2000);
    QCoreApplication::processEvents();
  }
};
}  // namespace

TEST_F(Settings, DeviceIndexIsWrittenWhenTheListCloses) {
  AddStandardDevices();
  vb->Add({"USB Microphone", BASS_DEVICE_ENABLED | BASS_DEVICE_INPUT, 48000, 2, {}});
  Launch(false);
  ASSERT_EQ(w().cmbInput->count(), 2);
  EXPECT_EQ(Setting(kKeyDefaultDevice), "");
  w().cmbInput->hidePopup();  // opened and closed without a choice
  EXPECT_EQ(Setting(kKeyDefaultDevice), "0");
  // Arrow keys switch the device but save nothing until the list closes.
  w().cmbInput->setFocus();
  QTest::keyClick(w().cmbInput, Qt::Key_Down);
  EXPECT_EQ(w().cmbInput->currentIndex(), 1);
  EXPECT_EQ(State().InputDevice, w().cmbInput->currentData().toInt());
  EXPECT_EQ(Setting(kKeyDefaultDevice), "0");
  emit w().cmbInput->listClosed();
  EXPECT_EQ(Setting(kKeyDefaultDevice), "1");
}

TEST_F(Settings, RateIndexIsWrittenOnEverySelection) {
  Launch();
  ASSERT_EQ(w().cmbRate->currentIndex(), 4);
  EXPECT_EQ(Setting(kKeyDefaultQuality), "");
  for (int index : {3, 0, 4}) {
    w().cmbRate->setCurrentIndex(index);
    emit w().cmbRate->activated(index);
    EXPECT_EQ(Setting(kKeyDefaultQuality), std::to_string(index));
  }
  QTest::keyClick(w().cmbRate, Qt::Key_Up);  // by keyboard
  EXPECT_EQ(Setting(kKeyDefaultQuality), "3");
}

TEST_F(Settings, ChoosingTheStorageFolder) {
  const std::string idleMessage = "存储文件夹设置完毕！已生效...";
  const std::string laterMessage = "存储文件夹设置完毕！将在下次运行软件时候生效！";
  const std::string other = folder.path() + "/other";
  const struct {
    const char* name;
    bool recording;
    std::string chosen;    // the browser's answer, "" = cancelled
    std::string expected;  // 编辑框1 and "存储位置" afterwards ("" = unchanged)
    bool inForce;          // StorageFolder takes it
    std::string message;
  } table[] = {
      {"idle", false, other, other + "/", true, idleMessage},
      {"during a recording", true, other, other + "/", false, laterMessage},
      {"cancelled", false, "", "", false, ""},
      {"the root", false, "/", "/", true, idleMessage},
      {"doubled separators", false, "//server//share", "/server/share/", true, idleMessage},
  };
  std::filesystem::create_directory(other);
  Launch();
  const std::string initial = State().StorageFolder;
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    State().StorageFolder = initial;
    w().编辑框1->setText(QString::fromStdString(initial));
    WriteSetting(kConfigSection, kKeyStorageFolder, initial);
    if (row.recording) PressRecord();
    TestFolderBrowser() = [&] { return row.chosen; };
    std::vector<test::MessageBoxAnswerer::Seen> seen;
    {
      test::MessageBoxAnswerer answerer;
      w().按钮4->click();
      seen = answerer.seen();
    }
    const std::string expected = row.expected.empty() ? initial : row.expected;
    EXPECT_EQ(w().编辑框1->text().toStdString(), expected);
    EXPECT_EQ(Setting(kKeyStorageFolder), expected);
    EXPECT_EQ(State().StorageFolder, row.inForce ? expected : initial);
    if (row.message.empty()) {
      EXPECT_TRUE(seen.empty());
    } else {
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].title, "信息：");
      EXPECT_EQ(seen[0].text.toStdString(), row.message);
    }
    if (row.recording) {
      PushTone(mic, kMicPeriod);
      PressRecord();
      EXPECT_EQ(WavFiles(initial).size(), 1u) << "the running recording lands in the old folder";
      EXPECT_TRUE(WavFiles(other).empty());
    }
  }
}

// After an unexpected end: the question, the save dialog and the copy.
TEST_F(Settings, RecoveryOfferAfterAnUnexpectedEnd) {
  // An interrupted recording: header with sizes 0, then 1000 frames and a
  // torn half frame.
  QByteArray temp("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x22\x56\0\0\x88\x58\x01\0\x04\0\x10\0data\0\0\0\0", 44);
  for (int i = 0; i < 1000; ++i) temp += QByteArray::fromRawData("\x01\x02\x03\x04", 4);
  temp += QByteArray("\x05\x06", 2);
  const struct {
    const char* name;
    bool tempPresent;
    const char* answer;
    bool dialogAnswers;
    bool copied;
  } table[] = {
      {"OK, a name chosen", true, "ok", true, true},
      {"Cancel", true, "cancel", true, false},
      {"the box closed", true, "close", true, false},
      {"OK, the dialog cancelled", true, "ok", false, false},
      {"no temp.wav", false, "ok", true, false},
  };
  int n = 0;
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    const auto programFolder = folder.fs() / std::to_string(n++);
    std::filesystem::create_directory(programFolder);
    SetProgramFolder(programFolder.string());
    vb = std::make_shared<audio::VirtualBackend>();
    WriteSetting(kConfigSection, kKeyCloseCheck, "开启");
    if (row.tempPresent) test::WriteAll(programFolder / "temp.wav", temp);
    const auto copy = programFolder / "saved.wav";
    int dialogs = 0;
    CommonDialog::TestAnswer() = [&](const CommonDialog&) -> std::optional<QString> {
      ++dialogs;
      if (!row.dialogAnswers) return std::nullopt;
      return QString::fromStdString(copy.string());
    };
    std::vector<test::MessageBoxAnswerer::Seen> seen;
    {
      test::MessageBoxAnswerer answerer({row.answer});
      Launch();
      seen = answerer.seen();
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "友情提醒");
    EXPECT_EQ(seen[0].text, "软件检测到曾经意外关闭，是否存储上次录音？！");
    EXPECT_EQ(dialogs, std::string(row.answer) == "ok" ? 1 : 0);
    EXPECT_EQ(Setting(kKeyCloseCheck), "开启");
    EXPECT_EQ(std::filesystem::exists(copy), row.copied);
    if (row.copied) {
      const QByteArray saved = test::ReadAll(copy);
      ASSERT_EQ(saved.size(), temp.size());
      EXPECT_EQ(LE32At(saved, 4), static_cast<std::uint32_t>(temp.size() - 8));
      EXPECT_EQ(LE32At(saved, 40), 4000u) << "whole frames after the header";
      EXPECT_EQ(saved.left(4), temp.left(4));
      EXPECT_EQ(saved.mid(8, 32), temp.mid(8, 32));
      EXPECT_EQ(saved.mid(44), temp.mid(44));
    }
    if (row.tempPresent) {
      EXPECT_EQ(test::ReadAll(programFolder / "temp.wav"), temp) << "TempRecording is left as it was";
    }
    TearDown();
    EXPECT_EQ(ReadSetting(kConfigSection, kKeyCloseCheck), "正常关闭");
  }
}

TEST_F(Settings, InputLevelReachesTheCaptureDevice) {
  Launch();
  const struct {
    int position;
    float level;
  } table[] = {{37, 0.37f}, {0, 0.0f}, {100, 1.0f}, {5, 0.05f}};
  for (const auto& row : table) {
    w().sldInputLevel->setValue(row.position);
    ASSERT_TRUE(vb->GetVolume(mic).has_value());
    EXPECT_FLOAT_EQ(*vb->GetVolume(mic), row.level) << row.position;
    EXPECT_FLOAT_EQ(*vb->GetVolume(speaker), 1.0f) << "the output keeps its level";
  }
}

TEST_F(Settings, TrayEventsAndMinimizing) {
  Launch();
  TrayIcon& tray = *State().trayIcon;
  ASSERT_TRUE(tray.IsShown());
  Minimize();
  EXPECT_FALSE(w().isVisible()) << "minimizing hides the window while the icon is shown";

  for (auto reason : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick}) {
    tray.DeliverActivation(reason);
    EXPECT_FALSE(w().isVisible()) << reason;
  }
  tray.DeliverActivation(QSystemTrayIcon::Trigger);  // 513
  EXPECT_TRUE(w().isVisible());
  EXPECT_FALSE(w().windowState() & Qt::WindowMinimized);

  // A tray host that comes back gets the icon again.
  tray.Icon()->hide();
  ASSERT_FALSE(tray.IsShown());
  Minimize();
  EXPECT_TRUE(w().isVisible()) << "without an icon the window could never come back";
  tray.DeliverHostCreated();  // 1120
  EXPECT_TRUE(tray.IsShown());
  w().showNormal();
  Minimize();
  EXPECT_FALSE(w().isVisible());
  tray.DeliverActivation(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(w().isVisible());
}

TEST_F(Settings, CloseWhileRecordingIsRefusedAndAfterwardsMarksANormalEnd) {
  Launch();
  bool destroyed = false;
  QObject::connect(window.get(), &MainWindow::aboutToBeDestroyed, [&] { destroyed = true; });
  PressRecord();
  {
    test::MessageBoxAnswerer answerer;
    EXPECT_FALSE(w().close());
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].text, "请先停止录音，再进行关闭！");
  }
  EXPECT_NE(State().RecordMixer, 0u);
  PushTone(mic, kMicPeriod);
  PressRecord();
  EXPECT_TRUE(w().close());
  EXPECT_TRUE(destroyed);
  Destroy();
  EXPECT_EQ(Setting(kKeyCloseCheck), "正常关闭");
}
