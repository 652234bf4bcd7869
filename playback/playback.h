#pragma once
// Playback of the current recording through the default output device.
// Play action: window thread.
void PlayRecording();
