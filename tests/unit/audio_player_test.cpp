#include <QByteArray>
#include <QtEndian>
#include <gtest/gtest.h>

#include "playback/audio_player.h"
#include "test_support.h"

TEST(AudioPlayer, SplitsSecondsIntoMinutesAndSecondsTruncatingTowardZero) {
  const struct { double seconds; std::int32_t minutes, rest; const char* text; } cases[] = {
      {0, 0, 0, "00:00"},         {59.99, 0, 59, "00:59"},     {61.5, 1, 1, "01:01"},
      {600, 10, 0, "10:00"},      {6000, 100, 0, "100:00"},    {7530.2, 125, 30, "125:30"},
      {-1, 0, -1, "00:0-1"},      {-61, -1, -1, "0-1:0-1"},    {609.5, 10, 9, "10:09"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AudioPlayer::SplitSeconds(c.seconds, 0), c.minutes) << c.seconds;
    EXPECT_EQ(AudioPlayer::SplitSeconds(c.seconds, 1), c.rest) << c.seconds;
    EXPECT_EQ(AudioPlayer::SplitSeconds(c.seconds, 7), c.rest) << "any part but 0 gives the seconds";
    EXPECT_EQ(AudioPlayer::LengthTextFor(c.seconds), c.text) << c.seconds;
  }
}

TEST(AudioPlayer, FailedStreamsGiveTheFailureText) {
  test::TempFolder folder;
  AudioPlayer player;
  BASS_Init(0, 44100, 0, nullptr, nullptr);
  BASS_ChannelGetLength(0, BASS_POS_BYTE);  // leaves BASS_ERROR_HANDLE
  ASSERT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_EQ(player.OpenStream((folder.fs() / "gone.wav").string()), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << "a missing file must not reach the library";
  BASS_Free();

  EXPECT_EQ(player.GetLength(0), ~QWORD64{0});
  EXPECT_LT(player.BytesToSeconds(0, 1000), 0.0);
  EXPECT_EQ(player.LengthText(0), "00:0-1");
  EXPECT_EQ(player.FreeStream(0), 0);
}

namespace {

// A 16-bit PCM WAV of silence.
QByteArray Wav(std::uint32_t rate, std::uint16_t channels, std::uint32_t frames) {
  const std::uint32_t data = frames * channels * 2u;
  QByteArray b(44, '\0');
  auto put32 = [&](int at, std::uint32_t v) { qToLittleEndian(v, b.data() + at); };
  auto put16 = [&](int at, std::uint16_t v) { qToLittleEndian(v, b.data() + at); };
  std::memcpy(b.data(), "RIFF", 4);
  put32(4, 36 + data);
  std::memcpy(b.data() + 8, "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);
  put16(22, channels);
  put32(24, rate);
  put32(28, rate * channels * 2u);
  put16(32, static_cast<std::uint16_t>(channels * 2u));
  put16(34, 16);
  std::memcpy(b.data() + 36, "data", 4);
  put32(40, data);
  b.append(QByteArray(static_cast<qsizetype>(data), '\0'));
  return b;
}

}  // namespace

// Needs the audio library's file streams (BASS_StreamCreateFile and the length
// operations); it fails for as long as those are placeholders.
TEST(AudioPlayerWithFileStreams, MeasuresAWrittenWav) {
  test::TempFolder folder;
  const auto path = (folder.fs() / "长度.wav").string();
  test::WriteAll(path, Wav(22050, 2, 22050 * 61 + 11025));  // 61.5 s
  BASS_Init(0, 44100, 0, nullptr, nullptr);
  AudioPlayer player;
  const HSTREAM h = player.OpenStream(path);
  ASSERT_NE(h, 0u) << "BASS_StreamCreateFile failed, error " << BASS_ErrorGetCode();
  EXPECT_EQ(player.GetLength(h), QWORD64{(22050 * 61 + 11025) * 4});
  EXPECT_EQ(player.LengthText(h), "01:01");
  EXPECT_NE(player.FreeStream(h), 0);
  EXPECT_EQ(player.LengthText(h), "00:0-1") << "a freed handle measures as a failure";
  BASS_Free();
}
