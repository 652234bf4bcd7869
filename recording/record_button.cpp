#include "recording/record_button.h"

void RecordButtonClicked() {}
