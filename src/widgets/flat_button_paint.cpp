// TFlatButton: painting. Opaque buttons are drawn into an off-screen pixmap of
// their size and copied in one go, so a hot or pressed face never flickers.
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>

#include "widgets/edge_drawing.h"
#include "widgets/flat_button.h"
#include "widgets/flat_button_hooks.h"

namespace widgets {

namespace {
constexpr int kComboPartWidth = 11;
}

void TFlatButton::paintEvent(QPaintEvent*) {
  const bool offScreen = opaque_ || !flat_;
  QPixmap buffer;
  if (offScreen) {
    buffer = QPixmap(size() * devicePixelRatioF());
    buffer.setDevicePixelRatio(devicePixelRatioF());
    buffer.fill(Color());
  }
  QPainter painter;
  if (offScreen) {
    painter.begin(&buffer);
  } else {
    painter.begin(this);
  }

  const EdgeColors colors = EdgeColors::FromPalette(palette());
  const bool pushed = state_ == bfPressed || state_ == bfLatched;
  const bool combo = comboWithMenu();
  const bool comboPress = combo && menuPress_;
  const bool border = !noBorder_ && (!flat_ || pushed || (pointerOver_ && state_ != bfDisabled));

  QRect main = rect();
  if (combo) {
    if (border) {
      QRect arrowPart(width() - kComboPartWidth, 0, kComboPartWidth - 2, height());
      const bool sunken = state_ == bfPressed && menuPress_;
      if (flat_) {
        DrawEdge(painter, arrowPart, sunken ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT, colors);
      } else {
        DrawEdge(painter, arrowPart, sunken ? EDGE_SUNKEN : EDGE_RAISED,
                 BF_RECT | BF_MIDDLE | BF_SOFT, colors);
      }
    }
    main.setRight(main.right() - kComboPartWidth);
  }
  if (border) {
    QRect edge = main;
    const bool sunken = pushed && !comboPress;
    if (flat_) {
      DrawEdge(painter, edge, sunken ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT, colors);
    } else {
      DrawEdge(painter, edge, sunken ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_SOFT,
               colors);
    }
  }

  QRect content = main;
  if (!noBorder_) {
    const int inset = flat_ ? 1 : 2;
    content.adjust(inset, inset, -inset, -inset);
  }
  QPoint offset;
  if (pushed && !comboPress) {
    offset = QPoint(1, 1);
  }
  if (state_ == bfLatched && (!flat_ || !pointerOver_)) {
    painter.fillRect(content,
                     QBrush(FlatButtonHooks::LatchPattern(colors.btnFace, colors.btnHighlight)));
  }

  TButtonGlyph::DrawParams params;
  params.client = content;
  params.offset = offset;
  params.caption = caption_;
  params.layout = layout_;
  params.margin = margin_;
  params.spacing = spacing_;
  params.state = state_;
  params.wordWrap = wordWrap_;
  params.alignment = alignment_;
  params.arrow = dropdownArrow_ && hasMenu_ && !dropdownCombo_;
  params.drawGlyph = displayMode_ != dmTextOnly;
  params.drawCaption = displayMode_ != dmGlyphOnly;
  params.font = font();
  params.palette = palette();
  glyph_.Draw(painter, params);

  if (combo) {
    const QColor arrow = state_ == bfDisabled
                             ? colors.btnShadow
                             : palette().color(QPalette::Active, QPalette::ButtonText);
    DrawDropdownArrow(painter, QPoint(width() - 13, height() / 2 - 1), arrow);
  }

  painter.end();
  if (offScreen) {
    QPainter screen(this);
    screen.drawPixmap(0, 0, buffer);
  }
}

}  // namespace widgets
