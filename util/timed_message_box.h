#pragma once
// The program's OK/Cancel confirmation box.
//
// Window thread. Both routines run nested event loops, so other handlers
// (timer ticks, clicks) may run while a caller waits here.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class QWidget;

// Message-box style bits, as the callers give them.
constexpr std::uint32_t MB_OK = 0x0;
constexpr std::uint32_t MB_OKCANCEL = 0x1;
constexpr std::uint32_t MB_ABORTRETRYIGNORE = 0x2;
constexpr std::uint32_t MB_YESNOCANCEL = 0x3;
constexpr std::uint32_t MB_YESNO = 0x4;
constexpr std::uint32_t MB_RETRYCANCEL = 0x5;
constexpr std::uint32_t MB_CANCELTRYCONTINUE = 0x6;
constexpr std::uint32_t MB_ICONHAND = 0x10;
constexpr std::uint32_t MB_ICONQUESTION = 0x20;
constexpr std::uint32_t MB_ICONEXCLAMATION = 0x30;
constexpr std::uint32_t MB_ICONASTERISK = 0x40;

// Results of TimedMessageBox: the pressed button's number counted from 0.
constexpr std::int32_t kBoxOk = 0;
constexpr std::int32_t kBoxCancel = 1;
constexpr std::int32_t kBoxAbort = 2;
constexpr std::int32_t kBoxRetry = 3;
constexpr std::int32_t kBoxIgnore = 4;
constexpr std::int32_t kBoxYes = 5;
constexpr std::int32_t kBoxNo = 6;
constexpr std::int32_t kBoxTryAgain = 9;
constexpr std::int32_t kBoxContinue = 10;
constexpr std::int32_t kBoxTimedOut = 31999;
constexpr std::int32_t kBoxFailed = -1;

// How long FindProcessWindow waits at most (8 h 45 min 36 s).
constexpr std::chrono::milliseconds kFindWindowLimit{31536000};

// Shows `text` with the buttons of `style` and returns the pressed button's
// number (see kBox*). Closing the box counts as its Cancel button (as OK when
// OK is the only button). Left-out arguments: style 0 (OK only), title
// "友情提醒", owner = FindProcessWindow(). A given owner, also nullptr, is used
// as given. timeout 0 (or left out) waits for the user; otherwise the box
// closes itself after that many milliseconds and the result is kBoxTimedOut.
std::int32_t TimedMessageBox(const std::string& text, std::optional<std::uint32_t> style = std::nullopt,
                             std::optional<std::string> title = std::nullopt,
                             std::optional<QWidget*> owner = std::nullopt,
                             std::optional<std::uint32_t> timeout = std::nullopt);

// The program's first visible top-level window (the active one first), or
// nullptr when none shows up within `limit`. While there is none it keeps
// processing events, sleeping in the event loop rather than spinning.
QWidget* FindProcessWindow(std::chrono::milliseconds limit = kFindWindowLimit);
