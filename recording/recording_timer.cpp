#include "recording/recording_timer.h"

#include <QElapsedTimer>
#include <cmath>

#include "app/app_state.h"
#include "app/main_window.h"
#include "tray/tray_icon.h"

namespace {
QElapsedTimer& Clock() {
  static QElapsedTimer clock;
  return clock;
}

std::string TwoDigits(std::int32_t value) {
  std::string text = std::to_string(value);
  if (text.size() < 2) text = "0" + text;
  return text;
}
}  // namespace

void StartRecordingClock() { Clock().start(); }

void AdvanceElapsedSecond() {
  AppState& s = State();
  s.ElapsedSeconds += 1;
  if (s.ElapsedSeconds == 60) {
    s.ElapsedMinutes += 1;
    s.ElapsedSeconds = 0;
  }
  if (s.ElapsedMinutes == 60) {
    s.ElapsedHours += 1;
    s.ElapsedMinutes = 0;
  }
}

std::string ElapsedText() {
  const AppState& s = State();
  return TwoDigits(s.ElapsedHours) + ":" + TwoDigits(s.ElapsedMinutes) + ":" + TwoDigits(s.ElapsedSeconds);
}

void RecordingTimerTickAt(std::int64_t elapsedMs) {
  AppState& s = State();
  const std::int64_t target = static_cast<std::int64_t>(std::llround(static_cast<double>(elapsedMs) / 1000.0));
  std::int64_t shown = (static_cast<std::int64_t>(s.ElapsedHours) * 60 + s.ElapsedMinutes) * 60 + s.ElapsedSeconds;
  while (shown < target) {
    AdvanceElapsedSecond();
    ++shown;
  }
  MainWindow* window = s.mainWindow;
  if (!window) return;
  window->透明标签10->setText(QString::fromStdString(ElapsedText()));
  if (s.trayIcon) s.trayIcon->SetTip(window->透明标签10->text().toStdString());
}

void RecordingTimerTick() { RecordingTimerTickAt(Clock().isValid() ? Clock().elapsed() : 0); }
