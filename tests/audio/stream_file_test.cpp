// Memory and file streams: lengths, reading, rewinding, damaged input.
#include <sndfile.h>

#include <fstream>

#include "stream_test_support.h"
#include "test_support.h"

namespace {

using streamtest::Drain;
using streamtest::WaveImage;

class StreamFile : public streamtest::Library {
 protected:
  std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) {
    const auto path = (folder.fs() / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }
  test::TempFolder folder;
};

std::vector<std::int16_t> Ramp(std::size_t samples) {
  std::vector<std::int16_t> s(samples);
  for (std::size_t i = 0; i < samples; ++i) s[i] = static_cast<std::int16_t>(int(i * 37 % 65536) - 32768);
  return s;
}

// Our own recordings: 16-bit stereo with a 44-byte header, written finished
// or cut off by a crash (sizes still 0). Both measure and read the same.
TEST_F(StreamFile, RecordingsMeasureAndReadExactly) {
  const auto samples = Ramp(2 * 22050);
  for (bool cutOff : {false, true}) {
    SCOPED_TRACE(cutOff ? "sizes 0" : "finished");
    const std::string path = Write("r.wav", WaveImage(22050, 2, samples, cutOff));
    const HSTREAM pcm = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    ASSERT_NE(pcm, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelGetLength(pcm, BASS_POS_BYTE), 22050u * 4);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(pcm, BASS_ChannelGetLength(pcm, BASS_POS_BYTE)), 1.0);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(pcm, 88200 / 2), 0.5);
    int last = 0;
    EXPECT_EQ(Drain<std::int16_t>(pcm, 4000, &last), samples);
    EXPECT_EQ(last, -1);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    EXPECT_TRUE(BASS_ChannelSetPosition(pcm, 0, BASS_POS_BYTE));
    EXPECT_EQ(Drain<std::int16_t>(pcm).size(), samples.size());
    EXPECT_TRUE(BASS_ChannelStop(pcm));
    EXPECT_TRUE(BASS_StreamFree(pcm));

    const HSTREAM flt = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_UNICODE | BASS_SAMPLE_FLOAT | BASS_STREAM_DECODE);
    ASSERT_NE(flt, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(flt, BASS_POS_BYTE), 22050u * 8);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(flt, 22050u * 8), 1.0);
    const auto f = Drain<float>(flt);
    ASSERT_EQ(f.size(), samples.size());
    EXPECT_EQ(f[1], samples[1] / 32768.0f);
    EXPECT_FALSE(BASS_ChannelSetPosition(flt, 22050u * 8 + 8, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
    BASS_StreamFree(flt);
  }
}

// Other formats libsndfile writes open too, with lengths in the stream's
// own output format.
TEST_F(StreamFile, OtherFormatsMeasureInOutputFormat) {
  const auto path = (folder.fs() / "mono24.flac").string();
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 1;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(sf, nullptr);
  std::vector<float> x(12345, 0.25f);
  sf_writef_float(sf, x.data(), sf_count_t(x.size()));
  sf_close(sf);
  const HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 12345u * 2);
  const auto s = Drain<std::int16_t>(h);
  ASSERT_EQ(s.size(), 12345u);
  EXPECT_EQ(s[100], 8192);
}

TEST_F(StreamFile, MemoryStreamReadsTheCallersMemoryInPlace) {
  auto image = WaveImage(44100, 2, Ramp(2 * 100));
  const auto original = image;
  const HSTREAM h = BASS_StreamCreateFile(1, image.data(), 0, image.size(), 0x80200100u);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 100u * 8);
  // The stream reads the caller's bytes as they are when read: not a copy.
  image[44] = 0;
  image[45] = 0x40;  // first sample = 16384
  float first[2];
  ASSERT_EQ(BASS_ChannelGetData(h, first, sizeof first), 8);
  EXPECT_EQ(first[0], 0.5f);
  ASSERT_TRUE(BASS_StreamFree(h));
  image[44] = original[44];
  image[45] = original[45];
  EXPECT_EQ(image, original) << "the stream never writes the caller's memory";

  // Offset into memory: an image that starts further into a buffer.
  std::vector<unsigned char> padded(7, 0xAA);
  padded.insert(padded.end(), original.begin(), original.end());
  const HSTREAM off = BASS_StreamCreateFile(1, padded.data(), 7, original.size(), BASS_STREAM_DECODE);
  ASSERT_NE(off, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(off, BASS_POS_BYTE), 100u * 4);
}

TEST_F(StreamFile, DamagedOrMissingInputFailsCleanly) {
  const auto good = WaveImage(44100, 2, Ramp(2 * 1000));
  std::vector<unsigned char> garbage(5000);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<unsigned char>(i * 131 + 7);
  auto riffGarbage = garbage;
  std::memcpy(riffGarbage.data(), "RIFF\0\0\0\0WAVE", 12);
  auto badFormat = good;
  badFormat[22] = 0;  // 0 channels
  const struct {
    const char* name;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {"empty", {}},
      {"garbage", garbage},
      {"RIFF head then garbage", riffGarbage},
      {"header cut at 30 bytes", {good.begin(), good.begin() + 30}},
      {"header cut at 43 bytes", {good.begin(), good.begin() + 43}},
      {"zero channels", badFormat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write("bad.wav", c.bytes);
    EXPECT_EQ(BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0), 0u);
    EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
    if (!c.bytes.empty()) {
      EXPECT_EQ(BASS_StreamCreateFile(1, c.bytes.data(), 0, c.bytes.size(), 0x80200100u), 0u);
      EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
    }
  }
  // Data cut in the middle of a frame: what is whole is there.
  const std::vector<unsigned char> cut(good.begin(), good.begin() + 44 + 4 * 10 + 3);
  const HSTREAM h = BASS_StreamCreateFile(1, cut.data(), 0, cut.size(), 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 40u);
  EXPECT_EQ(Drain<std::int16_t>(h).size(), 20u);

  EXPECT_EQ(BASS_StreamCreateFile(0, (folder.fs() / "none.wav").c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_EQ(BASS_StreamCreateFile(0, folder.path().c_str(), 0, 0, 0), 0u) << "a folder";
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_EQ(BASS_StreamCreateFile(1, nullptr, 0, 100, 0), 0u);
  EXPECT_EQ(BASS_StreamCreateFile(1, good.data(), 0, 0, 0), 0u);
}

}  // namespace
