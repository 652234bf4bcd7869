#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "util/timed_message_box.h"

namespace {

// What the next message box looked like and how it was answered.
struct Seen {
  bool found = false;
  bool rescued = false;  // no box came; a window was shown to end an owner search
  QString title;
  QWidget* parent = nullptr;
};

// Answers the first visible message box with `act`. When none appears for a
// long while, shows a window so that an owner search still blocking the box
// ends, and records that; the test then fails instead of hanging.
std::shared_ptr<Seen> AnswerNextBox(std::function<void(QMessageBox*)> act) {
  auto seen = std::make_shared<Seen>();
  auto* poll = new QTimer(qApp);
  auto polls = std::make_shared<int>(0);
  auto rescue = std::make_shared<std::unique_ptr<QWidget>>();
  QObject::connect(poll, &QTimer::timeout, [=] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box || !box->isVisible()) continue;
      seen->found = true;
      seen->title = box->windowTitle();
      seen->parent = box->parentWidget();
      poll->stop();
      poll->deleteLater();
      act(box);
      rescue->reset();
      return;
    }
    if (++*polls == 1000 && !*rescue) {  // about 10 s
      seen->rescued = true;
      *rescue = std::make_unique<QWidget>();
      (*rescue)->show();
    }
  });
  poll->start(10);
  return seen;
}

void Press(QMessageBox* box, QMessageBox::StandardButton b) { box->button(b)->click(); }

}  // namespace

TEST(TimedMessageBox, ReturnsThePressedButtonCountedFromZero) {
  QWidget owner;
  owner.show();
  const struct {
    std::uint32_t style;
    std::function<void(QMessageBox*)> act;
    std::int32_t result;
    const char* what;
  } cases[] = {
      {MB_OKCANCEL, [](QMessageBox* b) { Press(b, QMessageBox::Ok); }, kBoxOk, "OK"},
      {MB_OKCANCEL, [](QMessageBox* b) { Press(b, QMessageBox::Cancel); }, kBoxCancel, "Cancel"},
      {MB_OKCANCEL, [](QMessageBox* b) { b->close(); }, kBoxCancel, "closed"},
      {MB_OK, [](QMessageBox* b) { b->close(); }, kBoxOk, "closed, OK only"},
      {MB_YESNO, [](QMessageBox* b) { Press(b, QMessageBox::No); }, kBoxNo, "No"},
      {MB_ABORTRETRYIGNORE, [](QMessageBox* b) { Press(b, QMessageBox::Retry); }, kBoxRetry, "Retry"},
  };
  for (const auto& c : cases) {
    const auto seen = AnswerNextBox(c.act);
    EXPECT_EQ(TimedMessageBox("删除这个录音吗？", c.style, std::nullopt, &owner, 0), c.result) << c.what;
    EXPECT_TRUE(seen->found) << c.what;
  }
}

TEST(TimedMessageBox, UsesAGivenTitleAndOwnerWithoutSearching) {
  QWidget owner;
  owner.show();
  auto seen = AnswerNextBox([](QMessageBox* b) { Press(b, QMessageBox::Ok); });
  EXPECT_EQ(TimedMessageBox("x", MB_OKCANCEL, "标题", &owner, 0), kBoxOk);
  EXPECT_EQ(seen->title, "标题");
  EXPECT_EQ(seen->parent, &owner);
  owner.hide();

  // No visible window at all: a search would wait; a given null owner must not.
  seen = AnswerNextBox([](QMessageBox* b) { Press(b, QMessageBox::Ok); });
  EXPECT_EQ(TimedMessageBox("x", MB_OKCANCEL, std::nullopt, static_cast<QWidget*>(nullptr), 0), kBoxOk);
  EXPECT_FALSE(seen->rescued) << "an owner search ran although the owner was given";
  EXPECT_EQ(seen->parent, nullptr);
  EXPECT_EQ(seen->title, "友情提醒");
}

TEST(TimedMessageBox, WaitsForAVisibleWindowOfTheProgramWhenNoOwnerIsGiven) {
  QWidget hidden;  // exists but is not visible: never an owner
  QWidget later;
  QTimer::singleShot(50, &later, [&] { later.show(); });
  const auto seen = AnswerNextBox([](QMessageBox* b) { Press(b, QMessageBox::Ok); });
  EXPECT_EQ(TimedMessageBox("软件检测到曾经意外关闭，是否存储上次录音？！", MB_OKCANCEL), kBoxOk);
  EXPECT_FALSE(seen->rescued);
  EXPECT_EQ(seen->parent, &later);
  EXPECT_EQ(seen->title, "友情提醒");
}

TEST(TimedMessageBox, ClosesItselfAfterANonZeroTimeout) {
  EXPECT_EQ(TimedMessageBox("x", MB_OKCANCEL, std::nullopt, static_cast<QWidget*>(nullptr), 30), kBoxTimedOut);
}

TEST(TimedMessageBox, FailsForAStyleWithoutButtons) {
  EXPECT_EQ(TimedMessageBox("x", 0xFu, std::nullopt, static_cast<QWidget*>(nullptr), 0), kBoxFailed);
}

TEST(FindProcessWindow, GivesUpAtItsLimitWhenNoWindowShows) {
  QWidget hidden;
  EXPECT_EQ(FindProcessWindow(std::chrono::milliseconds(20)), nullptr);
  hidden.show();
  EXPECT_EQ(FindProcessWindow(std::chrono::milliseconds(20)), &hidden);
}
