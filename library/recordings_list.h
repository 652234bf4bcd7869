#pragma once
// The recordings list: one row per WAV file of the storage folder. Window thread.
void FillRecordingsList();
void MeasureRecordingsList();
void RefreshRecordingsList();
