// Rate conversion inside a mixer: continuity across odd-sized blocks, pitch,
// length, and a restart after a rewind.
#include "stream_test_support.h"

namespace {

using streamtest::Drain;
using streamtest::FitSine;
using streamtest::FloatPush;
using streamtest::Put;

class StreamResampling : public streamtest::Library {};

struct RatePair {
  std::uint32_t in, out, inChans;
};

// A 997 Hz sine pushed in odd-sized blocks, the mixer drained completely
// after each block in odd-sized pulls (as the capture callback does), then
// the end marked (as a recording's stop does): the output is one clean sine
// at the same pitch, with the length ratio of the rates. A lost or doubled
// sample anywhere shows as a residual spike.
TEST_F(StreamResampling, PushedSineComesOutContinuous) {
  for (const RatePair p : {RatePair{48000, 44100, 2}, RatePair{44100, 96000, 2}, RatePair{48000, 22050, 1},
                           RatePair{44100, 32000, 2}}) {
    SCOPED_TRACE(std::to_string(p.in) + " -> " + std::to_string(p.out));
    const HSTREAM push = FloatPush(p.in, p.inChans);
    const HSTREAM mixer = BASS_Mixer_StreamCreate(p.out, 2, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE);
    ASSERT_TRUE(BASS_Mixer_StreamAddChannel(mixer, push, 0));
    const double f = 997.0, amp = 0.5;
    const std::size_t inFrames = p.in * 2;  // two seconds
    const std::size_t blocks[] = {441, 1013, 97, 4801, 1, 2999};
    std::vector<float> out;
    std::size_t at = 0;
    for (int b = 0; at < inFrames; ++b) {
      const std::size_t n = std::min(blocks[b % 6], inFrames - at);
      std::vector<float> block;
      for (std::size_t i = 0; i < n; ++i)
        for (std::uint32_t c = 0; c < p.inChans; ++c)
          block.push_back(static_cast<float>(amp * std::sin(2 * M_PI * f * double(at + i) / p.in)));
      Put(push, block);
      at += n;
      const auto part = Drain<float>(mixer, 8 * 777);
      out.insert(out.end(), part.begin(), part.end());
    }
    // What the converter still holds for its filter is a small, fixed delay...
    const double expected = double(inFrames) * p.out / p.in;
    EXPECT_LE(double(out.size() / 2), expected);
    EXPECT_GT(double(out.size() / 2), expected - 0.05 * p.out);
    // ...which it gives out once the pushed input is marked as ended.
    EXPECT_EQ(BASS_StreamPutData(push, nullptr, BASS_STREAMPROC_END), 0);
    const auto tail = Drain<float>(mixer, 8 * 777);
    out.insert(out.end(), tail.begin(), tail.end());
    const std::size_t outFrames = out.size() / 2;
    EXPECT_NEAR(double(outFrames), expected, 1.0);
    // Skip the filter's start-up and its edge at the very end, then fit each
    // channel: the tail continues the sine.
    for (int c = 0; c < 2; ++c) {
      std::vector<double> x;
      for (std::size_t i = p.out / 50; i < outFrames - p.out / 200; ++i) x.push_back(out[2 * i + c]);
      const auto fit = FitSine(x, f / p.out);
      EXPECT_NEAR(fit.amplitude, amp, 1e-3);
      EXPECT_LT(fit.residualMax, 1e-4) << "channel " << c;
    }
  }
}

// Rewinding a source inside its mixer restarts its conversion: a file
// stream played to its end twice gives the same samples twice.
TEST_F(StreamResampling, RewoundSourceRestartsItsConversion) {
  std::vector<std::int16_t> samples;
  for (int i = 0; i < 44100; ++i)
    for (int c = 0; c < 2; ++c) samples.push_back(static_cast<std::int16_t>(10000 * std::sin(2 * M_PI * 440 * i / 44100.0)));
  const auto wav = streamtest::WaveImage(44100, 2, samples);
  const HSTREAM file = BASS_StreamCreateFile(1, wav.data(), 0, wav.size(), BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  const HSTREAM mixer = BASS_Mixer_StreamCreate(48000, 2, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE | BASS_MIXER_END);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(mixer, file, 0));
  int last = 0;
  const auto first = Drain<float>(mixer, 4096, &last);
  EXPECT_EQ(last, -1);
  // A file source ends, so the converter's tail is flushed: the full length comes out.
  EXPECT_NEAR(double(first.size()) / 2, 48000.0, 2.0);

  // Rewind the ended pair, stop halfway, rewind the source again: the run
  // from there still equals the first.
  ASSERT_TRUE(BASS_Mixer_ChannelSetPosition(file, 0, BASS_POS_BYTE));
  ASSERT_TRUE(BASS_ChannelSetPosition(mixer, 0, BASS_POS_BYTE));
  std::vector<unsigned char> part(first.size() * 2);
  ASSERT_GT(BASS_ChannelGetData(mixer, part.data(), static_cast<std::uint32_t>(part.size())), 0);
  ASSERT_TRUE(BASS_Mixer_ChannelSetPosition(file, 0, BASS_POS_BYTE));
  const auto second = Drain<float>(mixer, 4096, &last);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(second, first);
}

}  // namespace
