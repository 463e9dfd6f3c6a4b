// The output pane: a read-only view of many lines of text that lays out and
// draws only the lines in sight, so an answer of millions of lines appears as
// fast as a short one. No word wrap, no scroll bars of its own (the wheel and
// the keys still scroll); the caret and the selection move by keyboard and
// mouse, and the selection can be copied (keys, or the context menu).
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <vector>

class OutputPane : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit OutputPane(QWidget* parent = nullptr);

  void clear();
  // Replaces the text; lines are separated by '\n'.
  void setPlainText(QString text);
  // Adds `text` as one or more new lines after the last one.
  void appendPlainText(const QString& text);
  QString toPlainText() const { return text_; }
  int lineCount() const { return static_cast<int>(lineStarts_.size()); }
  QString line(int index) const;
  // Nothing ever edits the pane.
  bool isReadOnly() const { return true; }
  // Room for a few lines of a few dozen cells.
  QSize minimumSizeHint() const override;

  QString selectedText() const;
  void selectAll();
  void copy() const;
  // The caret as an offset into the text, and the other end of the selection.
  qsizetype caretPosition() const { return caret_; }
  qsizetype anchorPosition() const { return anchor_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  int lineOf(qsizetype position) const;
  qsizetype lineEnd(int line) const;
  int lineHeight() const;
  int visibleLineCount() const;
  int xOfPosition(qsizetype position) const;
  qsizetype positionAt(const QPoint& point) const;
  void moveCaret(qsizetype position, bool keepAnchor);
  void ensureCaretVisible();
  void updateScrollRanges();
  void indexLines(qsizetype from);

  QString text_;
  std::vector<qsizetype> lineStarts_{0};
  qsizetype longestLine_ = 0;
  qsizetype caret_ = 0;
  qsizetype anchor_ = 0;
  // The column the caret keeps while it moves up and down, in pixels.
  int goalX_ = -1;
};
