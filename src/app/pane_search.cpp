// The pane's search. Candidates come from a Horspool scan over case-folded
// bytes, which skips ahead by up to the needle's length and needs no look at
// character boundaries; only a candidate is then checked against the
// characters, walking the line's boundaries forward from the last one known,
// so a line of any length, double-byte text throughout, costs one pass.
#include "app/pane_search.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace app {

namespace {

constexpr std::size_t kNoEnd = std::numeric_limits<std::size_t>::max();

}  // namespace

PaneSearch::PaneSearch(std::string needle, bool matchCase) : needle_(std::move(needle)) {
  for (int c = 0; c < 256; ++c) {
    fold_[c] = static_cast<unsigned char>(!matchCase && c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  foldedNeedle_ = needle_;
  for (char& c : foldedNeedle_) c = static_cast<char>(fold(static_cast<unsigned char>(c)));
  // How far the window may move when its last byte is this one.
  const std::size_t m = needle_.size();
  std::size_t foldedSkip[256];
  std::fill(std::begin(foldedSkip), std::end(foldedSkip), m);
  for (std::size_t k = 0; k + 1 < m; ++k) {
    foldedSkip[static_cast<unsigned char>(foldedNeedle_[k])] = m - 1 - k;
  }
  for (int c = 0; c < 256; ++c) skip_[c] = foldedSkip[fold_[c]];
}

bool PaneSearch::matchesAt(std::string_view line, std::size_t at) const {
  std::size_t k = 0;
  while (k < needle_.size()) {
    if (at >= line.size()) return false;
    const std::size_t length = CharLength(needle_, k);
    if (CharLength(line, at) != length) return false;
    if (length == 2) {
      if (line[at] != needle_[k] || line[at + 1] != needle_[k + 1]) return false;
    } else if (fold(static_cast<unsigned char>(line[at])) != fold(static_cast<unsigned char>(needle_[k]))) {
      return false;
    }
    k += length;
    at += length;
  }
  return true;
}

template <typename Found>
void PaneSearch::scan(std::string_view line, std::size_t from, std::size_t end,
                      Found&& found) const {
  const std::size_t m = needle_.size();
  if (m == 0 || line.size() < m || from > line.size() - m) return;
  const std::size_t limit = std::min(end, line.size() - m + 1);
  const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
  std::size_t boundary = from;
  if (m == 1) {
    // Nothing to skip by: the system's byte search, for each case apart.
    const auto c = static_cast<unsigned char>(needle_[0]);
    const unsigned char other = fold_[c] != c ? fold_[c] : (fold_[c ^ 0x20] == c ? c ^ 0x20 : c);
    const auto nextOf = [&](unsigned char wanted, std::size_t at) {
      const void* hit = at < limit ? std::memchr(bytes + at, wanted, limit - at) : nullptr;
      return hit == nullptr ? limit
                            : static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes);
    };
    std::size_t one = nextOf(c, from);
    std::size_t two = other != c ? nextOf(other, from) : limit;
    for (std::size_t i = std::min(one, two); i < limit; i = std::min(one, two)) {
      while (boundary < i) boundary += CharLength(line, boundary);
      if (boundary == i && matchesAt(line, i) && !found(i)) return;
      if (one == i) one = nextOf(c, i + 1);
      if (two == i) two = nextOf(other, i + 1);
    }
    return;
  }
  const auto* folded = reinterpret_cast<const unsigned char*>(foldedNeedle_.data());
  const unsigned char last = folded[m - 1];
  for (std::size_t i = from; i < limit;) {
    const unsigned char tail = bytes[i + m - 1];
    if (fold_[tail] == last) {
      std::size_t k = 0;
      while (k + 1 < m && fold_[bytes[i + k]] == folded[k]) ++k;
      if (k + 1 == m) {
        while (boundary < i) boundary += CharLength(line, boundary);
        if (boundary == i && matchesAt(line, i) && !found(i)) return;
      }
    }
    i += skip_[tail];
  }
}

std::optional<std::size_t> PaneSearch::FirstIn(std::string_view line, std::size_t from,
                                               std::size_t end) const {
  std::optional<std::size_t> first;
  scan(line, from, end, [&](std::size_t at) {
    first = at;
    return false;
  });
  return first;
}

std::optional<std::size_t> PaneSearch::LastIn(std::string_view line, std::size_t end) const {
  std::optional<std::size_t> last;
  scan(line, 0, end, [&](std::size_t at) {
    last = at;
    return true;
  });
  return last;
}

std::optional<TextMatch> PaneSearch::Next(const PaneLines& lines, TextPlace from) const {
  const std::size_t count = lines.LineCount();
  if (count == 0) return std::nullopt;
  if (from.line >= count) from = {count - 1, lines.Line(count - 1).size()};
  for (std::size_t line = from.line; line < count; ++line) {
    const std::size_t start = line == from.line ? from.column : 0;
    if (const auto at = FirstIn(lines.Line(line), start, kNoEnd)) {
      return TextMatch{{line, *at}, needle_.size(), false};
    }
  }
  for (std::size_t line = 0; line <= from.line; ++line) {
    const std::size_t end = line == from.line ? from.column : kNoEnd;
    if (const auto at = FirstIn(lines.Line(line), 0, end)) {
      return TextMatch{{line, *at}, needle_.size(), true};
    }
  }
  return std::nullopt;
}

std::optional<TextMatch> PaneSearch::Previous(const PaneLines& lines, TextPlace before) const {
  const std::size_t count = lines.LineCount();
  if (count == 0) return std::nullopt;
  if (before.line >= count) before = {count - 1, lines.Line(count - 1).size() + 1};
  for (std::size_t line = before.line + 1; line-- > 0;) {
    const std::size_t end = line == before.line ? before.column : kNoEnd;
    if (const auto at = LastIn(lines.Line(line), end)) {
      return TextMatch{{line, *at}, needle_.size(), false};
    }
  }
  for (std::size_t line = count; line-- > before.line;) {
    const auto at = LastIn(lines.Line(line), kNoEnd);
    if (at && (line > before.line || *at >= before.column)) {
      return TextMatch{{line, *at}, needle_.size(), true};
    }
  }
  return std::nullopt;
}

}  // namespace app
