// Cutting text into lines at CR LF, a lone CR or a lone LF, fast enough for
// answers of tens of megabytes. Looking for either end byte at every position
// costs a call per byte; instead the next CR and the next LF are each found
// with one memchr and searched for again only once the scan has passed them,
// so a text whose lines end in LF alone looks for CR once in all.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace platform {

class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : text_(text), cr_(Find('\r')), lf_(Find('\n')) {}

  // The next line: where it starts and how many bytes it has, its line end
  // not counted. Text after the last line end is a last line; a line end at
  // the very end of the text adds no empty line. False after the last line.
  bool Next(std::size_t& start, std::size_t& length) {
    const std::size_t size = text_.size();
    if (next_ >= size) return false;
    if (cr_ < next_) cr_ = Find('\r');
    if (lf_ < next_) lf_ = Find('\n');
    const std::size_t end = cr_ < lf_ ? cr_ : lf_;
    start = next_;
    length = end - next_;
    next_ = end + (end == cr_ && end + 1 == lf_ ? 2 : 1);
    return true;
  }

 private:
  // The first `c` at or after the scan position; the text's size when none.
  std::size_t Find(char c) const {
    const void* hit = std::memchr(text_.data() + next_, c, text_.size() - next_);
    return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_.data())
                          : text_.size();
  }

  std::string_view text_;
  std::size_t next_ = 0;
  // The next CR and LF at or after the scan position where they were last
  // looked for; the text's size stands for "none left", never searched again.
  std::size_t cr_ = 0;
  std::size_t lf_ = 0;
};

}  // namespace platform
