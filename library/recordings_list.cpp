#include "library/recordings_list.h"

void FillRecordingsList() {}
void MeasureRecordingsList() {}
void RefreshRecordingsList() {}
