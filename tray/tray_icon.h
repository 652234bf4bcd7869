#pragma once
// The program's icon in the notification area, over QSystemTrayIcon.
//
// One instance for the whole run, made before the main window exists; the
// Qt icon itself is made on the first Add, when the application runs.
// Window thread: every operation, and the handler given to HookWindow.
//
// Event codes the handler receives:
//   513  left click (Trigger)         515  double click
//   517  context (right button)       520  middle click
//   1120 the tray host came back (StatusNotifierWatcher registered anew)
//   1130 the hooked window was destroyed
#include <QMetaObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QDBusServiceWatcher;
class QWidget;

constexpr int kTrayLeftButtonDown = 513;
constexpr int kTrayLeftDoubleClick = 515;
constexpr int kTrayRightButtonUp = 517;
constexpr int kTrayMiddleButtonUp = 520;
constexpr int kTrayHostCreated = 1120;
constexpr int kTrayWindowDestroyed = 1130;

// Longest tip kept, in bytes.
constexpr std::size_t kTrayTipMaxBytes = 127;

class TrayIcon {
 public:
  using EventHandler = std::function<void(int)>;

  TrayIcon();
  ~TrayIcon();  // removes the icon once more
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Shows the window's icon with `tip` in the notification area. False for a
  // null window (nothing changes). True when the icon is shown; without a
  // tray host Qt keeps it and it appears when a host does.
  bool Add(QWidget* window, const std::string& tip);
  // Takes the icon away and unhooks the window. True when an icon was shown.
  bool Remove();
  // Sets the tip, cut to kTrayTipMaxBytes (see CutTip). True when an icon is shown.
  bool SetTip(const std::string& tip);
  // Sends the icon's events for the window given to Add to `handler`.
  // Nothing happens without such a window; without a handler (or with an
  // empty one) events are dropped, as before the hook.
  void HookWindow(std::optional<EventHandler> handler = std::nullopt);

  // The first 127 bytes of a tip of 128 bytes or more, one UTF-8 character
  // shorter where byte 127 would split one; a shorter tip as it is.
  static std::string CutTip(const std::string& tip);
  // Event code of an activation reason, 0 for none (Unknown is not passed on).
  static int EventCode(QSystemTrayIcon::ActivationReason reason);

  // What the icon shows now, for the tests and the status of the program.
  QWidget* Window() const { return window_.data(); }
  const std::string& Tip() const { return tip_; }
  bool IsShown() const;
  bool IsHooked() const { return static_cast<bool>(handler_); }
  QSystemTrayIcon* Icon() const { return icon_.get(); }

  // Entry points of the icon's own notifications; the tests feed them directly.
  void DeliverActivation(QSystemTrayIcon::ActivationReason reason);
  void DeliverHostCreated();
  void DeliverWindowDestroyed();

 private:
  void Unhook();
  void Deliver(int code);

  std::unique_ptr<QSystemTrayIcon> icon_;
  std::unique_ptr<QDBusServiceWatcher> hostWatcher_;
  QPointer<QWidget> window_;
  std::string tip_;
  EventHandler handler_;
  QMetaObject::Connection activated_;
  QMetaObject::Connection hostRegistered_;
  QMetaObject::Connection windowDestroyed_;
};
