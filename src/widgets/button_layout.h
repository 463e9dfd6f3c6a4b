// Where the glyph, the caption and the drop-down arrow go inside a button's
// content rectangle. A pure function of its inputs, so every layout can be
// checked without painting anything.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

#include "widgets/button_types.h"

namespace widgets {

// The drop-down arrow's box: a 5 x 3 triangle with room around it.
constexpr int kArrowWidth = 9;
constexpr int kArrowHeight = 3;
// What Margin and Spacing of -1 stand for where a number is needed.
constexpr int kDefaultSpacing = 4;

struct ButtonContentInput {
  QRect client;        // the content rectangle
  QSize glyph;         // 0 x 0 when no glyph is drawn
  bool arrow = false;  // the drop-down arrow is drawn
  TButtonLayout layout = blGlyphLeft;
  int margin = -1;
  int spacing = kDefaultSpacing;
  bool wordWrap = false;
  bool caption = false;  // a caption is drawn and it is not empty
  QPoint offset;         // (1, 1) while pushed
};

// Measures the caption for a box of the given width, wrapped at it or not.
using CaptionMeasure = std::function<QSize(int width, bool wordWrap)>;

struct ButtonContentLayout {
  QPoint glyph;
  QRect caption;  // also the box the caption is drawn into
  QPoint arrow;   // top-left of the arrow's 9 x 3 box
};

// Integer arithmetic truncating toward zero throughout, as the glyph and text
// sizes come in whole pixels and the result must be reproducible.
ButtonContentLayout LayoutButtonContent(const ButtonContentInput& input,
                                        const CaptionMeasure& measure);

}  // namespace widgets
