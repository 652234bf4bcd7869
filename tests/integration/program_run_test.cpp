#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "app/app_state.h"
#include "settings/config_file.h"
#include "test_support.h"

namespace {

std::string Marker(const test::TempFolder& folder) {
  return ReadSetting(kConfigSection, kKeyCloseCheck, folder.path() + "/录音配置.ini");
}

TEST(ProgramRun, StartsInItsOwnFolderAndEndsNormally) {
  test::TempFolder folder;
  test::ProgramProcess program(folder.path());
  ASSERT_TRUE(program.Start());
  // The window-created sequence has run once the default storage folder exists.
  ASSERT_TRUE(test::WaitUntil([&] { return std::filesystem::is_directory(folder.fs() / "录音存储"); }, 10000))
      << program.output();
  EXPECT_EQ(program.Signal(SIGTERM), 0) << program.output();
  EXPECT_EQ(Marker(folder), "正常关闭");
}

}  // namespace
