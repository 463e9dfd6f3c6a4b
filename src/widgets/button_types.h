// The small value types the flat button and its glyph share.
#pragma once

#include <cstdint>

namespace widgets {

// The face the button shows; the number is also the index of the glyph image
// drawn for it.
enum TButtonFaceState : std::uint8_t {
  bfUp = 0,
  bfDisabled = 1,
  bfPressed = 2,  // held down by the mouse
  bfLatched = 3,  // Down
  bfHot = 4,      // the mouse is over an up button
};
constexpr int kFaceStateCount = 5;

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

enum TButtonDisplayMode { dmBoth, dmGlyphOnly, dmTextOnly };

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

}  // namespace widgets
