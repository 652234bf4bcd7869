#pragma once
// Save the current recording under a chosen name (the Save button). Window thread.
void SaveRecordingAs();
