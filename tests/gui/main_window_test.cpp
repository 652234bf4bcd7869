#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include "app/app_state.h"
#include "app/main_window.h"
#include "test_support.h"

namespace {

// Where a control stands in its tab control's coordinates (the form's frame).
QRect FormGeometry(QWidget* w, QWidget* tabControl) {
  return QRect(w->mapTo(tabControl, QPoint(0, 0)), w->size());
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramFolder(folder.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  test::TempFolder folder;
  MainWindow window;
};

TEST_F(MainWindowTest, FormMatchesItsTable) {
  struct Row {
    QWidget* widget;
    const char* name;
    const char* className;
    int tab;  // -1: inside the group box
    QRect place;
    const char* text;
  };
  MainWindow& w = window;
  const Row rows[] = {
      {w.按钮1, "按钮1", "QPushButton", 0, {115, 148, 230, 74}, "录制"},
      {w.按钮2, "按钮2", "QPushButton", 0, {360, 150, 72, 30}, "播放"},
      {w.按钮3, "按钮3", "QPushButton", 0, {361, 182, 72, 30}, "保存"},
      {w.分组框3, "分组框3", "QGroupBox", 0, {112, 48, 233, 94}, "录音计时"},
      {w.超级列表框1, "超级列表框1", "QTreeWidget", 1, {4, 28, 419, 209}, ""},
      {w.透明标签1, "透明标签1", "QLabel", 2, {50, 39, 120, 24}, "选择录音设备"},
      {w.cmbInput, "cmbInput", "DropDownList", 2, {50, 70, 312, 20}, ""},
      {w.透明标签2, "透明标签2", "QLabel", 2, {50, 94, 120, 24}, "录音品质设置"},
      {w.透明标签3, "透明标签3", "QLabel", 2, {166, 94, 120, 24}, "音量大小设置"},
      {w.cmbRate, "cmbRate", "DropDownList", 2, {51, 124, 96, 20}, ""},
      {w.sldInputLevel, "sldInputLevel", "QSlider", 2, {164, 125, 198, 16}, ""},
      {w.透明标签4, "透明标签4", "QLabel", 2, {50, 155, 120, 24}, "文件存储设置"},
      {w.编辑框1, "编辑框1", "QLineEdit", 2, {50, 182, 280, 24}, ""},
      {w.按钮4, "按钮4", "QPushButton", 2, {330, 182, 32, 24}, "选"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.widget->objectName(), QString::fromUtf8(r.name));
    EXPECT_STREQ(r.widget->metaObject()->className(), r.className);
    EXPECT_EQ(r.widget->parentWidget(), w.高级选择夹1->widget(r.tab));
    // Every tab lays out its controls; look at each tab in turn.
    w.高级选择夹1->setCurrentIndex(r.tab);
    EXPECT_EQ(FormGeometry(r.widget, w.高级选择夹1), r.place);
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(r.widget)) text = b->text();
    if (auto* l = qobject_cast<QLabel*>(r.widget)) text = l->text();
    if (auto* g = qobject_cast<QGroupBox*>(r.widget)) text = g->title();
    if (auto* e = qobject_cast<QLineEdit*>(r.widget)) text = e->text();
    EXPECT_EQ(text, QString::fromUtf8(r.text));
  }
  w.高级选择夹1->setCurrentIndex(0);

  EXPECT_EQ(w.windowTitle(), "Tavrinv1.0");
  EXPECT_EQ(w.size(), QSize(MainWindow::kClientWidth, MainWindow::kClientHeight));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(w.windowIcon().isNull());
  EXPECT_EQ(w.高级选择夹1->geometry(), QRect(0, 0, 432, 250));
  ASSERT_EQ(w.高级选择夹1->count(), 3);
  EXPECT_EQ(w.高级选择夹1->tabText(0), "录音");
  EXPECT_EQ(w.高级选择夹1->tabText(1), "列表");
  EXPECT_EQ(w.高级选择夹1->tabText(2), "设置");
  EXPECT_EQ(w.高级选择夹1->currentIndex(), 0);
  EXPECT_EQ(w.状态条1->geometry().bottom(), w.height() - 1);
  EXPECT_FALSE(w.statusText->text().isEmpty());

  EXPECT_EQ(w.透明标签10->parentWidget(), w.分组框3);
  EXPECT_EQ(w.透明标签10->geometry(), QRect(40, 31, 143, 40));
  EXPECT_EQ(w.透明标签10->text(), "00:00:00");
  EXPECT_TRUE(w.透明标签10->font().bold());
  EXPECT_EQ(w.透明标签10->font().pixelSize(), 29);
  EXPECT_FALSE(w.按钮1->icon().isNull());
  EXPECT_FALSE(w.记录时间->isActive());

  // cmbRate: five rates, "48000" selected; cmbInput empty.
  QStringList rates;
  for (int i = 0; i < w.cmbRate->count(); ++i) rates << w.cmbRate->itemText(i);
  EXPECT_EQ(rates, QStringList({"96000", "48000", "44100", "32000", "22050"}));
  EXPECT_EQ(w.cmbRate->currentIndex(), 1);
  EXPECT_FALSE(w.cmbRate->isEditable());
  EXPECT_EQ(w.cmbInput->count(), 0);
  EXPECT_EQ(w.cmbInput->currentIndex(), -1);

  EXPECT_EQ(w.sldInputLevel->orientation(), Qt::Horizontal);
  EXPECT_EQ(w.sldInputLevel->minimum(), 0);
  EXPECT_EQ(w.sldInputLevel->maximum(), 100);
  EXPECT_EQ(w.sldInputLevel->value(), 100);
  EXPECT_EQ(w.sldInputLevel->pageStep(), 5);
  EXPECT_EQ(w.sldInputLevel->singleStep(), 1);
  EXPECT_EQ(w.sldInputLevel->tickInterval(), 10);
  EXPECT_EQ(w.sldInputLevel->tickPosition(), QSlider::TicksBelow);

  // The list's columns.
  QTreeWidget* list = w.超级列表框1;
  ASSERT_EQ(list->columnCount(), 5);
  const char* titles[5] = {" 序", "创建时间", "录音总长", "文件大小", "路径"};
  const int widths[5] = {50, 150, 100, 90, 0};
  const Qt::Alignment align[5] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignLeft};
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(list->headerItem()->text(c), QString::fromUtf8(titles[c]));
    EXPECT_EQ(list->isColumnHidden(c) ? 0 : list->columnWidth(c), widths[c]);
    EXPECT_EQ(Qt::Alignment(list->headerItem()->textAlignment(c)) & Qt::AlignHorizontal_Mask, align[c]);
  }
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_FALSE(list->isSortingEnabled());
  EXPECT_TRUE(list->header()->sectionsClickable());

  // The popup menu.
  QStringList items;
  for (QAction* a : w.右键管理->actions()) items << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(w.右键管理->title(), "右键管理");
  EXPECT_EQ(items, QStringList({"播放文件", "-", "文件定位", "-", "删除录音", "-", "刷新列表"}));
  EXPECT_TRUE(w.cmd.fileName.isEmpty());
}

TEST_F(MainWindowTest, CloseQueryRefusesWhileRecording) {
  window.按钮1->setText(QString::fromUtf8(kRecordCaptionRecording));
  QSignalSpy destroyed(&window, &MainWindow::aboutToBeDestroyed);
  {
    test::MessageBoxAnswerer answerer;
    EXPECT_FALSE(window.close());
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].title, "信息：");
    EXPECT_EQ(answerer.seen()[0].text, "请先停止录音，再进行关闭！");
    EXPECT_EQ(answerer.seen()[0].icon, 0);
  }
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(destroyed.count(), 0);

  window.按钮1->setText(QString::fromUtf8(kRecordCaptionIdle));
  EXPECT_TRUE(window.close());
  EXPECT_EQ(destroyed.count(), 1);
}

TEST_F(MainWindowTest, MinimizeHidesOnlyWhileAnIconIsShown) {
  window.canHideToTray = [] { return false; };
  window.setWindowState(Qt::WindowMinimized);
  QApplication::processEvents();
  EXPECT_TRUE(window.isVisible()) << "no icon: the window must stay reachable";

  window.setWindowState(Qt::WindowNoState);
  window.show();
  window.canHideToTray = [] { return true; };
  window.setWindowState(Qt::WindowMinimized);
  QApplication::processEvents();
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
