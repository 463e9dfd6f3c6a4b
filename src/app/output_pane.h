// The output pane: a read-only view of many lines of Shift-JIS text. It draws
// straight from the lines it is given (the router's answer as received), lays
// each line out on a grid of cells of its fixed-pitch font and converts only
// what it draws, so an answer of millions of lines, or one line of megabytes,
// appears and scrolls as fast as a short one. No word wrap, no scroll bars of
// its own (the wheel and the keys still scroll); the caret and the selection
// move by keyboard and mouse, and the selection can be copied (keys, the
// context menu, the primary selection where the platform has one). Its text
// can be saved to a file and searched (keys and context menu).
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QString>
#include <compare>

#include "app/pane_lines.h"

class PaneFindBox;
class PaneSelectionData;
class QAction;
namespace app {
class OutputPaneAccessible;
}

// A place between characters of the output pane: a line and a byte offset
// into it, which is also its cell.
struct PanePosition {
  int line = 0;
  qsizetype column = 0;
  friend auto operator<=>(const PanePosition&, const PanePosition&) = default;
};

class OutputPane : public QAbstractScrollArea {
  Q_OBJECT

 public:
  using Position = PanePosition;

  explicit OutputPane(QWidget* parent = nullptr);
  ~OutputPane() override;

  // Shows `lines`, which stay the caller's. After a change of them call
  // linesAdded() when lines were only added, else linesReset().
  void setLines(const app::PaneLines* lines);
  void linesAdded();
  void linesReset();

  // Lines of the pane's own, for small texts: converted to Shift-JIS.
  void clear();
  void setPlainText(const QString& text);
  void appendPlainText(const QString& text);
  // The whole text, lines joined by '\n' (a copy: for small texts).
  QString toPlainText() const;
  int lineCount() const;
  QString line(int index) const;
  // Nothing ever edits the pane.
  bool isReadOnly() const { return true; }
  // Room for a few lines of a few dozen cells.
  QSize minimumSizeHint() const override;
  // The width of one cell, half that of a double-byte character.
  int cellWidth() const;

  QString selectedText() const;
  bool hasSelection() const { return caret_ != anchor_; }
  void selectAll();
  void copy() const;
  Position caretPosition() const { return caret_; }
  Position anchorPosition() const { return anchor_; }
  // The text between two places, in UTF-16, converted line by line.
  QString textBetween(Position from, Position to) const;

  // Selects the next (or previous) place where `text` occurs, going round the
  // end of the text, and scrolls it into view. Without `matchCase`, single-
  // byte letters match in either case.
  enum class FindResult { Found, Wrapped, NotFound };
  FindResult find(const QString& text, bool backward, bool matchCase);
  // The last text looked for, and its case setting: F3 and Shift+F3 repeat it.
  const QString& findText() const { return findText_; }
  bool findMatchCase() const { return findMatchCase_; }
  // Opens the find box (Ctrl+F), or repeats the last search (F3, Shift+F3:
  // the box opens when there was none).
  void openFindBox();
  void findAgain(bool backward);
  PaneFindBox* findBox() const { return findBox_; }

  // Writes the pane's text to `path` as UTF-8, each line ended by LF,
  // replacing a file there at once as a whole. False when it could not.
  bool saveTo(const QString& path) const;
  // Asks where to save (Ctrl+S) and saves; a failed write is reported as the
  // program's own files are.
  void saveAs();

  QAction* saveAction() const { return saveAction_; }
  QAction* findAction() const { return findAction_; }
  QAction* findNextAction() const { return findNextAction_; }
  QAction* findPreviousAction() const { return findPreviousAction_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  friend class PaneSelectionData;
  friend class app::OutputPaneAccessible;
  enum class Unit { Character, Word, Line };

  std::string_view bytes(int line) const;
  Position endOfText() const;
  int lineHeight() const;
  int visibleLineCount() const;
  // The first pixel of `column` (cells) from the text's left edge.
  qint64 xOfColumn(qsizetype column) const;
  Position positionAt(QPoint point) const;
  // The place before the character under `point`; a double click selects
  // around it.
  Position characterAt(QPoint point) const;
  // The character boundary of `line` nearest to `cells` cells from its start.
  qsizetype columnNearest(int line, double cells) const;
  Position stepLeft(Position at) const;
  Position stepRight(Position at) const;
  // The word or line around `at`, as the start and end of a selection.
  std::pair<Position, Position> unitAround(Position at, Unit unit) const;
  void moveCaret(Position position, bool keepAnchor);
  void selectionChanged();
  void extendSelectionTo(QPoint point);
  void ensureCaretVisible();
  void updateScrollRanges();
  void drawLine(QPainter& painter, int line, int top);
  // True when `c` drawn alone advances exactly `cells` cells.
  bool fitsCells(QChar c, int cells) const;

  const app::PaneLines* lines_;
  app::PaneLines ownLines_;
  // Bumped whenever the lines are replaced, so that an offered selection of
  // the old ones gives nothing.
  quint64 generation_ = 0;
  Position caret_;
  Position anchor_;
  // The column the caret keeps while it moves up and down, in cells.
  qsizetype goalColumn_ = -1;
  // A drag that started with a double or triple click extends by words or
  // lines, keeping the unit it started on.
  Unit dragUnit_ = Unit::Character;
  std::pair<Position, Position> dragOrigin_;
  bool dragging_ = false;
  QElapsedTimer lastDoubleClick_;
  QPoint lastDoubleClickAt_;
  // Keeps a drag that left the pane scrolling towards the pointer.
  QBasicTimer dragScroll_;
  QPoint dragPoint_;
  mutable QHash<char16_t, bool> fits_[2];
  QPointer<PaneSelectionData> offered_;
  QString findText_;
  bool findMatchCase_ = false;
  PaneFindBox* findBox_ = nullptr;
  QAction* saveAction_;
  QAction* findAction_;
  QAction* findNextAction_;
  QAction* findPreviousAction_;
};
