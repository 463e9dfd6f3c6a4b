// TFlatButtonActionLink: ties a flat button to a QAction. The action's text,
// enabled state, tool tip and visibility go to the button as with any
// control; its checked state drives Down and its "imageIndex" property (an
// int set with QObject::setProperty) drives ImageIndex, but only while the
// button still agrees with the action, so a button the user changed on its
// own is no longer pulled along.
#pragma once

#include <QObject>
#include <QPointer>

class QAction;

namespace widgets {

class TFlatButton;

class TFlatButtonActionLink : public QObject {
  Q_OBJECT

 public:
  TFlatButtonActionLink(TFlatButton* button, QAction* action);
  ~TFlatButtonActionLink() override;

  QAction* Action() const { return action_; }
  // Copies the action's values to the button. With `checkDefaults` only
  // values the button still has at their defaults are taken.
  void ActionChange(bool checkDefaults);
  // Runs the action, as a click of the button does.
  void Execute();
  // Assigning the button to an action: the action takes the button's Down.
  static void AssignTo(const TFlatButton& button, QAction* action);

  static int ActionImageIndex(const QAction* action);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void actionChanged();
  void imageIndexChanged();

  TFlatButton* button_;
  QPointer<QAction> action_;
  // The action's values as the button last saw them.
  bool checked_ = false;
  int imageIndex_ = -1;
};

}  // namespace widgets
