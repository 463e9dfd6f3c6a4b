// The fast line scan against the byte-at-a-time one it replaced.
#include "platform/line_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/byte_line_split.h"

namespace {

using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

Spans Scan(std::string_view text) {
  Spans spans;
  platform::LineScanner scanner(text);
  std::size_t start = 0;
  std::size_t length = 0;
  while (scanner.Next(start, length)) spans.emplace_back(start, length);
  return spans;
}

struct Case {
  const char* name;
  std::string text;
  Spans expected;
};

class LineScanTest : public testing::TestWithParam<Case> {};

TEST_P(LineScanTest, CutsWhereTheByteScanCuts) {
  const Case& c = GetParam();
  EXPECT_EQ(Scan(c.text), c.expected);
  EXPECT_EQ(Scan(c.text), test_support::ByteLineSplit(c.text));
}

// Batches arrive glued together before the text is cut, so a CR that ended
// one read and the LF that began the next are one line end.
INSTANTIATE_TEST_SUITE_P(
    Texts, LineScanTest,
    testing::Values(
        Case{"Empty", "", {}}, Case{"NoLineEnd", "abc", {{0, 3}}},
        Case{"CrLf", "ab\r\ncd\r\n", {{0, 2}, {4, 2}}},
        Case{"LoneLf", "ab\ncd\n", {{0, 2}, {3, 2}}}, Case{"LoneCr", "ab\rcd\r", {{0, 2}, {3, 2}}},
        Case{"LfCrIsTwoLineEnds", "a\n\rb", {{0, 1}, {2, 0}, {3, 1}}},
        Case{"CrCrLf", "a\r\r\nb", {{0, 1}, {2, 0}, {4, 1}}},
        Case{"EmptyLines", "\r\n\r\n\n\r", {{0, 0}, {2, 0}, {4, 0}, {5, 0}}},
        Case{"NoFinalLineEnd", "a\r\nlast", {{0, 1}, {3, 4}}},
        Case{"LoneCrAtTheEnd", "a\r\nb\r", {{0, 1}, {3, 1}}},
        Case{"CrAtReadEndLfInNext", std::string("x\r") + "\ny", {{0, 1}, {3, 1}}},
        Case{"OnlyLineEnds", "\n", {{0, 0}}},
        Case{"MixedEnds", "a\r\nb\rc\nd", {{0, 1}, {3, 1}, {5, 1}, {7, 1}}},
        Case{"LfOnlyTextAfterCrLfLine", "a\r\nb\nc\nd", {{0, 1}, {3, 1}, {5, 1}, {7, 1}}},
        Case{"NulAndHighBytesAreText", std::string("\0\x95\x5c\r\n", 5), {{0, 3}}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Every string over the alphabet {a, CR, LF} up to length 7: the two scans
// must agree on each.
TEST(LineScanExhaustiveTest, AgreesWithTheByteScanOnEveryShortText) {
  const char alphabet[] = {'a', '\r', '\n'};
  for (std::size_t length = 0; length <= 7; ++length) {
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < length; ++i) combinations *= 3;
    for (std::size_t n = 0; n < combinations; ++n) {
      std::string text;
      for (std::size_t i = 0, rest = n; i < length; ++i, rest /= 3) text += alphabet[rest % 3];
      ASSERT_EQ(Scan(text), test_support::ByteLineSplit(text)) << testing::PrintToString(text);
    }
  }
}

}  // namespace
