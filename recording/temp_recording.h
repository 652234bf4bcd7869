#pragma once
// TempRecording: the crash-safe mirror of the recording image, "temp.wav" in
// the program folder. While a recording runs it holds the header with sizes 0
// followed by every block appended to the image, so a crash leaves a usable
// file behind; after a stop it is the complete WAV file of that recording.
//
// Durability: the capture thread only write(2)s. A small flusher thread, which
// lives exactly as long as the open file, calls fdatasync at least once a
// second while new bytes arrive, so neither the capture thread nor the window
// thread ever waits for the disk during a recording.
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class TempRecordingFile {
 public:
  TempRecordingFile() = default;
  ~TempRecordingFile();
  TempRecordingFile(const TempRecordingFile&) = delete;
  TempRecordingFile& operator=(const TempRecordingFile&) = delete;

  // Creates (or truncates) the file at path, opens it for reading and writing
  // and starts the flusher. Returns false when the file could not be opened.
  // Window thread.
  bool Open(const std::string& path);
  // Capture thread (window thread while capture is stopped): writes n bytes at
  // the end of the file.
  void Append(const void* bytes, std::size_t n);
  // Writes n bytes at offset from the file's start; the append position is
  // not moved. Window thread, capture stopped.
  void Patch(off_t offset, const void* bytes, std::size_t n);
  // Stops the flusher (after a last fdatasync when `sync` is set) and closes
  // the descriptor. Window thread, capture stopped.
  void Close(bool sync);

  bool IsOpen() const { return fd_ >= 0; }
  // Set by Open and kept by Close: a file from an earlier recording of this
  // run exists. Cleared by Forget.
  bool Mark() const { return mark_; }
  void Forget() { mark_ = false; }

  // Completed fdatasync calls of the flusher since Open; for tests.
  std::uint64_t SyncCount() const { return syncs_.load(std::memory_order_acquire); }
  // How long the flusher waits between looks at the file. Set before Open.
  void SetFlushIntervalForTesting(int milliseconds) { intervalMs_ = milliseconds; }

 private:
  void FlusherLoop(std::string folder);

  int fd_ = -1;
  bool mark_ = false;
  int intervalMs_ = 500;  // two looks a second keep the "at least once a second" promise
  std::atomic<std::uint64_t> written_{0};  // bytes written by Append/Patch since Open
  std::atomic<std::uint64_t> syncs_{0};

  std::mutex mu_;
  std::condition_variable wake_;
  bool stop_ = false;        // under mu_
  bool finalSync_ = false;   // under mu_
  std::thread flusher_;
};

// The path TempRecording gets: ProgramFolder() + "/temp.wav".
std::string TempRecordingPathNow();

// Window thread, capture stopped. These work on the program-wide state:
// State().TempRecording, TempRecordingPath, TempRecordingCreatedPath.
//
// Computes the path afresh, closes and deletes the file of an earlier
// recording of this run, remembers the path, then creates an empty file there
// (replacing any file of that name) and opens it for reading and writing.
void CreateTempRecording();
// Capture thread during a recording: appends n bytes at the end.
void AppendTempRecording(const void* bytes, std::size_t n);
// Writes bytes at offset from the file's start.
void PatchTempRecording(off_t offset, const void* bytes, std::size_t n);
// Closes the file after making sure it has reached the disk. The mark stays,
// so the next recording replaces the file.
void CloseTempRecording();
// Undo after a failed start: closes the file and deletes it under the path it
// was created with.
void DiscardTempRecording();
