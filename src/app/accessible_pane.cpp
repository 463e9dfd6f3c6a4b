// The output pane's accessible text. Character offsets run over the pane's
// lines joined by '\n'. An index keeps the offset of every 64th line's start,
// counted from the bytes alone; a line's characters are counted again when a
// request lands in its block. What is asked for is converted; a request for
// more than a mebi-character at once gets that much, so that a reader asking
// for "all the text" of a 50 MB answer gets a beginning instead of stalling
// the window while half a gigabyte is made. The events that announce new
// text carry at most its first 64 Ki characters for the same reason.
#include "app/accessible_pane.h"

#include <QAccessibleWidget>
#include <QScrollBar>
#include <algorithm>
#include <vector>

#include "app/accessible_texts.h"
#include "app/accessible_window.h"
#include "app/output_pane.h"
#include "app/widget_text.h"
#include "platform/codepage.h"

namespace app {

namespace {

constexpr std::size_t kBlockLines = 64;
constexpr qint64 kMostCharactersAsked = 1 << 20;
constexpr qint64 kMostCharactersAnnounced = 64 * 1024;

qint64 CharacterCount(std::string_view line) {
  qint64 count = 0;
  for (std::size_t at = 0; at < line.size(); at += CharLength(line, at)) ++count;
  return count;
}

// `line`'s characters, one UTF-16 unit each, as the pane draws them.
QString CharactersOf(std::string_view line) {
  std::string utf8;
  platform::AppendAnsiAsUtf8(utf8, line);
  QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  if (text.size() == CharacterCount(line)) return text;
  text.clear();
  for (std::size_t at = 0; at < line.size();) {
    const std::size_t length = CharLength(line, at);
    utf8.clear();
    platform::AppendAnsiAsUtf8(utf8, line.substr(at, length));
    const QString one = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text += one.isEmpty() ? QChar(0xFFFD) : one.at(0);
    at += length;
  }
  return text;
}

}  // namespace

class OutputPaneAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  // What the pane shows now counts as told: a later change tells what it
  // replaced.
  explicit OutputPaneAccessible(OutputPane* pane)
      : QAccessibleWidget(pane, QAccessible::EditableText),
        announcedLength_(total()),
        announcedHead_(textUpTo(0, kMostCharactersAnnounced)) {
    MarkListened(pane, true);
  }
  ~OutputPaneAccessible() override { MarkListened(object(), false); }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      return FromAnsi(texts::kAnswerPaneName);
    }
    return QAccessibleWidget::text(kind);
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.editable = false;
    state.multiLine = true;
    state.selectableText = true;
    return state;
  }

  // Its scroll bars are off or follow the text; the text is what there is.
  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }

  // --- The text ---

  int characterCount() const override { return static_cast<int>(total()); }

  QString text(int startOffset, int endOffset) const override {
    return textOf(startOffset, endOffset);
  }

  QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                       int* endOffset) const override {
    return reply(unitAt(offset, boundary), startOffset, endOffset);
  }

  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                           int* endOffset) const override {
    const Span at = unitAt(offset, boundary);
    return reply(at.first > 0 ? unitAt(at.first - 1, boundary) : Span{0, 0}, startOffset,
                 endOffset);
  }

  QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                          int* endOffset) const override {
    const Span at = unitAt(offset, boundary);
    const qint64 end = total();
    return reply(at.second > at.first && at.second < end ? unitAt(at.second, boundary)
                                                         : Span{end, end},
                 startOffset, endOffset);
  }

  QString attributes(int, int* startOffset, int* endOffset) const override {
    *startOffset = 0;
    *endOffset = static_cast<int>(total());
    return {};
  }

  // --- Caret and selection ---

  int cursorPosition() const override { return static_cast<int>(offsetOf(pane()->caret_)); }
  void setCursorPosition(int position) override { pane()->moveCaret(positionOf(position), false); }

  int selectionCount() const override { return pane()->hasSelection() ? 1 : 0; }
  void selection(int index, int* startOffset, int* endOffset) const override {
    const Span span = index == 0 && pane()->hasSelection() ? selected() : Span{0, 0};
    *startOffset = static_cast<int>(span.first);
    *endOffset = static_cast<int>(span.second);
  }
  void addSelection(int startOffset, int endOffset) override {
    setSelection(0, startOffset, endOffset);
  }
  void removeSelection(int index) override {
    if (index == 0) pane()->moveCaret(pane()->caret_, false);
  }
  void setSelection(int index, int startOffset, int endOffset) override {
    if (index != 0) return;
    pane()->anchor_ = positionOf(startOffset);
    pane()->moveCaret(positionOf(endOffset), true);
  }

  // --- Where the text is ---

  QRect characterRect(int offset) const override {
    const Position at = positionOf(offset);
    OutputPane* view = pane();
    // The text's top margin is its left one, where column 0 starts.
    const qint64 margin = view->xOfColumn(0);
    const qint64 x = view->xOfColumn(at.column) - view->horizontalScrollBar()->value();
    const qint64 y = margin + static_cast<qint64>(at.line - view->verticalScrollBar()->value()) *
                                  view->lineHeight();
    const std::string_view line = view->bytes(at.line);
    const qint64 cells =
        at.column < static_cast<qsizetype>(line.size())
            ? static_cast<qint64>(CharLength(line, static_cast<std::size_t>(at.column)))
            : 1;
    const auto clamp = [](qint64 v) { return static_cast<int>(std::clamp<qint64>(v, -1'000'000'000, 1'000'000'000)); };
    const QPoint topLeft = view->viewport()->mapToGlobal(QPoint(clamp(x), clamp(y)));
    return {topLeft, QSize(clamp(cells * view->cellWidth()), view->lineHeight())};
  }

  int offsetAtPoint(const QPoint& point) const override {
    const QPoint local = pane()->viewport()->mapFromGlobal(point);
    if (!pane()->viewport()->rect().contains(local)) return -1;
    return static_cast<int>(offsetOf(pane()->positionAt(local)));
  }

  void scrollToSubstring(int startIndex, int) override {
    OutputPane* view = pane();
    const Position at = positionOf(startIndex);
    QScrollBar* vertical = view->verticalScrollBar();
    if (at.line < vertical->value() || at.line >= vertical->value() + view->visibleLineCount()) {
      vertical->setValue(at.line);
    }
    QScrollBar* horizontal = view->horizontalScrollBar();
    const qint64 margin = view->xOfColumn(0);
    const qint64 x = view->xOfColumn(at.column);
    if (x - margin < horizontal->value() ||
        x + margin > horizontal->value() + view->viewport()->width()) {
      horizontal->setValue(static_cast<int>(std::clamp<qint64>(x - margin, 0, horizontal->maximum())));
    }
    view->viewport()->update();
  }

  // --- What changed ---

  void announceReset() {
    OutputPane* view = pane();
    if (announcedLength_ > 0) {
      QAccessibleTextRemoveEvent removed(view, 0, announcedHead_);
      QAccessible::updateAccessibility(&removed);
    }
    announcedLength_ = total();
    announcedHead_ = textUpTo(0, kMostCharactersAnnounced);
    if (!announcedHead_.isEmpty()) {
      QAccessibleTextInsertEvent inserted(view, 0, announcedHead_);
      QAccessible::updateAccessibility(&inserted);
    }
    announceCaret();
  }

  void announceLinesAdded() {
    // Where the index stood is where the new lines begin, with the line end
    // before them when there were lines already.
    const bool indexed = generation_ == pane()->generation_;
    const qint64 before = indexed ? characters_ : 0;
    const std::size_t linesBefore = indexed ? indexedLines_ : 0;
    const qint64 after = total();
    if (after > before) {
      const qint64 from = linesBefore > 0 ? before : 0;
      QAccessibleTextInsertEvent inserted(pane(), static_cast<int>(from),
                                          textUpTo(from, kMostCharactersAnnounced));
      QAccessible::updateAccessibility(&inserted);
    }
    announcedLength_ = after;
    if (announcedHead_.size() < kMostCharactersAnnounced) {
      announcedHead_ = textUpTo(0, kMostCharactersAnnounced);
    }
  }

  void announceCaret() {
    OutputPane* view = pane();
    const qint64 caret = offsetOf(view->caret_);
    QAccessibleTextCursorEvent moved(view, static_cast<int>(caret));
    QAccessible::updateAccessibility(&moved);
    const Span span = view->hasSelection() ? selected() : Span{caret, caret};
    if (span != announcedSelection_) {
      announcedSelection_ = span;
      QAccessibleTextSelectionEvent selection(view, static_cast<int>(span.first),
                                              static_cast<int>(span.second));
      selection.setCursorPosition(static_cast<int>(caret));
      QAccessible::updateAccessibility(&selection);
    }
  }

 private:
  using Position = PanePosition;
  using Span = std::pair<qint64, qint64>;

  OutputPane* pane() const { return static_cast<OutputPane*>(widget()); }
  std::size_t lineCount() const { return pane()->lines_->LineCount(); }
  std::string_view line(std::size_t index) const { return pane()->bytes(static_cast<int>(index)); }

  // Brings the index up to the pane's lines: lines are only ever added at
  // the end, anything else starts a new generation of the pane.
  void sync() const {
    const std::size_t count = lineCount();
    if (generation_ != pane()->generation_ || count < indexedLines_) {
      generation_ = pane()->generation_;
      indexedLines_ = 0;
      blockStarts_.clear();
      characters_ = 0;
    }
    for (std::size_t index = indexedLines_; index < count; ++index) {
      if (index > 0) ++characters_;
      if (index % kBlockLines == 0) blockStarts_.push_back(characters_);
      characters_ += CharacterCount(line(index));
    }
    indexedLines_ = count;
  }

  qint64 total() const {
    sync();
    return characters_;
  }

  // The line holding `offset` (its line end included), and its start.
  std::pair<std::size_t, qint64> lineAt(qint64 offset) const {
    sync();
    if (indexedLines_ == 0) return {0, 0};
    const auto block = std::upper_bound(blockStarts_.begin(), blockStarts_.end(), offset) - 1;
    std::size_t index = static_cast<std::size_t>(block - blockStarts_.begin()) * kBlockLines;
    qint64 start = *block;
    while (index + 1 < indexedLines_) {
      const qint64 next = start + CharacterCount(line(index)) + 1;
      if (next > offset) break;
      start = next;
      ++index;
    }
    return {index, start};
  }

  qint64 lineStart(std::size_t index) const {
    sync();
    if (index >= indexedLines_) return characters_;
    const std::size_t first = index / kBlockLines * kBlockLines;
    qint64 start = blockStarts_[index / kBlockLines];
    for (std::size_t l = first; l < index; ++l) start += CharacterCount(line(l)) + 1;
    return start;
  }

  Position positionOf(qint64 offset) const {
    offset = std::clamp<qint64>(offset, 0, total());
    const auto [index, start] = lineAt(offset);
    const std::string_view bytes = line(index);
    std::size_t column = 0;
    for (qint64 skip = offset - start; skip > 0 && column < bytes.size(); --skip) {
      column += CharLength(bytes, column);
    }
    return {static_cast<int>(index), static_cast<qsizetype>(column)};
  }

  qint64 offsetOf(Position at) const {
    if (lineCount() == 0) return 0;
    const std::string_view bytes = line(static_cast<std::size_t>(at.line));
    const std::size_t column = std::min(static_cast<std::size_t>(at.column), bytes.size());
    return lineStart(static_cast<std::size_t>(at.line)) + CharacterCount(bytes.substr(0, column));
  }

  Span selected() const {
    const qint64 anchor = offsetOf(pane()->anchor_);
    const qint64 caret = offsetOf(pane()->caret_);
    return {std::min(anchor, caret), std::max(anchor, caret)};
  }

  // The unit of text around `offset`; a line ends with its line end.
  Span unitAt(qint64 offset, QAccessible::TextBoundaryType boundary) const {
    const qint64 end = total();
    offset = std::clamp<qint64>(offset, 0, end);
    switch (boundary) {
      case QAccessible::NoBoundary:
        return {0, end};
      case QAccessible::SentenceBoundary:
      case QAccessible::ParagraphBoundary:
      case QAccessible::LineBoundary: {
        const auto [index, start] = lineAt(offset);
        const qint64 stop = start + CharacterCount(line(index)) + (index + 1 < lineCount() ? 1 : 0);
        return {start, stop};
      }
      case QAccessible::WordBoundary: {
        const Position at = positionOf(offset);
        if (at.column < static_cast<qsizetype>(line(static_cast<std::size_t>(at.line)).size())) {
          const auto [from, to] = pane()->unitAround(at, OutputPane::Unit::Word);
          return {offsetOf(from), offsetOf(to)};
        }
        break;  // a line end is a unit of its own
      }
      case QAccessible::CharBoundary:
        break;
    }
    return {offset, std::min(offset + 1, end)};
  }

  QString reply(Span span, int* startOffset, int* endOffset) const {
    *startOffset = static_cast<int>(span.first);
    *endOffset = static_cast<int>(span.second);
    return textOf(span.first, span.second);
  }

  QString textUpTo(qint64 from, qint64 most) const { return textOf(from, from + most); }

  QString textOf(qint64 from, qint64 to) const {
    const qint64 end = total();
    if (to < 0 || to > end) to = end;
    from = std::clamp<qint64>(from, 0, end);
    to = std::min(to, from + kMostCharactersAsked);
    if (to <= from) return {};
    const Position first = positionOf(from);
    const Position last = positionOf(to);
    QString text;
    for (int index = first.line; index <= last.line; ++index) {
      const std::string_view bytes = line(static_cast<std::size_t>(index));
      const std::size_t begin = index == first.line ? static_cast<std::size_t>(first.column) : 0;
      const std::size_t stop =
          index == last.line ? static_cast<std::size_t>(last.column) : bytes.size();
      if (index > first.line) text += QLatin1Char('\n');
      if (begin < stop) text += CharactersOf(bytes.substr(begin, stop - begin));
    }
    return text;
  }

  mutable quint64 generation_ = ~quint64{0};
  mutable std::size_t indexedLines_ = 0;
  // The offset of the start of every kBlockLines-th line.
  mutable std::vector<qint64> blockStarts_;
  mutable qint64 characters_ = 0;
  qint64 announcedLength_ = 0;
  QString announcedHead_;
  Span announcedSelection_{0, 0};
};

namespace {

OutputPaneAccessible* Listening(OutputPane* pane) {
  if (!Listened(pane)) return nullptr;
  return dynamic_cast<OutputPaneAccessible*>(QAccessible::queryAccessibleInterface(pane));
}

}  // namespace

QAccessibleInterface* NewOutputPaneAccessible(OutputPane* pane) {
  return new OutputPaneAccessible(pane);
}

void AnnouncePaneReset(OutputPane* pane) {
  if (OutputPaneAccessible* accessible = Listening(pane)) accessible->announceReset();
}

void AnnouncePaneLinesAdded(OutputPane* pane) {
  if (OutputPaneAccessible* accessible = Listening(pane)) accessible->announceLinesAdded();
}

void AnnouncePaneCaret(OutputPane* pane) {
  if (OutputPaneAccessible* accessible = Listening(pane)) accessible->announceCaret();
}

}  // namespace app
