#include "playback/playback.h"

void PlayRecording() {}
