// The lossless crossing for editable fields: every byte string comes back as
// itself, real characters show as themselves, and the rest as U+F780 + byte.
#include "platform/codepage_lossless.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

using namespace platform;

TEST(CodepageLossless, EveryOneAndTwoByteStringComesBackAsItself) {
  for (int a = 0; a < 256; ++a) {
    const std::string one(1, static_cast<char>(a));
    ASSERT_EQ(Utf8ToAnsiLossless(AnsiToUtf8Lossless(one)), one) << a;
    for (int b = 0; b < 256; ++b) {
      const std::string two{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(Utf8ToAnsiLossless(AnsiToUtf8Lossless(two)), two) << a << " " << b;
    }
  }
  // A lead byte whose pair is no character must not swallow a real one after it.
  const std::string mixed = "SHOW \x85\x81\x40\xFF\x95\x5C\xA0\x81";
  EXPECT_EQ(Utf8ToAnsiLossless(AnsiToUtf8Lossless(mixed)), mixed);
}

TEST(CodepageLossless, CharactersShowAsThemselvesAndStrayBytesAsPrivateUse) {
  struct Case {
    std::string ansi;
    std::string utf8;
  };
  const Case cases[] = {
      {"SHOW \xFF", "SHOW \xEF\x9F\xBF"},                        // U+F7FF
      {"\x80\xA0\xFD", "\xEF\x9E\x80\xEF\x9E\xA0\xEF\x9F\xBD"},  // U+F780 U+F7A0 U+F7FD
      {"\x85\x40", "\xEF\x9E\x85@"},  // an unassigned pair: the lead byte, then '@'
      {"\x95\x5C\x8E\xA6", "表示"},
      {"\xB1", "ｱ"},
      {"\x87\x40", "①"},
      {"\xF0\x40", "\xEE\x80\x80"},  // a user-defined character, U+E000
      {"\x81", "\xEF\x9E\x81"},      // a lead byte at the very end
      // A duplicate code that CP932 would write back as FA 5C travels as its bytes.
      {"\xED\x40", "\xEF\x9F\xAD@"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToUtf8Lossless(c.ansi), c.utf8) << c.ansi;
    EXPECT_EQ(Utf8ToAnsiLossless(c.utf8), c.ansi) << c.ansi;
  }
  // Typed, they are the bytes too; what Shift-JIS can't hold stays '?'.
  EXPECT_EQ(Utf8ToAnsiLossless("\xEF\x9F\xBF\xEF\x9E\x80"), "\xFF\x80");
  EXPECT_EQ(Utf8ToAnsiLossless("a\xF0\x9F\x98\x80"
                               "b"),
            "a?b");
  EXPECT_EQ(Utf8ToAnsiLossless(""), "");
}

// Every byte above ASCII alone: what the plain conversion shows as a character
// that comes back exactly shows as that character here too, the rest as
// U+F780 + byte; typed back, each is its byte.
TEST(CodepageLossless, EveryHighByteAloneShowsAsThePlainConversionOrAsPrivateUse) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string plain = AnsiToUtf8(one);
    std::string privateUse;
    privateUse += "\xEF";
    privateUse += static_cast<char>(0x9E + (b >> 6 & 1));
    privateUse += static_cast<char>(0x80 | (b & 0x3F));
    const bool character = Utf8ToAnsiExact(plain) == one;
    EXPECT_EQ(AnsiToUtf8Lossless(one), character ? plain : privateUse) << b;
    EXPECT_EQ(Utf8ToAnsiLossless(character ? plain : privateUse), one) << b;
  }
}
