#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <filesystem>
#include <sys/stat.h>

#include "app/app_state.h"
#include "settings/config_file.h"
#include "test_support.h"

namespace {

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramFolder(folder.path()); }
  test::TempFolder folder;
};

TEST(SettingToInt, ReadsLikeTheProfileReader) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"", 0},          {"3", 3},          {"  4", 4},       {"\t2", 2},   {"-1", -1},
      {"+7", 7},        {"12abc", 12},     {"abc", 0},       {"- 3", 0},   {"9", 9},
      {"-5", -5},       {"007", 7},        {"99999999999", 2147483647},  {"-99999999999", -2147483647 - 1},
      {"1 2", 1},       {"４", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SettingToInt(c.text), c.value) << "text: '" << c.text << "'";
}

TEST(SelectComboIndex, ClampsHighAndClearsNegative) {
  QComboBox combo;
  combo.addItems({"96000", "48000", "44100", "32000", "22050"});
  struct Case {
    std::int32_t index;
    int selected;
  } cases[] = {{0, 0}, {2, 2}, {4, 4}, {5, 4}, {9, 4}, {-1, -1}, {-5, -1}};
  for (const Case& c : cases) {
    combo.setCurrentIndex(1);
    SelectComboIndex(combo, c.index);
    EXPECT_EQ(combo.currentIndex(), c.selected) << "index " << c.index;
  }
  QComboBox empty;
  SelectComboIndex(empty, 3);
  EXPECT_EQ(empty.currentIndex(), -1);
}

TEST_F(ConfigFileTest, PathsFollowTheProgramFolder) {
  EXPECT_EQ(ConfigFilePath(), folder.path() + "/录音配置.ini");
  EXPECT_EQ(DefaultStorageFolder(), folder.path() + "/录音存储/");
}

TEST_F(ConfigFileTest, MissingFileGivesEmptyTextsAndFirstWriteCreatesIt) {
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyCloseCheck), "");
  EXPECT_FALSE(std::filesystem::exists(ConfigFilePath()));
  EXPECT_TRUE(WriteSetting(kConfigSection, kKeyCloseCheck, kCloseCheckRunning));
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyCloseCheck), "开启");
}

TEST_F(ConfigFileTest, RoundTripsChineseKeysAndKeepsOtherKeys) {
  WriteSetting(kConfigSection, kKeyStorageFolder, "/home/用户/录音 存储/");
  WriteSetting(kConfigSection, kKeyDefaultQuality, "2");
  WriteSetting(kConfigSection, kKeyDefaultDevice, "-1");
  WriteSetting(kConfigSection, kKeyDefaultQuality, "4");
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyStorageFolder), "/home/用户/录音 存储/");
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultQuality), "4");
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultDevice), "-1");
  EXPECT_EQ(ReadSetting("other", kKeyDefaultQuality), "");
}

TEST_F(ConfigFileTest, EmptyValueKeepsTheKey) {
  WriteSetting(kConfigSection, kKeyDefaultDevice, "3");
  WriteSetting(kConfigSection, kKeyDefaultDevice, "");
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultDevice), "");
  EXPECT_NE(test::ReadAll(ConfigFilePath()).indexOf("默认设备"), -1);
}

TEST_F(ConfigFileTest, MarkerWithATrailingBlankIsNotTheRunningMarker) {
  WriteSetting(kConfigSection, kKeyCloseCheck, "开启 ");
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyCloseCheck), "开启 ");
  EXPECT_NE(ReadSetting(kConfigSection, kKeyCloseCheck), kCloseCheckRunning);
}

TEST_F(ConfigFileTest, ReadsFilesWrittenByHandIgnoringAsciiCase) {
  test::WriteAll(ConfigFilePath(), "[软件配置]\r\n默认品质=2\r\nKey=x\r\n[Other]\r\nA=1\r\n");
  EXPECT_EQ(ReadSetting("软件配置", "默认品质"), "2");
  EXPECT_EQ(ReadSetting("软件配置", "KEY"), "x");
  EXPECT_EQ(ReadSetting("OTHER", "a"), "1");
}

TEST_F(ConfigFileTest, UnreadableFileReadsEmptyAndIsNotOverwritten) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  test::WriteAll(ConfigFilePath(), "[软件配置]\n默认品质=2\n");
  chmod(ConfigFilePath().c_str(), 0);
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultQuality), "");
  EXPECT_FALSE(WriteSetting(kConfigSection, kKeyDefaultDevice, "1"));
  chmod(ConfigFilePath().c_str(), 0600);
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultQuality), "2");
}

TEST_F(ConfigFileTest, UnreadablePathIsNotOverwritten) {
  // A folder where the file should be: unreadable as a file whoever we are.
  std::filesystem::create_directory(ConfigFilePath());
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultQuality), "");
  EXPECT_FALSE(WriteSetting(kConfigSection, kKeyDefaultDevice, "1"));
  EXPECT_TRUE(std::filesystem::is_directory(ConfigFilePath()));
}

TEST_F(ConfigFileTest, WriteReplacesTheFileAtomically) {
  WriteSetting(kConfigSection, kKeyDefaultQuality, "1");
  struct stat first {};
  stat(ConfigFilePath().c_str(), &first);
  WriteSetting(kConfigSection, kKeyDefaultQuality, "3");
  struct stat second {};
  stat(ConfigFilePath().c_str(), &second);
  // A new file renamed into place, never the old one truncated and rewritten.
  EXPECT_NE(first.st_ino, second.st_ino);
  EXPECT_EQ(ReadSetting(kConfigSection, kKeyDefaultQuality), "3");
  // No temporary file is left behind.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder.fs())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(ConfigFileTest, ReadStorageFolderGetsOneTrailingSeparator) {
  EXPECT_EQ(NormaliseReadStorageFolder(""), "");
  EXPECT_EQ(NormaliseReadStorageFolder("/data/rec"), "/data/rec/");
  EXPECT_EQ(NormaliseReadStorageFolder("/data/rec/"), "/data/rec/");
  EXPECT_EQ(NormaliseReadStorageFolder("/"), "/");
}

TEST_F(ConfigFileTest, DefaultStorageFolderIsCreatedOneLevelOnly) {
  EnsureDefaultStorageFolder();
  EXPECT_TRUE(std::filesystem::is_directory(folder.fs() / "录音存储"));
  SetProgramFolder(folder.path() + "/missing/deeper");
  EnsureDefaultStorageFolder();
  EXPECT_FALSE(std::filesystem::exists(folder.fs() / "missing"));
}

}  // namespace
