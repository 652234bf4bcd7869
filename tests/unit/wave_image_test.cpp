#include <gtest/gtest.h>

#include <QByteArray>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "recording/wave_image.h"

namespace {

QByteArray LE32(std::uint32_t v) {
  QByteArray b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return b;
}
QByteArray LE16(std::uint16_t v) { return LE32(v).left(2); }

QByteArray Bytes(const WaveHeaderBytes& h) {
  return QByteArray(reinterpret_cast<const char*>(h.data()), static_cast<qsizetype>(h.size()));
}

// The pattern byte of absolute image offset i (data part), so any misplaced,
// lost or torn byte shows.
std::uint8_t PatternAt(std::int64_t i) { return static_cast<std::uint8_t>((i * 131 + (i >> 9)) & 0xFF); }

std::vector<std::uint8_t> PatternBlock(std::int64_t offset, std::size_t n) {
  std::vector<std::uint8_t> b(n);
  for (std::size_t k = 0; k < n; ++k) b[k] = PatternAt(offset + static_cast<std::int64_t>(k));
  return b;
}

WaveHeaderBytes HeaderFor(std::uint32_t rate) {
  WaveHeaderRecord h;
  FillWaveHeader(h, rate);
  return SerializeWaveHeader(h);
}

// Next multiple of step strictly above used.
std::int64_t NextMultipleAbove(std::int64_t used, std::int64_t step) { return step * (used / step + 1); }

}  // namespace

TEST(WaveHeader, BytesForEveryOfferedRate) {
  const struct {
    std::uint32_t rate;
    std::uint32_t byteRate;
  } cases[] = {{96000, 384000}, {48000, 192000}, {44100, 176400}, {32000, 128000}, {22050, 88200}};
  for (const auto& c : cases) {
    const QByteArray expected = QByteArray("RIFF") + LE32(0) + "WAVE" + "fmt " + LE32(16) + LE16(1) + LE16(2) +
                                LE32(c.rate) + LE32(c.byteRate) + LE16(4) + LE16(16) + "data" + LE32(0);
    ASSERT_EQ(expected.size(), 44);
    EXPECT_EQ(Bytes(HeaderFor(c.rate)).toHex(), expected.toHex()) << c.rate;
  }
}

TEST(RecordImage, GrowsGeometricallyKeepingTheStepMarginAndTheBytes) {
  RecordImage image;
  image.RecordStep = 200000;
  ASSERT_TRUE(image.Prepare(HeaderFor(48000)));
  EXPECT_EQ(image.RecordUsed(), 44);
  EXPECT_GE(image.Capacity(), 200000u);

  // 40 MB in blocks of uneven sizes up to one pull, every fifth one ending
  // exactly on a multiple of the step.
  const std::size_t sizes[] = {50000, 1, 38400, 49999};
  int enlargements = 0;
  std::size_t lastCapacity = image.Capacity();
  std::int64_t offset = 44;
  for (int i = 0; offset < 40'000'000; ++i) {
    const std::size_t n = i % 5 == 4
                              ? static_cast<std::size_t>(std::min<std::int64_t>(50000, NextMultipleAbove(offset, 200000) - offset))
                              : sizes[i % 4];
    const auto block = PatternBlock(offset, n);
    ASSERT_TRUE(image.Append(block.data(), n));
    offset += static_cast<std::int64_t>(n);
    ASSERT_EQ(image.RecordUsed(), offset);
    ASSERT_GE(static_cast<std::int64_t>(image.Capacity()), NextMultipleAbove(offset, 200000)) << "at " << offset;
    if (image.Capacity() != lastCapacity) ++enlargements;
    lastCapacity = image.Capacity();
  }
  // Step-sized enlargements would take about 200; doubling takes about 8.
  EXPECT_LE(enlargements, 12);

  const std::uint8_t* p = image.Bytes();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::memcmp(p, HeaderFor(48000).data(), 44), 0);
  for (std::int64_t i = 44; i < offset; ++i)
    if (p[i] != PatternAt(i)) FAIL() << "byte " << i << " differs";
}

TEST(RecordImage, WithoutAStepStillHoldsHeaderAndData) {
  RecordImage image;  // RecordStep 0: set-up never ran
  ASSERT_TRUE(image.Prepare(HeaderFor(22050)));
  EXPECT_GE(image.Capacity(), 44u);
  EXPECT_EQ(std::memcmp(image.Bytes(), HeaderFor(22050).data(), 44), 0);
  const auto block = PatternBlock(44, 1000);
  ASSERT_TRUE(image.Append(block.data(), block.size()));
  EXPECT_EQ(image.RecordUsed(), 1044);
  EXPECT_EQ(std::memcmp(image.Bytes() + 44, block.data(), block.size()), 0);
}

TEST(RecordImage, RefusesBeyondTheLimitAndKeepsWhatItHolds) {
  RecordImage image;
  image.RecordStep = 256;
  image.SetLimitForTesting(44 + 1000);
  ASSERT_TRUE(image.Prepare(HeaderFor(44100)));
  const auto a = PatternBlock(44, 600);
  const auto b = PatternBlock(644, 400);
  ASSERT_TRUE(image.Append(a.data(), a.size()));
  ASSERT_TRUE(image.Append(b.data(), b.size()));  // exactly up to the limit
  EXPECT_EQ(image.RecordUsed(), 1044);
  EXPECT_FALSE(image.Full());
  EXPECT_LE(image.Capacity(), 1044u);  // never allocates past what it may hold

  const std::uint8_t one = 1;
  EXPECT_FALSE(image.Append(&one, 1));
  EXPECT_TRUE(image.Full());
  EXPECT_EQ(image.RecordUsed(), 1044);
  for (std::int64_t i = 44; i < 1044; ++i) ASSERT_EQ(image.Bytes()[i], PatternAt(i));

  // Once full it stays full for this recording; the next one starts afresh.
  image.SetLimitForTesting(kMaxImageBytes);
  EXPECT_FALSE(image.Append(&one, 1));
  ASSERT_TRUE(image.Prepare(HeaderFor(44100)));
  EXPECT_FALSE(image.Full());
  EXPECT_TRUE(image.Append(&one, 1));
}

TEST(RecordImage, FreeKeepsRecordUsedAndLeavesNothingToRead) {
  RecordImage image;
  image.RecordStep = 200000;
  ASSERT_TRUE(image.Prepare(HeaderFor(44100)));
  image.Free();
  EXPECT_FALSE(image.Exists());
  EXPECT_EQ(image.RecordUsed(), 44);
  EXPECT_EQ(image.AvailableBytes(), 0);
  int pieces = 0;
  EXPECT_TRUE(image.ReadSnapshot([&](const std::uint8_t*, std::size_t) { return ++pieces, true; }));
  EXPECT_EQ(pieces, 0);
  const std::uint8_t one = 1;
  EXPECT_FALSE(image.Append(&one, 1));
}

// Save As during a recording: every snapshot taken while the capture thread
// appends (and the image moves) is the header plus an unbroken prefix of the
// data, in pieces of at most one block. Run under ThreadSanitizer too.
TEST(RecordImage, SnapshotDuringAppendsIsConsistent) {
  RecordImage image;
  image.RecordStep = 4096;  // small, so the image moves often
  ASSERT_TRUE(image.Prepare(HeaderFor(96000)));
  const auto header = HeaderFor(96000);

  std::atomic<bool> done{false};
  std::thread capture([&] {
    std::int64_t offset = 44;
    const std::size_t sizes[] = {38400, 3, 50000, 1024};
    for (int i = 0; offset < 12'000'000; ++i) {
      const std::size_t n = sizes[i % 4];
      const auto block = PatternBlock(offset, n);
      if (!image.Append(block.data(), n)) break;
      offset += static_cast<std::int64_t>(n);
    }
    done = true;
  });

  int snapshots = 0;
  std::int64_t previous = 0;
  while (!done || snapshots < 3) {
    std::vector<std::uint8_t> copy;
    std::size_t largest = 0;
    ASSERT_TRUE(image.ReadSnapshot([&](const std::uint8_t* p, std::size_t n) {
      largest = std::max(largest, n);
      copy.insert(copy.end(), p, p + n);
      return true;
    }));
    ASSERT_GE(copy.size(), 44u);
    ASSERT_LE(largest, static_cast<std::size_t>(kMaxBlockBytes));
    ASSERT_GE(static_cast<std::int64_t>(copy.size()), previous);  // a later snapshot never has less
    ASSERT_EQ(std::memcmp(copy.data(), header.data(), 44), 0);
    for (std::size_t i = 44; i < copy.size(); ++i)
      if (copy[i] != PatternAt(static_cast<std::int64_t>(i))) FAIL() << "snapshot byte " << i << " of " << copy.size();
    previous = static_cast<std::int64_t>(copy.size());
    ++snapshots;
  }
  capture.join();
  EXPECT_GE(image.RecordUsed(), 12'000'000);
}
