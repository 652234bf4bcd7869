#pragma once
// After a run that ended without its destroy sequence, offers to save a copy
// of the recording left in TempRecording. Window thread, at start-up.
#include <string>

void CheckUnexpectedClose();

// Copies TempRecording to `target`. A copy whose header still carries the
// sizes 0 of an interrupted recording gets RIFF size = file size - 8 and data
// size = the whole frames after the header, so it plays everywhere; the
// original stays as it is. True when the copy is complete.
bool SaveRecoveredCopy(const std::string& source, const std::string& target);
