// The output pane: lines as bytes on a grid of cells. Everything that depends
// on where a character sits (painting, caret, mouse, selection) is arithmetic
// on byte offsets; text is converted only for the characters drawn and for
// the selection copied.
#include "app/output_pane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QWheelEvent>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <vector>

#include "app/accessible_pane.h"
#include "app/message_box.h"
#include "app/pane_find_box.h"
#include "app/pane_search.h"
#include "app/texts.h"
#include "app/widget_text.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace {

constexpr int kMargin = 2;
constexpr int kLinesAtLeast = 3;
constexpr int kCellsAtLeast = 16;
constexpr int kDragScrollInterval = 40;
// A wheel's notch: Qt's unit of angle per step.
constexpr int kWheelNotch = 120;

// Converts `ansi` to UTF-16 through the program's one crossing.
QString Utf16(std::string_view ansi) {
  std::string utf8;
  platform::AppendAnsiAsUtf8(utf8, ansi);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// What a double click selects a run of: characters of one kind.
enum class CharKind { Space, Word, Punctuation, Kana, Wide };

// An action of the pane's, its key working anywhere in the pane's window.
template <typename Handler>
QAction* MakeAction(OutputPane* pane, const char* ansiText, const QKeySequence& key,
                    Handler handler) {
  auto* action = new QAction(app::FromAnsi(ansiText), pane);
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(action, &QAction::triggered, pane, [handler] { app::Guarded(handler); });
  pane->addAction(action);
  return action;
}

CharKind KindAt(std::string_view line, std::size_t at) {
  const auto c = static_cast<unsigned char>(line[at]);
  if (app::CharLength(line, at) == 2) return CharKind::Wide;
  if (c <= ' ' || c == 0x7F) return CharKind::Space;
  if (c >= 0xA1 && c <= 0xDF) return CharKind::Kana;
  // Host names, addresses and numbers select whole.
  if (std::isalnum(c) != 0 || c == '_' || c == '.' || c >= 0x80) return CharKind::Word;
  return CharKind::Punctuation;
}

}  // namespace

// The primary selection as the pane offers it: the text is made only when
// another program asks for it, from the lines as they are then.
class PaneSelectionData : public QMimeData {
 public:
  PaneSelectionData(OutputPane* pane, OutputPane::Position from, OutputPane::Position to)
      : pane_(pane), generation_(pane->generation_), from_(from), to_(to) {}

  void SetRange(OutputPane::Position from, OutputPane::Position to) {
    generation_ = pane_->generation_;
    from_ = from;
    to_ = to;
  }

  QStringList formats() const override { return {QStringLiteral("text/plain")}; }

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType) const override {
    if (mimeType != QLatin1String("text/plain") || pane_ == nullptr ||
        pane_->generation_ != generation_) {
      return {};
    }
    return pane_->textBetween(from_, to_);
  }

 private:
  QPointer<OutputPane> pane_;
  quint64 generation_;
  OutputPane::Position from_;
  OutputPane::Position to_;
};

OutputPane::OutputPane(QWidget* parent) : QAbstractScrollArea(parent), lines_(&ownLines_) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(1);
  saveAction_ =
      MakeAction(this, app::texts::kPaneSaveAs, QKeySequence::Save, [this] { saveAs(); });
  findAction_ =
      MakeAction(this, app::texts::kPaneFind, QKeySequence::Find, [this] { openFindBox(); });
  findNextAction_ = MakeAction(this, app::texts::kFindNext, QKeySequence(Qt::Key_F3),
                               [this] { findAgain(false); });
  findPreviousAction_ = MakeAction(this, app::texts::kFindPrevious,
                                   QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { findAgain(true); });
}

OutputPane::~OutputPane() = default;

// --- The lines ---

void OutputPane::setLines(const app::PaneLines* lines) {
  lines_ = lines != nullptr ? lines : &ownLines_;
  linesReset();
}

void OutputPane::linesReset() {
  ++generation_;
  caret_ = anchor_ = Position();
  goalColumn_ = -1;
  dragging_ = false;
  dragScroll_.stop();
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  updateScrollRanges();
  viewport()->update();
  app::AnnouncePaneReset(this);
}

void OutputPane::linesAdded() {
  updateScrollRanges();
  viewport()->update();
  app::AnnouncePaneLinesAdded(this);
}

void OutputPane::clear() {
  ownLines_.Clear();
  setLines(&ownLines_);
}

void OutputPane::setPlainText(const QString& text) {
  ownLines_.Clear();
  appendPlainText(text);
  setLines(&ownLines_);
}

void OutputPane::appendPlainText(const QString& text) {
  for (const QString& piece : text.split(QLatin1Char('\n'))) ownLines_.Add(app::ToAnsi(piece));
  if (lines_ == &ownLines_) linesAdded();
}

QString OutputPane::toPlainText() const { return textBetween(Position(), endOfText()); }

int OutputPane::lineCount() const { return std::max(1, static_cast<int>(lines_->LineCount())); }

QString OutputPane::line(int index) const { return Utf16(bytes(index)); }

std::string_view OutputPane::bytes(int line) const {
  if (line < 0 || static_cast<std::size_t>(line) >= lines_->LineCount()) return {};
  return lines_->Line(static_cast<std::size_t>(line));
}

OutputPane::Position OutputPane::endOfText() const {
  const int last = lineCount() - 1;
  return {last, static_cast<qsizetype>(bytes(last).size())};
}

// --- Geometry ---

QSize OutputPane::minimumSizeHint() const {
  const int frame = 2 * frameWidth() + 2 * kMargin;
  return QSize(frame + kCellsAtLeast * cellWidth(), frame + kLinesAtLeast * lineHeight());
}

int OutputPane::cellWidth() const {
  return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
}

int OutputPane::lineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int OutputPane::visibleLineCount() const {
  return std::max(1, (viewport()->height() - kMargin) / lineHeight());
}

qint64 OutputPane::xOfColumn(qsizetype column) const {
  return kMargin + static_cast<qint64>(column) * cellWidth();
}

qsizetype OutputPane::columnNearest(int line, double cells) const {
  const std::string_view text = bytes(line);
  if (cells <= 0) return 0;
  if (cells >= static_cast<double>(text.size())) return static_cast<qsizetype>(text.size());
  const std::size_t start = app::CharStart(text, static_cast<std::size_t>(cells));
  const std::size_t length = app::CharLength(text, start);
  return static_cast<qsizetype>(cells < static_cast<double>(start) + length / 2.0 ? start
                                                                                  : start + length);
}

OutputPane::Position OutputPane::positionAt(QPoint point) const {
  const int line = std::clamp(
      verticalScrollBar()->value() +
          static_cast<int>(std::floor(static_cast<double>(point.y() - kMargin) / lineHeight())),
      0, lineCount() - 1);
  const double cells =
      static_cast<double>(point.x() + horizontalScrollBar()->value() - kMargin) / cellWidth();
  return {line, columnNearest(line, cells)};
}

OutputPane::Position OutputPane::characterAt(QPoint point) const {
  const Position nearest = positionAt(point);
  const std::string_view text = bytes(nearest.line);
  const double cells =
      static_cast<double>(point.x() + horizontalScrollBar()->value() - kMargin) / cellWidth();
  const auto under = static_cast<std::size_t>(
      std::clamp<double>(std::floor(cells), 0, static_cast<double>(text.size())));
  return {nearest.line, static_cast<qsizetype>(app::CharStart(text, under))};
}

void OutputPane::updateScrollRanges() {
  verticalScrollBar()->setRange(0, std::max(0, lineCount() - visibleLineCount()));
  verticalScrollBar()->setPageStep(visibleLineCount());
  // The longest line's cells, the margins and the caret after its end.
  const qint64 widest = xOfColumn(static_cast<qsizetype>(lines_->LongestLine())) + kMargin + 1;
  const qint64 room = viewport()->width();
  horizontalScrollBar()->setRange(
      0, static_cast<int>(std::clamp<qint64>(widest - room, 0, std::numeric_limits<int>::max())));
  horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
  horizontalScrollBar()->setSingleStep(cellWidth());
}

// --- Painting ---

bool OutputPane::fitsCells(QChar c, int cells) const {
  auto& known = fits_[cells - 1];
  const auto found = known.constFind(c.unicode());
  if (found != known.constEnd()) return *found;
  const bool fits = fontMetrics().horizontalAdvance(c) == cells * cellWidth();
  known.insert(c.unicode(), fits);
  return fits;
}

void OutputPane::drawLine(QPainter& painter, int line, int top) {
  const std::string_view text = bytes(line);
  const int cell = cellWidth();
  const int height = lineHeight();
  const int baseline = top + fontMetrics().ascent();
  const qint64 scrolled = horizontalScrollBar()->value();
  const QPalette& colors = palette();

  // Selected cells of this line, and its line end when the selection runs on.
  const Position from = std::min(caret_, anchor_);
  const Position to = std::max(caret_, anchor_);
  qsizetype selectedFrom = 0;
  qsizetype selectedTo = 0;
  if (from != to && from.line <= line && line <= to.line) {
    selectedFrom = from.line == line ? from.column : 0;
    selectedTo = to.line == line ? to.column : static_cast<qsizetype>(text.size());
    const qint64 left = std::max<qint64>(xOfColumn(selectedFrom) - scrolled, -1);
    const qint64 right = std::min<qint64>(
        xOfColumn(selectedTo) - scrolled + (to.line > line ? cell : 0), viewport()->width() + 1);
    if (right > left) {
      painter.fillRect(QRect(static_cast<int>(left), top, static_cast<int>(right - left), height),
                       colors.brush(QPalette::Highlight));
    }
  }

  // The characters in sight, from the one under the left edge.
  const qint64 firstCell = std::max<qint64>(0, (scrolled - kMargin) / cell);
  const qint64 endCell = (scrolled + viewport()->width()) / cell + 1;
  if (firstCell >= static_cast<qint64>(text.size())) return;
  const std::size_t start = app::CharStart(text, static_cast<std::size_t>(firstCell));
  const std::size_t end =
      std::min(text.size(), static_cast<std::size_t>(std::max<qint64>(endCell, 0)) + 1);
  std::vector<std::pair<std::size_t, std::size_t>> chars;  // start, length
  for (std::size_t at = start; at < end;) {
    const std::size_t length = app::CharLength(text, at);
    chars.emplace_back(at, length);
    at += length;
  }
  if (chars.empty()) return;
  QString shown = Utf16(text.substr(start, chars.back().first + chars.back().second - start));
  if (shown.size() != static_cast<qsizetype>(chars.size())) {
    // Every character comes out as one UTF-16 unit; should the converter
    // ever disagree, each one is converted on its own.
    shown.clear();
    for (const auto& [at, length] : chars) {
      const QString one = Utf16(text.substr(at, length));
      shown += one.isEmpty() ? QChar(0xFFFD) : one.at(0);
    }
  }

  // Runs of characters that advance by their cells are drawn as one text;
  // any other (a fallback glyph, a replacement character) alone, at its cell.
  const auto isSelected = [&](std::size_t at) {
    return static_cast<qsizetype>(at) >= selectedFrom && static_cast<qsizetype>(at) < selectedTo;
  };
  std::size_t index = 0;
  while (index < chars.size()) {
    const bool selected = isSelected(chars[index].first);
    std::size_t stop = index;
    QString run;
    while (stop < chars.size() && isSelected(chars[stop].first) == selected) {
      const QChar c = shown.at(static_cast<qsizetype>(stop));
      const bool control = c.unicode() < 0x20 || c.unicode() == 0x7F;
      const bool fits = !control && fitsCells(c, static_cast<int>(chars[stop].second));
      if (!fits && stop > index) break;
      run += control ? QChar(' ') : c;
      ++stop;
      if (!fits) break;
    }
    painter.setPen(colors.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const qint64 x = xOfColumn(static_cast<qsizetype>(chars[index].first)) - scrolled;
    painter.drawText(QPointF(static_cast<double>(x), baseline), run);
    index = stop;
  }
}

void OutputPane::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(font());
  const int first = verticalScrollBar()->value();
  const int last = std::min(lineCount() - 1, first + visibleLineCount());
  for (int line = first; line <= last; ++line) {
    drawLine(painter, line, kMargin + (line - first) * lineHeight());
  }
  if (hasFocus() && caret_.line >= first && caret_.line <= last) {
    const qint64 x = xOfColumn(caret_.column) - horizontalScrollBar()->value();
    if (x >= 0 && x <= viewport()->width()) {
      painter.fillRect(QRect(static_cast<int>(x), kMargin + (caret_.line - first) * lineHeight(), 1,
                             lineHeight()),
                       palette().color(QPalette::Text));
    }
  }
}

// --- Caret and selection ---

OutputPane::Position OutputPane::stepLeft(Position at) const {
  if (at.column > 0) {
    const std::string_view text = bytes(at.line);
    return {at.line,
            static_cast<qsizetype>(app::CharStart(text, static_cast<std::size_t>(at.column - 1)))};
  }
  if (at.line == 0) return at;
  return {at.line - 1, static_cast<qsizetype>(bytes(at.line - 1).size())};
}

OutputPane::Position OutputPane::stepRight(Position at) const {
  const std::string_view text = bytes(at.line);
  if (at.column < static_cast<qsizetype>(text.size())) {
    return {at.line, at.column + static_cast<qsizetype>(
                                     app::CharLength(text, static_cast<std::size_t>(at.column)))};
  }
  if (at.line >= lineCount() - 1) return at;
  return {at.line + 1, 0};
}

std::pair<OutputPane::Position, OutputPane::Position> OutputPane::unitAround(Position at,
                                                                             Unit unit) const {
  const std::string_view text = bytes(at.line);
  if (unit == Unit::Line) {
    const Position start{at.line, 0};
    if (at.line < lineCount() - 1) return {start, {at.line + 1, 0}};
    return {start, {at.line, static_cast<qsizetype>(text.size())}};
  }
  if (unit == Unit::Character || text.empty()) return {at, at};
  // The character under the click: the one after the place, or before it at
  // the line's end.
  std::size_t under = static_cast<std::size_t>(at.column);
  if (under >= text.size()) under = app::CharStart(text, text.size() - 1);
  const CharKind kind = KindAt(text, under);
  std::size_t begin = under;
  std::size_t end = under + app::CharLength(text, under);
  if (kind != CharKind::Punctuation) {
    while (begin > 0) {
      const std::size_t before = app::CharStart(text, begin - 1);
      if (KindAt(text, before) != kind) break;
      begin = before;
    }
    while (end < text.size() && KindAt(text, end) == kind) end += app::CharLength(text, end);
  }
  return {{at.line, static_cast<qsizetype>(begin)}, {at.line, static_cast<qsizetype>(end)}};
}

void OutputPane::moveCaret(Position position, bool keepAnchor) {
  caret_ = position;
  if (!keepAnchor) anchor_ = caret_;
  ensureCaretVisible();
  selectionChanged();
  viewport()->update();
  app::AnnouncePaneCaret(this);
}

void OutputPane::selectionChanged() {
  if (!hasSelection()) return;
  QClipboard* clipboard = QApplication::clipboard();
  if (!clipboard->supportsSelection()) return;
  const Position from = std::min(caret_, anchor_);
  const Position to = std::max(caret_, anchor_);
  // While this pane still owns the primary selection it only moves the ends
  // of what it offers; the text is made when someone pastes.
  if (offered_ != nullptr && clipboard->ownsSelection() &&
      clipboard->mimeData(QClipboard::Selection) == offered_) {
    offered_->SetRange(from, to);
    return;
  }
  offered_ = new PaneSelectionData(this, from, to);
  clipboard->setMimeData(offered_, QClipboard::Selection);
}

void OutputPane::ensureCaretVisible() {
  QScrollBar* vertical = verticalScrollBar();
  if (caret_.line < vertical->value()) vertical->setValue(caret_.line);
  if (caret_.line >= vertical->value() + visibleLineCount())
    vertical->setValue(caret_.line - visibleLineCount() + 1);
  QScrollBar* horizontal = horizontalScrollBar();
  const qint64 x = xOfColumn(caret_.column);
  const qint64 room = viewport()->width() - 2 * kMargin;
  if (x - kMargin < horizontal->value()) {
    horizontal->setValue(static_cast<int>(std::max<qint64>(0, x - kMargin)));
  } else if (x > horizontal->value() + room) {
    horizontal->setValue(static_cast<int>(std::min<qint64>(x - room, horizontal->maximum())));
  }
}

void OutputPane::keyPressEvent(QKeyEvent* event) {
  if (event == QKeySequence::Copy) {
    copy();
    return;
  }
  if (event == QKeySequence::SelectAll) {
    selectAll();
    return;
  }
  const bool keepAnchor = event->modifiers().testFlag(Qt::ShiftModifier);
  const bool control = event->modifiers().testFlag(Qt::ControlModifier);
  const auto toLine = [&](int target) {
    target = std::clamp(target, 0, lineCount() - 1);
    if (goalColumn_ < 0) goalColumn_ = caret_.column;
    const qsizetype goal = goalColumn_;
    moveCaret({target, columnNearest(target, static_cast<double>(goal))}, keepAnchor);
    goalColumn_ = goal;
  };
  switch (event->key()) {
    case Qt::Key_Left:
      moveCaret(stepLeft(caret_), keepAnchor);
      break;
    case Qt::Key_Right:
      moveCaret(stepRight(caret_), keepAnchor);
      break;
    case Qt::Key_Up:
      toLine(caret_.line - 1);
      return;
    case Qt::Key_Down:
      toLine(caret_.line + 1);
      return;
    case Qt::Key_PageUp:
      toLine(caret_.line - visibleLineCount());
      return;
    case Qt::Key_PageDown:
      toLine(caret_.line + visibleLineCount());
      return;
    case Qt::Key_Home:
      moveCaret(control ? Position() : Position{caret_.line, 0}, keepAnchor);
      break;
    case Qt::Key_End:
      moveCaret(control ? endOfText()
                        : Position{caret_.line, static_cast<qsizetype>(bytes(caret_.line).size())},
                keepAnchor);
      break;
    default:
      // Enter and the rest go on to the window: Enter presses a dialog's
      // default button.
      event->ignore();
      return;
  }
  goalColumn_ = -1;
}

// --- Mouse ---

void OutputPane::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  goalColumn_ = -1;
  const QPoint point = event->position().toPoint();
  const Position at = positionAt(point);
  // A third click soon after a double click, where it was, takes the line.
  const bool third = lastDoubleClick_.isValid() &&
                     lastDoubleClick_.elapsed() < QApplication::doubleClickInterval() &&
                     (point - lastDoubleClickAt_).manhattanLength() <=
                         QApplication::styleHints()->startDragDistance();
  lastDoubleClick_.invalidate();
  dragging_ = true;
  if (third) {
    dragUnit_ = Unit::Line;
    dragOrigin_ = unitAround(at, Unit::Line);
    anchor_ = dragOrigin_.first;
    moveCaret(dragOrigin_.second, true);
    return;
  }
  dragUnit_ = Unit::Character;
  dragOrigin_ = {at, at};
  moveCaret(at, event->modifiers().testFlag(Qt::ShiftModifier));
}

void OutputPane::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint point = event->position().toPoint();
  lastDoubleClick_.start();
  lastDoubleClickAt_ = point;
  dragging_ = true;
  dragUnit_ = Unit::Word;
  dragOrigin_ = unitAround(characterAt(point), Unit::Word);
  anchor_ = dragOrigin_.first;
  moveCaret(dragOrigin_.second, true);
}

void OutputPane::extendSelectionTo(QPoint point) {
  const auto [start, end] =
      unitAround(dragUnit_ == Unit::Character ? positionAt(point) : characterAt(point), dragUnit_);
  if (start < dragOrigin_.first) {
    anchor_ = dragOrigin_.second;
    moveCaret(start, true);
  } else {
    anchor_ = dragOrigin_.first;
    moveCaret(std::max(end, dragOrigin_.second), true);
  }
}

void OutputPane::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !event->buttons().testFlag(Qt::LeftButton)) return;
  goalColumn_ = -1;
  dragPoint_ = event->position().toPoint();
  extendSelectionTo(dragPoint_);
  // Beyond the pane the text keeps scrolling towards the pointer, moved or not.
  if (viewport()->rect().contains(dragPoint_)) {
    dragScroll_.stop();
  } else if (!dragScroll_.isActive()) {
    dragScroll_.start(kDragScrollInterval, this);
  }
}

void OutputPane::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = false;
  dragScroll_.stop();
}

void OutputPane::timerEvent(QTimerEvent* event) {
  if (event->timerId() != dragScroll_.timerId()) {
    QAbstractScrollArea::timerEvent(event);
    return;
  }
  if (!dragging_ || !(QApplication::mouseButtons() & Qt::LeftButton)) {
    dragging_ = false;
    dragScroll_.stop();
    return;
  }
  // Farther out scrolls faster, as text views do.
  const QRect inside = viewport()->rect();
  const auto steps = [](int beyond, int unit) { return 1 + beyond / std::max(1, 2 * unit); };
  QScrollBar* vertical = verticalScrollBar();
  QScrollBar* horizontal = horizontalScrollBar();
  if (dragPoint_.y() < inside.top()) {
    vertical->setValue(vertical->value() - steps(inside.top() - dragPoint_.y(), lineHeight()));
  } else if (dragPoint_.y() > inside.bottom()) {
    vertical->setValue(vertical->value() + steps(dragPoint_.y() - inside.bottom(), lineHeight()));
  }
  if (dragPoint_.x() < inside.left()) {
    horizontal->setValue(horizontal->value() -
                         cellWidth() * steps(inside.left() - dragPoint_.x(), cellWidth()));
  } else if (dragPoint_.x() > inside.right()) {
    horizontal->setValue(horizontal->value() +
                         cellWidth() * steps(dragPoint_.x() - inside.right(), cellWidth()));
  }
  extendSelectionTo(dragPoint_);
}

// --- The rest ---

void OutputPane::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollRanges();
}

void OutputPane::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    fits_[0].clear();
    fits_[1].clear();
    updateScrollRanges();
  }
}

void OutputPane::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void OutputPane::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

void OutputPane::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copyAction =
      menu.addAction(app::FromAnsi(app::texts::kPaneCopy), this, &OutputPane::copy);
  copyAction->setShortcut(QKeySequence::Copy);
  copyAction->setEnabled(hasSelection());
  menu.addSeparator();
  QAction* selectAllAction =
      menu.addAction(app::FromAnsi(app::texts::kPaneSelectAll), this, &OutputPane::selectAll);
  selectAllAction->setShortcut(QKeySequence::SelectAll);
  selectAllAction->setEnabled(endOfText() != Position());
  menu.addSeparator();
  menu.addAction(findAction_);
  menu.addAction(findNextAction_);
  menu.addAction(findPreviousAction_);
  menu.addSeparator();
  menu.addAction(saveAction_);
  menu.exec(event->globalPos());
}

void OutputPane::wheelEvent(QWheelEvent* event) {
  QPoint delta = event->angleDelta();
  // Shift turns the wheel sideways, as text views do; a wheel that turns
  // sideways by itself scrolls sideways too.
  if (event->modifiers().testFlag(Qt::ShiftModifier) && delta.x() == 0) {
    delta = QPoint(delta.y(), 0);
  }
  if (delta.x() == 0 || std::abs(delta.y()) > std::abs(delta.x())) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  QScrollBar* horizontal = horizontalScrollBar();
  const int cells = QApplication::wheelScrollLines() * delta.x() / kWheelNotch;
  horizontal->setValue(horizontal->value() - (cells != 0 ? cells : (delta.x() > 0 ? 1 : -1)) *
                                                 cellWidth());
  event->accept();
}

// --- Finding and saving ---

OutputPane::FindResult OutputPane::find(const QString& text, bool backward, bool matchCase) {
  findText_ = text;
  findMatchCase_ = matchCase;
  const std::optional<std::string> needle = platform::Utf8ToAnsiExact(text.toStdString());
  if (!needle || needle->empty()) return FindResult::NotFound;
  const app::PaneSearch search(*needle, matchCase);
  const Position from = backward ? std::min(caret_, anchor_) : std::max(caret_, anchor_);
  const app::TextPlace place{static_cast<std::size_t>(from.line),
                             static_cast<std::size_t>(from.column)};
  const std::optional<app::TextMatch> match =
      backward ? search.Previous(*lines_, place) : search.Next(*lines_, place);
  if (!match) return FindResult::NotFound;
  const Position start{static_cast<int>(match->start.line),
                       static_cast<qsizetype>(match->start.column)};
  const Position end{start.line, start.column + static_cast<qsizetype>(match->length)};
  // The match's end is brought into view, then its start, which wins where
  // both can't be seen at once.
  moveCaret(end, false);
  moveCaret(start, true);
  goalColumn_ = -1;
  return match->wrapped ? FindResult::Wrapped : FindResult::Found;
}

void OutputPane::openFindBox() {
  if (findBox_ == nullptr) findBox_ = new PaneFindBox(this);
  // A short selection on one line is what the user most likely looks for.
  if (hasSelection() && caret_.line == anchor_.line && std::abs(caret_.column - anchor_.column) < 256) {
    findBox_->TextBox()->setText(selectedText());
  } else if (findBox_->TextBox()->text().isEmpty()) {
    findBox_->TextBox()->setText(findText_);
  }
  findBox_->TextBox()->selectAll();
  findBox_->show();
  findBox_->raise();
  findBox_->activateWindow();
  findBox_->TextBox()->setFocus();
}

void OutputPane::findAgain(bool backward) {
  if (findText_.isEmpty()) {
    openFindBox();
    return;
  }
  const FindResult result = find(findText_, backward, findMatchCase_);
  if (findBox_ != nullptr) findBox_->showOutcome(result, backward);
  if (result == FindResult::NotFound && (findBox_ == nullptr || !findBox_->isVisible())) {
    QApplication::beep();
  }
}

bool OutputPane::saveTo(const QString& path) const {
  std::string text;
  lines_->WriteUtf8([&text](std::string_view piece) { text += piece; });
  if (!lines_->Empty()) text += '\n';
  return platform::WriteFileAtomically(path.toStdString(), text);
}

void OutputPane::saveAs() {
  QFileDialog dialog(window(), app::FromAnsi(app::texts::kPaneSaveAs).remove(QStringLiteral("...")));
  dialog.setObjectName(QStringLiteral("PaneSaveDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(
      {app::FromAnsi(app::texts::kTextFiles), app::FromAnsi(app::texts::kAllFiles)});
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().first();
  if (!saveTo(path)) {
    app::ShowApplicationError(
        app::TextWithPath(app::texts::kFileCannotBeCreated, path.toStdString()));
  }
}

QString OutputPane::textBetween(Position from, Position to) const {
  if (to < from) std::swap(from, to);
  QString text;
  for (int line = from.line; line <= to.line && line < lineCount(); ++line) {
    const std::string_view bytesOfLine = bytes(line);
    const std::size_t begin = line == from.line ? static_cast<std::size_t>(from.column) : 0;
    const std::size_t end =
        line == to.line ? static_cast<std::size_t>(to.column) : bytesOfLine.size();
    if (line > from.line) text += QLatin1Char('\n');
    if (begin < end && end <= bytesOfLine.size()) {
      text += Utf16(bytesOfLine.substr(begin, end - begin));
    }
  }
  return text;
}

QString OutputPane::selectedText() const { return textBetween(anchor_, caret_); }

void OutputPane::selectAll() {
  anchor_ = Position();
  caret_ = endOfText();
  selectionChanged();
  viewport()->update();
  app::AnnouncePaneCaret(this);
}

void OutputPane::copy() const {
  if (hasSelection()) QApplication::clipboard()->setText(selectedText());
}
