#pragma once
// The big record/stop button: a two-state machine keyed on RecordMixer.
// Window thread.
#include <QDateTime>
#include <string>

void RecordButtonClicked();

// The name of a finished recording: the local date and time of the stop
// press as year-month-day-hour-minute-second, no leading zeros, ".wav".
std::string RecordingFileName(const QDateTime& moment);

// Wires the capture side's "image is full" notice to an automatic stop.
void InstallRecordingFullHandler();
