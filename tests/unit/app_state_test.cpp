#include <gtest/gtest.h>

#include "app/app_state.h"

TEST(ProgramFolder, KeepsNoTrailingSeparator) {
  SetProgramFolder("/tmp/x/");
  EXPECT_EQ(ProgramFolder(), "/tmp/x");
  SetProgramFolder("/");
  EXPECT_EQ(ProgramFolder(), "/");
}
