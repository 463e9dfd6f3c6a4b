// The operation panel's tree widget. It tells whether a selection change comes
// from its own handling of a mouse press: a command cycle must not run inside
// that handling, which carries on after the cycle and would undo whatever the
// program did to the selection meanwhile.
#pragma once

#include <QTreeWidget>

class PanelTreeView : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;

  bool HandlingMousePress() const { return handlingMousePress_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    struct Handling {
      explicit Handling(bool& flag) : flag_(flag) { flag_ = true; }
      ~Handling() { flag_ = false; }
      bool& flag_;
    } handling(handlingMousePress_);
    QTreeWidget::mousePressEvent(event);
  }

 private:
  bool handlingMousePress_ = false;
};
