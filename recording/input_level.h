#pragma once
// The input level slider: applies the capture device's volume. Window thread.
void ApplyInputLevel();
