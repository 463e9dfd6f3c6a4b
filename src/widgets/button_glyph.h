// A button's glyph and caption: where they go (button_layout.h), how they are
// drawn, and the ready-made image of every face state, kept in the shared
// glyph lists so that buttons with same-size glyphs share one list.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QPointer>
#include <QRect>
#include <QString>
#include <array>

#include "widgets/button_layout.h"
#include "widgets/button_types.h"
#include "widgets/image_list.h"

class QPainter;

namespace widgets {

class TButtonGlyph {
 public:
  TButtonGlyph();
  ~TButtonGlyph();
  TButtonGlyph(const TButtonGlyph&) = delete;
  TButtonGlyph& operator=(const TButtonGlyph&) = delete;

  // A strip of NumGlyphs images side by side: up, disabled, pressed, latched,
  // hot. Its bottom-left pixel is the colour that stays transparent.
  const QImage& Glyph() const { return glyph_; }
  void SetGlyph(const QImage& glyph);
  // Optional monochrome mask of the strip: white pixels are transparent.
  const QImage& GlyphMask() const { return glyphMask_; }
  void SetGlyphMask(const QImage& mask);
  int NumGlyphs() const;
  void SetNumGlyphs(int count);
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  bool OldDisabledStyle() const { return oldDisabledStyle_; }
  void SetOldDisabledStyle(bool value);
  QColor TransparentColor() const { return transparentColor_; }

  // The size of one glyph image; 0 x 0 without a glyph.
  QSize GlyphSize() const;
  // Drops every state image, giving its slot back (and an emptied list back to
  // the cache). The images are made again when next drawn.
  void Invalidate();

  struct DrawParams {
    QRect client;
    QPoint offset;
    QString caption;
    TButtonLayout layout = blGlyphLeft;
    int margin = -1;
    int spacing = kDefaultSpacing;
    TButtonFaceState state = bfUp;
    bool wordWrap = false;
    TAlignment alignment = taCenter;
    bool arrow = false;
    bool drawGlyph = true;
    bool drawCaption = true;
    QFont font;
    QPalette palette;
  };
  void Draw(QPainter& painter, const DrawParams& params);

  // Where the image of a state sits: its list and slot (null, -1 until made).
  TGlyphList* ListOf(TButtonFaceState state) const;
  int SlotOf(TButtonFaceState state) const { return slots_[state]; }

 private:
  // Makes the state's image on first use; false when there is nothing to draw.
  bool ensureImage(TButtonFaceState state, const QPalette& palette);
  QImage sourceImage(int subImage) const;
  QImage stateImage(TButtonFaceState state, const QPalette& palette) const;
  void drawCaption(QPainter& painter, const QRect& box, const DrawParams& params) const;
  void drawArrow(QPainter& painter, QPoint at, const DrawParams& params) const;
  void changed();

  QImage glyph_;
  QImage glyphMask_;
  int numGlyphs_ = 1;
  QPointer<TImageList> images_;
  int imageIndex_ = -1;
  bool oldDisabledStyle_ = false;
  QColor transparentColor_;
  TGlyphList* normalList_ = nullptr;
  TGlyphList* disabledList_ = nullptr;
  std::array<int, kFaceStateCount> slots_;
};

// The disabled look made from a glyph: its silhouette embossed, in the
// highlight colour moved by (1, 1) and in the shadow colour in place, on a
// transparent image one pixel larger each way. The silhouette is every
// visible pixel but white and light grey, or with `oldStyle` every visible
// pixel.
QImage EmbossedSilhouette(const QImage& glyph, const QColor& highlight, const QColor& shadow,
                          bool oldStyle);

// The 5 x 3 drop-down triangle whose 9 x 3 box starts at `at`.
void DrawDropdownArrow(QPainter& painter, QPoint at, const QColor& color);

// A glyph's own disabled image: white turns to the highlight colour and
// mid grey to the shadow colour.
QImage RecolouredDisabled(const QImage& glyph, const QColor& highlight, const QColor& shadow);

}  // namespace widgets
