// TFlatEdit: a one-line edit box with a 3-pixel frame of its own, flat while
// idle and sunken while it has the focus or the mouse is over it (unless
// another flat edit box has the focus, so only one box looks sunken at a time).
// It sizes its height to its font.
#pragma once

#include <QLineEdit>

namespace widgets {

class TFlatEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TFlatEdit(QWidget* parent = nullptr);
  explicit TFlatEdit(const QString& text, QWidget* parent = nullptr);

  // True between the pointer's arrival and its leaving.
  bool MouseOver() const { return mouseOver_; }
  // The look the frame is drawn with right now.
  bool Sunken() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void initStyleOption(QStyleOptionFrame* option) const override;

 private:
  void fitHeightToFont();
  void DrawFrame();

  bool mouseOver_ = false;
};

}  // namespace widgets
