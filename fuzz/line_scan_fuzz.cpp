// The fast line scan against the byte-at-a-time one it replaced: for any
// text, the same lines at the same offsets, and the same shown lines of an
// answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "app/capture.h"
#include "platform/line_scan.h"
#include "support/byte_line_split.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto expected = test_support::ByteLineSplit(text);

  platform::LineScanner scanner(text);
  std::size_t start = 0;
  std::size_t length = 0;
  std::size_t index = 0;
  while (scanner.Next(start, length)) {
    Require(index < expected.size());
    Require(expected[index] == std::make_pair(start, length));
    ++index;
  }
  Require(index == expected.size());

  // The shown lines as they were picked from the byte scan's lines.
  std::vector<app::LineSpan> shown;
  for (std::size_t i = 2; i + 1 < expected.size(); ++i) {
    const auto [lineStart, lineLength] = expected[i];
    if (lineLength == 0 || text.substr(lineStart, lineLength) == app::kStrayPromptLine) continue;
    shown.push_back(
        {static_cast<std::uint32_t>(lineStart), static_cast<std::uint32_t>(lineLength)});
  }
  Require(app::ShownLineSpans(text) == shown);
  return 0;
}
