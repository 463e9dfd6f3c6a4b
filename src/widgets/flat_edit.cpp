#include "widgets/flat_edit.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionFrame>

#include "widgets/edge_drawing.h"

namespace widgets {

namespace {
constexpr int kFrameWidth = 3;
}

TFlatEdit::TFlatEdit(QWidget* parent) : TFlatEdit(QString(), parent) {}

TFlatEdit::TFlatEdit(const QString& text, QWidget* parent) : QLineEdit(text, parent) {
  // The frame is ours; the text keeps clear of it.
  setFrame(false);
  setTextMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
  setAttribute(Qt::WA_Hover, true);
  fitHeightToFont();
}

void TFlatEdit::fitHeightToFont() {
  setFixedHeight(QFontMetrics(font()).height() + 2 * kFrameWidth);
}

bool TFlatEdit::Sunken() const {
  if (hasFocus()) {
    return true;
  }
  return isEnabled() && mouseOver_ &&
         qobject_cast<const TFlatEdit*>(QApplication::focusWidget()) == nullptr;
}

void TFlatEdit::initStyleOption(QStyleOptionFrame* option) const {
  QLineEdit::initStyleOption(option);
  // The window colour while the box takes input, the button face when not.
  const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
  option->palette.setBrush(
      group, QPalette::Base,
      palette().brush(QPalette::Active, isEnabled() ? QPalette::Base : QPalette::Button));
}

void TFlatEdit::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  DrawFrame();
}

void TFlatEdit::DrawFrame() {
  QPainter painter(this);
  const EdgeColors colors = EdgeColors::FromPalette(palette());
  QRect r = rect();
  if (Sunken()) {
    DrawEdge(painter, r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST, colors);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), colors.btnFace);
    painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), colors.btnFace);
    DrawEdge(painter, r, BDR_SUNKENINNER, BF_BOTTOMRIGHT, colors);
    r.adjust(1, 1, -1, -1);
    FrameRect(painter, r, colors.window);
  } else {
    FrameRect(painter, r, colors.btnFace);
    r.adjust(1, 1, -1, -1);
    FrameRect(painter, r, colors.btnFace);
    r.adjust(1, 1, -1, -1);
    FrameRect(painter, r, colors.window);
  }
}

void TFlatEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    fitHeightToFont();
  }
}

void TFlatEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  update();
}

void TFlatEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  update();
}

void TFlatEdit::enterEvent(QEnterEvent* event) {
  mouseOver_ = true;
  QLineEdit::enterEvent(event);
  update();
}

void TFlatEdit::leaveEvent(QEvent* event) {
  mouseOver_ = false;
  QLineEdit::leaveEvent(event);
  update();
}

}  // namespace widgets
