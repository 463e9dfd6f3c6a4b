#include "widgets/button_glyph.h"

#include <QFontMetrics>
#include <QPainter>

#include "widgets/edge_drawing.h"

namespace widgets {

namespace {

constexpr int kMaxGlyphs = 5;
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kLightGrey = qRgb(192, 192, 192);
const QRgb kMidGrey = qRgb(128, 128, 128);

int TextFlags(bool wordWrap) {
  return Qt::TextShowMnemonic | (wordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
}

Qt::Alignment HorizontalAlignment(TAlignment alignment) {
  switch (alignment) {
    case taLeftJustify:
      return Qt::AlignLeft;
    case taRightJustify:
      return Qt::AlignRight;
    case taCenter:
      break;
  }
  return Qt::AlignHCenter;
}

bool Visible(QRgb pixel) { return qAlpha(pixel) != 0; }

}  // namespace

TButtonGlyph::TButtonGlyph() {
  slots_.fill(-1);
  TGlyphCache::AddUser();
}

TButtonGlyph::~TButtonGlyph() {
  Invalidate();
  TGlyphCache::RemoveUser();
}

void TButtonGlyph::SetGlyph(const QImage& glyph) {
  glyph_ = glyph.convertToFormat(QImage::Format_RGB32);
  int count = 1;
  if (!glyph_.isNull() && glyph_.height() > 0 && glyph_.width() % glyph_.height() == 0) {
    const int quotient = glyph_.width() / glyph_.height();
    if (quotient >= 1 && quotient <= kMaxGlyphs) {
      count = quotient;
    }
  }
  numGlyphs_ = count;
  transparentColor_ = glyph_.isNull() ? QColor() : QColor(glyph_.pixel(0, glyph_.height() - 1));
  changed();
}

void TButtonGlyph::SetGlyphMask(const QImage& mask) {
  glyphMask_ = mask.convertToFormat(QImage::Format_RGB32);
  changed();
}

int TButtonGlyph::NumGlyphs() const {
  if (images_ != nullptr || numGlyphs_ < 1 || numGlyphs_ > kMaxGlyphs) {
    return 1;
  }
  return numGlyphs_;
}

void TButtonGlyph::SetNumGlyphs(int count) {
  if (count != numGlyphs_) {
    numGlyphs_ = count;
    changed();
  }
}

void TButtonGlyph::SetImages(TImageList* images) {
  if (images != images_) {
    images_ = images;
    changed();
  }
}

void TButtonGlyph::SetImageIndex(int index) {
  if (index != imageIndex_) {
    imageIndex_ = index;
    changed();
  }
}

void TButtonGlyph::SetOldDisabledStyle(bool value) {
  if (value != oldDisabledStyle_) {
    oldDisabledStyle_ = value;
    changed();
  }
}

void TButtonGlyph::changed() { Invalidate(); }

QSize TButtonGlyph::GlyphSize() const {
  if (images_ != nullptr) {
    return images_->Size();
  }
  if (glyph_.isNull()) {
    return QSize(0, 0);
  }
  return QSize(glyph_.width() / NumGlyphs(), glyph_.height());
}

TGlyphList* TButtonGlyph::ListOf(TButtonFaceState state) const {
  return state == bfDisabled ? disabledList_ : normalList_;
}

void TButtonGlyph::Invalidate() {
  for (int state = 0; state < kFaceStateCount; ++state) {
    TGlyphList* list = ListOf(static_cast<TButtonFaceState>(state));
    if (slots_[state] >= 0 && list != nullptr) {
      list->DeleteImage(slots_[state]);
    }
    slots_[state] = -1;
  }
  TGlyphCache* cache = TGlyphCache::Instance();
  for (TGlyphList** list : {&normalList_, &disabledList_}) {
    if (*list != nullptr && cache != nullptr) {
      cache->ReturnList(*list);
    }
    *list = nullptr;
  }
}

QImage TButtonGlyph::sourceImage(int subImage) const {
  if (images_ != nullptr) {
    if (imageIndex_ < 0 || imageIndex_ >= images_->Count()) {
      return {};
    }
    return images_->Image(imageIndex_);
  }
  const QSize size = GlyphSize();
  if (size.isEmpty()) {
    return {};
  }
  const QRect part(subImage * size.width(), 0, size.width(), size.height());
  QImage image = glyph_.copy(part).convertToFormat(QImage::Format_ARGB32);
  const bool masked = !glyphMask_.isNull();
  const QImage mask = masked ? glyphMask_.copy(part) : QImage();
  const QRgb transparent = transparentColor_.rgb();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const bool clear =
          masked ? (x < mask.width() && y < mask.height() && qGray(mask.pixel(x, y)) >= 128)
                 : (image.pixel(x, y) | 0xff000000u) == transparent;
      if (clear) {
        image.setPixel(x, y, qRgba(0, 0, 0, 0));
      }
    }
  }
  return image;
}

QImage TButtonGlyph::stateImage(TButtonFaceState state, const QPalette& palette) const {
  const EdgeColors colors = EdgeColors::FromPalette(palette);
  const int count = NumGlyphs();
  if (state == bfDisabled) {
    if (images_ == nullptr && count >= 2) {
      return RecolouredDisabled(sourceImage(1), colors.btnHighlight, colors.btnShadow);
    }
    return EmbossedSilhouette(sourceImage(0), colors.btnHighlight, colors.btnShadow,
                              oldDisabledStyle_);
  }
  return sourceImage(state < count ? state : 0);
}

bool TButtonGlyph::ensureImage(TButtonFaceState state, const QPalette& palette) {
  if (slots_[state] >= 0) {
    return true;
  }
  const QImage image = stateImage(state, palette);
  if (image.isNull()) {
    return false;
  }
  const QSize size = GlyphSize();
  TGlyphList*& list = state == bfDisabled ? disabledList_ : normalList_;
  if (list == nullptr) {
    const int extra = state == bfDisabled ? 1 : 0;
    list = TGlyphCache::Instance()->GetList(size.width() + extra, size.height() + extra);
  }
  slots_[state] = list->AddImage(image);
  return true;
}

void TButtonGlyph::Draw(QPainter& painter, const DrawParams& params) {
  const bool drawGlyph = params.drawGlyph && !GlyphSize().isEmpty();
  const bool captionShown = params.drawCaption && !params.caption.isEmpty();
  ButtonContentInput input;
  input.client = params.client;
  input.glyph = drawGlyph ? GlyphSize() : QSize(0, 0);
  input.arrow = params.arrow;
  input.layout = params.layout;
  input.margin = params.margin;
  input.spacing = params.spacing;
  input.wordWrap = params.wordWrap;
  input.caption = captionShown;
  input.offset = params.offset;
  const QFontMetrics metrics(params.font);
  const ButtonContentLayout layout = LayoutButtonContent(input, [&](int width, bool wrap) {
    if (wrap) {
      return metrics
          .boundingRect(QRect(0, 0, std::max(width, 1), 0x10000), TextFlags(true), params.caption)
          .size();
    }
    return metrics.size(TextFlags(false), params.caption);
  });

  if (drawGlyph && ensureImage(params.state, params.palette)) {
    ListOf(params.state)->Draw(painter, slots_[params.state], layout.glyph);
  }
  if (captionShown) {
    drawCaption(painter, layout.caption, params);
  }
  if (params.arrow) {
    drawArrow(painter, layout.arrow, params);
  }
}

void TButtonGlyph::drawCaption(QPainter& painter, const QRect& box,
                               const DrawParams& params) const {
  painter.save();
  painter.setFont(params.font);
  const int flags =
      TextFlags(params.wordWrap) | HorizontalAlignment(params.alignment) | Qt::AlignVCenter;
  const EdgeColors colors = EdgeColors::FromPalette(params.palette);
  if (params.state == bfDisabled) {
    painter.setPen(colors.btnHighlight);
    painter.drawText(box.translated(1, 1), flags, params.caption);
    painter.setPen(colors.btnShadow);
  } else {
    painter.setPen(params.palette.color(QPalette::Active, QPalette::ButtonText));
  }
  painter.drawText(box, flags, params.caption);
  painter.restore();
}

void DrawDropdownArrow(QPainter& painter, QPoint at, const QColor& color) {
  // Rows of 5, 3 and 1 pixels: the triangle (x+4, y), (x+8, y), (x+6, y+2).
  for (int row = 0; row < 3; ++row) {
    painter.fillRect(QRect(at.x() + 4 + row, at.y() + row, 5 - 2 * row, 1), color);
  }
}

void TButtonGlyph::drawArrow(QPainter& painter, QPoint at, const DrawParams& params) const {
  const EdgeColors colors = EdgeColors::FromPalette(params.palette);
  if (params.state == bfDisabled) {
    DrawDropdownArrow(painter, at + QPoint(1, 1), colors.btnHighlight);
    DrawDropdownArrow(painter, at, colors.btnShadow);
  } else {
    DrawDropdownArrow(painter, at, params.palette.color(QPalette::Active, QPalette::ButtonText));
  }
}

QImage EmbossedSilhouette(const QImage& glyph, const QColor& highlight, const QColor& shadow,
                          bool oldStyle) {
  if (glyph.isNull()) {
    return {};
  }
  const QImage source = glyph.convertToFormat(QImage::Format_ARGB32);
  QImage result(source.width() + 1, source.height() + 1, QImage::Format_ARGB32);
  result.fill(Qt::transparent);
  auto inSilhouette = [&](int x, int y) {
    const QRgb pixel = source.pixel(x, y);
    if (!Visible(pixel)) {
      return false;
    }
    const QRgb colour = pixel | 0xff000000u;
    return oldStyle || (colour != kWhite && colour != kLightGrey);
  };
  const std::pair<int, QRgb> passes[] = {{1, highlight.rgb()}, {0, shadow.rgb()}};
  for (const auto& [offset, colour] : passes) {
    for (int y = 0; y < source.height(); ++y) {
      for (int x = 0; x < source.width(); ++x) {
        if (inSilhouette(x, y)) {
          result.setPixel(x + offset, y + offset, colour | 0xff000000u);
        }
      }
    }
  }
  return result;
}

QImage RecolouredDisabled(const QImage& glyph, const QColor& highlight, const QColor& shadow) {
  if (glyph.isNull()) {
    return {};
  }
  QImage result = glyph.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < result.height(); ++y) {
    for (int x = 0; x < result.width(); ++x) {
      const QRgb pixel = result.pixel(x, y);
      if (!Visible(pixel)) {
        continue;
      }
      if ((pixel | 0xff000000u) == kWhite) {
        result.setPixel(x, y, highlight.rgb());
      } else if ((pixel | 0xff000000u) == kMidGrey) {
        result.setPixel(x, y, shadow.rgb());
      }
    }
  }
  return result;
}

}  // namespace widgets
