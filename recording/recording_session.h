#pragma once
// Starting and stopping a recording, and writing the recording image to a file.
// Window thread.
#include <string>

// Prepares the image and WaveHeader for `rate`, makes RecordMixer over
// InputStream, creates TempRecording with the header (sizes 0) and starts the
// capture device. Returns true when the device started. Otherwise nothing of
// the attempt is left: RecordMixer 0, no image, and TempRecording (when it was
// made) closed and deleted.
bool StartRecording(int rate);

// Stops the capture device, frees RecordMixer, fills the sizes in WaveHeader,
// TempRecording and the image, closes TempRecording and opens PlaybackStream
// on the image inside OutputMixer.
void StopRecording();

// Writes the image to `path`, replacing any file there: while a recording runs
// a consistent snapshot (header with sizes 0 and the samples up to that
// moment), otherwise exactly the first RecordUsed bytes. With no image the
// file is created empty. True only when the file was created, every byte
// written and the file closed without error.
bool WriteRecordingFile(const std::string& path);
