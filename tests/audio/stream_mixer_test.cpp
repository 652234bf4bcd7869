// Mixer end semantics, plugging rules and the life of handles.
#include "stream_test_support.h"

namespace {

using streamtest::Drain;
using streamtest::FloatPush;
using streamtest::Put;

class StreamMixer : public streamtest::Library {};

constexpr std::uint32_t kOutputFlags = BASS_SAMPLE_FLOAT | BASS_MIXER_POSEX | BASS_MIXER_END | BASS_STREAM_DECODE;

std::vector<unsigned char> ShortWave(int frames) {
  std::vector<std::int16_t> s(static_cast<std::size_t>(frames) * 2);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(i * 7);
  return streamtest::WaveImage(48000, 2, s);
}

TEST_F(StreamMixer, EndFlagEndsWhenNoSourceHasDataAndRewindDeliversAgain) {
  float buf[256];
  // No source at all: ended at once.
  const HSTREAM mixer = BASS_Mixer_StreamCreate(48000, 2, kOutputFlags);
  ASSERT_NE(mixer, 0u);
  EXPECT_EQ(BASS_ChannelGetData(mixer, buf, sizeof buf), -1);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);

  // The program's Play: plug the stream in, rewind source and mixer.
  const auto wav = ShortWave(1000);
  const HSTREAM playback = BASS_StreamCreateFile(1, wav.data(), 0, wav.size(), 0x80200100u);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(mixer, playback, 0));
  EXPECT_EQ(BASS_ChannelGetData(mixer, buf, sizeof buf), -1) << "an ended mixer stays ended until rewound";
  ASSERT_TRUE(BASS_Mixer_ChannelSetPosition(playback, 0, BASS_POS_BYTE));
  ASSERT_TRUE(BASS_ChannelSetPosition(mixer, 0, BASS_POS_BYTE));
  for (int round = 0; round < 2; ++round) {
    int last = 0;
    const auto out = Drain<float>(mixer, 1000, &last);  // 1000 bytes: whole frames only
    EXPECT_EQ(out.size(), 2000u);
    EXPECT_EQ(out[2 * 999 + 1], float(2 * 999 + 1) * 7 / 32768);
    EXPECT_EQ(last, -1);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    BASS_Mixer_ChannelSetPosition(playback, 0, BASS_POS_BYTE);
    BASS_ChannelSetPosition(mixer, 0, BASS_POS_BYTE);
  }

  // A push source never ends: an empty one means "nothing now".
  const HSTREAM push = FloatPush(48000, 2);
  const HSTREAM live = BASS_Mixer_StreamCreate(44100, 2, kOutputFlags);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(live, push, 0));
  EXPECT_EQ(BASS_ChannelGetData(live, buf, sizeof buf), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
}

TEST_F(StreamMixer, WithoutEndFlagNeverEnds) {
  std::int16_t buf[512];
  const HSTREAM record = BASS_Mixer_StreamCreate(44100, 2, BASS_STREAM_DECODE);
  EXPECT_EQ(BASS_ChannelGetData(record, buf, sizeof buf), 0);  // no source
  const auto wav = ShortWave(10);
  const HSTREAM file = BASS_StreamCreateFile(1, wav.data(), 0, wav.size(), BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(record, file, 0));
  int last = 1;
  const auto out = Drain<std::int16_t>(record, sizeof buf, &last);
  EXPECT_GT(out.size(), 0u);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(BASS_ChannelGetData(record, buf, sizeof buf), 0);
}

TEST_F(StreamMixer, SourcePlugsIntoOneMixerOnlyAndFreesCleanly) {
  const HSTREAM push = FloatPush(48000, 2);
  const HSTREAM a = BASS_Mixer_StreamCreate(44100, 2, BASS_STREAM_DECODE);
  const HSTREAM b = BASS_Mixer_StreamCreate(44100, 2, BASS_STREAM_DECODE);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(a, push, 0));
  for (HSTREAM mixer : {a, b}) {
    EXPECT_FALSE(BASS_Mixer_StreamAddChannel(mixer, push, 0));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  }
  EXPECT_FALSE(BASS_Mixer_StreamAddChannel(a, b, 0)) << "a mixer is not a source";
  EXPECT_FALSE(BASS_Mixer_StreamAddChannel(push, a, 0)) << "a push stream is not a mixer";
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

  // Freeing the mixer leaves the source usable, and free to join another mixer.
  ASSERT_TRUE(BASS_StreamFree(a));
  const std::vector<float> block(2 * 4800, 0.25f);
  EXPECT_EQ(BASS_StreamPutData(push, block.data(), 4 * 9600), 4 * 9600);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(b, push, 0));
  EXPECT_GT(Drain<std::int16_t>(b).size(), 0u);

  // Freeing the source takes it out of its mixer: an END mixer then ends.
  const auto wav = ShortWave(48000);
  const HSTREAM file = BASS_StreamCreateFile(1, wav.data(), 0, wav.size(), BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE);
  const HSTREAM out = BASS_Mixer_StreamCreate(48000, 2, kOutputFlags);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(out, file, 0));
  float buf[64];
  EXPECT_EQ(BASS_ChannelGetData(out, buf, sizeof buf), int(sizeof buf));
  ASSERT_TRUE(BASS_StreamFree(file));
  EXPECT_EQ(BASS_ChannelGetData(out, buf, sizeof buf), -1);
  EXPECT_FALSE(BASS_Mixer_ChannelSetPosition(file, 0, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_FALSE(BASS_Mixer_ChannelSetPosition(push, 0, 1)) << "only byte positions";
}

// Every operation fails with its failure value and an error code on a zero,
// unknown or freed handle; a freed number is not handed out again.
TEST_F(StreamMixer, BadHandlesFailCleanly) {
  const HSTREAM freed = FloatPush(44100, 2);
  ASSERT_TRUE(BASS_StreamFree(freed));
  const HSTREAM fresh = FloatPush(44100, 2);
  EXPECT_NE(fresh, freed);
  EXPECT_NE(fresh, 0u);
  static char buf[16] = {};
  const struct {
    const char* name;
    bool (*fails)(HSTREAM h, HSTREAM other);
  } ops[] = {
      {"StreamFree", [](HSTREAM h, HSTREAM) { return BASS_StreamFree(h) == 0; }},
      {"StreamPutData", [](HSTREAM h, HSTREAM) { return BASS_StreamPutData(h, buf, 8) == -1; }},
      {"ChannelGetData", [](HSTREAM h, HSTREAM) { return BASS_ChannelGetData(h, buf, 8) == -1; }},
      {"ChannelGetLength", [](HSTREAM h, HSTREAM) { return BASS_ChannelGetLength(h, BASS_POS_BYTE) == ~QWORD64{0}; }},
      {"ChannelBytes2Seconds", [](HSTREAM h, HSTREAM) { return BASS_ChannelBytes2Seconds(h, 100) < 0.0; }},
      {"ChannelSetPosition", [](HSTREAM h, HSTREAM) { return BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE) == 0; }},
      {"Mixer_ChannelSetPosition", [](HSTREAM h, HSTREAM) { return BASS_Mixer_ChannelSetPosition(h, 0, BASS_POS_BYTE) == 0; }},
      {"ChannelStop", [](HSTREAM h, HSTREAM) { return BASS_ChannelStop(h) == 0; }},
      {"Mixer_StreamAddChannel", [](HSTREAM h, HSTREAM other) { return BASS_Mixer_StreamAddChannel(h, other, 0) == 0; }},
  };
  for (HSTREAM h : {0u, freed, 0xDEADBEEFu}) {
    for (const auto& op : ops) {
      EXPECT_TRUE(op.fails(h, fresh)) << op.name << " on " << h;
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << op.name << " on " << h;
    }
  }
  const HSTREAM mixer = BASS_Mixer_StreamCreate(44100, 2, 0);
  EXPECT_EQ(BASS_Mixer_StreamAddChannel(mixer, freed, 0), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  // Wrong kinds of stream.
  EXPECT_EQ(BASS_StreamPutData(mixer, buf, 8), -1);
  EXPECT_EQ(BASS_ChannelGetLength(fresh, BASS_POS_BYTE), ~QWORD64{0}) << "a push stream has no length";
  EXPECT_EQ(BASS_ChannelStop(fresh), 1);
  // Bad creation arguments.
  EXPECT_EQ(FloatPush(0, 2), 0u);
  EXPECT_EQ(FloatPush(44100, 0), 0u);
  EXPECT_EQ(BASS_Mixer_StreamCreate(0, 2, BASS_STREAM_DECODE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
  EXPECT_EQ(BASS_StreamCreate(44100, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr), 0u);
}

TEST(StreamLibrary, InitGatesStreamsAndFreeReleasesThem) {
  EXPECT_TRUE(BASS_SetConfig(BASS_CONFIG_UPDATETHREADS, 0));
  char buf[8] = {};
  EXPECT_EQ(FloatPush(44100, 2), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(BASS_StreamFree(0), 0);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(BASS_Free(), 0);

  // The program's start-up: device 0, then the default device.
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  EXPECT_TRUE(BASS_Init(-1, 44100, BASS_DEVICE_3D, nullptr, nullptr));
  const HSTREAM push = FloatPush(44100, 2);
  const HSTREAM mixer = BASS_Mixer_StreamCreate(44100, 2, BASS_STREAM_DECODE);
  ASSERT_TRUE(BASS_Mixer_StreamAddChannel(mixer, push, 0));
  ASSERT_TRUE(BASS_Free());
  EXPECT_EQ(BASS_ChannelGetData(mixer, buf, sizeof buf), -1);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

  // After a new start the old handles stay dead.
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(BASS_StreamPutData(push, buf, sizeof buf), -1);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_NE(FloatPush(44100, 2), push);
  ASSERT_TRUE(BASS_Free());
}

TEST_F(StreamMixer, PushStreamQueuesWholeFramesInOrder) {
  const HSTREAM push = FloatPush(44100, 2);
  const float a[3] = {0.1f, 0.2f, 0.3f};  // one and a half frames
  EXPECT_EQ(BASS_StreamPutData(push, a, sizeof a), 12);
  float out[8] = {};
  EXPECT_EQ(BASS_ChannelGetData(push, out, sizeof out), 8);  // the half frame waits
  EXPECT_EQ(BASS_StreamPutData(push, a, 4), 8);
  EXPECT_EQ(BASS_ChannelGetData(push, out, sizeof out), 8);
  EXPECT_EQ(out[0], 0.3f);
  EXPECT_EQ(out[1], 0.1f);
  EXPECT_EQ(BASS_ChannelGetData(push, out, sizeof out), 0) << "empty means nothing now, not the end";
  EXPECT_EQ(BASS_StreamPutData(push, nullptr, 0), 0);

  // An end mark: the queued data is read first, then the end is reported
  // until new data starts the stream again.
  EXPECT_EQ(BASS_StreamPutData(push, a, 8 | BASS_STREAMPROC_END), 8);
  EXPECT_EQ(BASS_ChannelGetData(push, out, sizeof out), 8);
  EXPECT_EQ(BASS_ChannelGetData(push, out, sizeof out), -1);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
  EXPECT_EQ(BASS_StreamPutData(push, a, 8), 8);
  EXPECT_EQ(BASS_ChannelGetData(push, out, sizeof out), 8);
  EXPECT_EQ(BASS_ChannelGetData(push, out, sizeof out), 0);
}

}  // namespace
