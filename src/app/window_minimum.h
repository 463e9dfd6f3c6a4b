// Our windows lay themselves out with a smallest size at which nothing
// overlaps. A window manager keeps a window from shrinking below it, but a
// window system without one, or a resize it does not check, may still make
// the window smaller; the window then grows back to its minimum at once.
#pragma once

class QWidget;

namespace app {

void KeepAtLeastMinimumSize(QWidget* window);

}  // namespace app
