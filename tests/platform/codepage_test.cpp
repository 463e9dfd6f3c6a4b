// CP932 <-> UTF-8 at the widget edge, and the multi-byte aware search.
#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {
const std::string kReplacement = "\xEF\xBF\xBD";
}

TEST(Codepage, ShiftJisConvertsToUtf8AndBack) {
  // "取得中..." and "ルーター用TELNETリーダー".
  const std::string sjis = "\x8E\xE6\x93\xBE\x92\x86...";
  EXPECT_EQ(AnsiToUtf8(sjis), "取得中...");
  EXPECT_EQ(Utf8ToAnsi("取得中..."), sjis);
  const std::string about =
      "\x83\x8B\x81\x5B\x83\x5E\x81\x5B\x97\x70TELNET\x83\x8A\x81\x5B\x83\x5F\x81\x5B";
  EXPECT_EQ(AnsiToUtf8(about), "ルーター用TELNETリーダー");
  EXPECT_EQ(Utf8ToAnsi("ルーター用TELNETリーダー"), about);
  // Code page 932, not plain Shift-JIS: 5C is the backslash, and the
  // full-width tilde and the NEC specials map as Windows maps them.
  EXPECT_EQ(AnsiToUtf8("\\~"), "\\~");
  EXPECT_EQ(AnsiToUtf8("\x81\x60"), "～");
  EXPECT_EQ(AnsiToUtf8("\x87\x40"), "①");
  // Half-width katakana are single bytes.
  EXPECT_EQ(AnsiToUtf8("\xB1"), "ｱ");
  EXPECT_EQ(AnsiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(AnsiToUtf8(""), "");
}

TEST(Codepage, InvalidShiftJisBecomesTheReplacementCharacterAndTheRestSurvives) {
  // A lone lead byte in the middle, followed by a byte that can't trail.
  EXPECT_EQ(AnsiToUtf8("ab\x81 cd"), "ab" + kReplacement + " cd");
  // Bytes CP932 leaves unassigned.
  EXPECT_EQ(AnsiToUtf8("x\x80y\xA0z\xFDw"),
            "x" + kReplacement + "y" + kReplacement + "z" + kReplacement + "w");
  // A lead byte with a proper trail byte that names no character: one
  // replacement for the pair, and the following text is intact.
  EXPECT_EQ(AnsiToUtf8("\x85\x40\x8E\xE6"), kReplacement + "取");
  // A lead byte cut off at the very end.
  EXPECT_EQ(AnsiToUtf8("ok\x8E"), "ok" + kReplacement);
  // Long text with bad bytes scattered: nothing after them is lost.
  std::string longText, expected;
  for (int i = 0; i < 3000; ++i) {
    longText += "\x8E\xE6\xFF";
    expected += "取" + kReplacement;
  }
  EXPECT_EQ(AnsiToUtf8(longText), expected);
}

TEST(Codepage, Utf8ThatCp932CannotHoldOrThatIsInvalidBecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToAnsi("a\xC3(b"), "a?(b");
  EXPECT_EQ(Utf8ToAnsi("\xFF\xFE取"), "??\x8E\xE6");
  EXPECT_EQ(Utf8ToAnsi("end\xE3\x81"), "end??");
  EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80x"), "???x");  // an encoded surrogate
  EXPECT_EQ(Utf8ToAnsi("Ω€"), "\x83\xB6?");
}

TEST(AnsiFind, FindsTextAnywhereButNeverStartingOnATrailByte) {
  EXPECT_EQ(AnsiFind("\x83\x5C", "\x5C"), std::string::npos);
  EXPECT_EQ(AnsiFind("\x83\x5C\x5C", "\x5C"), 2u);
  EXPECT_EQ(AnsiFind("abc", ""), 0u);
  EXPECT_EQ(AnsiFind("", "a"), std::string::npos);
  EXPECT_EQ(AnsiFind("login: ", "login:"), 0u);
  EXPECT_EQ(AnsiFind("\r\nMN128-SOHO> ", "MN128-SOHO> "), 2u);
  // The trail byte 0x40 is '@': "@x" inside "\x81\x40x" is no match.
  EXPECT_EQ(AnsiFind("\x81\x40x@x", "@x"), 3u);
  // A Japanese needle is found at a character boundary.
  EXPECT_EQ(AnsiFind("a\x8E\xE6\x93\xBE", "\x93\xBE"), 3u);
  // Its bytes straddling two characters are not.
  EXPECT_EQ(AnsiFind("\x8E\xE6\x93\xBE", "\xE6\x93"), std::string::npos);
  // A lead byte cut off at the end of the text does not run past it.
  EXPECT_EQ(AnsiFind("ab\x8E", "b"), 1u);
  EXPECT_EQ(AnsiFind("ab\x8E", "\x8E"), 2u);
  EXPECT_EQ(AnsiFind(std::string("a\0b", 3), std::string("\0b", 2)), 1u);
}
