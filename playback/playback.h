#pragma once
// Playback of the current recording through the default output device:
// OutputDevice pulls from OutputMixer, which holds PlaybackStream over the
// recording image.
#include <cstdint>

// The Play button. Window thread.
void PlayRecording();

// The output device's data callback. Output thread: reads only OutputMixer.
std::int32_t OutputCallback(void* buffer, std::uint32_t length, void* user);

// PlaybackStream over the finished image (0 when there is none or the
// library refuses it). Window thread, capture stopped.
std::uint32_t OpenPlaybackStream();
