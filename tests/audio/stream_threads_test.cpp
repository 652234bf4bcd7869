// The capture and output threads pull while the window thread works on
// handles: nothing is lost, nothing crashes, and under ThreadSanitizer
// nothing races.
#include <atomic>
#include <thread>

#include "stream_test_support.h"

namespace {

class StreamThreads : public streamtest::Library {};

TEST_F(StreamThreads, CaptureAndOutputThreadsRunBesideTheWindowThread) {
  const HSTREAM input = streamtest::FloatPush(48000, 2);
  const HSTREAM record = BASS_Mixer_StreamCreate(44100, 2, BASS_STREAM_DECODE);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(record, input, 0));
  std::vector<std::int16_t> samples(2 * 48000, 1000);
  const auto image = streamtest::WaveImage(48000, 2, samples);
  const HSTREAM output = BASS_Mixer_StreamCreate(48000, 2, BASS_SAMPLE_FLOAT | BASS_MIXER_END | BASS_STREAM_DECODE);

  std::atomic<bool> stop{false};
  std::atomic<long> recorded{0};
  constexpr int kBlocks = 300;
  std::thread capture([&] {
    std::vector<float> block(2 * 480, 0.1f);
    std::vector<unsigned char> pull(50000);
    for (int i = 0; i < kBlocks; ++i) {
      BASS_StreamPutData(input, block.data(), static_cast<std::uint32_t>(block.size() * 4));
      int n;
      while ((n = BASS_ChannelGetData(record, pull.data(), 50000)) > 0) recorded += n;
    }
  });
  std::thread out([&] {
    std::vector<float> buf(2 * 2205);
    while (!stop) BASS_ChannelGetData(output, buf.data(), static_cast<std::uint32_t>(buf.size() * 4));
  });
  // The window thread: Play pressed again and again, streams opened and freed.
  HSTREAM playback = 0;
  for (int i = 0; i < 200; ++i) {
    if (playback) BASS_StreamFree(playback);
    playback = BASS_StreamCreateFile(1, image.data(), 0, image.size(), 0x80200100u);
    BASS_Mixer_StreamAddChannel(output, playback, 0);
    BASS_Mixer_ChannelSetPosition(playback, 0, BASS_POS_BYTE);
    BASS_ChannelSetPosition(output, 0, BASS_POS_BYTE);
    EXPECT_EQ(BASS_ChannelGetLength(playback, BASS_POS_BYTE), 48000u * 8);
  }
  capture.join();
  stop = true;
  out.join();
  // 300 blocks of 480 frames at 48 kHz become about 132300 frames at 44.1 kHz;
  // what the converter holds back is a few hundred frames.
  const double frames = double(recorded) / 4;
  EXPECT_LE(frames, kBlocks * 480 * 44100.0 / 48000);
  EXPECT_GT(frames, kBlocks * 480 * 44100.0 / 48000 - 1000);
}

// A stream freed while another thread uses it: that thread's calls fail
// with a handle error from then on, and the stream closes after its last use.
TEST_F(StreamThreads, FreeWhileAnotherThreadPulls) {
  for (int round = 0; round < 20; ++round) {
    const HSTREAM input = streamtest::FloatPush(44100, 1);
    const HSTREAM record = BASS_Mixer_StreamCreate(22050, 2, BASS_STREAM_DECODE);
    ASSERT_TRUE(BASS_Mixer_StreamAddChannel(record, input, 0));
    std::atomic<bool> running{false}, sawFailure{false};
    std::thread capture([&] {
      std::vector<float> block(441, 0.2f);
      std::vector<unsigned char> pull(50000);
      for (long i = 0; i < 10'000'000 && !sawFailure; ++i) {
        if (BASS_StreamPutData(input, block.data(), 441 * 4) < 0 || BASS_ChannelGetData(record, pull.data(), 50000) < 0)
          sawFailure = BASS_ErrorGetCode() == BASS_ERROR_HANDLE;
        running = true;
      }
    });
    while (!running) std::this_thread::yield();
    BASS_StreamFree(round % 2 ? input : record);
    BASS_StreamFree(round % 2 ? record : input);
    capture.join();
    EXPECT_TRUE(sawFailure);
  }
}

}  // namespace
