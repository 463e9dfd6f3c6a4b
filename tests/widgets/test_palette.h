// Colours no style would choose, one per palette role, so that every pixel of
// a grab tells which role painted it.
#pragma once

#include <QColor>
#include <QPalette>

namespace test_palette {

inline const QColor kFace(200, 190, 180);
inline const QColor kHighlight(255, 250, 240);
inline const QColor kShadow(120, 110, 100);
inline const QColor kDarkShadow(20, 10, 0);
inline const QColor kLight(230, 220, 210);
inline const QColor kWindow(250, 255, 250);
inline const QColor kText(0, 0, 160);

inline QPalette Make() {
  QPalette palette;
  palette.setColor(QPalette::Button, kFace);
  palette.setColor(QPalette::Window, kFace);
  palette.setColor(QPalette::Light, kHighlight);
  palette.setColor(QPalette::Dark, kShadow);
  palette.setColor(QPalette::Shadow, kDarkShadow);
  palette.setColor(QPalette::Midlight, kLight);
  palette.setColor(QPalette::Base, kWindow);
  palette.setColor(QPalette::ButtonText, kText);
  return palette;
}

}  // namespace test_palette
