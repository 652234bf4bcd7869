#pragma once
// The capture side: listing and opening capture devices, the push stream
// InputStream fed by the device, and InputCallback, which turns every captured
// block into PCM appended to the recording image and its mirror file.
#include <cstdint>
#include <functional>

class QComboBox;

// Window thread, once at window creation: adds every enabled capture device
// to cmbInput (text = name, item data = device number) and opens each
// default-flagged one on the way; the last one wins as InputDevice. Leaves no
// item selected.
void ListCaptureDevices(QComboBox& cmbInput);

// Window thread: the body of cmbInput's item-selected handler (bind it to a
// user selection, e.g. QComboBox::activated, not to programmatic changes).
// Releases the previous device and InputStream, takes the selected item's
// device number and opens it; during a recording the new device continues
// the same recording.
void DeviceChosen(QComboBox& cmbInput);

// Window thread: initialises InputDevice in its own format, makes InputStream
// for it and, while a recording runs, plugs it into RecordMixer and starts it.
void OpenInputDevice();

// Capture thread: the device's data callback. Returns 1 to keep capturing,
// 0 to stop (the image cannot take more).
std::int32_t InputCallback(void* buffer, std::uint32_t length, void* user);

// Moves everything RecordMixer gives now into the image and the mirror file.
// False when the image refused a block. Thread: the capture thread, or the
// window thread while the device is stopped (the end of a recording).
bool PullRecordMixer();

// Window thread, capture device stopped, during a recording: marks the end
// of InputStream and moves what the rate converter still held for it into
// the image and the mirror file.
void FinishInputStream();

// Called on the capture thread, once per recording, when the image refuses a
// block (size limit or memory exhausted); capture has stopped taking data then
// and the recording should be stopped as if the button were pressed. The
// handler must not block: post to the window thread (a queued call). Set it
// while no recording runs. RecordBuffer.Full() tells the same for polling.
void SetRecordingFullHandler(std::function<void()> handler);

// The most InputCallback pulls from RecordMixer at once.
constexpr std::uint32_t kPullBytes = 50000;
