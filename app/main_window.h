#pragma once
// The program's only window and its form: every control with its name,
// place, texts and settings, and the window-level reactions (close query,
// hide when minimized). Window thread.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

#include "app/common_dialog.h"

// A drop-down list that also reports when its list closes.
class DropDownList : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void hidePopup() override;
 signals:
  void listClosed();
};

// A tab control whose pages place their children in the tab control's own
// coordinates, as the form gives them (property "formRect").
class FormTabWidget : public QTabWidget {
  Q_OBJECT
 public:
  using QTabWidget::QTabWidget;
  void PlaceFormChildren();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  MainWindow();
  ~MainWindow() override;

  // Client area of the form's 438 x 293 outer window; the window manager
  // adds its own frame around it.
  static constexpr int kClientWidth = 432;
  static constexpr int kClientHeight = 270;

  FormTabWidget* 高级选择夹1;
  QStatusBar* 状态条1;
  QLabel* statusText;  // the status bar's one part
  CommonDialog cmd;
  QMenu* 右键管理;
  QAction* menuPlayFile;
  QAction* menuLocateFile;
  QAction* menuDeleteRecording;
  QAction* menuRefreshList;
  QTimer* 记录时间;
  QPushButton* 按钮1;
  QPushButton* 按钮2;
  QPushButton* 按钮3;
  QGroupBox* 分组框3;
  QLabel* 透明标签10;
  QTreeWidget* 超级列表框1;
  QLabel* 透明标签1;
  DropDownList* cmbInput;
  QLabel* 透明标签2;
  QLabel* 透明标签3;
  DropDownList* cmbRate;
  QSlider* sldInputLevel;
  QLabel* 透明标签4;
  QLineEdit* 编辑框1;
  QPushButton* 按钮4;

  QTreeWidget& RecordingsList() { return *超级列表框1; }

  // The timer's period: 0 stops it.
  void SetTimerPeriod(int milliseconds);

  // Whether minimizing may hide the window: only while a notification icon is
  // actually shown, or the window could never come back.
  std::function<bool()> canHideToTray = [] { return false; };

  // Start-up runs event loops of its own (the recovery question, the text
  // routine); a close asked for meanwhile waits until start-up has finished.
  void SetStartupRunning(bool running);

 signals:
  void aboutToBeDestroyed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildRecordTab(QWidget* page);
  void BuildListTab(QWidget* page);
  void BuildSettingsTab(QWidget* page);
  void BindHandlers();
  bool destroyed_ = false;
  bool startupRunning_ = false;
  bool closePending_ = false;
};

// The caption texts of the record button, shared state of several handlers.
inline constexpr const char* kRecordCaptionIdle = "录制";
inline constexpr const char* kRecordCaptionRecording = "停止";

// The two pictures of the record button.
QIcon IdlePicture();
QIcon RecordingPicture();
