// The output pane's find box: a small box beside the window, left open while
// the user goes from match to match. Return finds the next place, the
// buttons either way, F3 and Shift+F3 too; it says when nothing was found or
// the search went round the end of the text.
#pragma once

#include <QDialog>

#include "app/output_pane.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class PaneFindBox : public QDialog {
  Q_OBJECT

 public:
  explicit PaneFindBox(OutputPane* pane);

  QLineEdit* TextBox() const { return text_; }
  QCheckBox* MatchCaseBox() const { return matchCase_; }
  QPushButton* NextButton() const { return next_; }
  QPushButton* PreviousButton() const { return previous_; }
  // What the last search found, or empty.
  QString Outcome() const;

  // Looks for the box's text from the pane's selection, in either direction.
  void findFrom(bool backward);
  // Says what a search of the pane found.
  void showOutcome(OutputPane::FindResult result, bool backward);

 private:
  OutputPane* pane_;
  QLineEdit* text_;
  QCheckBox* matchCase_;
  QPushButton* next_;
  QPushButton* previous_;
  QLabel* outcome_;
};
