// The program's own icon: a small router with its two lamps lit.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

QPixmap ApplicationPixmap();
QIcon ApplicationIcon();

}  // namespace app
