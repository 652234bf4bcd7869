// Format and channel conversion inside a mixer at equal rates (no rate
// conversion), checked against tables.
#include <limits>
#include <random>

#include "audio/channel_mapper.h"
#include "audio/sample_format.h"
#include "stream_test_support.h"

namespace {

using streamtest::Drain;
using streamtest::FloatPush;
using streamtest::Put;

class StreamConversion : public streamtest::Library {};

TEST_F(StreamConversion, FloatTo16BitRoundsToNearestAndSaturates) {
  const float lsb = 1.0f / 32768.0f;
  const struct {
    float in;
    std::int16_t out;
  } cases[] = {
      {0.0f, 0},           {lsb, 1},          {-lsb, -1},         {0.49f * lsb, 0},      {0.51f * lsb, 1},
      {-0.51f * lsb, -1},  {0.5f * lsb, 0},   {1.5f * lsb, 2},    {-1.5f * lsb, -2},     // ties go to even
      {32766.5f * lsb, 32766},                {0.25f, 8192},      {-0.5f, -16384},
      {1.0f, 32767},       {-1.0f, -32768},   {32767.4f * lsb, 32767},                 // full scale
      {1.5f, 32767},       {-7.0f, -32768},   {std::numeric_limits<float>::infinity(), 32767},
      {-std::numeric_limits<float>::infinity(), -32768}, {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  // Through the whole path: mono push stream → 16-bit mono mixer.
  const HSTREAM push = FloatPush(48000, 1);
  const HSTREAM mixer = BASS_Mixer_StreamCreate(48000, 1, BASS_STREAM_DECODE);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(mixer, push, 0));
  std::vector<float> in;
  for (const auto& c : cases) in.push_back(c.in);
  Put(push, in);
  const auto out = Drain<std::int16_t>(mixer);
  ASSERT_EQ(out.size(), std::size(cases));
  for (std::size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i], cases[i].out) << "input " << cases[i].in;
    EXPECT_EQ(audio::FloatToInt16(cases[i].in), cases[i].out) << "input " << cases[i].in;
  }
}

TEST_F(StreamConversion, ChannelCountsFoldAndWiden) {
  const struct {
    std::uint32_t inChans, outChans;
    std::vector<float> in, out;
  } cases[] = {
      {1, 2, {0.25f, -0.5f}, {0.25f, 0.25f, -0.5f, -0.5f}},
      {2, 1, {0.5f, 0.25f, -1.0f, 1.0f}, {0.375f, 0.0f}},
      {2, 2, {0.1f, -0.2f}, {0.1f, -0.2f}},
      {1, 1, {0.3f}, {0.3f}},
      {1, 4, {0.5f}, {0.5f, 0.5f, 0.0f, 0.0f}},
      {2, 6, {0.5f, -0.25f}, {0.5f, -0.25f, 0.0f, 0.0f, 0.0f, 0.0f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.inChans) + " -> " + std::to_string(c.outChans));
    const HSTREAM push = FloatPush(44100, c.inChans);
    const HSTREAM mixer = BASS_Mixer_StreamCreate(44100, c.outChans, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE);
    ASSERT_TRUE(BASS_Mixer_StreamAddChannel(mixer, push, 0));
    Put(push, c.in);
    EXPECT_EQ(Drain<float>(mixer), c.out);
  }
}

// Surround sources fold down to stereo: front channels stay on their side,
// the centre lands equally on both, LFE is dropped, and full scale on every
// channel stays within full scale.
TEST_F(StreamConversion, SurroundFoldsToStereo) {
  for (std::uint32_t chans : {3u, 4u, 5u, 6u, 7u, 8u, 12u}) {
    SCOPED_TRACE(chans);
    const audio::ChannelMapper m(chans, 2);
    auto fold = [&](std::vector<float> frame) {
      std::vector<float> out(2);
      m.Map(frame.data(), out.data(), 1);
      return out;
    };
    std::vector<float> only(chans, 0.0f);
    only[0] = 1.0f;
    auto lr = fold(only);
    EXPECT_GT(lr[0], 0.0f);
    EXPECT_EQ(lr[1], 0.0f);
    only[0] = 0.0f, only[1] = 1.0f;
    lr = fold(only);
    EXPECT_EQ(lr[0], 0.0f);
    EXPECT_GT(lr[1], 0.0f);
    lr = fold(std::vector<float>(chans, 1.0f));
    EXPECT_NEAR(lr[0], 1.0f, 1e-6f);
    EXPECT_NEAR(lr[1], 1.0f, 1e-6f);
    if (chans == 3 || (chans >= 5 && chans <= 8)) {  // a centre channel at index 2
      std::vector<float> centre(chans, 0.0f);
      centre[2] = 1.0f;
      lr = fold(centre);
      EXPECT_GT(lr[0], 0.0f);
      EXPECT_EQ(lr[0], lr[1]);
    }
    if (chans >= 6 && chans <= 8) {  // LFE at index 3
      std::vector<float> lfe(chans, 0.0f);
      lfe[3] = 1.0f;
      EXPECT_EQ(fold(lfe), (std::vector<float>{0.0f, 0.0f}));
    }
  }
  // Through a mixer: 6 channels to mono is the stereo fold averaged.
  const HSTREAM push = FloatPush(44100, 6);
  const HSTREAM mixer = BASS_Mixer_StreamCreate(44100, 1, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(mixer, push, 0));
  Put(push, {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f});
  const auto mono = Drain<float>(mixer);
  ASSERT_EQ(mono.size(), 2u);
  EXPECT_NEAR(mono[0], 1.0f, 1e-6f);
  EXPECT_EQ(mono[1], 0.0f);
}

// Equal rates bypass the rate converter: exactly representable input comes
// out bit for bit, as float and as 16-bit.
TEST_F(StreamConversion, EqualRatesPassThroughBitExact) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::vector<std::int16_t> ints(2 * 10007);
  for (auto& s : ints) s = static_cast<std::int16_t>(sample(random));
  std::vector<float> floats(ints.size());
  audio::Int16ToFloat(ints.data(), floats.data(), ints.size());

  const HSTREAM push = FloatPush(96000, 2);
  const HSTREAM pcm = BASS_Mixer_StreamCreate(96000, 2, BASS_STREAM_DECODE);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(pcm, push, 0));
  std::vector<std::int16_t> got;
  for (std::size_t at = 0; at < floats.size();) {  // odd blocks, drained each time
    const std::size_t n = std::min<std::size_t>(2 * 333, floats.size() - at);
    Put(push, std::vector<float>(floats.begin() + at, floats.begin() + at + n));
    const auto part = Drain<std::int16_t>(pcm, 1002);
    got.insert(got.end(), part.begin(), part.end());
    at += n;
  }
  EXPECT_EQ(got, ints);

  // Float through a float mixer: any value at all, including ones beyond full scale.
  std::uniform_real_distribution<float> any(-3.0f, 3.0f);
  for (auto& f : floats) f = any(random);
  const HSTREAM push2 = FloatPush(22050, 2);
  const HSTREAM flt = BASS_Mixer_StreamCreate(22050, 2, BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(flt, push2, 0));
  Put(push2, floats);
  const auto out = Drain<float>(flt);
  ASSERT_EQ(out.size(), floats.size());
  EXPECT_EQ(std::memcmp(out.data(), floats.data(), out.size() * sizeof(float)), 0);

  // A 16-bit WAV image through a 16-bit mixer is the file's data again.
  const auto wav = streamtest::WaveImage(44100, 2, ints);
  const HSTREAM file = BASS_StreamCreateFile(1, wav.data(), 0, wav.size(), BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  const HSTREAM pcm2 = BASS_Mixer_StreamCreate(44100, 2, BASS_STREAM_DECODE | BASS_MIXER_END);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(pcm2, file, 0));
  int last = 0;
  EXPECT_EQ(Drain<std::int16_t>(pcm2, 50000, &last), ints);
  EXPECT_EQ(last, -1);
}

}  // namespace
