// Whether a window could be shown at all, decided without loading anything of
// Qt's GUI: the display named by DISPLAY or WAYLAND_DISPLAY must accept a
// connection on its socket. Nothing is said on the connection; it is closed
// at once.
#pragma once

#include <string>

namespace app {

struct DisplayCheck {
  bool usable = false;
  // The display that was set but could not be reached ("" when none was set).
  std::string unreachable;
};

DisplayCheck CheckDisplay();

// True when QT_QPA_PLATFORM names a platform that draws nowhere (offscreen,
// minimal, ...), which needs no display.
bool DisplaylessPlatformRequested();

}  // namespace app
