// The line cutting the program used before the fast scan, kept as the
// yardstick it must agree with byte for byte: every position is checked
// against the pair of line-end bytes.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

namespace test_support {

// (start, length) of each line, line end not counted.
inline std::vector<std::pair<std::size_t, std::size_t>> ByteLineSplit(std::string_view text) {
  std::vector<std::pair<std::size_t, std::size_t>> lines;
  const std::size_t size = text.size();
  for (std::size_t start = 0; start < size;) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = size;
    lines.emplace_back(start, end - start);
    start = end + ((end + 1 < size && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

}  // namespace test_support
