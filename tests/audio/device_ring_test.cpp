// The single-producer/single-consumer ring between the sound server's thread
// and the library's device threads.
#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

#include "audio/spsc_ring.h"

namespace {

TEST(DeviceRing, WrapsAroundKeepingOrderAndRefusesWhatDoesNotFit) {
  audio::SpscRing<int> ring(5);
  int out[8] = {};
  // Offsets 0..4 in turn: every split of a write and a read across the end.
  int next = 0, expect = 0;
  for (int round = 0; round < 12; ++round) {
    int in[3];
    for (int& v : in) v = next++;
    ASSERT_EQ(ring.Write(in, 3), 3u);
    ASSERT_EQ(ring.Size(), 3u);
    ASSERT_EQ(ring.Read(out, 3), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i], expect++);
  }
  int in[7] = {1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(ring.Write(in, 7), 5u);  // overflow: only what fits, nothing overwritten
  EXPECT_EQ(ring.Free(), 0u);
  EXPECT_EQ(ring.Write(in, 1), 0u);
  EXPECT_EQ(ring.Read(out, 8), 5u);
  EXPECT_EQ(std::vector<int>(out, out + 5), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ring.Read(out, 1), 0u);

  ASSERT_EQ(ring.Write(nullptr, 2), 2u);  // null source writes zeros (a hole)
  out[0] = out[1] = 9;
  ASSERT_EQ(ring.Read(out, 2), 2u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);

  ring.Write(in, 4);
  ring.Discard();
  EXPECT_EQ(ring.Size(), 0u);
  EXPECT_EQ(ring.Free(), 5u);
}

// A producer and a consumer on two threads: the consumer sees the exact
// sequence, in order, with nothing torn or repeated.
TEST(DeviceRing, ConcurrentProducerAndConsumerSeeOneUnbrokenSequence) {
  constexpr std::uint32_t kTotal = 200000;
  audio::SpscRing<std::uint32_t> ring(97);
  std::thread producer([&] {
    std::uint32_t next = 0;
    std::uint32_t block[13];
    while (next < kTotal) {
      std::uint32_t n = 0;
      for (; n < 13 && next + n < kTotal; ++n) block[n] = next + n;
      std::size_t done = 0;
      while (done < n) {
        done += ring.Write(block + done, n - done);
        if (done < n) std::this_thread::yield();
      }
      next += n;
    }
  });
  std::uint32_t expect = 0;
  std::uint32_t block[17];
  bool ordered = true;
  while (expect < kTotal) {
    const std::size_t got = ring.Read(block, 17);
    for (std::size_t i = 0; i < got; ++i) ordered = ordered && block[i] == expect++;
    if (got == 0) std::this_thread::yield();
  }
  producer.join();
  EXPECT_TRUE(ordered);
  EXPECT_EQ(ring.Size(), 0u);
}

}  // namespace
