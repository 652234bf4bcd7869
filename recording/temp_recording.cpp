#include "recording/temp_recording.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "app/app_state.h"

TempRecordingFile::~TempRecordingFile() { Close(false); }

bool TempRecordingFile::Open(const std::string& path) {
  Close(false);
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return false;
  mark_ = true;
  written_.store(0, std::memory_order_relaxed);
  syncs_.store(0, std::memory_order_relaxed);
  stop_ = false;
  finalSync_ = false;
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  flusher_ = std::thread(&TempRecordingFile::FlusherLoop, this, std::move(folder));
  return true;
}

void TempRecordingFile::Append(const void* bytes, std::size_t n) {
  if (fd_ < 0) return;
  const auto* p = static_cast<const char*>(bytes);
  std::size_t left = n;
  while (left > 0) {
    ssize_t w = ::write(fd_, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;  // the image stays intact; the mirror is best effort
    }
    p += w;
    left -= static_cast<std::size_t>(w);
  }
  written_.fetch_add(n, std::memory_order_release);
}

void TempRecordingFile::Patch(off_t offset, const void* bytes, std::size_t n) {
  if (fd_ < 0) return;
  const auto* p = static_cast<const char*>(bytes);
  std::size_t left = n;
  while (left > 0) {
    ssize_t w = ::pwrite(fd_, p, left, offset);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += w;
    offset += w;
    left -= static_cast<std::size_t>(w);
  }
  written_.fetch_add(n, std::memory_order_release);
}

void TempRecordingFile::Close(bool sync) {
  if (fd_ < 0) return;
  {
    std::lock_guard<std::mutex> lk(mu_);
    stop_ = true;
    finalSync_ = sync;
  }
  wake_.notify_all();
  if (flusher_.joinable()) flusher_.join();
  ::close(fd_);
  fd_ = -1;
}

// Flusher thread. The first look also syncs the folder, so the new file's
// entry survives a power loss together with its data.
void TempRecordingFile::FlusherLoop(std::string folder) {
  bool folderSynced = false;
  std::uint64_t synced = 0;
  std::unique_lock<std::mutex> lk(mu_);
  for (;;) {
    wake_.wait_for(lk, std::chrono::milliseconds(intervalMs_), [this] { return stop_; });
    const bool stopping = stop_;
    const bool last = finalSync_;
    lk.unlock();
    if (!stopping || last) {
      if (!folderSynced) {
        int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
          ::fsync(dfd);
          ::close(dfd);
        }
        folderSynced = true;
      }
      const std::uint64_t w = written_.load(std::memory_order_acquire);
      if (w != synced) {
        ::fdatasync(fd_);
        synced = w;
        syncs_.fetch_add(1, std::memory_order_acq_rel);
      }
    }
    lk.lock();
    if (stopping) return;
  }
}

std::string TempRecordingPathNow() { return ProgramFolder() + "/temp.wav"; }

void CreateTempRecording() {
  AppState& s = State();
  const std::string path = TempRecordingPathNow();
  if (s.TempRecording.Mark()) {
    // The file of an earlier recording of this run: it gives way to the new one.
    s.TempRecording.Close(false);
    s.TempRecording.Forget();
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
  s.TempRecordingPath = path;
  s.TempRecordingCreatedPath = path;
  s.TempRecording.Open(path);
}

void AppendTempRecording(const void* bytes, std::size_t n) { State().TempRecording.Append(bytes, n); }

void PatchTempRecording(off_t offset, const void* bytes, std::size_t n) {
  State().TempRecording.Patch(offset, bytes, n);
}

void CloseTempRecording() { State().TempRecording.Close(true); }

void DiscardTempRecording() {
  AppState& s = State();
  s.TempRecording.Close(false);
  s.TempRecording.Forget();
  if (!s.TempRecordingCreatedPath.empty()) {
    std::error_code ec;
    std::filesystem::remove(s.TempRecordingCreatedPath, ec);
  }
}
