// The strict conversion of typed text to Shift-JIS: a command goes to the
// router exactly as typed, or not at all.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/codepage.h"

namespace {

struct ExactCase {
  const char* name;
  std::string utf8;
  std::optional<std::string> ansi;
};

class EachText : public testing::TestWithParam<ExactCase> {};

TEST_P(EachText, ConvertsExactlyOrNotAtAll) {
  EXPECT_EQ(platform::Utf8ToAnsiExact(GetParam().utf8), GetParam().ansi);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EachText,
    testing::Values(ExactCase{"Ascii", "SHOW STATUS", std::string("SHOW STATUS")},
                    ExactCase{"Empty", "", std::string()},
                    // "表示": the second byte of 表 is 0x5C, which must pass as it is.
                    ExactCase{"Kanji", "SHOW 表示", std::string("SHOW \x95\x5C\x8E\xA6")},
                    ExactCase{"HalfWidthKana", "\xEF\xBD\xB1", std::string("\xB1")},
                    ExactCase{"Emoji", "SHOW \xF0\x9F\x98\x80", std::nullopt},
                    ExactCase{"AccentedLatin", "caf\xC3\xA9", std::nullopt},
                    ExactCase{"InvalidUtf8", "SHOW \xFF", std::nullopt},
                    ExactCase{"TruncatedSequence", "SHOW \xE8\xA1", std::nullopt},
                    ExactCase{"ReplacementCharacter", "\xEF\xBF\xBD", std::nullopt},
                    // U+F780..U+F7FF stand for the raw bytes 0x80..0xFF.
                    ExactCase{"RawByteLowest", "A\xEF\x9E\x80Z", std::string("A\x80Z")},
                    ExactCase{"RawByteMiddle", "\xEF\x9E\xBF\xEF\x9F\x80", std::string("\xBF\xC0")},
                    ExactCase{"RawByteHighest", "\xEF\x9F\xBF", std::string("\xFF")},
                    ExactCase{"RawLeadBeforeKanji", "\xEF\x9E\x81表", std::string("\x81\x95\x5C")},
                    ExactCase{"JustPastTheRawBytes", "\xEF\xA0\x80", std::nullopt}),
    [](const testing::TestParamInfo<ExactCase>& info) { return std::string(info.param.name); });

}  // namespace
