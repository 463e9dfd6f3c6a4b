// The output pane's lines, referring to the received bytes where they can.
#include "app/pane_lines.h"

#include "platform/codepage.h"

namespace app {

void AppendLinesAsUtf8(std::string& out, std::string_view source,
                       const std::vector<LineSpan>& spans) {
  std::size_t bytes = 0;
  for (const LineSpan& span : spans) bytes += span.length + 1;
  out.reserve(out.size() + bytes + bytes / 8);
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (i > 0) out += '\n';
    platform::AppendAnsiAsUtf8(out, source.substr(spans[i].start, spans[i].length));
  }
}

void PaneLines::Clear() {
  before_.clear();
  answerSource_ = nullptr;
  ownAnswer_.reset();
  answer_.clear();
  answer_.shrink_to_fit();
  after_.clear();
}

void PaneLines::Add(std::string line) {
  (answerSource_ == nullptr ? before_ : after_).push_back(std::move(line));
}

void PaneLines::AddAnswer(const std::string& received, std::vector<LineSpan> spans) {
  if (answerSource_ != nullptr) {
    // A second answer without a Clear in between: the first one becomes lines
    // of our own, so that only one source is ever referred to.
    const std::vector<std::string> earlier = Lines();
    Clear();
    before_ = earlier;
  }
  answerSource_ = &received;
  answer_ = std::move(spans);
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
  bool first = true;
  const auto separate = [&] {
    if (!first) text += '\n';
    first = false;
  };
  for (const std::string& line : before_) {
    separate();
    platform::AppendAnsiAsUtf8(text, line);
  }
  if (!answer_.empty()) {
    separate();
    AppendLinesAsUtf8(text, Answer(), answer_);
  }
  for (const std::string& line : after_) {
    separate();
    platform::AppendAnsiAsUtf8(text, line);
  }
  return text;
}

}  // namespace app
