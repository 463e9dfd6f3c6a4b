// The flat edit box: its two frames, its height, its disabled colour.
#include <QVBoxLayout>
#include <QtTest>

#include "test_palette.h"
#include "widgets/flat_edit.h"

using namespace widgets;

namespace {

using namespace test_palette;

// Two boxes and a line edit of Qt's own in a shown, active window.
struct Form {
  QWidget window;
  TFlatEdit* first = new TFlatEdit(QStringLiteral("SHOW"));
  TFlatEdit* second = new TFlatEdit;
  QLineEdit* plain = new QLineEdit;

  Form() {
    window.setPalette(test_palette::Make());
    auto* column = new QVBoxLayout(&window);
    column->addWidget(first);
    column->addWidget(second);
    column->addWidget(plain);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }
};

// The colours of the three rings along the left edge, from the outside in,
// and of the top-left and bottom-right outer corners.
QList<QColor> Frame(TFlatEdit* edit) {
  const QImage image = edit->grab().toImage();
  const int y = edit->height() / 2;
  const int w = edit->width();
  const int h = edit->height();
  return {image.pixelColor(0, y),     image.pixelColor(1, y),         image.pixelColor(2, y),
          image.pixelColor(w - 2, y), image.pixelColor(w - 1, h - 1), image.pixelColor(w / 2, 1)};
}

const QList<QColor> kFlat{kFace, kFace, kWindow, kFace, kFace, kFace};
// Outer ring shadow/highlight, inner ring face at top-left and 3-D light at
// bottom-right, then the window colour.
const QList<QColor> kSunken{kShadow, kFace, kWindow, kLight, kHighlight, kFace};

}  // namespace

class FlatEditTest : public QObject {
  Q_OBJECT

 private slots:
  void sunkenWithFocusOrPointer() {
    Form form;
    form.plain->setFocus();
    QTRY_VERIFY(form.plain->hasFocus());
    QCOMPARE(Frame(form.first), kFlat);
    QTest::mouseMove(form.first);
    QVERIFY(form.first->MouseOver());
    QCOMPARE(Frame(form.first), kSunken);
    QTest::mouseMove(&form.window, QPoint(1, 1));
    QVERIFY(!form.first->MouseOver());
    QCOMPARE(Frame(form.first), kFlat);
    form.first->setFocus();
    QTRY_VERIFY(form.first->hasFocus());
    QCOMPARE(Frame(form.first), kSunken);
  }

  void anotherFlatEditWithTheFocusKeepsItFlat() {
    Form form;
    form.second->setFocus();
    QTRY_VERIFY(form.second->hasFocus());
    QTest::mouseMove(form.first);
    QVERIFY(form.first->MouseOver());
    QCOMPARE(Frame(form.first), kFlat);
    QCOMPARE(Frame(form.second), kSunken);
  }

  void heightFollowsTheFont() {
    Form form;
    QCOMPARE(form.first->height(), QFontMetrics(form.first->font()).height() + 6);
    QFont tall = form.first->font();
    tall.setPixelSize(30);
    form.first->setFont(tall);
    QCOMPARE(form.first->height(), QFontMetrics(tall).height() + 6);
    QVERIFY(form.first->height() > 36);
  }

  void disabledBoxIsButtonFaceAndFlat() {
    Form form;
    QTest::mouseMove(form.first);
    form.first->setEnabled(false);
    const QImage image = form.first->grab().toImage();
    QCOMPARE(image.pixelColor(form.first->width() - 6, form.first->height() / 2), kFace);
    QCOMPARE(Frame(form.first), kFlat);
    form.first->setEnabled(true);
    QCOMPARE(form.first->grab().toImage().pixelColor(form.first->width() - 6, 4), kWindow);
  }
};

QTEST_MAIN(FlatEditTest)
#include "flat_edit_test.moc"
