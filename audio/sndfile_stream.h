#pragma once
// Streams decoded by libsndfile from memory the caller owns (never copied)
// or from a file. Reads go through our own random-access byte source, which
// also repairs the one damage our own recordings can carry: a WAV whose
// data size is still 0 because the recorder stopped before patching it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio/channel.h"

typedef struct sf_private_tag SNDFILE;

namespace audio {

// Bytes read at any offset; `size` is fixed once opened.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads up to `n` bytes at `pos`; returns the count read.
  virtual std::size_t ReadAt(std::uint64_t pos, void* buf, std::size_t n) = 0;
};

class SndfileStream final : public Channel {
 public:
  enum class OpenError { kNone, kFileOpen, kNotAudio, kFormat };

  // `data` stays the caller's and must outlive the stream.
  static std::unique_ptr<SndfileStream> OpenMemory(const void* data, std::uint64_t size, bool floatOutput,
                                                   OpenError* error);
  // `offset`/`length` select part of the file; length 0 = to the end.
  static std::unique_ptr<SndfileStream> OpenFile(const std::string& path, std::uint64_t offset,
                                                 std::uint64_t length, bool floatOutput, OpenError* error);
  ~SndfileStream() override;

  std::int64_t ReadFloat(float* out, std::size_t frames) override;
  std::int64_t ReadOutput(void* out, std::size_t frames) override;
  Seek SetPosition(std::uint64_t frame) override;
  std::optional<std::uint64_t> LengthFrames() const override { return frames_; }

  struct VirtualFile;  // libsndfile's view of the byte source

 private:
  SndfileStream(StreamFormat format, std::unique_ptr<VirtualFile> file, SNDFILE* sf, std::uint64_t frames);
  static std::unique_ptr<SndfileStream> Open(std::unique_ptr<ByteSource> source, bool floatOutput,
                                             OpenError* error);
  std::int64_t ReadFloatLocked(float* out, std::size_t frames);

  mutable std::mutex mutex_;
  std::unique_ptr<VirtualFile> file_;
  SNDFILE* sf_;
  const std::uint64_t frames_;
  std::vector<float> scratch_;
};

}  // namespace audio
