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
};

}  // namespace app
