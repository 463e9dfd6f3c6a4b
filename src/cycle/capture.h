// What the command cycle does with the router's answer, apart from any window:
// collecting the received batches, finding the prompt in them as they arrive,
// cutting them into lines, trimming echo and prompt lines, and the prompt each
// router model ends its answers with.
//
// An answer can run to tens of megabytes, so it is held once: lines are
// offsets into the received bytes, and the trimming only picks offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cycle {

// Appends one batch of received data bytes to `receiveBuffer`. NUL bytes are
// dropped and everything else is kept: a TELNET server sends CR NUL for a bare
// carriage return, so cutting the batch at its first NUL would lose real
// output.
void AppendReceivedBatch(std::string& receiveBuffer, const char* data, std::size_t length);

// One line of the received text: where it starts and how many bytes it has,
// its line end not counted. Offsets are 32 bits, which keeps the lines of a
// huge answer small; text beyond 4 GiB is not looked at.
struct LineSpan {
  std::uint32_t start = 0;
  std::uint32_t length = 0;
  friend bool operator==(const LineSpan&, const LineSpan&) = default;
};

// The prompt line some routers leave inside their answers; never shown.
inline constexpr char kStrayPromptLine[] = "MT128-NET% ";

// The lines of the output pane, in one pass over the received text. The text
// is cut into lines L0 ... Ln-1: a line ends at CR LF, a lone CR or a lone LF;
// text after the last line end is a last line; a line end at the very end of
// the text adds no empty line. The echo L0, the line after it and the
// returning prompt Ln-1 are dropped, and of L2 ... Ln-2 the empty lines and
// the stray prompt lines are skipped. Fewer than three lines leave nothing.
// An answer that ended before its prompt keeps its last line: it is data.
enum class LastLine { IsPrompt, IsData };
std::vector<LineSpan> ShownLineSpans(std::string_view receiveBuffer,
                                     LastLine lastLine = LastLine::IsPrompt);

// The lines ShownLineSpans would pick, for an answer taken piece by piece
// while it arrives, so that no more of it than a line needs to be held. Each
// shown line goes to the sink as soon as a later line proves it is not the
// last one. A line that grows past kLongLine before it ends goes on as it
// comes, in pieces (`lineEnds` false but for its last piece): so long a line
// is no prompt, so it can't be the line that is left out at the end.
class AnswerLineStream {
 public:
  static constexpr std::size_t kLongLine = std::size_t{1} << 20;
  using LineSink = std::function<void(std::string_view text, bool lineEnds)>;
  void Start(LineSink sink);
  // Takes the lines at the front of `text` whose line end is settled (a CR
  // at the very end may still be followed by its LF), and of a long line
  // what there is of it; returns the bytes taken.
  std::size_t Take(std::string_view text);
  // The answer ended; `rest` is what Take left.
  void Finish(std::string_view rest, LastLine lastLine);

 private:
  void line(std::string_view text);
  void passOn(std::string_view piece);
  bool heldIsShown() const;

  LineSink sink_;
  std::size_t index_ = 0;
  std::string held_;
  bool holding_ = false;
  // A long line is being passed on, and whether it is one that is shown.
  bool passing_ = false;
  bool passedShown_ = false;
};
// The same for an answer that ended without its prompt (or was cut short):
// its last line is data, so it is shown under the same rules as the others.
std::vector<LineSpan> ShownLineSpansKeepingLastLine(std::string_view receiveBuffer);

// The same two steps on copies of the lines, one at a time.
std::vector<std::string> SplitCaptureLines(const std::string& receiveBuffer);
std::vector<std::string> TrimCapture(const std::vector<std::string>& captureLines);

// The text awaited after the log-in and after each command for `routerModel`
// (-1 automatic, 0..3 the models); nothing for any other value, in which case
// no prompt is awaited at all.
std::optional<std::string> PromptForModel(int routerModel);

// Looks for a text in a buffer that only grows while it is watched, picking up
// where the previous look stopped: a wait that looks after every batch costs
// time in proportion to the answer, however the router chunks it. A match
// counts only where a Shift-JIS character starts, counting characters from the
// start of the buffer; the position kept between looks is always such a start.
class IncrementalSearch {
 public:
  // Starts over for `needle` on a buffer watched from its beginning.
  void Start(std::string needle);
  // True once the needle occurs in `haystack` at a character start. The
  // haystack must be the watched buffer, grown or not since the last look; a
  // buffer shorter than what was already looked at has been emptied and
  // refilled, and the search starts again from its beginning.
  bool Find(std::string_view haystack);
  // Where the match starts, once found; before that, no match starts earlier.
  std::size_t Position() const { return next_; }
  // The match found does not count: the search goes on from `at`, a
  // character start after it.
  void ResumeAt(std::size_t at) {
    next_ = at;
    found_ = false;
  }
  // The first `count` bytes of the watched buffer were taken away; they lie
  // before Position().
  void Discard(std::size_t count) {
    next_ -= count;
    seen_ -= count;
  }

 private:
  std::string needle_;
  std::size_t next_ = 0;  // first character start not yet ruled out
  std::size_t seen_ = 0;  // bytes of the haystack at the last look
  bool found_ = false;
};

}  // namespace cycle
