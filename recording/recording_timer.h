#pragma once
// The recording timer: elapsed time on the record tab and in the tray tip. Window thread.
void RecordingTimerTick();
