#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include "test_support.h"
#include "util/unscramble_text.h"

namespace {

std::string CheckFor(const std::string& key) {
  std::string c = Md5Hex(key).substr(2, 9);
  for (char& ch : c) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return c;
}

}  // namespace

TEST(Md5Hex, MatchesKnownDigests) {
  const struct { const char* in; const char* digest; } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Hex(c.in), c.digest) << '"' << c.in << '"';
  // Bytes, not a C string: an embedded zero takes part.
  EXPECT_NE(Md5Hex(std::string("a\0b", 3)), Md5Hex("a"));
}

TEST(HexValue, ReadsDigitsOfEitherCaseAndKeepsTheLast16) {
  const struct { const char* in; std::int64_t value; } cases[] = {
      {"", 0},
      {"0", 0},
      {"9", 9},
      {"a", 10},
      {"F", 15},
      {"ff", 255},
      {"FF", 255},
      {"1A", 26},
      {"1a", 26},
      {"7fffffff", 0x7fffffff},
      {"100000000", 0x100000000},
      {"123456789abcdef0", 0x123456789abcdef0},
      {"ffffffffffffffff", -1},
      {"1123456789ABCDEF0", 0x123456789abcdef0},  // the 17th digit from the right is dropped
      // Non-digits are not refused: they count by code arithmetic.
      {"g", 16},
      {"G", 16},
      {"z", 35},
  };
  for (const auto& c : cases) EXPECT_EQ(HexValue(c.in), c.value) << '"' << c.in << '"';
}

TEST(UnscrambleText, RecoversTheBodyWhenTheCheckMatches) {
  const std::string key = "Key";
  const std::string check = CheckFor(key);
  const struct { std::string scrambled; std::string plain; } cases[] = {
      {check, ""},                                      // exactly the check: empty text
      {"5879" + check, "Hi"},                           // 'H'^0x10 = 0x58, 'i'^0x10 = 0x79
      {"7A7a" + check, "jj"},                           // both cases of a digit give the same byte
      {"587" + check, std::string("H\x17")},            // odd body: last lone digit 7, XOR 0x10
      {"10" + check, std::string("\0", 1)},             // a zero byte is kept
      {"F5AD85" + check, "\xE5\xBD\x95"},               // UTF-8 bytes pass through
  };
  for (const auto& c : cases) EXPECT_EQ(UnscrambleText(c.scrambled, key), c.plain) << c.scrambled;
}

TEST(UnscrambleText, RefusesAMismatchingCheck) {
  const std::string key = "Key";
  std::string lower = CheckFor(key);
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  ASSERT_NE(lower, CheckFor(key)) << "the check needs a letter to test the case";
  const std::string cases[] = {
      "5879" + lower,                     // the check is compared case-sensitively
      "5879" + CheckFor("Kez"),           // another key
      "5879" + CheckFor(key).substr(1),   // check cut short: its last 9 characters differ
      "5879",                             // shorter than a check
      "",
  };
  for (const auto& s : cases) EXPECT_EQ(UnscrambleText(s, key), "") << s;
}

TEST(UnscrambleText, ReadsWhatTheScriptMakes) {
  const std::string plain = "Tavrin 录音机 — 双击此处打开帮助";
  int code = -1;
  const std::string scrambled = test::Run(std::string("'") + TAVRIN_SOURCE_DIR +
                                              "/scripts/make-scrambled-text' '" + plain + "' Abc",
                                          &code);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(scrambled.size(), plain.size() * 2 + 9);
  EXPECT_EQ(UnscrambleText(scrambled, "Abc"), plain);
  EXPECT_EQ(UnscrambleText(scrambled, "Abd"), "");
}

TEST(UnscrambleText, KeepsTheEventLoopRunning) {
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  EXPECT_EQ(UnscrambleText("51" + CheckFor("k"), "k"), "A");
  EXPECT_TRUE(ran);
  QCoreApplication::processEvents();  // nothing of this test is left pending
}
