// The state images of all buttons live in shared lists, one per image size;
// what the buttons share goes with the last of them.
#include <QtTest>
#include <memory>

#include "widgets/flat_button.h"
#include "widgets/flat_button_hooks.h"
#include "widgets/image_list.h"

using namespace widgets;

namespace {

QImage Glyph(int width, int height, QRgb colour) {
  QImage glyph(width, height, QImage::Format_RGB32);
  glyph.fill(colour);
  glyph.setPixel(0, height - 1, qRgb(255, 0, 255));  // the transparent colour
  return glyph;
}

std::unique_ptr<TFlatButton> PaintedButton(const QImage& glyph) {
  auto button = std::make_unique<TFlatButton>();
  button->SetGlyph(glyph);
  button->grab();  // painting makes the image of the face state
  return button;
}

}  // namespace

class GlyphCacheTest : public QObject {
  Q_OBJECT

 private slots:
  void buttonsShareListsBySize() {
    auto a = PaintedButton(Glyph(16, 16, qRgb(0, 0, 0)));
    auto b = PaintedButton(Glyph(16, 16, qRgb(0, 128, 0)));
    auto c = PaintedButton(Glyph(12, 12, qRgb(0, 0, 128)));
    TGlyphList* shared = a->ButtonGlyph().ListOf(bfUp);
    QVERIFY(shared != nullptr);
    QCOMPARE(b->ButtonGlyph().ListOf(bfUp), shared);
    QCOMPARE(shared->Size(), QSize(16, 16));
    QCOMPARE(shared->UsedCount(), 2);
    QVERIFY(c->ButtonGlyph().ListOf(bfUp) != shared);
    QCOMPARE(TGlyphCache::Instance()->ListCount(), 2);
    QCOMPARE(a->ButtonGlyph().SlotOf(bfUp), 0);
    QCOMPARE(b->ButtonGlyph().SlotOf(bfUp), 1);

    // Disabled images sit in a list one pixel larger each way.
    b->setEnabled(false);
    b->grab();
    QCOMPARE(b->ButtonGlyph().ListOf(bfDisabled)->Size(), QSize(17, 17));
    QCOMPARE(TGlyphCache::Instance()->ListCount(), 3);
  }

  void aFreedSlotIsReused() {
    auto a = PaintedButton(Glyph(16, 16, qRgb(0, 0, 0)));
    auto b = PaintedButton(Glyph(16, 16, qRgb(0, 128, 0)));
    TGlyphList* list = a->ButtonGlyph().ListOf(bfUp);
    a->SetGlyph(Glyph(16, 16, qRgb(128, 0, 0)));  // drops a's images
    QCOMPARE(a->ButtonGlyph().SlotOf(bfUp), -1);
    QVERIFY(!list->IsUsed(0));
    auto c = PaintedButton(Glyph(16, 16, qRgb(0, 0, 128)));
    QCOMPARE(c->ButtonGlyph().ListOf(bfUp), list);
    QCOMPARE(c->ButtonGlyph().SlotOf(bfUp), 0);
    QCOMPARE(list->Count(), 2);  // never shrinks, grows only when full
    a->grab();
    QCOMPARE(a->ButtonGlyph().SlotOf(bfUp), 2);
  }

  void listsAndCacheGoWithTheirLastUser() {
    auto a = PaintedButton(Glyph(16, 16, qRgb(0, 0, 0)));
    auto b = PaintedButton(Glyph(20, 20, qRgb(0, 0, 0)));
    QCOMPARE(TGlyphCache::Instance()->ListCount(), 2);
    b->SetGlyph(QImage());  // its list has no image left
    QCOMPARE(TGlyphCache::Instance()->ListCount(), 1);
    b.reset();
    a.reset();
    QCOMPARE(TGlyphCache::Instance(), nullptr);
    // The shared timer and the application-wide filter went with them.
    QVERIFY(!FlatButtonHooks::Installed());
  }

  void paletteChangeRemakesImages() {
    auto a = PaintedButton(Glyph(16, 16, qRgb(0, 0, 0)));
    a->setEnabled(false);
    a->grab();
    QVERIFY(a->ButtonGlyph().SlotOf(bfDisabled) >= 0);
    QPalette palette = a->palette();
    palette.setColor(QPalette::Light, QColor(1, 2, 3));
    a->setPalette(palette);
    QCOMPARE(a->ButtonGlyph().SlotOf(bfDisabled), -1);
    const QImage repainted = a->grab().toImage();
    QVERIFY(repainted.pixelColor(a->width() / 2 + 8, a->height() / 2 + 8) == QColor(1, 2, 3));
  }
};

QTEST_MAIN(GlyphCacheTest)
#include "glyph_cache_test.moc"
