// The lines of the output pane as bytes, without a copy of the router's
// answer: the answer's lines are offsets into the received bytes, and the few
// lines the program adds itself (help texts, an entry's message line) are
// held beside them. The pane's widget and the "-cd" text are both made from
// here, each once.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/capture.h"

namespace app {

// Hands out a text piece by piece.
using TextSink = std::function<void(std::string_view piece)>;

// The lines `spans` of `source`, joined by '\n', in UTF-8, in pieces of a few
// dozen KiB, so that a huge answer can be written without a whole copy.
void WriteLinesAsUtf8(const TextSink& sink, std::string_view source,
                      const std::vector<LineSpan>& spans);

// A line of Shift-JIS bytes laid out on a grid of cells: a single-byte
// character takes one cell and a double-byte character two, so a character's
// first cell is its byte offset. A lead byte without a trail byte after it
// stands alone, as one character of one cell.
// The length of the character that starts at `at` (< line.size()): 1 or 2.
std::size_t CharLength(std::string_view line, std::size_t at);
// The start of the character holding byte `at` (<= line.size()); found from
// the bytes just before it, never from the line's start.
std::size_t CharStart(std::string_view line, std::size_t at);

class PaneLines {
 public:
  void Clear();
  // Adds one line of the program's own; after the answer's lines if any.
  void Add(std::string line);
  // Adds the answer's lines: `spans` into `received`, which stays the
  // caller's and must stay as it is until Clear or HandOver.
  void AddAnswer(const std::string& received, std::vector<LineSpan> spans);
  // `received` is about to be emptied: the lines that refer to it take over
  // its bytes (a move, not a copy).
  void HandOver(std::string& received);

  bool Empty() const;
  std::size_t LineCount() const { return before_.size() + answer_.size() + after_.size(); }
  // The bytes of line `index` (< LineCount()), valid until the next change.
  std::string_view Line(std::size_t index) const;
  // The length in bytes of the longest line.
  std::size_t LongestLine() const { return longest_; }
  std::vector<std::string> Lines() const;
  // All lines, joined by '\n', in UTF-8: whole, or piece by piece.
  std::string Utf8Text() const;
  void WriteUtf8(const TextSink& sink) const;

 private:
  std::string_view Answer() const;

  std::vector<std::string> before_;
  const std::string* answerSource_ = nullptr;
  std::shared_ptr<const std::string> ownAnswer_;
  std::vector<LineSpan> answer_;
  std::vector<std::string> after_;
  std::size_t longest_ = 0;
};

}  // namespace app
