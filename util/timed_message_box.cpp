#include "util/timed_message_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Windows an owner can be: no tool tips, popup menus or the desktop.
bool CanOwn(const QWidget* w) {
  if (!w || !w->isWindow() || !w->isVisible()) return false;
  const Qt::WindowType type = w->windowType();
  return type != Qt::ToolTip && type != Qt::Popup && type != Qt::Desktop;
}

QWidget* FirstVisibleWindow() {
  if (QWidget* active = QApplication::activeWindow(); CanOwn(active)) return active;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (CanOwn(w)) return w;
  return nullptr;
}

// Ends a wait as soon as any window is shown, so the search need not poll fast.
class ShowWatcher : public QObject {
 public:
  explicit ShowWatcher(QEventLoop* loop) : loop_(loop) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow())
      QTimer::singleShot(0, loop_, [loop = loop_] { loop->quit(); });  // after the show completes
    return false;
  }

 private:
  QEventLoop* loop_;
};

struct ButtonId {
  QMessageBox::StandardButton button;
  std::int32_t id;  // the platform's button id; the result is id - 1
};

std::vector<ButtonId> ButtonsFor(std::uint32_t kind) {
  using B = QMessageBox;
  switch (kind) {
    case MB_OK: return {{B::Ok, 1}};
    case MB_OKCANCEL: return {{B::Ok, 1}, {B::Cancel, 2}};
    case MB_ABORTRETRYIGNORE: return {{B::Abort, 3}, {B::Retry, 4}, {B::Ignore, 5}};
    case MB_YESNOCANCEL: return {{B::Yes, 6}, {B::No, 7}, {B::Cancel, 2}};
    case MB_YESNO: return {{B::Yes, 6}, {B::No, 7}};
    case MB_RETRYCANCEL: return {{B::Retry, 4}, {B::Cancel, 2}};
    // "Try again" and "Continue" have no standard button of their own.
    case MB_CANCELTRYCONTINUE: return {{B::Cancel, 2}, {B::Retry, 10}, {B::Ignore, 11}};
    default: return {};
  }
}

QMessageBox::Icon IconFor(std::uint32_t bits) {
  switch (bits) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

constexpr std::int32_t kPlatformTimedOut = 32000;

}  // namespace

QWidget* FindProcessWindow(std::chrono::milliseconds limit) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  QElapsedTimer clock;
  clock.start();
  // Re-checks now and then as well: a window can also become visible without
  // a Show event reaching the application (e.g. shown before the filter).
  constexpr qint64 kRecheckMs = 250;
  for (;;) {
    if (QWidget* w = FirstVisibleWindow()) return w;
    const qint64 left = limit.count() - clock.elapsed();
    if (left <= 0) return nullptr;

    QEventLoop loop;
    ShowWatcher watcher(&loop);
    qApp->installEventFilter(&watcher);
    QTimer tick;
    tick.setSingleShot(true);
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(static_cast<int>(std::min(left, kRecheckMs)));
    const int rc = loop.exec();
    qApp->removeEventFilter(&watcher);
    if (rc < 0) return nullptr;  // the application is quitting: no loop will run any more
  }
}

std::int32_t TimedMessageBox(const std::string& text, std::optional<std::uint32_t> style,
                             std::optional<std::string> title, std::optional<QWidget*> owner,
                             std::optional<std::uint32_t> timeout) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return kBoxFailed;
  QWidget* parent = owner ? *owner : FindProcessWindow();
  const std::string caption = title ? *title : std::string("友情提醒");
  const std::uint32_t bits = style.value_or(MB_OK);

  const std::vector<ButtonId> buttons = ButtonsFor(bits & 0xFu);
  if (buttons.empty()) return kBoxFailed;

  // On the heap and guarded: the owner may be destroyed while the box runs
  // its own loop, and it takes its child box with it.
  QPointer<QMessageBox> box = new QMessageBox(IconFor(bits & 0xF0u), QString::fromStdString(caption),
                                              QString::fromStdString(text), QMessageBox::NoButton, parent);
  for (const ButtonId& b : buttons) box->addButton(b.button);
  box->setDefaultButton(buttons.front().button);
  // Closing counts as Cancel where there is one, else as the only button;
  // a box with neither (Yes/No) cannot be closed, only answered.
  if (auto cancel = std::find_if(buttons.begin(), buttons.end(),
                                 [](const ButtonId& b) { return b.id == 2; });
      cancel != buttons.end())
    box->setEscapeButton(cancel->button);
  else if (buttons.size() == 1)
    box->setEscapeButton(buttons.front().button);

  bool timedOut = false;
  if (timeout && *timeout != 0) {
    auto* timer = new QTimer(box);
    timer->setSingleShot(true);
    QMessageBox* raw = box.data();
    QObject::connect(timer, &QTimer::timeout, raw, [raw, &timedOut] {
      timedOut = true;
      raw->done(0);
    });
    timer->start(static_cast<int>(std::min<std::uint32_t>(*timeout, 0x7FFFFFFFu)));
  }

  box->exec();
  if (!box) return kBoxFailed;  // went away with its owner: nothing was answered
  std::int32_t result = kBoxFailed;
  if (timedOut) {
    result = kPlatformTimedOut - 1;
  } else if (QAbstractButton* clicked = box->clickedButton()) {
    for (const ButtonId& b : buttons)
      if (box->button(b.button) == clicked) result = b.id - 1;
  }
  delete box.data();
  return result;
}
