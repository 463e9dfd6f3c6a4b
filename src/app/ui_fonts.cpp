#include "app/ui_fonts.h"

#include <QStringList>

#include "app/session_texts.h"
#include "app/texts.h"
#include "app/widget_text.h"

namespace app {

namespace {

constexpr int kFontPixelSize = 12;

QFont MakeFont(const QStringList& families, QFont::StyleHint hint, bool fixedPitch) {
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(hint);
  font.setFixedPitch(fixedPitch);
  font.setPixelSize(kFontPixelSize);
  return font;
}

}  // namespace

QFont ProportionalFont() {
  return MakeFont({FromAnsi(texts::kDialogFontFamily), QStringLiteral("IPAPGothic"),
                   QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                   QStringLiteral("TakaoPGothic")},
                  QFont::SansSerif, false);
}

QFont FixedFont() {
  return MakeFont({FromAnsi(texts::kFixedFontFamily), QStringLiteral("IPAGothic"),
                   QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("VL Gothic"),
                   QStringLiteral("TakaoGothic")},
                  QFont::TypeWriter, true);
}

}  // namespace app
