// The window fonts. The Windows faces are asked for first; where they are not
// installed, a Japanese face of the same kind takes their place so that the
// texts still render.
#pragma once

#include <QFont>

namespace app {

// "ＭＳ Ｐゴシック", 12 px: the proportional face of the window and its controls.
QFont ProportionalFont();
// "ＭＳ ゴシック", 12 px: the fixed-pitch face of the output pane.
QFont FixedFont();

}  // namespace app
