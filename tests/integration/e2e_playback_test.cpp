// The Play button through the whole program on the sound server: what the
// default sink "speaker" plays, taken from its monitor.
#include <cstdio>

#include "e2e_fixture.h"

using namespace e2e;

namespace {

class PlayOnPulse : public ProgramOnPulse {
 protected:
  // Waits (bounded) until the output device has stopped by itself.
  bool OutputStops(int ms) {
    return test::WaitUntil([] { return !DeviceStarted(State().OutputDevice); }, ms);
  }

  // The monitor's left channel from `capture`, with a little real time after
  // the device's stop so that its last period reaches the monitor too.
  static std::vector<float> Heard(MonitorCapture& capture) {
    Wait(300);
    capture.Stop();
    return capture.Channel(0);
  }
};

}  // namespace

// Played whole, to the end, without a gap, and the device stops by itself;
// a second Play after the end plays it all again.
TEST_F(PlayOnPulse, PlaysTheRecordingWholeAndStopsByItself) {
  REQUIRE_PULSE();
  Launch();
  for (const std::uint32_t rate : {48000u, 22050u}) {
    SCOPED_TRACE(rate);
    ASSERT_TRUE(ChooseItem(*w().cmbRate, QString::number(rate)));
    Record(1800);
    const QByteArray wav = LastRecording();
    const auto recorded = WavChannel(wav, 0);
    const Span own = LoudSpan(recorded);
    ASSERT_GT(own.size(), rate);
    const double ownSeconds = static_cast<double>(own.size()) / rate;

    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(round);
      MonitorCapture capture;
      ASSERT_TRUE(capture.ok());
      Wait(200);
      PressPlay();
      EXPECT_TRUE(DeviceStarted(State().OutputDevice));
      EXPECT_TRUE(OutputStops(static_cast<int>(ownSeconds * 1000) + 3000)) << "the output device never stopped";
      EXPECT_FALSE(DeviceStarted(State().InputDevice)) << "Play must not start the capture device";
      const auto heard = Heard(capture);
      const double monitorRate = capture.rate();
      const Span played = LoudSpan(heard);
      ASSERT_LT(played.begin, heard.size()) << "nothing was heard";
      const double playedSeconds = static_cast<double>(played.size()) / monitorRate;
      // Ends found to within half a period of the tone; a cut end shows as
      // the converter's delay (15 ms and more) or a device period (50 ms).
      EXPECT_NEAR(playedSeconds, ownSeconds, 0.005) << "played " << playedSeconds << " s of " << ownSeconds << " s";
      const std::size_t edge = static_cast<std::size_t>(monitorRate / 20);
      EXPECT_NEAR(ZeroCrossingFrequency(heard, monitorRate, played.begin + edge, played.end - edge), kTone, 0.5);
      const ToneFit fit = FitTone(heard, monitorRate, played.begin + edge, played.end - edge);
      EXPECT_LT(fit.worstPhase, 0.05) << "the playback has a gap";
      EXPECT_LT(fit.worstAmplitudeError, 0.02);
      // The tone lasts until the very end.
      const std::size_t win = static_cast<std::size_t>(monitorRate / 100);
      EXPECT_NEAR(std::abs(Bin(heard.data() + played.end - win - win / 4, win, kTone, monitorRate)), kAmplitude, 0.05);
      std::printf("[e2e] play %u Hz round %d: recorded %.4f s, played %.4f s, worst phase %.1e rad\n", rate, round,
                  ownSeconds, playedSeconds, fit.worstPhase);
    }
  }
}

// Play with nothing to play, or while playing.
TEST_F(PlayOnPulse, PlayBeforeDuringAndWhilePlaying) {
  REQUIRE_PULSE();
  Launch();
  ASSERT_TRUE(ChooseItem(*w().cmbRate, "48000"));
  constexpr double rate = 48000;
  {
    SCOPED_TRACE("before anything was recorded");
    MonitorCapture capture;
    ASSERT_TRUE(capture.ok());
    PressPlay();
    EXPECT_TRUE(OutputStops(2000));
    Wait(300);
    EXPECT_FALSE(DeviceStarted(State().InputDevice));
    const auto heard = Heard(capture);
    EXPECT_GT(heard.size(), 9600u);
    EXPECT_EQ(LoudSpan(heard, 0, 0.001f).size(), 0u) << "something was played";
  }
  double length = 0;
  {
    SCOPED_TRACE("during a recording");
    MonitorCapture capture;
    ASSERT_TRUE(capture.ok());
    Record(2000, [&] {
      PressPlay();
      EXPECT_TRUE(OutputStops(2000));
      EXPECT_TRUE(DeviceStarted(State().InputDevice)) << "the recording goes on";
    });
    const auto heard = Heard(capture);
    EXPECT_EQ(LoudSpan(heard, 0, 0.001f).size(), 0u) << "something was played";
    const QByteArray wav = LastRecording();
    const auto x = WavChannel(wav, 0);
    length = static_cast<double>(x.size()) / rate;
    EXPECT_NEAR(length, 2.0, 0.2);
    const ToneFit fit = FitTone(x, rate, 4800, x.size());
    EXPECT_LT(fit.worstPhase, 0.05) << "the recording has a gap";
    std::printf("[e2e] Play during a recording: %.3f s recorded, worst phase %.1e rad\n", length, fit.worstPhase);
  }
  {
    SCOPED_TRACE("while playing");
    MonitorCapture capture;
    ASSERT_TRUE(capture.ok());
    PressPlay();
    const auto first = Clock::now();
    Wait(800);
    ASSERT_TRUE(DeviceStarted(State().OutputDevice));
    const double between = Seconds(Clock::now() - first);
    PressPlay();
    EXPECT_TRUE(OutputStops(5000));
    const auto heard = Heard(capture);
    const Span played = LoudSpan(heard);
    const double span = static_cast<double>(played.size()) / capture.rate();
    // The first 0.8 s, then the whole recording again from its beginning.
    EXPECT_NEAR(span, between + length, 0.2);
    std::printf("[e2e] Play while playing: heard %.3f s, expected %.3f s\n", span, between + length);
  }
}
