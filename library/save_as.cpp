#include "library/save_as.h"

void SaveRecordingAs() {}
