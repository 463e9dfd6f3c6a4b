#include "widgets/button_layout.h"

namespace widgets {

namespace {

bool IsEmpty(QSize size) { return size.width() <= 0 || size.height() <= 0; }

// The width the caption may take when it wraps.
int WrapWidth(const ButtonContentInput& in, bool horizontal, int width) {
  if (horizontal && !IsEmpty(in.glyph)) {
    const int spacing = in.spacing == -1 ? kDefaultSpacing : in.spacing;
    int margin = in.margin;
    if (margin == -1) {
      margin = in.spacing == -1 ? kDefaultSpacing : in.spacing;
    }
    return width - (in.glyph.width() + spacing) - 2 * margin;
  }
  return width - 2 * kDefaultSpacing;
}

}  // namespace

ButtonContentLayout LayoutButtonContent(const ButtonContentInput& in,
                                        const CaptionMeasure& measure) {
  const int W = in.client.width();
  const int H = in.client.height();
  const int Gw = in.glyph.width();
  const int Gh = in.glyph.height();
  const bool glyphEmpty = IsEmpty(in.glyph);
  const int Aw = in.arrow ? kArrowWidth : 0;
  const int Ah = in.arrow ? kArrowHeight : 0;

  TButtonLayout layout = in.layout;
  if ((layout == blGlyphTop || layout == blGlyphBottom) && glyphEmpty) {
    layout = blGlyphLeft;
  }
  const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;

  QSize text(0, 0);
  if (in.caption) {
    int width = W - (horizontal ? Aw : 0);
    if (in.wordWrap) {
      width = WrapWidth(in, horizontal, width);
    }
    text = measure(width, in.wordWrap);
  }
  const int Tw = text.width();
  const int Th = text.height();

  ButtonContentLayout out;
  QPoint& glyph = out.glyph;
  QPoint caption;
  QPoint& arrow = out.arrow;

  if (horizontal) {
    glyph.setY((H - Gh + 1) / 2);
    caption.setY((H - Th + 1) / 2);
  } else {
    glyph.setX((W - Gw - Aw + 1) / 2);
    caption.setX((W - Tw + 1) / 2);
    arrow.setX(glyphEmpty ? caption.x() + Tw : glyph.x() + Gw);
  }

  int margin = in.margin;
  int spacing = in.spacing;
  if (IsEmpty(text) || glyphEmpty) {
    spacing = 0;
  }
  const int L = horizontal ? W : H;
  const int g = horizontal ? Gw : Gh;
  const int t = horizontal ? Tw : Th;
  const int a = horizontal ? Aw : 0;
  if (margin == -1 && spacing == -1) {
    margin = spacing = (L - g - t - a) / 3;
  } else if (margin == -1) {
    margin = (L - g - spacing - t - a + 1) / 2;
  } else if (spacing == -1) {
    spacing = (L - margin - g - a - t) / 2;
  }

  switch (layout) {
    case blGlyphLeft:
      glyph.setX(margin);
      caption.setX(margin + Gw + spacing);
      arrow.setX(caption.x() + Tw);
      break;
    case blGlyphRight:
      arrow.setX(W - margin - Aw);
      glyph.setX(arrow.x() - Gw);
      caption.setX(glyph.x() - spacing - Tw);
      break;
    case blGlyphTop:
      glyph.setY(margin);
      caption.setY(margin + Gh + spacing);
      break;
    case blGlyphBottom:
      glyph.setY(H - margin - Gh);
      caption.setY(glyph.y() - spacing - Th);
      break;
  }
  arrow.setY(glyphEmpty ? caption.y() + (Th - Ah) / 2 : glyph.y() + (Gh - Ah) / 2);

  const QPoint shift = in.client.topLeft() + in.offset;
  glyph += shift;
  arrow += shift;
  out.caption = QRect(caption + shift, text);
  return out;
}

}  // namespace widgets
