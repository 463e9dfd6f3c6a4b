// Received data, its lines and the trimming of the router's answer.
#include "cycle/capture.h"

#include <array>
#include <cstring>

#include "platform/files.h"
#include "platform/line_scan.h"

namespace cycle {

void AppendReceivedBatch(std::string& receiveBuffer, const char* data, std::size_t length) {
  if (data == nullptr || length == 0) return;
  // Whole runs between NULs go in at once; NULs are rare in real answers.
  const char* end = data + length;
  while (data < end) {
    const auto* nul = static_cast<const char*>(std::memchr(data, '\0', end - data));
    const char* runEnd = nul != nullptr ? nul : end;
    receiveBuffer.append(data, static_cast<std::size_t>(runEnd - data));
    data = nul != nullptr ? nul + 1 : end;
  }
}

std::vector<LineSpan> ShownLineSpans(std::string_view text, LastLine lastLine) {
  text = text.substr(0, UINT32_MAX);
  std::vector<LineSpan> shown;
  const std::string_view strayPrompt = kStrayPromptLine;
  platform::LineScanner lines(text);
  bool lastLineShown = false;
  std::size_t start = 0;
  std::size_t length = 0;
  for (std::size_t index = 0; lines.Next(start, length); ++index) {
    lastLineShown = index >= 2 && length != 0 && text.substr(start, length) != strayPrompt;
    if (lastLineShown) {
      shown.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(length)});
    }
  }
  if (lastLineShown && lastLine == LastLine::IsPrompt) shown.pop_back();
  return shown;
}

void AnswerLineStream::Start(LineSink sink) {
  sink_ = std::move(sink);
  index_ = 0;
  held_.clear();
  holding_ = false;
  passing_ = false;
}

bool AnswerLineStream::heldIsShown() const {
  return index_ >= 3 && !held_.empty() && held_ != kStrayPromptLine;
}

void AnswerLineStream::line(std::string_view text) {
  if (passing_) {
    // The end of a long line: its last piece.
    passing_ = false;
    if (passedShown_ && sink_) sink_(text, true);
    return;
  }
  if (holding_ && heldIsShown() && sink_) sink_(held_, true);
  held_.assign(text);
  holding_ = true;
  ++index_;
}

void AnswerLineStream::passOn(std::string_view piece) {
  if (!passing_) {
    // A line follows the one held, so that one was not the last.
    if (holding_ && heldIsShown() && sink_) sink_(held_, true);
    holding_ = false;
    held_.clear();
    // Long, so neither empty nor the stray prompt line: shown past the echo
    // and the line after it.
    passedShown_ = index_ >= 2;
    ++index_;
    passing_ = true;
  }
  if (passedShown_ && !piece.empty() && sink_) sink_(piece, false);
}

std::size_t AnswerLineStream::Take(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos || (text[end] == '\r' && end + 1 == text.size())) {
      const std::size_t stop = end == std::string_view::npos ? text.size() : end;
      if (passing_ || stop - start >= kLongLine) {
        passOn(text.substr(start, stop - start));
        start = stop;
      }
      break;
    }
    line(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
  }
  return start;
}

void AnswerLineStream::Finish(std::string_view rest, LastLine lastLine) {
  const std::size_t taken = Take(rest);
  rest.remove_prefix(taken);
  // What is left is one last line, ended by a CR or by nothing.
  if (!rest.empty() || passing_) line(rest.substr(0, rest.find('\r')));
  if (holding_ && heldIsShown() && lastLine == LastLine::IsData && sink_) sink_(held_, true);
  holding_ = false;
  held_.clear();
}

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// True when `text` has at least `count` line ends before `limit` (CR LF
// counting as one).
bool HasLineEndsBefore(std::string_view text, std::size_t limit, int count) {
  for (std::size_t at = 0; count > 0; --count) {
    at = text.find_first_of("\r\n", at);
    if (at == std::string_view::npos || at >= limit) return false;
    at += (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
  }
  return true;
}

}  // namespace

std::vector<LineSpan> ShownLineSpansKeepingLastLine(std::string_view text) {
  text = text.substr(0, UINT32_MAX);
  std::vector<LineSpan> shown = ShownLineSpans(text);
  // The last line ends at the text's end, or at a line end that closes the
  // text; it starts after the line end before it.
  std::size_t end = text.size();
  if (end > 0 && text[end - 1] == '\n') {
    --end;
    if (end > 0 && text[end - 1] == '\r') --end;
  } else if (end > 0 && text[end - 1] == '\r') {
    --end;
  }
  std::size_t start = end;
  while (start > 0 && !IsLineEnd(text[start - 1])) --start;
  const std::string_view last = text.substr(start, end - start);
  if (!last.empty() && last != kStrayPromptLine && HasLineEndsBefore(text, start, 2)) {
    shown.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(last.size())});
  }
  return shown;
}

std::vector<std::string> SplitCaptureLines(const std::string& receiveBuffer) {
  return platform::SplitLines(receiveBuffer);
}

std::vector<std::string> TrimCapture(const std::vector<std::string>& captureLines) {
  std::vector<std::string> shown;
  for (std::size_t i = 2; i + 1 < captureLines.size(); ++i) {
    const std::string& line = captureLines[i];
    if (line.empty() || line == kStrayPromptLine) continue;
    shown.push_back(line);
  }
  return shown;
}

std::optional<std::string> PromptForModel(int routerModel) {
  static const std::array<const char*, 5> prompts = {"%", "MT128-NET%", "MN128-SOHO%",
                                                     "MN128-SOHO-SL10%", "MN128-SOHO-SL11%"};
  if (routerModel < -1 || routerModel > 3) return std::nullopt;
  return std::string(prompts[static_cast<std::size_t>(routerModel + 1)]);
}

void IncrementalSearch::Start(std::string needle) {
  needle_ = std::move(needle);
  next_ = 0;
  seen_ = 0;
  found_ = false;
}

namespace {

bool IsLead(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Whether `pos` starts a character, given that `from` (<= pos) does. Between
// the last byte that cannot lead a character and `pos`, bytes pair up as lead
// and trail, so the count of lead-valued bytes right before `pos` decides.
bool IsCharacterStart(std::string_view text, std::size_t from, std::size_t pos) {
  std::size_t leads = 0;
  while (pos - leads > from && IsLead(text[pos - leads - 1])) ++leads;
  return leads % 2 == 0;
}

}  // namespace

bool IncrementalSearch::Find(std::string_view haystack) {
  if (haystack.size() < seen_) Start(std::move(needle_));
  seen_ = haystack.size();
  if (found_) return true;
  if (needle_.empty()) return found_ = true;
  if (haystack.size() < needle_.size()) return false;
  // Candidates start before `limit`; between looks, `next_` stays on a
  // character start, so every backward look is bounded by the bytes it has
  // moved past and the whole watch costs time linear in the buffer.
  const std::size_t limit = haystack.size() - needle_.size() + 1;
  std::size_t i = next_;
  while (i < limit) {
    const void* hit = std::memchr(haystack.data() + i, needle_[0], limit - i);
    if (hit == nullptr) {
      next_ = IsCharacterStart(haystack, i, limit) ? limit : limit + 1;
      return false;
    }
    const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data());
    if (!IsCharacterStart(haystack, i, at)) {
      i = at + 1;  // `at` is a trail byte, so a character starts right after it
      continue;
    }
    if (haystack.compare(at, needle_.size(), needle_) == 0) {
      next_ = at;
      return found_ = true;
    }
    i = at + (IsLead(haystack[at]) ? 2 : 1);
  }
  next_ = i;
  return false;
}

}  // namespace cycle
