#include "app/app_icon.h"

// The picture is kept as an XPM file so that the same file is installed for the
// desktop.
#include "app/vantrel_icon.xpm"

namespace app {

QPixmap ApplicationPixmap() { return QPixmap(vantrel_icon_xpm); }

QIcon ApplicationIcon() {
  QIcon icon;
  const QPixmap pixmap = ApplicationPixmap();
  icon.addPixmap(pixmap);
  icon.addPixmap(pixmap.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  return icon;
}

}  // namespace app
