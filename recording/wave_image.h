#pragma once
// The WAV header record, the in-memory recording image and (through
// temp_recording.h) the crash-safe mirror file.
//
// Threads: the image is written by the capture callback (Append) and read by
// the window thread. Append and the snapshot reader share one mutex, held by
// Append only for the copy of one block (and an occasional enlargement) and by
// the reader for the copy of at most one block, so neither side waits long.
// Everything else here is window thread only and, unless it says otherwise,
// only while the capture device is stopped.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

#include "recording/temp_recording.h"

constexpr std::int32_t kWaveHeaderBytes = 44;
// Upper bound of a single append: the capture callback pulls at most this much.
constexpr std::int32_t kMaxBlockBytes = 50000;
// Largest image the 32-bit size fields can describe.
constexpr std::int64_t kMaxImageBytes = 2147483647;

struct WaveHeaderRecord {
  // RIFF chunk head
  char riffId[4]{};
  std::uint32_t riffSize = 0;
  char formType[4]{};
  // format chunk
  char fmtId[4]{};
  std::uint32_t fmtSize = 0;
  std::uint16_t formatTag = 0;
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint32_t byteRate = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  // data chunk head
  char dataId[4]{};
  std::uint32_t dataSize = 0;
};

using WaveHeaderBytes = std::array<std::uint8_t, kWaveHeaderBytes>;

// Fills every field for a 16-bit stereo PCM recording at `rate`, sizes 0.
void FillWaveHeader(WaveHeaderRecord& header, std::uint32_t rate);
// The 44 bytes as they lie on disk: little-endian, no padding.
WaveHeaderBytes SerializeWaveHeader(const WaveHeaderRecord& header);
// Writes v as 4 little-endian bytes at out.
void PutLE32(std::uint8_t* out, std::uint32_t v);

class RecordImage {
 public:
  RecordImage() = default;
  ~RecordImage();
  RecordImage(const RecordImage&) = delete;
  RecordImage& operator=(const RecordImage&) = delete;

  // Allocation unit: size of the first allocation and the margin kept above
  // RecordUsed. 0 until start-up found a capture device; the image then still
  // gets room for its header.
  std::int32_t RecordStep = 0;

  // Frees the previous image (PlaybackStream must be freed before), allocates
  // the first block, sets RecordUsed to 44 and copies the header in. Returns
  // false when the allocation fails; there is no image then.
  bool Prepare(const WaveHeaderBytes& header);

  // Capture thread. Copies n bytes to the end of the
  // image, enlarging first when needed. Returns false, and takes nothing, when
  // the image cannot take the block: the size limit is reached or memory is
  // exhausted. The image stays usable with what it holds; Full() becomes
  // true and every later Append refuses until the next Prepare.
  bool Append(const void* block, std::size_t n);

  // Writes the RIFF size and data size into the image's header.
  void PatchSizes(std::uint32_t riffSize, std::uint32_t dataSize);

  // Releases the image. RecordUsed keeps its value.
  void Free();

  // Bytes in use: header plus data appended so far. Any thread.
  std::int32_t RecordUsed() const { return used_.load(std::memory_order_acquire); }
  // True once Append has refused a block. Any thread.
  bool Full() const { return full_.load(std::memory_order_acquire); }
  bool Exists() const;

  // Direct access to the contiguous bytes, for use while capture is stopped
  // (the playback memory stream, the final file). nullptr when there is no
  // image. The first AvailableBytes() bytes are valid.
  const std::uint8_t* Bytes() const { return data_; }
  std::int32_t AvailableBytes() const { return data_ ? RecordUsed() : 0; }

  // A consistent copy of the image while capture may run: the bytes
  // [0, RecordUsed) as RecordUsed stood at the call, handed to `sink` in
  // pieces of at most kMaxBlockBytes. Each piece is copied under the lock into
  // a private buffer; `sink` runs outside the lock. Stops early and returns
  // false when `sink` returns false. Window thread.
  bool ReadSnapshot(const std::function<bool(const std::uint8_t*, std::size_t)>& sink) const;

  // Allocated size; for tests and the benchmark.
  std::size_t Capacity() const;

  // Test seam: the largest image Append lets grow (kMaxImageBytes by default).
  void SetLimitForTesting(std::int64_t limit) { limit_ = limit; }

 private:
  bool EnsureCapacity(std::int64_t needed);  // with mu_ held

  mutable std::mutex mu_;
  std::uint8_t* data_ = nullptr;     // written under mu_ (and by the window thread while stopped)
  std::size_t capacity_ = 0;         // under mu_
  std::atomic<std::int32_t> used_{0};
  std::atomic<bool> full_{false};
  std::int64_t limit_ = kMaxImageBytes;
};

// Step one of a start: frees PlaybackStream and the previous image, fills
// WaveHeader for `rate` and prepares RecordBuffer with it. Returns false when
// the image could not be allocated. Window thread, capture stopped.
bool PrepareRecordImage(std::uint32_t rate);
