#include "recording/record_button.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/plain_message_box.h"
#include "library/recordings_list.h"
#include "recording/capture_input.h"
#include "recording/recording_session.h"
#include "recording/recording_timer.h"
#include "tray/tray_icon.h"
#include "util/program_texts.h"
#include "util/unscramble_text.h"

namespace {

void SetIdleTip() {
  if (State().trayIcon) State().trayIcon->SetTip(UnscrambleText(StoredCaptionText(), KeyText()));
}

// The button back to idle after a start that did not start.
void ShowIdle(MainWindow& window) {
  window.按钮1->setText(QString::fromUtf8(kRecordCaptionIdle));
  window.按钮1->setIcon(IdlePicture());
  window.按钮1->setIconSize(QSize(72, 72));
  window.SetTimerPeriod(0);
}

void Start(MainWindow& window) {
  AppState& s = State();
  if (s.InputDevice == -1) {
    ShowPlainMessage("未找到录音设备，无法录音！");
    return;
  }
  window.按钮1->setText(QString::fromUtf8(kRecordCaptionRecording));
  s.ElapsedHours = s.ElapsedMinutes = s.ElapsedSeconds = 0;
  StartRecordingClock();
  window.SetTimerPeriod(1000);
  const int rate = window.cmbRate->currentText().toInt();
  if (!StartRecording(rate)) {
    ShowIdle(window);
    SetIdleTip();
    ShowPlainMessage("无法启动录音设备，录音未开始！");
    return;
  }
  window.按钮1->setIcon(RecordingPicture());
  window.按钮1->setIconSize(QSize(64, 64));
}

void Stop(MainWindow& window, const std::string& name) {
  AppState& s = State();
  SetIdleTip();
  window.按钮1->setText(QString::fromUtf8(kRecordCaptionIdle));
  StopRecording();
  window.SetTimerPeriod(0);
  window.按钮1->setIcon(IdlePicture());
  window.按钮1->setIconSize(QSize(72, 72));
  const std::string path = s.StorageFolder + name;
  if (!WriteRecordingFile(path)) {
    // The image stays in memory for Play and Save As, and the mirror file on disk.
    ShowPlainMessage("录音文件保存失败：" + path);
    return;
  }
  AppendRecordingRow(path, window.透明标签10->text().toStdString());
}

}  // namespace

std::string RecordingFileName(const QDateTime& moment) {
  const QDate d = moment.date();
  const QTime t = moment.time();
  return std::to_string(d.year()) + "-" + std::to_string(d.month()) + "-" + std::to_string(d.day()) + "-" +
         std::to_string(t.hour()) + "-" + std::to_string(t.minute()) + "-" + std::to_string(t.second()) + ".wav";
}

void RecordButtonClicked() {
  MainWindow* window = State().mainWindow;
  if (!window) return;
  const std::string name = RecordingFileName(QDateTime::currentDateTime());
  if (State().RecordMixer == 0) {
    Start(*window);
  } else {
    Stop(*window, name);
  }
}

void InstallRecordingFullHandler() {
  // Capture thread: only posts; the stop runs on the window thread.
  SetRecordingFullHandler([] {
    QMetaObject::invokeMethod(
        qApp,
        [] {
          if (State().RecordMixer == 0 || !State().mainWindow) return;
          RecordButtonClicked();
          ShowPlainMessage("录音已达到最大长度，已自动停止并保存。");
        },
        Qt::QueuedConnection);
  });
}
