#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tray/tray_event_handler.h"
#include "tray/tray_icon.h"

namespace {

QIcon SomeIcon() {
  QPixmap p(16, 16);
  p.fill(Qt::red);
  return QIcon(p);
}

}  // namespace

TEST(TrayIcon, CutsLongTipsAt127BytesWithoutSplittingACharacter) {
  const std::string zh = "录";  // three bytes in UTF-8
  const struct { std::string tip; std::string kept; } cases[] = {
      {"", ""},
      {std::string(127, 'a'), std::string(127, 'a')},
      {std::string(128, 'a'), std::string(127, 'a')},
      {std::string(300, 'a'), std::string(127, 'a')},
      {std::string(124, 'a') + zh, std::string(124, 'a') + zh},           // ends exactly at 127
      {std::string(124, 'a') + zh + "b", std::string(124, 'a') + zh},     // 128: the "b" goes
      {std::string(125, 'a') + zh, std::string(125, 'a')},                // bytes 125..127
      {std::string(126, 'a') + zh + zh, std::string(126, 'a')},           // bytes 126..128
  };
  TrayIcon tray;
  QWidget window;
  window.setWindowIcon(SomeIcon());
  ASSERT_TRUE(tray.Add(&window, "Tavrin"));
  for (const auto& c : cases) {
    EXPECT_EQ(TrayIcon::CutTip(c.tip), c.kept) << c.tip.size();
    tray.SetTip(c.tip);
    EXPECT_EQ(tray.Tip(), c.kept);
    EXPECT_EQ(tray.Icon()->toolTip().toStdString(), c.kept);
  }
}

TEST(TrayIcon, AddShowsTheWindowsIconAndRemoveTakesItAway) {
  TrayIcon tray;
  EXPECT_FALSE(tray.Add(nullptr, "tip"));
  EXPECT_EQ(tray.Window(), nullptr);
  EXPECT_FALSE(tray.IsShown());

  QWidget window;
  window.setWindowIcon(SomeIcon());
  EXPECT_TRUE(tray.Add(&window, std::string(130, 'x')));
  EXPECT_EQ(tray.Window(), &window);
  EXPECT_TRUE(tray.IsShown());
  EXPECT_EQ(tray.Tip(), std::string(127, 'x'));
  EXPECT_EQ(tray.Icon()->icon().cacheKey(), window.windowIcon().cacheKey());

  EXPECT_TRUE(tray.Remove());
  EXPECT_EQ(tray.Window(), nullptr);
  EXPECT_FALSE(tray.IsShown());
  EXPECT_FALSE(tray.Remove()) << "a second Remove has nothing left to take away";
}

TEST(TrayIcon, HookedWindowReceivesTheEventCodes) {
  TrayIcon tray;
  QWidget window;
  window.setWindowIcon(SomeIcon());
  std::vector<int> codes;
  tray.HookWindow([&](int c) { codes.push_back(c); });  // before Add: no window, no hook
  EXPECT_FALSE(tray.IsHooked());

  tray.Add(&window, "tip");
  tray.HookWindow([&](int c) { codes.push_back(c); });
  // Through the icon's own signal, as a tray host reports a click.
  emit tray.Icon()->activated(QSystemTrayIcon::Trigger);
  for (auto r : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick,
                 QSystemTrayIcon::Unknown})
    tray.DeliverActivation(r);
  tray.DeliverHostCreated();
  EXPECT_EQ(codes, (std::vector<int>{513, 515, 517, 520, 1120}));

  codes.clear();
  tray.Remove();
  emit tray.Icon()->activated(QSystemTrayIcon::Trigger);
  tray.DeliverHostCreated();
  EXPECT_TRUE(codes.empty()) << "Remove unhooks the window";

  tray.Add(&window, "tip");
  tray.HookWindow();  // no handler: events are dropped
  emit tray.Icon()->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(codes.empty());
}

TEST(TrayIcon, ReportsTheDestructionOfTheHookedWindow) {
  TrayIcon tray;
  auto window = std::make_unique<QWidget>();
  window->setWindowIcon(SomeIcon());
  std::vector<int> codes;
  tray.Add(window.get(), "tip");
  tray.HookWindow([&](int c) { codes.push_back(c); });
  window.reset();
  EXPECT_EQ(codes, std::vector<int>{1130});
  EXPECT_EQ(tray.Window(), nullptr);
}

TEST(TrayEventHandler, LeftClickShowsAndRestoresTheWindow) {
  const Qt::WindowStates states[] = {Qt::WindowMinimized, Qt::WindowNoState, Qt::WindowMaximized,
                                     Qt::WindowMinimized | Qt::WindowMaximized};
  for (bool visible : {false, true}) {
    for (Qt::WindowStates s : states) {
      QWidget window;
      window.setWindowState(s);
      window.setVisible(visible);
      TrayEventHandler(513, &window);
      EXPECT_TRUE(window.isVisible()) << visible << " " << s;
      EXPECT_EQ(window.windowState(), Qt::WindowNoState) << visible << " " << s;
    }
  }
}

TEST(TrayEventHandler, EveryOtherCodeChangesNothing) {
  for (int code : {0, 512, 514, 515, 516, 517, 519, 520, 1120, 1130, -513}) {
    QWidget hidden;
    hidden.setWindowState(Qt::WindowMinimized);
    TrayEventHandler(code, &hidden);
    EXPECT_FALSE(hidden.isVisible()) << code;
    EXPECT_EQ(hidden.windowState(), Qt::WindowMinimized) << code;

    QWidget shown;
    shown.show();
    shown.setWindowState(Qt::WindowMaximized);
    TrayEventHandler(code, &shown);
    EXPECT_TRUE(shown.isVisible()) << code;
    EXPECT_EQ(shown.windowState(), Qt::WindowMaximized) << code;
  }
  TrayEventHandler(513, nullptr);  // no window: nothing to do, no crash
}

TEST(TrayEventHandler, ALeftClickOnTheHookedIconBringsTheWindowBack) {
  TrayIcon tray;
  QWidget window;
  window.setWindowIcon(SomeIcon());
  window.setWindowState(Qt::WindowMinimized);
  tray.Add(&window, "tip");
  tray.HookWindow([&](int c) { TrayEventHandler(c, &window); });
  tray.DeliverActivation(QSystemTrayIcon::Context);
  EXPECT_FALSE(window.isVisible());
  tray.DeliverActivation(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.windowState(), Qt::WindowNoState);
}
