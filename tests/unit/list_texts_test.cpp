#include <QDateTime>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "library/list_texts.h"
#include "test_support.h"

namespace fs = std::filesystem;

TEST(FileSizeKB, RoundsUpAndFeedsSizeText) {
  test::TempFolder folder;
  const struct { std::uint64_t bytes; std::int32_t kib; const char* text; } cases[] = {
      {0, 0, "0 MB"},
      {1, 1, "0 MB"},
      {51 * 1024, 51, "0 MB"},
      {51 * 1024 + 1, 52, "0.1 MB"},
      {52 * 1024, 52, "0.1 MB"},
      {1024 * 1024, 1024, "1 MB"},
      {1280 * 1024, 1280, "1.3 MB"},
      {2560 * 1024, 2560, "2.5 MB"},
      // 3 GiB, sparse: the size is the real 64-bit one, not its low 32 bits.
      {3ull << 30, 3 * 1024 * 1024, "3072 MB"},
  };
  int i = 0;
  for (const auto& c : cases) {
    const fs::path p = folder.fs() / ("f" + std::to_string(i++) + ".wav");
    test::WriteAll(p, {});
    fs::resize_file(p, c.bytes);
    const std::int32_t kib = FileSizeKB(p.string());
    EXPECT_EQ(kib, c.kib) << c.bytes;
    EXPECT_EQ(SizeText(kib), c.text) << c.bytes;
  }
  const std::string missing = (folder.fs() / "gone.wav").string();
  EXPECT_EQ(FileSizeKB(missing), -1);
  EXPECT_EQ(SizeText(FileSizeKB(missing)), "-0 MB");
}

TEST(SizeText, RoundsHalvesAwayFromZeroToOneDecimal) {
  const struct { std::int32_t kib; const char* text; } cases[] = {
      {0, "0 MB"},        {-1, "-0 MB"},        {-51, "-0 MB"},       {-52, "-0.1 MB"},
      {102, "0.1 MB"},    {153, "0.1 MB"},      {154, "0.2 MB"},      {1023, "1 MB"},
      {1536, "1.5 MB"},   {10188, "9.9 MB"},    {10189, "10 MB"},     {1048576, "1024 MB"},
      {2147483647, "2097152 MB"},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeText(c.kib), c.text) << c.kib;
}

TEST(CreationTimeText, GivesLocalDateAndTimeOfAReadableFile) {
  test::TempFolder folder;
  const fs::path p = folder.fs() / "录音 2024.wav";
  const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
  test::WriteAll(p, "RIFF");
  const QDateTime after = QDateTime::currentDateTime().addSecs(2);

  const std::optional<std::string> text = CreationTimeText(p.string());
  ASSERT_TRUE(text.has_value());
  const QString q = QString::fromStdString(*text);
  EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(q).hasMatch()) << *text;
  const QDateTime read = QDateTime::fromString(q, "yyyy-MM-dd HH:mm:ss");
  EXPECT_TRUE(read >= before.addMSecs(-before.time().msec()) && read <= after) << *text;
}

TEST(CreationTimeText, GivesNoTextWhenTheFileCannotBeRead) {
  test::TempFolder folder;
  EXPECT_EQ(CreationTimeText((folder.fs() / "gone.wav").string()), std::nullopt);
  EXPECT_EQ(CreationTimeText(folder.path()), std::nullopt);  // a folder is not a readable file
  if (geteuid() != 0) {
    const fs::path locked = folder.fs() / "locked.wav";
    test::WriteAll(locked, "x");
    fs::permissions(locked, fs::perms::none);
    EXPECT_EQ(CreationTimeText(locked.string()), std::nullopt);
  }
}
