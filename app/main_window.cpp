#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "app/plain_message_box.h"
#include "app/window_lifecycle.h"
#include "library/list_actions.h"
#include "library/recordings_list.h"
#include "library/save_as.h"
#include "playback/playback.h"
#include "recording/capture_input.h"
#include "recording/input_level.h"
#include "recording/record_button.h"
#include "recording/recording_timer.h"
#include "settings/settings_tab.h"

namespace {

const char* kFormRect = "formRect";

// Places a control as the form gives it, relative to its tab control.
template <typename W>
W* Place(W* widget, const char* name, int x, int y, int w, int h) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setProperty(kFormRect, QRect(x, y, w, h));
  widget->setGeometry(x, y, w, h);
  return widget;
}

// Report-view grid lines, which the toolkit's tree view does not draw.
class GridLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(QColor(0xd0, 0xd0, 0xd0));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->restore();
  }
};

}  // namespace

// The pictures live in the core library's resources, which a static link
// only keeps when something names them.
static void InitResources() {
  static const bool once = [] {
    Q_INIT_RESOURCE(resources);
    return true;
  }();
  (void)once;
}

QIcon IdlePicture() { return QIcon(":/idle_picture.svg"); }
QIcon RecordingPicture() { return QIcon(":/recording_picture.svg"); }

void DropDownList::hidePopup() {
  QComboBox::hidePopup();
  emit listClosed();
}

void FormTabWidget::PlaceFormChildren() {
  for (int i = 0; i < count(); ++i) {
    QWidget* page = widget(i);
    const QPoint offset = page->mapTo(this, QPoint(0, 0));
    for (QObject* child : page->children()) {
      auto* w = qobject_cast<QWidget*>(child);
      if (!w) continue;
      const QVariant rect = w->property(kFormRect);
      if (rect.isValid()) w->setGeometry(rect.toRect().translated(-offset));
    }
  }
}

void FormTabWidget::showEvent(QShowEvent* event) {
  QTabWidget::showEvent(event);
  PlaceFormChildren();
}

void FormTabWidget::resizeEvent(QResizeEvent* event) {
  QTabWidget::resizeEvent(event);
  PlaceFormChildren();
}

MainWindow::MainWindow() : QWidget(nullptr) {
  InitResources();
  setObjectName("MainWindow");
  setWindowTitle("Tavrinv1.0");
  setWindowIcon(QIcon(":/window_icon.svg"));
  // Fixed border, system menu and minimize button; no maximize button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  move(50, 50);

  QFont font = QApplication::font();
  font.setFamilies({"微软雅黑", "Microsoft YaHei", "WenQuanYi Micro Hei", "Noto Sans CJK SC", font.family()});
  setFont(font);

  高级选择夹1 = new FormTabWidget(this);
  高级选择夹1->setObjectName(QString::fromUtf8("高级选择夹1"));
  高级选择夹1->setGeometry(0, 0, 432, 250);
  auto* recordTab = new QWidget;
  auto* listTab = new QWidget;
  auto* settingsTab = new QWidget;
  高级选择夹1->addTab(recordTab, QString::fromUtf8("录音"));
  高级选择夹1->addTab(listTab, QString::fromUtf8("列表"));
  高级选择夹1->addTab(settingsTab, QString::fromUtf8("设置"));

  // The status bar docks at the window's bottom edge, under the tab control.
  状态条1 = new QStatusBar(this);
  状态条1->setObjectName(QString::fromUtf8("状态条1"));
  状态条1->setSizeGripEnabled(false);
  状态条1->setGeometry(0, 250, 432, 20);
  statusText = new QLabel(QString::fromUtf8("Tavrin 录音机"), 状态条1);
  状态条1->addWidget(statusText, 1);
  状态条1->installEventFilter(this);
  statusText->installEventFilter(this);

  右键管理 = new QMenu(QString::fromUtf8("右键管理"), this);
  menuPlayFile = 右键管理->addAction(QString::fromUtf8("播放文件"));
  右键管理->addSeparator();
  menuLocateFile = 右键管理->addAction(QString::fromUtf8("文件定位"));
  右键管理->addSeparator();
  menuDeleteRecording = 右键管理->addAction(QString::fromUtf8("删除录音"));
  右键管理->addSeparator();
  menuRefreshList = 右键管理->addAction(QString::fromUtf8("刷新列表"));

  BuildRecordTab(recordTab);
  BuildListTab(listTab);
  BuildSettingsTab(settingsTab);
  高级选择夹1->setCurrentIndex(0);
  BindHandlers();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildRecordTab(QWidget* page) {
  记录时间 = new QTimer(page);
  记录时间->setObjectName(QString::fromUtf8("记录时间"));
  记录时间->setTimerType(Qt::PreciseTimer);

  按钮1 = Place(new QPushButton(QString::fromUtf8(kRecordCaptionIdle), page), "按钮1", 115, 148, 230, 74);
  按钮1->setIcon(IdlePicture());
  按钮1->setIconSize(QSize(72, 72));
  按钮2 = Place(new QPushButton(QString::fromUtf8("播放"), page), "按钮2", 360, 150, 72, 30);
  按钮3 = Place(new QPushButton(QString::fromUtf8("保存"), page), "按钮3", 361, 182, 72, 30);
  分组框3 = Place(new QGroupBox(QString::fromUtf8("录音计时"), page), "分组框3", 112, 48, 233, 94);
  透明标签10 = new QLabel("00:00:00", 分组框3);
  透明标签10->setObjectName(QString::fromUtf8("透明标签10"));
  透明标签10->setGeometry(40, 31, 143, 40);
  QFont big = font();
  big.setBold(true);
  big.setPixelSize(29);
  透明标签10->setFont(big);
  透明标签10->setAttribute(Qt::WA_TranslucentBackground);
}

void MainWindow::BuildListTab(QWidget* page) {
  超级列表框1 = Place(new QTreeWidget(page), "超级列表框1", 4, 28, 419, 209);
  auto* list = 超级列表框1;
  list->setColumnCount(5);
  list->setHeaderLabels({QString::fromUtf8(" 序"), QString::fromUtf8("创建时间"), QString::fromUtf8("录音总长"),
                         QString::fromUtf8("文件大小"), QString::fromUtf8("路径")});
  const int widths[5] = {50, 150, 100, 90, 0};
  const Qt::Alignment align[5] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignLeft};
  for (int c = 0; c < 5; ++c) {
    list->setColumnWidth(c, widths[c]);
    list->headerItem()->setTextAlignment(c, align[c] | Qt::AlignVCenter);
  }
  list->setColumnHidden(4, true);
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSortingEnabled(false);
  list->header()->setSectionsClickable(true);
  list->header()->setStretchLastSection(false);
  list->setItemDelegate(new GridLineDelegate(list));
  // The selection stays visible when the list loses the focus.
  QPalette palette = list->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  list->setPalette(palette);
  list->viewport()->installEventFilter(this);
}

void MainWindow::BuildSettingsTab(QWidget* page) {
  透明标签1 = Place(new QLabel(QString::fromUtf8("选择录音设备"), page), "透明标签1", 50, 39, 120, 24);
  cmbInput = Place(new DropDownList(page), "cmbInput", 50, 70, 312, 20);
  cmbInput->setEditable(false);
  透明标签2 = Place(new QLabel(QString::fromUtf8("录音品质设置"), page), "透明标签2", 50, 94, 120, 24);
  透明标签3 = Place(new QLabel(QString::fromUtf8("音量大小设置"), page), "透明标签3", 166, 94, 120, 24);
  cmbRate = Place(new DropDownList(page), "cmbRate", 51, 124, 96, 20);
  cmbRate->setEditable(false);
  cmbRate->addItems({"96000", "48000", "44100", "32000", "22050"});
  cmbRate->setCurrentIndex(1);
  sldInputLevel = Place(new QSlider(Qt::Horizontal, page), "sldInputLevel", 164, 125, 198, 16);
  sldInputLevel->setRange(0, 100);
  sldInputLevel->setValue(100);
  sldInputLevel->setPageStep(5);
  sldInputLevel->setSingleStep(1);
  sldInputLevel->setTickPosition(QSlider::TicksBelow);
  sldInputLevel->setTickInterval(10);
  透明标签4 = Place(new QLabel(QString::fromUtf8("文件存储设置"), page), "透明标签4", 50, 155, 120, 24);
  编辑框1 = Place(new QLineEdit(page), "编辑框1", 50, 182, 280, 24);
  按钮4 = Place(new QPushButton(QString::fromUtf8("选"), page), "按钮4", 330, 182, 32, 24);
}

void MainWindow::BindHandlers() {
  connect(按钮1, &QPushButton::clicked, this, [] { RecordButtonClicked(); });
  connect(按钮2, &QPushButton::clicked, this, [] { PlayRecording(); });
  connect(按钮3, &QPushButton::clicked, this, [] { SaveRecordingAs(); });
  connect(按钮4, &QPushButton::clicked, this, [] { ChooseStorageFolder(); });
  connect(记录时间, &QTimer::timeout, this, [] { RecordingTimerTick(); });
  connect(cmbInput, &QComboBox::activated, this, [this](int) { DeviceChosen(*cmbInput); });
  connect(cmbInput, &DropDownList::listClosed, this, [] { SaveDefaultDevice(); });
  connect(cmbRate, &QComboBox::activated, this, [](int) { SaveDefaultQuality(); });
  connect(sldInputLevel, &QSlider::valueChanged, this, [](int) { ApplyInputLevel(); });
  connect(menuPlayFile, &QAction::triggered, this, [] { PlayFile(); });
  connect(menuLocateFile, &QAction::triggered, this, [] { LocateFile(); });
  connect(menuDeleteRecording, &QAction::triggered, this, [] { DeleteRecording(); });
  connect(menuRefreshList, &QAction::triggered, this, [] { RefreshRecordingsList(); });
}

void MainWindow::SetTimerPeriod(int milliseconds) {
  if (milliseconds <= 0) {
    记录时间->stop();
  } else {
    记录时间->start(milliseconds);
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == 状态条1 || watched == statusText) && event->type() == QEvent::MouseButtonDblClick) {
    StatusBarDoubleClicked();
    return true;
  }
  if (watched == 超级列表框1->viewport()) {
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
      // As in any report list, the row under the cursor becomes the selected one.
      if (QTreeWidgetItem* item = 超级列表框1->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint()))
        超级列表框1->setCurrentItem(item);
      ShowListMenu();
      return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      PlayFile();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::SetStartupRunning(bool running) {
  startupRunning_ = running;
  if (!running && closePending_) {
    closePending_ = false;
    close();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (startupRunning_) {
    event->ignore();
    closePending_ = true;
    return;
  }
  if (按钮1->text() == QString::fromUtf8(kRecordCaptionRecording)) {
    event->ignore();
    ShowPlainMessage("请先停止录音，再进行关闭！");
    return;
  }
  event->accept();
  if (!destroyed_) {
    destroyed_ = true;
    emit aboutToBeDestroyed();
  }
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && canHideToTray()) {
    hide();
  }
}
