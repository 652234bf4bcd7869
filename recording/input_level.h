#pragma once
// The input level slider sets the capture device's own volume. Window thread.

// Slider position 0..100 as the library's level 0.0..1.0.
float InputLevelFor(int position);
// The slider moved.
void ApplyInputLevel();
