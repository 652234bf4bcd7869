#pragma once
// The recording timer: once a second it advances the elapsed time, shows it
// on the record tab and puts it into the tray icon's tip. Window thread.
//
// The counters follow a monotonic clock started with the recording, so late
// or missed ticks never make the label drift from the time recorded.
#include <cstdint>
#include <string>

void StartRecordingClock();
void RecordingTimerTick();
// The tick's work for a given time since the start of the recording.
void RecordingTimerTickAt(std::int64_t elapsedMs);

// One second more on ElapsedHours/Minutes/Seconds.
void AdvanceElapsedSecond();
// "hh:mm:ss", each part at least two digits (hours unbounded).
std::string ElapsedText();
