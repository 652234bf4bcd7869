#include <gtest/gtest.h>

#include "app/app_state.h"
#include "settings/config_file.h"
#include "test_support.h"

namespace {

// A storage folder may be named with a line break; written raw, its tail
// would become a line of its own (a key, a section) in the file.
TEST(ConfigFileRewrite, ValueWithALineBreakIsRefusedAndTheFileKept) {
  test::TempFolder folder;
  SetProgramFolder(folder.path());
  const QByteArray original = "[软件配置]\n存储位置=/tmp/录音存储/\n默认品质=2\n默认设备=1\n关闭检测=正常关闭\n";
  for (const char* value : {"/tmp/a\n关闭检测=开启/", "/tmp/a\r关闭检测=开启/", "/tmp/a\r\n默认品质=9/", "\n"}) {
    SCOPED_TRACE(testing::PrintToString(value));
    test::WriteAll(ConfigFilePath(), original);
    EXPECT_FALSE(WriteSetting(kConfigSection, kKeyStorageFolder, value));
    EXPECT_EQ(test::ReadAll(ConfigFilePath()), original);
    EXPECT_EQ(ReadSetting(kConfigSection, kKeyCloseCheck), "正常关闭");
    EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultQuality), "2");
  }
  // Other bytes are written and read back as they are, quotes included.
  for (const char* value : {" /tmp/a=b;c#d[e]\t\"f\" ", "\"\"", "\"/tmp/a/\"", "\"", " \"x\" "}) {
    SCOPED_TRACE(testing::PrintToString(value));
    EXPECT_TRUE(WriteSetting(kConfigSection, kKeyStorageFolder, value));
    EXPECT_EQ(ReadSetting(kConfigSection, kKeyStorageFolder), value);
    EXPECT_EQ(ReadSetting(kConfigSection, kKeyCloseCheck), "正常关闭");
  }
}

// A byte-order mark behind leading blanks (a file edited by hand) is a mark,
// not part of a name, so writing one key leaves the others where they were.
TEST(ConfigFileRewrite, MarkBehindBlanksDoesNotMoveKeysOnTheNextWrite) {
  test::TempFolder folder;
  SetProgramFolder(folder.path());
  test::WriteAll(ConfigFilePath(), "\t \xEF\xBB\xBF[软件配置]\n存储位置=/tmp/a/\n默认品质=2\n");
  const std::string quality = ReadSetting(kConfigSection, kKeyDefaultQuality);
  EXPECT_EQ(quality, "2");
  EXPECT_TRUE(WriteSetting(kConfigSection, kKeyCloseCheck, kCloseCheckNormal));
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultQuality), quality);
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyStorageFolder), "/tmp/a/");
}

// A value read with its outer quotes (from "\"\"x\"\"") keeps them when another key is written.
TEST(ConfigFileRewrite, QuotedValuesOfOtherKeysSurviveAWrite) {
  test::TempFolder folder;
  SetProgramFolder(folder.path());
  test::WriteAll(ConfigFilePath(), "[软件配置]\n存储位置=\"\"/tmp/a/\"\"\n默认设备=\"\"\"\"\n");
  ASSERT_EQ(ReadSetting(kConfigSection, kKeyStorageFolder), "\"/tmp/a/\"");
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(WriteSetting(kConfigSection, kKeyCloseCheck, kCloseCheckNormal));
    EXPECT_EQ(ReadSetting(kConfigSection, kKeyStorageFolder), "\"/tmp/a/\"");
    EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultDevice), "\"\"");
  }
}

}  // namespace
