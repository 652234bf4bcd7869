#pragma once
// The big record/stop button. Window thread.
void RecordButtonClicked();
