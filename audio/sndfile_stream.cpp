#include "audio/sndfile_stream.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace audio {
namespace {

class MemorySource final : public ByteSource {
 public:
  MemorySource(const void* data, std::uint64_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t pos, void* buf, std::size_t n) override {
    if (pos >= size_) return 0;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - pos));
    std::memcpy(buf, data_ + pos, count);
    return count;
  }

 private:
  const unsigned char* data_;
  std::uint64_t size_;
};

class FileSource final : public ByteSource {
 public:
  FileSource(int fd, std::uint64_t base, std::uint64_t size) : fd_(fd), base_(base), size_(size) {}
  ~FileSource() override { ::close(fd_); }
  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t pos, void* buf, std::size_t n) override {
    std::size_t total = 0;
    while (total < n && pos + total < size_) {
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(n - total, size_ - pos - total));
      const ssize_t got =
          ::pread(fd_, static_cast<unsigned char*>(buf) + total, want, static_cast<off_t>(base_ + pos + total));
      if (got <= 0) break;
      total += static_cast<std::size_t>(got);
    }
    return total;
  }

 private:
  int fd_;
  std::uint64_t base_;
  std::uint64_t size_;
};

std::uint32_t Le32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

// libsndfile reads through this: the byte source plus up to two 4-byte
// replacements of size fields.
struct SndfileStream::VirtualFile {
  std::unique_ptr<ByteSource> source;
  std::uint64_t pos = 0;
  struct Patch {
    std::uint64_t offset;
    std::array<unsigned char, 4> bytes;
  };
  std::vector<Patch> patches;

  void AddPatch(std::uint64_t offset, std::uint64_t value) {
    const auto v = static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
    patches.push_back({offset, {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)}});
  }

  std::size_t Read(void* buf, std::size_t n) {
    const std::size_t got = source->ReadAt(pos, buf, n);
    auto* bytes = static_cast<unsigned char*>(buf);
    for (const Patch& p : patches)
      for (std::size_t i = 0; i < 4; ++i)
        if (p.offset + i >= pos && p.offset + i < pos + got) bytes[p.offset + i - pos] = p.bytes[i];
    pos += got;
    return got;
  }

  // A RIFF/WAVE image whose data chunk says 0 bytes although bytes follow
  // (a recording cut off before its sizes were written) gets its sizes
  // computed from what is there. Returns false for a RIFF/WAVE image that
  // ends before its data chunk's head is complete.
  bool RepairUnfinishedWave() {
    const std::uint64_t size = source->Size();
    unsigned char head[12];
    if (source->ReadAt(0, head, 12) != 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
      return true;
    std::uint64_t chunk = 12;
    for (int i = 0; i < 64; ++i) {
      unsigned char h[8];
      if (chunk + 8 > size || source->ReadAt(chunk, h, 8) != 8) return false;
      const std::uint32_t length = Le32(h + 4);
      if (std::memcmp(h, "data", 4) == 0) {
        const std::uint64_t dataStart = chunk + 8;
        if (length == 0 && size > dataStart) {
          AddPatch(chunk + 4, size - dataStart);
          if (Le32(head + 4) == 0) AddPatch(4, size - 8);
        }
        return true;
      }
      chunk += 8 + std::uint64_t{length} + (length & 1u);
    }
    return true;  // many chunks: libsndfile decides
  }
};

namespace {

sf_count_t VioLength(void* user) {
  return static_cast<sf_count_t>(static_cast<SndfileStream::VirtualFile*>(user)->source->Size());
}

sf_count_t VioSeek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<SndfileStream::VirtualFile*>(user);
  const auto size = static_cast<sf_count_t>(f->source->Size());
  sf_count_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<sf_count_t>(f->pos);
  else if (whence == SEEK_END) base = size;
  else if (whence != SEEK_SET) return -1;
  const sf_count_t target = base + offset;
  if (target < 0) return -1;
  f->pos = static_cast<std::uint64_t>(target);
  return target;
}

sf_count_t VioRead(void* ptr, sf_count_t count, void* user) {
  if (count <= 0) return 0;
  return static_cast<sf_count_t>(static_cast<SndfileStream::VirtualFile*>(user)->Read(ptr, static_cast<std::size_t>(count)));
}

sf_count_t VioWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t VioTell(void* user) { return static_cast<sf_count_t>(static_cast<SndfileStream::VirtualFile*>(user)->pos); }

constexpr std::uint32_t kMaxRate = 1'000'000;

}  // namespace

SndfileStream::SndfileStream(StreamFormat format, std::unique_ptr<VirtualFile> file, SNDFILE* sf,
                             std::uint64_t frames)
    : Channel(format), file_(std::move(file)), sf_(sf), frames_(frames) {}

SndfileStream::~SndfileStream() { sf_close(sf_); }

std::unique_ptr<SndfileStream> SndfileStream::Open(std::unique_ptr<ByteSource> source, bool floatOutput,
                                                   OpenError* error) {
  if (source->Size() == 0) {
    *error = OpenError::kNotAudio;
    return nullptr;
  }
  auto file = std::make_unique<VirtualFile>();
  file->source = std::move(source);
  if (!file->RepairUnfinishedWave()) {
    *error = OpenError::kNotAudio;
    return nullptr;
  }
  SF_VIRTUAL_IO io{VioLength, VioSeek, VioRead, VioWrite, VioTell};
  SF_INFO info{};
  SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, file.get());
  if (!sf) {
    *error = OpenError::kNotAudio;
    return nullptr;
  }
  if (info.channels <= 0 || info.samplerate <= 0 || info.frames < 0 ||
      static_cast<std::uint32_t>(info.samplerate) > kMaxRate) {
    sf_close(sf);
    *error = OpenError::kFormat;
    return nullptr;
  }
  const StreamFormat format{static_cast<std::uint32_t>(info.samplerate), static_cast<std::uint32_t>(info.channels),
                            floatOutput};
  *error = OpenError::kNone;
  return std::unique_ptr<SndfileStream>(
      new SndfileStream(format, std::move(file), sf, static_cast<std::uint64_t>(info.frames)));
}

std::unique_ptr<SndfileStream> SndfileStream::OpenMemory(const void* data, std::uint64_t size, bool floatOutput,
                                                         OpenError* error) {
  return Open(std::make_unique<MemorySource>(data, size), floatOutput, error);
}

std::unique_ptr<SndfileStream> SndfileStream::OpenFile(const std::string& path, std::uint64_t offset,
                                                       std::uint64_t length, bool floatOutput, OpenError* error) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer
  // (it is refused below); regular files ignore the flag.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = OpenError::kFileOpen;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = OpenError::kFileOpen;
    return nullptr;
  }
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);
  if (offset > fileSize) {
    ::close(fd);
    *error = OpenError::kNotAudio;
    return nullptr;
  }
  std::uint64_t size = fileSize - offset;
  if (length != 0) size = std::min(size, length);
  return Open(std::make_unique<FileSource>(fd, offset, size), floatOutput, error);
}

std::int64_t SndfileStream::ReadFloatLocked(float* out, std::size_t frames) {
  if (frames == 0) return 0;
  const sf_count_t got = sf_readf_float(sf_, out, static_cast<sf_count_t>(frames));
  return got > 0 ? got : kEnded;
}

std::int64_t SndfileStream::ReadFloat(float* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  return ReadFloatLocked(out, frames);
}

std::int64_t SndfileStream::ReadOutput(void* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  if (format().isFloat) return ReadFloatLocked(static_cast<float*>(out), frames);
  // 16-bit output goes through float so every source format rounds and
  // saturates the same way (16-bit sources come back exactly).
  scratch_.resize(frames * format().chans);
  const std::int64_t got = ReadFloatLocked(scratch_.data(), frames);
  if (got > 0) FloatToInt16(scratch_.data(), static_cast<std::int16_t*>(out), static_cast<std::size_t>(got) * format().chans);
  return got;
}

Channel::Seek SndfileStream::SetPosition(std::uint64_t frame) {
  if (frame > frames_) return Seek::kOutOfRange;
  std::lock_guard lock(mutex_);
  return sf_seek(sf_, static_cast<sf_count_t>(frame), SEEK_SET) < 0 ? Seek::kOutOfRange : Seek::kDone;
}

}  // namespace audio
