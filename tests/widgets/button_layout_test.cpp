// Where glyph, caption and arrow land for each layout, and the edges drawn
// pixel by pixel.
#include <QImage>
#include <QPainter>
#include <QtTest>

#include "widgets/button_layout.h"
#include "widgets/edge_drawing.h"

using namespace widgets;

Q_DECLARE_METATYPE(widgets::TButtonLayout)

class ButtonLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutArithmetic_data() {
    QTest::addColumn<TButtonLayout>("layout");
    QTest::addColumn<int>("margin");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<bool>("glyph");
    QTest::addColumn<bool>("caption");
    QTest::addColumn<bool>("arrow");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<int>("measuredWidth");  // -1: the caption was not measured
    QTest::addColumn<QPoint>("glyphAt");
    QTest::addColumn<QRect>("captionBox");
    QTest::addColumn<QPoint>("arrowAt");

    // Content rectangle 80 x 22 at (1, 1); glyph 16 x 16; caption 30 x 12.
    const QPoint none;
    QTest::newRow("left, centred")
        << blGlyphLeft << -1 << 4 << true << true << false << false << none << 80 << QPoint(16, 4)
        << QRect(36, 6, 30, 12) << QPoint(66, 12);
    QTest::newRow("right, arrow") << blGlyphRight << -1 << 4 << true << true << true << false
                                  << none << 71 << QPoint(45, 4) << QRect(11, 6, 30, 12)
                                  << QPoint(61, 10);
    QTest::newRow("top, truncates toward zero")
        << blGlyphTop << -1 << 4 << true << true << false << false << none << 80 << QPoint(33, -3)
        << QRect(26, 17, 30, 12) << QPoint(49, 5);
    QTest::newRow("bottom, spacing spread")
        << blGlyphBottom << 2 << -1 << true << true << true << false << none << 80 << QPoint(29, 5)
        << QRect(26, -3, 30, 12) << QPoint(45, 11);
    QTest::newRow("margin and spacing spread")
        << blGlyphLeft << -1 << -1 << true << true << false << false << none << 80 << QPoint(12, 4)
        << QRect(39, 6, 30, 12) << QPoint(69, 12);
    QTest::newRow("fixed margin, spacing spread")
        << blGlyphLeft << 3 << -1 << true << true << true << false << none << 71 << QPoint(4, 4)
        << QRect(31, 6, 30, 12) << QPoint(61, 10);
    QTest::newRow("empty glyph falls back to left")
        << blGlyphTop << -1 << 4 << false << true << true << false << none << 71 << QPoint(22, 12)
        << QRect(22, 6, 30, 12) << QPoint(52, 10);
    QTest::newRow("empty caption")
        << blGlyphLeft << -1 << 4 << true << false << false << false << none << -1 << QPoint(33, 4)
        << QRect(49, 12, 0, 0) << QPoint(49, 12);
    QTest::newRow("wrap beside glyph and arrow")
        << blGlyphLeft << -1 << 4 << true << true << true << true << none << 43 << QPoint(12, 4)
        << QRect(32, 6, 30, 12) << QPoint(62, 10);
    QTest::newRow("wrap, both spread")
        << blGlyphLeft << -1 << -1 << true << true << false << true << none << 52 << QPoint(12, 4)
        << QRect(39, 6, 30, 12) << QPoint(69, 12);
    QTest::newRow("wrap, vertical")
        << blGlyphTop << 5 << 4 << true << true << false << true << none << 72 << QPoint(33, 6)
        << QRect(26, 26, 30, 12) << QPoint(49, 14);
    QTest::newRow("pressed") << blGlyphLeft << -1 << 4 << true << true << false << false
                             << QPoint(1, 1) << 80 << QPoint(17, 5) << QRect(37, 7, 30, 12)
                             << QPoint(67, 13);
  }

  void layoutArithmetic() {
    QFETCH(TButtonLayout, layout);
    QFETCH(int, margin);
    QFETCH(int, spacing);
    QFETCH(bool, glyph);
    QFETCH(bool, caption);
    QFETCH(bool, arrow);
    QFETCH(bool, wrap);
    QFETCH(QPoint, offset);
    ButtonContentInput input;
    input.client = QRect(1, 1, 80, 22);
    input.glyph = glyph ? QSize(16, 16) : QSize(0, 0);
    input.arrow = arrow;
    input.layout = layout;
    input.margin = margin;
    input.spacing = spacing;
    input.wordWrap = wrap;
    input.caption = caption;
    input.offset = offset;
    int measured = -1;
    const ButtonContentLayout out = LayoutButtonContent(input, [&](int width, bool wordWrap) {
      measured = width;
      if (wordWrap != wrap) {
        return QSize(-100, -100);
      }
      return QSize(30, 12);
    });
    QTEST(measured, "measuredWidth");
    QTEST(out.glyph, "glyphAt");
    QTEST(out.caption, "captionBox");
    QTEST(out.arrow, "arrowAt");
  }

  // Each letter names the palette role a pixel takes; '.' is untouched.
  void edgePixels_data() {
    QTest::addColumn<unsigned>("edge");
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<QStringList>("picture");
    QTest::addColumn<QRect>("adjusted");

    const QRect whole(0, 0, 5, 5);
    QTest::newRow("raised outer") << unsigned(BDR_RAISEDOUTER) << unsigned(BF_RECT)
                                  << QStringList{"MMMMS", "M...S", "M...S", "M...S", "SSSSS"}
                                  << whole;
    QTest::newRow("sunken outer") << unsigned(BDR_SUNKENOUTER) << unsigned(BF_RECT)
                                  << QStringList{"DDDDL", "D...L", "D...L", "D...L", "LLLLL"}
                                  << whole;
    QTest::newRow("raised inner") << unsigned(BDR_RAISEDINNER) << unsigned(BF_RECT)
                                  << QStringList{"LLLLD", "L...D", "L...D", "L...D", "DDDDD"}
                                  << whole;
    QTest::newRow("sunken inner") << unsigned(BDR_SUNKENINNER) << unsigned(BF_RECT)
                                  << QStringList{"SSSSM", "S...M", "S...M", "S...M", "MMMMM"}
                                  << whole;
    QTest::newRow("raised outer, soft")
        << unsigned(BDR_RAISEDOUTER) << unsigned(BF_RECT | BF_SOFT)
        << QStringList{"LLLLS", "L...S", "L...S", "L...S", "SSSSS"} << whole;
    QTest::newRow("sunken outer, soft")
        << unsigned(BDR_SUNKENOUTER) << unsigned(BF_RECT | BF_SOFT)
        << QStringList{"SSSSL", "S...L", "S...L", "S...L", "LLLLL"} << whole;
    QTest::newRow("raised inner, soft")
        << unsigned(BDR_RAISEDINNER) << unsigned(BF_RECT | BF_SOFT)
        << QStringList{"MMMMD", "M...D", "M...D", "M...D", "DDDDD"} << whole;
    QTest::newRow("sunken inner, soft")
        << unsigned(BDR_SUNKENINNER) << unsigned(BF_RECT | BF_SOFT)
        << QStringList{"DDDDM", "D...M", "D...M", "D...M", "MMMMM"} << whole;
    QTest::newRow("raised, middle, adjusted")
        << unsigned(EDGE_RAISED) << unsigned(BF_RECT | BF_MIDDLE | BF_ADJUST)
        << QStringList{"MMMMS", "MLLDS", "MLBDS", "MDDDS", "SSSSS"} << QRect(2, 2, 1, 1);
    QTest::newRow("sunken, soft, middle")
        << unsigned(EDGE_SUNKEN) << unsigned(BF_RECT | BF_MIDDLE | BF_SOFT)
        << QStringList{"SSSSL", "SDDML", "SDBML", "SMMML", "LLLLL"} << whole;
    QTest::newRow("bottom right only")
        << unsigned(BDR_SUNKENINNER) << unsigned(BF_BOTTOMRIGHT)
        << QStringList{"....M", "....M", "....M", "....M", "MMMMM"} << whole;
    QTest::newRow("sunken outer, adjusted")
        << unsigned(BDR_SUNKENOUTER) << unsigned(BF_RECT | BF_ADJUST)
        << QStringList{"DDDDL", "D...L", "D...L", "D...L", "LLLLL"} << QRect(1, 1, 3, 3);
  }

  void edgePixels() {
    QFETCH(unsigned, edge);
    QFETCH(unsigned, flags);
    QFETCH(QStringList, picture);
    // One colour per role, so every pixel says which role painted it:
    // B face, L highlight, D shadow, S dark shadow, M 3-D light.
    const QHash<QChar, QRgb> roles{{'B', qRgb(10, 10, 10)},    {'L', qRgb(250, 250, 250)},
                                   {'D', qRgb(100, 100, 100)}, {'S', qRgb(0, 0, 80)},
                                   {'M', qRgb(200, 200, 0)},   {'.', qRgb(255, 0, 255)}};
    EdgeColors colors{QColor(roles['B']), QColor(roles['L']), QColor(roles['D']),
                      QColor(roles['S']), QColor(roles['M']), QColor(Qt::white)};
    QImage image(5, 5, QImage::Format_RGB32);
    image.fill(roles['.']);
    QRect rect(0, 0, 5, 5);
    {
      QPainter painter(&image);
      DrawEdge(painter, rect, edge, flags, colors);
    }
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 5; ++x) {
        const QChar role = picture[y][x];
        QVERIFY2(image.pixel(x, y) == roles[role],
                 qPrintable(QStringLiteral("pixel %1,%2 should be %3").arg(x).arg(y).arg(role)));
      }
    }
    QTEST(rect, "adjusted");
  }
};

QTEST_MAIN(ButtonLayoutTest)
#include "button_layout_test.moc"
