#include "tray/tray_icon.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QWidget>

namespace {
// The StatusNotifierItem host's registry; it registers anew when the desktop's
// panel restarts, which is when icons have to be announced again.
const char* const kStatusNotifierWatcher = "org.kde.StatusNotifierWatcher";
}  // namespace

TrayIcon::TrayIcon() = default;

TrayIcon::~TrayIcon() {
  // Qt objects cannot be touched after the application object has gone; at
  // that point the process is ending and the tray host drops the icon itself.
  if (!QCoreApplication::instance()) {
    Unhook();
    (void)icon_.release();
    (void)hostWatcher_.release();
    return;
  }
  Remove();
}

std::string TrayIcon::CutTip(const std::string& tip) {
  if (tip.size() <= kTrayTipMaxBytes) return tip;
  std::size_t end = kTrayTipMaxBytes;
  // tip[end] is the first byte dropped; a continuation byte there means the
  // character it belongs to starts before the cut and must go as a whole.
  while (end > 0 && (static_cast<unsigned char>(tip[end]) & 0xC0u) == 0x80u) --end;
  return tip.substr(0, end);
}

int TrayIcon::EventCode(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger: return kTrayLeftButtonDown;
    case QSystemTrayIcon::DoubleClick: return kTrayLeftDoubleClick;
    case QSystemTrayIcon::Context: return kTrayRightButtonUp;
    case QSystemTrayIcon::MiddleClick: return kTrayMiddleButtonUp;
    case QSystemTrayIcon::Unknown: break;
  }
  return 0;
}

bool TrayIcon::IsShown() const { return icon_ && icon_->isVisible(); }

bool TrayIcon::Add(QWidget* window, const std::string& tip) {
  if (!window) return false;
  window_ = window;
  tip_ = CutTip(tip);
  if (!icon_) {
    icon_ = std::make_unique<QSystemTrayIcon>();
    activated_ = QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                                  [this](QSystemTrayIcon::ActivationReason r) { DeliverActivation(r); });
  }
  icon_->setIcon(window->windowIcon());
  icon_->setToolTip(QString::fromStdString(tip_));
  icon_->show();
  return icon_->isVisible();
}

bool TrayIcon::SetTip(const std::string& tip) {
  tip_ = CutTip(tip);
  if (!icon_) return false;
  icon_->setToolTip(QString::fromStdString(tip_));
  return icon_->isVisible();
}

bool TrayIcon::Remove() {
  Unhook();
  window_ = nullptr;
  if (!icon_ || !icon_->isVisible()) return false;
  icon_->hide();
  return true;
}

void TrayIcon::HookWindow(std::optional<EventHandler> handler) {
  if (!window_) return;
  Unhook();
  handler_ = handler ? std::move(*handler) : EventHandler{};
  if (!handler_) return;

  windowDestroyed_ = QObject::connect(window_.data(), &QObject::destroyed, icon_.get(),
                                      [this] { DeliverWindowDestroyed(); });
  // Without a session bus the watcher simply never fires.
  if (!hostWatcher_) {
    hostWatcher_ = std::make_unique<QDBusServiceWatcher>(
        QString::fromLatin1(kStatusNotifierWatcher), QDBusConnection::sessionBus(),
        QDBusServiceWatcher::WatchForRegistration);
  }
  hostRegistered_ = QObject::connect(hostWatcher_.get(), &QDBusServiceWatcher::serviceRegistered,
                                     hostWatcher_.get(), [this] { DeliverHostCreated(); });
}

void TrayIcon::Unhook() {
  QObject::disconnect(hostRegistered_);
  QObject::disconnect(windowDestroyed_);
  handler_ = {};
}

void TrayIcon::DeliverActivation(QSystemTrayIcon::ActivationReason reason) {
  if (const int code = EventCode(reason)) Deliver(code);
}

void TrayIcon::DeliverHostCreated() { Deliver(kTrayHostCreated); }

void TrayIcon::DeliverWindowDestroyed() { Deliver(kTrayWindowDestroyed); }

void TrayIcon::Deliver(int code) {
  if (!handler_) return;
  // A copy: the handler may unhook or hook anew while it runs.
  const EventHandler handler = handler_;
  handler(code);
}
