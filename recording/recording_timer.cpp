#include "recording/recording_timer.h"

void RecordingTimerTick() {}
