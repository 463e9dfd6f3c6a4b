// The output pane: text and an index of where each line starts; painting,
// caret and selection work on the lines in sight only.
#include "app/output_pane.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "app/texts.h"
#include "app/widget_text.h"

namespace {

constexpr int kMargin = 2;
constexpr int kLinesAtLeast = 3;
constexpr int kCellsAtLeast = 16;

}  // namespace

OutputPane::OutputPane(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(1);
}

QSize OutputPane::minimumSizeHint() const {
  const int frame = 2 * frameWidth() + 2 * kMargin;
  return QSize(frame + kCellsAtLeast * fontMetrics().horizontalAdvance(QLatin1Char('M')),
               frame + kLinesAtLeast * lineHeight());
}

void OutputPane::clear() { setPlainText(QString()); }

void OutputPane::setPlainText(QString text) {
  text_ = std::move(text);
  lineStarts_.assign(1, 0);
  longestLine_ = 0;
  indexLines(0);
  caret_ = anchor_ = 0;
  goalX_ = -1;
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
  updateScrollRanges();
  viewport()->update();
}

void OutputPane::appendPlainText(const QString& text) {
  if (text_.isEmpty() && lineStarts_.size() == 1) {
    setPlainText(text);
    return;
  }
  const qsizetype from = text_.size();
  text_ += QLatin1Char('\n');
  text_ += text;
  indexLines(from);
  updateScrollRanges();
  viewport()->update();
}

void OutputPane::indexLines(qsizetype from) {
  for (qsizetype at = text_.indexOf(QLatin1Char('\n'), from); at >= 0;
       at = text_.indexOf(QLatin1Char('\n'), at + 1)) {
    lineStarts_.push_back(at + 1);
  }
  const auto first = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), from);
  for (auto it = first == lineStarts_.begin() ? first : first - 1; it != lineStarts_.end(); ++it) {
    const int index = static_cast<int>(it - lineStarts_.begin());
    longestLine_ = std::max(longestLine_, lineEnd(index) - *it);
  }
}

QString OutputPane::line(int index) const {
  const qsizetype start = lineStarts_[static_cast<std::size_t>(index)];
  return text_.mid(start, lineEnd(index) - start);
}

qsizetype OutputPane::lineEnd(int line) const {
  const auto next = static_cast<std::size_t>(line) + 1;
  return next < lineStarts_.size() ? lineStarts_[next] - 1 : text_.size();
}

int OutputPane::lineOf(qsizetype position) const {
  const auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), position);
  return static_cast<int>(it - lineStarts_.begin()) - 1;
}

int OutputPane::lineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int OutputPane::visibleLineCount() const {
  return std::max(1, (viewport()->height() - kMargin) / lineHeight());
}

int OutputPane::xOfPosition(qsizetype position) const {
  const int line = lineOf(position);
  const qsizetype start = lineStarts_[static_cast<std::size_t>(line)];
  return kMargin + fontMetrics().horizontalAdvance(
                       QStringView(text_).mid(start, position - start).toString());
}

qsizetype OutputPane::positionAt(const QPoint& point) const {
  const int line = std::clamp(verticalScrollBar()->value() + (point.y() - kMargin) / lineHeight(),
                              0, lineCount() - 1);
  const qsizetype start = lineStarts_[static_cast<std::size_t>(line)];
  const qsizetype end = lineEnd(line);
  const int x = point.x() + horizontalScrollBar()->value();
  const QFontMetrics metrics = fontMetrics();
  int left = kMargin;
  for (qsizetype at = start; at < end; ++at) {
    const int width = metrics.horizontalAdvance(text_.at(at));
    if (x < left + width / 2) return at;
    left += width;
  }
  return end;
}

void OutputPane::updateScrollRanges() {
  const int lines = lineCount();
  verticalScrollBar()->setRange(0, std::max(0, lines - visibleLineCount()));
  verticalScrollBar()->setPageStep(visibleLineCount());
  // Half-width letters are one cell and the rest at most two: a bound that is
  // cheap to know without measuring every line.
  const qint64 widest =
      2 * static_cast<qint64>(fontMetrics().horizontalAdvance(QLatin1Char('M'))) * longestLine_;
  const qint64 room = viewport()->width() - 2 * kMargin;
  horizontalScrollBar()->setRange(0,
                                  static_cast<int>(std::clamp<qint64>(widest - room, 0, 1 << 30)));
  horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
  horizontalScrollBar()->setSingleStep(
      std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M'))));
}

void OutputPane::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QFontMetrics metrics = fontMetrics();
  const int height = lineHeight();
  const int first = verticalScrollBar()->value();
  const int last = std::min(lineCount() - 1, first + visibleLineCount());
  const int xOffset = horizontalScrollBar()->value();
  const qsizetype selectionStart = std::min(caret_, anchor_);
  const qsizetype selectionEnd = std::max(caret_, anchor_);
  const QPalette& colors = palette();
  painter.setFont(font());

  for (int line = first; line <= last; ++line) {
    const int top = kMargin + (line - first) * height;
    const int baseline = top + metrics.ascent();
    const qsizetype start = lineStarts_[static_cast<std::size_t>(line)];
    const qsizetype end = lineEnd(line);
    const QString shown = text_.mid(start, end - start);
    const qsizetype from = std::clamp(selectionStart, start, end) - start;
    const qsizetype to = std::clamp(selectionEnd, start, end) - start;
    // The line end counts as selected when the selection runs past it.
    const bool selectsLineEnd = selectionStart <= end && selectionEnd > end;
    int x = kMargin - xOffset;
    const auto draw = [&](qsizetype pieceFrom, qsizetype pieceTo, bool selected) {
      const QString piece = shown.mid(pieceFrom, pieceTo - pieceFrom);
      const int width = metrics.horizontalAdvance(piece);
      if (selected) {
        painter.fillRect(QRect(x, top, width, height), colors.brush(QPalette::Highlight));
        painter.setPen(colors.color(QPalette::HighlightedText));
      } else {
        painter.setPen(colors.color(QPalette::Text));
      }
      painter.drawText(x, baseline, piece);
      x += width;
    };
    draw(0, from, false);
    draw(from, to, true);
    draw(to, shown.size(), false);
    if (selectsLineEnd) {
      painter.fillRect(QRect(x, top, metrics.horizontalAdvance(QLatin1Char(' ')), height),
                       colors.brush(QPalette::Highlight));
    }
  }
  if (hasFocus()) {
    const int line = lineOf(caret_);
    if (line >= first && line <= last) {
      const int x = xOfPosition(caret_) - xOffset;
      painter.fillRect(QRect(x, kMargin + (line - first) * height, 1, height),
                       colors.color(QPalette::Text));
    }
  }
}

void OutputPane::moveCaret(qsizetype position, bool keepAnchor) {
  caret_ = std::clamp<qsizetype>(position, 0, text_.size());
  if (!keepAnchor) anchor_ = caret_;
  ensureCaretVisible();
  viewport()->update();
}

void OutputPane::ensureCaretVisible() {
  const int line = lineOf(caret_);
  QScrollBar* vertical = verticalScrollBar();
  if (line < vertical->value()) vertical->setValue(line);
  if (line >= vertical->value() + visibleLineCount())
    vertical->setValue(line - visibleLineCount() + 1);
  QScrollBar* horizontal = horizontalScrollBar();
  const int x = xOfPosition(caret_);
  const int room = viewport()->width() - 2 * kMargin;
  if (x - kMargin < horizontal->value()) horizontal->setValue(x - kMargin);
  if (x > horizontal->value() + room) horizontal->setValue(x - room);
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
  const int line = lineOf(caret_);
  const qsizetype start = lineStarts_[static_cast<std::size_t>(line)];
  const auto toLine = [&](int target) {
    target = std::clamp(target, 0, lineCount() - 1);
    if (goalX_ < 0) goalX_ = xOfPosition(caret_);
    const int top = (target - verticalScrollBar()->value()) * lineHeight() + kMargin;
    const int keepGoal = goalX_;
    moveCaret(positionAt(QPoint(goalX_ - horizontalScrollBar()->value(), top)), keepAnchor);
    goalX_ = keepGoal;
  };
  switch (event->key()) {
    case Qt::Key_Left:
      moveCaret(caret_ - 1, keepAnchor);
      break;
    case Qt::Key_Right:
      moveCaret(caret_ + 1, keepAnchor);
      break;
    case Qt::Key_Up:
      toLine(line - 1);
      return;
    case Qt::Key_Down:
      toLine(line + 1);
      return;
    case Qt::Key_PageUp:
      toLine(line - visibleLineCount());
      return;
    case Qt::Key_PageDown:
      toLine(line + visibleLineCount());
      return;
    case Qt::Key_Home:
      moveCaret(control ? 0 : start, keepAnchor);
      break;
    case Qt::Key_End:
      moveCaret(control ? text_.size() : lineEnd(line), keepAnchor);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  goalX_ = -1;
}

void OutputPane::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  goalX_ = -1;
  moveCaret(positionAt(event->position().toPoint()),
            event->modifiers().testFlag(Qt::ShiftModifier));
}

void OutputPane::mouseMoveEvent(QMouseEvent* event) {
  if (!event->buttons().testFlag(Qt::LeftButton)) return;
  goalX_ = -1;
  moveCaret(positionAt(event->position().toPoint()), true);
}

void OutputPane::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollRanges();
}

void OutputPane::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) updateScrollRanges();
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
  copyAction->setEnabled(caret_ != anchor_);
  menu.addSeparator();
  QAction* selectAllAction =
      menu.addAction(app::FromAnsi(app::texts::kPaneSelectAll), this, &OutputPane::selectAll);
  selectAllAction->setShortcut(QKeySequence::SelectAll);
  selectAllAction->setEnabled(!text_.isEmpty());
  menu.exec(event->globalPos());
}

QString OutputPane::selectedText() const {
  const qsizetype from = std::min(caret_, anchor_);
  return text_.mid(from, std::max(caret_, anchor_) - from);
}

void OutputPane::selectAll() {
  anchor_ = 0;
  caret_ = text_.size();
  viewport()->update();
}

void OutputPane::copy() const {
  if (caret_ != anchor_) QApplication::clipboard()->setText(selectedText());
}
