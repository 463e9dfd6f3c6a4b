// Finding a text in the output pane's lines, on their Shift-JIS bytes: a match
// starts on a character's first byte and covers whole characters, so a
// double-byte character's trail byte never starts or ends one. Without case,
// only single-byte letters fold; double-byte characters match exactly.
#pragma once

#include <compare>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/pane_lines.h"

namespace app {

// A place in the lines: a line and a byte offset into it.
struct TextPlace {
  std::size_t line = 0;
  std::size_t column = 0;
  friend auto operator<=>(const TextPlace&, const TextPlace&) = default;
};

struct TextMatch {
  TextPlace start;
  std::size_t length = 0;
  bool wrapped = false;  // found only after going round the end of the text
};

class PaneSearch {
 public:
  // `needle` in Shift-JIS, not empty.
  PaneSearch(std::string needle, bool matchCase);

  // The first match that starts at `from` or after it, else the first from
  // the top of the text.
  std::optional<TextMatch> Next(const PaneLines& lines, TextPlace from) const;
  // The last match that starts before `before`, else the last of the text.
  std::optional<TextMatch> Previous(const PaneLines& lines, TextPlace before) const;

  // Where `needle` occurs in `line` from byte `from` (a character's start) up
  // to a start before `end`: the first such place, or the last.
  std::optional<std::size_t> FirstIn(std::string_view line, std::size_t from,
                                     std::size_t end) const;
  std::optional<std::size_t> LastIn(std::string_view line, std::size_t end) const;

 private:
  unsigned char fold(unsigned char c) const { return fold_[c]; }
  // True when the needle's characters are those at `at`, a character start.
  bool matchesAt(std::string_view line, std::size_t at) const;
  // Calls `found` for each match starting in [from, end) of `line`, in order,
  // until it returns false.
  template <typename Found>
  void scan(std::string_view line, std::size_t from, std::size_t end, Found&& found) const;

  std::string needle_;
  std::string foldedNeedle_;
  unsigned char fold_[256];
  std::size_t skip_[256];
};

}  // namespace app
