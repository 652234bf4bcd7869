#include "recording/wave_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "app/app_state.h"
#include "recording/audio_library.h"

namespace {
void PutLE16(std::uint8_t* out, std::uint16_t v) {
  out[0] = static_cast<std::uint8_t>(v & 0xFF);
  out[1] = static_cast<std::uint8_t>(v >> 8);
}
}  // namespace

void PutLE32(std::uint8_t* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

void FillWaveHeader(WaveHeaderRecord& h, std::uint32_t rate) {
  std::memcpy(h.riffId, "RIFF", 4);
  h.riffSize = 0;
  std::memcpy(h.formType, "WAVE", 4);
  std::memcpy(h.fmtId, "fmt ", 4);
  h.fmtSize = 16;
  h.formatTag = 1;
  h.channels = 2;
  h.bitsPerSample = 16;
  h.sampleRate = rate;
  h.blockAlign = static_cast<std::uint16_t>(h.channels * h.bitsPerSample / 8);
  // A rate from an odd combo text must not wrap the 32-bit field.
  const std::uint64_t byteRate = std::uint64_t{rate} * h.blockAlign;
  h.byteRate = static_cast<std::uint32_t>(std::min<std::uint64_t>(byteRate, std::numeric_limits<std::uint32_t>::max()));
  std::memcpy(h.dataId, "data", 4);
  h.dataSize = 0;
}

WaveHeaderBytes SerializeWaveHeader(const WaveHeaderRecord& h) {
  WaveHeaderBytes b{};
  std::memcpy(&b[0], h.riffId, 4);
  PutLE32(&b[4], h.riffSize);
  std::memcpy(&b[8], h.formType, 4);
  std::memcpy(&b[12], h.fmtId, 4);
  PutLE32(&b[16], h.fmtSize);
  PutLE16(&b[20], h.formatTag);
  PutLE16(&b[22], h.channels);
  PutLE32(&b[24], h.sampleRate);
  PutLE32(&b[28], h.byteRate);
  PutLE16(&b[32], h.blockAlign);
  PutLE16(&b[34], h.bitsPerSample);
  std::memcpy(&b[36], h.dataId, 4);
  PutLE32(&b[40], h.dataSize);
  return b;
}

RecordImage::~RecordImage() { std::free(data_); }

bool RecordImage::Exists() const {
  std::lock_guard<std::mutex> lk(mu_);
  return data_ != nullptr;
}

std::size_t RecordImage::Capacity() const {
  std::lock_guard<std::mutex> lk(mu_);
  return capacity_;
}

bool RecordImage::Prepare(const WaveHeaderBytes& header) {
  std::lock_guard<std::mutex> lk(mu_);
  std::free(data_);
  data_ = nullptr;
  capacity_ = 0;
  full_.store(false, std::memory_order_release);
  // First block: one RecordStep, but never less than the header.
  const std::int64_t step = std::max<std::int32_t>(RecordStep, 0);
  const std::int64_t first = step > 0 ? step * (kWaveHeaderBytes / step + 1) : kWaveHeaderBytes;
  auto* p = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(first)));
  if (!p) return false;
  data_ = p;
  capacity_ = static_cast<std::size_t>(first);
  std::memcpy(data_, header.data(), header.size());
  used_.store(kWaveHeaderBytes, std::memory_order_release);
  return true;
}

// Keeps at least the next multiple of RecordStep above the new end allocated,
// and grows geometrically beyond that so a long recording is not copied over
// and over. Large blocks are moved with mremap by the C library; pages not yet
// written cost no memory.
bool RecordImage::EnsureCapacity(std::int64_t needed) {
  const std::int64_t step = std::max<std::int32_t>(RecordStep, 0);
  std::int64_t wanted = step > 0 ? step * (needed / step + 1) : needed;
  wanted = std::min(wanted, std::max(limit_, needed));
  const auto cap = static_cast<std::int64_t>(capacity_);
  if (cap >= wanted) return true;
  std::int64_t grown = std::max(wanted, cap * 2);
  grown = std::min(grown, std::max(limit_, wanted));
  for (std::int64_t size : {grown, wanted}) {
    void* p = std::realloc(data_, static_cast<std::size_t>(size));
    if (p) {
      data_ = static_cast<std::uint8_t*>(p);
      capacity_ = static_cast<std::size_t>(size);
      return true;
    }
    if (size == wanted) break;
  }
  return false;  // the old block stays valid and keeps its bytes
}

bool RecordImage::Append(const void* block, std::size_t n) {
  if (n == 0) return true;
  if (full_.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> lk(mu_);
  const std::int64_t used = used_.load(std::memory_order_relaxed);
  const std::int64_t needed = used + static_cast<std::int64_t>(n);
  if (!data_ || needed > limit_ || !EnsureCapacity(needed)) {
    full_.store(true, std::memory_order_release);
    return false;
  }
  std::memcpy(data_ + used, block, n);
  used_.store(static_cast<std::int32_t>(needed), std::memory_order_release);
  return true;
}

void RecordImage::PatchSizes(std::uint32_t riffSize, std::uint32_t dataSize) {
  std::lock_guard<std::mutex> lk(mu_);
  if (!data_ || capacity_ < static_cast<std::size_t>(kWaveHeaderBytes)) return;
  PutLE32(data_ + 4, riffSize);
  PutLE32(data_ + 40, dataSize);
}

void RecordImage::Free() {
  std::lock_guard<std::mutex> lk(mu_);
  std::free(data_);
  data_ = nullptr;
  capacity_ = 0;
}

bool RecordImage::ReadSnapshot(const std::function<bool(const std::uint8_t*, std::size_t)>& sink) const {
  std::int64_t end = 0;
  {
    std::lock_guard<std::mutex> lk(mu_);
    if (!data_) return true;
    end = used_.load(std::memory_order_relaxed);
  }
  std::vector<std::uint8_t> piece(static_cast<std::size_t>(std::min<std::int64_t>(end, kMaxBlockBytes)));
  for (std::int64_t pos = 0; pos < end;) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(end - pos, kMaxBlockBytes));
    {
      std::lock_guard<std::mutex> lk(mu_);
      // The image only grows while capture runs; it is freed or replaced only
      // on this thread, so it can be gone here only if `sink` did that.
      if (!data_) return false;
      std::memcpy(piece.data(), data_ + pos, n);
    }
    if (!sink(piece.data(), n)) return false;
    pos += static_cast<std::int64_t>(n);
  }
  return true;
}

bool PrepareRecordImage(std::uint32_t rate) {
  AppState& s = State();
  if (s.PlaybackStream != 0) {
    BASS_StreamFree(s.PlaybackStream);
    s.PlaybackStream = 0;
  }
  FillWaveHeader(s.WaveHeader, rate);
  return s.RecordBuffer.Prepare(SerializeWaveHeader(s.WaveHeader));
}
