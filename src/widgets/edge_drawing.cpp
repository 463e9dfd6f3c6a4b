#include "widgets/edge_drawing.h"

#include <QPainter>

namespace widgets {

EdgeColors EdgeColors::FromPalette(const QPalette& palette, QPalette::ColorGroup group) {
  return EdgeColors{
      palette.color(group, QPalette::Button),   palette.color(group, QPalette::Light),
      palette.color(group, QPalette::Dark),     palette.color(group, QPalette::Shadow),
      palette.color(group, QPalette::Midlight), palette.color(group, QPalette::Base)};
}

namespace {

struct RingColors {
  QColor topLeft;
  QColor bottomRight;
};

// Draws one ring on the sides asked for and shrinks `rect` on those sides.
void DrawRing(QPainter& painter, QRect& rect, unsigned flags, const RingColors& colors) {
  if (rect.width() <= 0 || rect.height() <= 0) {
    return;
  }
  const int left = rect.left();
  const int top = rect.top();
  const int right = rect.right();  // last column, inclusive
  const int bottom = rect.bottom();
  if (flags & BF_TOP) {
    painter.fillRect(QRect(left, top, right - left, 1), colors.topLeft);
  }
  if (flags & BF_LEFT) {
    painter.fillRect(QRect(left, top, 1, bottom - top), colors.topLeft);
  }
  if (flags & BF_BOTTOM) {
    painter.fillRect(QRect(left, bottom, right - left + 1, 1), colors.bottomRight);
  }
  if (flags & BF_RIGHT) {
    painter.fillRect(QRect(right, top, 1, bottom - top + 1), colors.bottomRight);
  }
  rect.adjust(flags & BF_LEFT ? 1 : 0, flags & BF_TOP ? 1 : 0, flags & BF_RIGHT ? -1 : 0,
              flags & BF_BOTTOM ? -1 : 0);
}

}  // namespace

void DrawEdge(QPainter& painter, QRect& rect, unsigned edge, unsigned flags,
              const EdgeColors& colors) {
  const bool soft = flags & BF_SOFT;
  QRect inside = rect;
  if (edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER)) {
    const RingColors outer =
        (edge & BDR_RAISEDOUTER)
            ? RingColors{soft ? colors.btnHighlight : colors.light3D, colors.darkShadow}
            : RingColors{soft ? colors.darkShadow : colors.btnShadow, colors.btnHighlight};
    DrawRing(painter, inside, flags, outer);
  }
  if (edge & (BDR_RAISEDINNER | BDR_SUNKENINNER)) {
    const RingColors inner =
        (edge & BDR_RAISEDINNER)
            ? RingColors{soft ? colors.light3D : colors.btnHighlight, colors.btnShadow}
            : RingColors{soft ? colors.btnShadow : colors.darkShadow, colors.light3D};
    DrawRing(painter, inside, flags, inner);
  }
  if ((flags & BF_MIDDLE) && inside.isValid()) {
    painter.fillRect(inside, colors.btnFace);
  }
  if (flags & BF_ADJUST) {
    rect = inside;
  }
}

void FrameRect(QPainter& painter, const QRect& rect, const QColor& color) {
  QRect ring = rect;
  DrawRing(painter, ring, BF_RECT, RingColors{color, color});
}

}  // namespace widgets
