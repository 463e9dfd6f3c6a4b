// The output pane's lines, referring to the received bytes where they can.
#include "app/pane_lines.h"

#include <algorithm>

#include "platform/codepage.h"

namespace app {

namespace {

constexpr std::size_t kPieceSize = 64 * 1024;

// Collects converted text and hands it on whenever a piece is full.
class PieceWriter {
 public:
  explicit PieceWriter(const TextSink& sink) : sink_(sink) { piece_.reserve(2 * kPieceSize); }
  ~PieceWriter() { Flush(); }
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  void Line(std::string_view ansi) {
    if (!first_) piece_ += '\n';
    first_ = false;
    platform::AppendAnsiAsUtf8(piece_, ansi);
    if (piece_.size() >= kPieceSize) Flush();
  }
  void Flush() {
    if (!piece_.empty()) sink_(piece_);
    piece_.clear();
  }

 private:
  const TextSink& sink_;
  std::string piece_;
  bool first_ = true;
};

}  // namespace

std::size_t CharLength(std::string_view line, std::size_t at) {
  const auto lead = static_cast<unsigned char>(line[at]);
  if (!platform::IsAnsiLeadByte(lead) || at + 1 >= line.size()) return 1;
  const auto trail = static_cast<unsigned char>(line[at + 1]);
  return trail >= 0x40 && trail <= 0xFC && trail != 0x7F ? 2 : 1;
}

std::size_t CharStart(std::string_view line, std::size_t at) {
  if (at == 0 || at >= line.size()) return at;
  // A byte that can't lead a pair ends a character: from just after it, the
  // lead-range bytes pair up, every one of them being a valid trail as well.
  std::size_t run = 0;
  while (run < at && platform::IsAnsiLeadByte(static_cast<unsigned char>(line[at - 1 - run]))) {
    ++run;
  }
  if (run % 2 == 0) return at;
  return CharLength(line, at - 1) == 2 ? at - 1 : at;
}

void WriteLinesAsUtf8(const TextSink& sink, std::string_view source,
                      const std::vector<LineSpan>& spans) {
  PieceWriter writer(sink);
  for (const LineSpan& span : spans) writer.Line(source.substr(span.start, span.length));
}

void PaneLines::Clear() {
  before_.clear();
  answerSource_ = nullptr;
  ownAnswer_.reset();
  answer_.clear();
  answer_.shrink_to_fit();
  after_.clear();
  longest_ = 0;
}

void PaneLines::Add(std::string line) {
  longest_ = std::max(longest_, line.size());
  (answerSource_ == nullptr ? before_ : after_).push_back(std::move(line));
}

void PaneLines::AddAnswer(const std::string& received, std::vector<LineSpan> spans) {
  if (answerSource_ != nullptr) {
    // A second answer without a Clear in between: the first one becomes lines
    // of our own, so that only one source is ever referred to.
    const std::vector<std::string> earlier = Lines();
    Clear();
    before_ = earlier;
    for (const std::string& line : before_) longest_ = std::max(longest_, line.size());
  }
  answerSource_ = &received;
  answer_ = std::move(spans);
  for (const LineSpan& span : answer_) longest_ = std::max<std::size_t>(longest_, span.length);
}

void PaneLines::HandOver(std::string& received) {
  if (answerSource_ != &received) return;
  ownAnswer_ = std::make_shared<const std::string>(std::move(received));
  received.clear();
  answerSource_ = ownAnswer_.get();
}

std::string_view PaneLines::Answer() const {
  return answerSource_ != nullptr ? std::string_view(*answerSource_) : std::string_view();
}

std::string_view PaneLines::Line(std::size_t index) const {
  if (index < before_.size()) return before_[index];
  index -= before_.size();
  if (index < answer_.size()) {
    const LineSpan& span = answer_[index];
    return Answer().substr(span.start, span.length);
  }
  return after_[index - answer_.size()];
}

bool PaneLines::Empty() const { return before_.empty() && answer_.empty() && after_.empty(); }

std::vector<std::string> PaneLines::Lines() const {
  std::vector<std::string> lines = before_;
  const std::string_view answer = Answer();
  for (const LineSpan& span : answer_) lines.emplace_back(answer.substr(span.start, span.length));
  lines.insert(lines.end(), after_.begin(), after_.end());
  return lines;
}

std::string PaneLines::Utf8Text() const {
  std::string text;
  WriteUtf8([&text](std::string_view piece) { text += piece; });
  return text;
}

void PaneLines::WriteUtf8(const TextSink& sink) const {
  PieceWriter writer(sink);
  for (const std::string& line : before_) writer.Line(line);
  const std::string_view answer = Answer();
  for (const LineSpan& span : answer_) writer.Line(answer.substr(span.start, span.length));
  for (const std::string& line : after_) writer.Line(line);
}

}  // namespace app
