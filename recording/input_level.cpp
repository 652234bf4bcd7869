#include "recording/input_level.h"

void ApplyInputLevel() {}
