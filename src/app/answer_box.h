// The box that "-cd" shows with a window: the answer in the output pane's own
// view (its fixed-pitch font, selectable and copyable, drawn from the answer
// as kept, never copied whole, with the focus) and one OK button, the
// default, which Return presses wherever the focus is. However long
// the answer, the box fits the screen it opens on and OK stays in sight;
// the pane scrolls.
#pragma once

#include <QDialog>

#include "app/pane_lines.h"

class OutputPane;
class QPushButton;

namespace app {

class AnswerBox : public QDialog {
  Q_OBJECT

 public:
  // `lines` stay the caller's and must not change while the box is open.
  AnswerBox(QWidget* owner, const QString& caption, const PaneLines& lines);

  OutputPane* Pane() const { return pane_; }
  QPushButton* OkButton() const { return ok_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void fitToScreen(const PaneLines& lines);

  OutputPane* pane_;
  QPushButton* ok_;
};

// Shows the box modally and returns once it is closed.
void ShowAnswerBox(QWidget* owner, const QString& caption, const PaneLines& lines);

}  // namespace app
