#include <QCoreApplication>
#include <QUrl>
#include <gtest/gtest.h>

#include "util/program_texts.h"
#include "util/unscramble_text.h"

TEST(ProgramTexts, UnscrambleToTheirPlainForms) {
  const struct { const std::string& stored; std::string plain; } cases[] = {
      {StoredCaptionText(), "Tavrin 录音机 1.0"},
      {StoredStatusText(), "Tavrin 录音机 — 双击此处打开帮助"},
      {StoredAddressText(), "help/index.html"},
  };
  EXPECT_EQ(KeyText().size(), 3u);
  for (const auto& c : cases) {
    EXPECT_EQ(UnscrambleText(c.stored, KeyText()), c.plain);
    EXPECT_EQ(UnscrambleText(c.stored, "Tvs"), "") << "another key must not read " << c.plain;
  }
}

TEST(ProgramTexts, AddressBecomesAFileUrlBesideTheExecutable) {
  const std::string url = AddressUrl(UnscrambleText(StoredAddressText(), KeyText()));
  const QUrl parsed(QString::fromStdString(url));
  ASSERT_TRUE(parsed.isLocalFile()) << url;
  EXPECT_EQ(parsed.toLocalFile(), QCoreApplication::applicationDirPath() + "/help/index.html");
  EXPECT_EQ(url.rfind("file:///", 0), 0u) << url;

  EXPECT_EQ(AddressUrl(""), "");  // a failed check opens nothing
  EXPECT_EQ(AddressUrl("https://example.org/help"), "https://example.org/help");
}
