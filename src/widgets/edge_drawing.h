// Bevelled edges drawn pixel by pixel in the widget palette's 3-D colours, so
// the flat buttons and the flat edit box look the same on every style.
#pragma once

#include <QColor>
#include <QPalette>
#include <QRect>

class QPainter;

namespace widgets {

// Edge kinds: an outer ring is the rectangle's outermost pixel ring, an inner
// ring the one inside it.
enum : unsigned {
  BDR_RAISEDOUTER = 0x0001,
  BDR_SUNKENOUTER = 0x0002,
  BDR_RAISEDINNER = 0x0004,
  BDR_SUNKENINNER = 0x0008,
  EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
  EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
};

// Which sides are drawn, and what else happens.
enum : unsigned {
  BF_LEFT = 0x0001,
  BF_TOP = 0x0002,
  BF_RIGHT = 0x0004,
  BF_BOTTOM = 0x0008,
  BF_TOPLEFT = BF_TOP | BF_LEFT,
  BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT,
  BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM,
  BF_MIDDLE = 0x0800,  // fill what the rings enclose with the button face
  BF_SOFT = 0x1000,    // the softer top-left colours of a pushed look
  BF_ADJUST = 0x2000,  // shrink the rectangle by the rings drawn
};

// The system colours of the 3-D look, taken from a widget's palette.
struct EdgeColors {
  QColor btnFace;       // Button
  QColor btnHighlight;  // Light
  QColor btnShadow;     // Dark
  QColor darkShadow;    // Shadow
  QColor light3D;       // Midlight
  QColor window;        // Base

  static EdgeColors FromPalette(const QPalette& palette,
                                QPalette::ColorGroup group = QPalette::Active);
};

// Draws the edge; with BF_ADJUST, `rect` is left as the area inside it. The
// top side stops one pixel short of the right corner and the left side one
// short of the bottom: those two corners belong to the bottom and right sides.
void DrawEdge(QPainter& painter, QRect& rect, unsigned edge, unsigned flags,
              const EdgeColors& colors);

// A one-pixel frame in one colour around the inside of `rect`.
void FrameRect(QPainter& painter, const QRect& rect, const QColor& color);

}  // namespace widgets
