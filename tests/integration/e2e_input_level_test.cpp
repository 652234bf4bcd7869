// The input level slider sets the capture device's volume on the sound server.
#include "e2e_fixture.h"

using namespace e2e;

namespace {
class InputLevelOnPulse : public ProgramOnPulse {};

// The volume pactl shows for the source, e.g. "37%", of its first channel.
std::string ServerVolume(const char* source) {
  const std::string shown = test::Run(std::string("pactl get-source-volume ") + source);
  const auto slash = shown.find('/');
  const auto percent = shown.find('%', slash);
  if (slash == std::string::npos || percent == std::string::npos) return shown;
  std::string value = shown.substr(slash + 1, percent - slash);
  value.erase(0, value.find_first_not_of(' '));
  return value;
}
}  // namespace

TEST_F(InputLevelOnPulse, SliderSetsTheSourceVolume) {
  REQUIRE_PULSE();
  Launch();
  ASSERT_EQ(State().InputDevice, static_cast<int>(FindDevice("VirtualMic").value_or(0)));
  const struct {
    int position;
    const char* shown;
  } table[] = {{37, "37%"}, {0, "0%"}, {100, "100%"}};  // ends at 100, as the server started
  for (const auto& row : table) {
    SCOPED_TRACE(row.position);
    w().sldInputLevel->setValue(row.position);
    EXPECT_EQ(ServerVolume("mic"), row.shown);
  }
  // The level goes to the chosen device only.
  ASSERT_TRUE(ChooseItem(*w().cmbInput, "VirtualMicMono"));
  w().sldInputLevel->setValue(50);
  EXPECT_EQ(ServerVolume("mic_mono"), "50%");
  EXPECT_EQ(ServerVolume("mic"), "100%");
  w().sldInputLevel->setValue(100);
  EXPECT_EQ(ServerVolume("mic_mono"), "100%");
}
