// The output pane's own behaviour: lines, caret and selection by keyboard and
// mouse, and copying the selection.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QtTest>

#include "app/output_pane.h"
#include "app_test_support.h"

namespace {

const QString kText = QStringLiteral("first line\nsecond\nthird");

struct Keys {
  QList<QPair<Qt::Key, Qt::KeyboardModifiers>> presses;
};

}  // namespace

Q_DECLARE_METATYPE(Keys)

class OutputPaneTest : public QObject {
  Q_OBJECT

 private slots:
  void keysMoveTheCaretAndSelect_data() {
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("selected");
    const auto shift = Qt::ShiftModifier;
    const auto control = Qt::ControlModifier;
    QTest::newRow("shift end") << Keys{{{Qt::Key_End, shift}}} << QStringLiteral("first line");
    QTest::newRow("shift down") << Keys{{{Qt::Key_Down, shift}}} << QStringLiteral("first line\n");
    QTest::newRow("end, shift left twice")
        << Keys{{{Qt::Key_End, {}}, {Qt::Key_Left, shift}, {Qt::Key_Left, shift}}}
        << QStringLiteral("ne");
    QTest::newRow("down keeps the column, shift right") << Keys{{{Qt::Key_Right, {}},
                                                                 {Qt::Key_Down, {}},
                                                                 {Qt::Key_Down, {}},
                                                                 {Qt::Key_Right, shift}}}
                                                        << QStringLiteral("h");
    QTest::newRow("to the end, back to the start of the text")
        << Keys{{{Qt::Key_End, control}, {Qt::Key_Home, control | shift}}} << kText;
    QTest::newRow("page down selects to the last line")
        << Keys{{{Qt::Key_PageDown, shift}, {Qt::Key_End, shift}}} << kText;
    QTest::newRow("a move without shift drops the selection")
        << Keys{{{Qt::Key_End, shift}, {Qt::Key_Home, {}}}} << QString();
  }

  void keysMoveTheCaretAndSelect() {
    QFETCH(Keys, keys);
    QFETCH(QString, selected);
    OutputPane pane;
    pane.resize(300, 200);
    pane.setPlainText(kText);
    for (const auto& [key, modifiers] : keys.presses) QTest::keyClick(&pane, key, modifiers);
    QCOMPARE(pane.selectedText(), selected);
  }

  void selectAllAndCopyReachTheClipboard() {
    OutputPane pane;
    pane.setPlainText(kText);
    QApplication::clipboard()->clear();
    QTest::keyClick(&pane, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&pane, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), kText);
  }

  void theMouseSelectsFromPressToRelease() {
    OutputPane pane;
    pane.resize(300, 200);
    pane.setPlainText(kText);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const int lineHeight = pane.fontMetrics().lineSpacing();
    QTest::mousePress(pane.viewport(), Qt::LeftButton, {}, QPoint(1, lineHeight + 3));
    QMouseEvent drag(QEvent::MouseMove, QPointF(290, 2 * lineHeight + 3), QPointF(), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.viewport(), &drag);
    QCOMPARE(pane.selectedText(), QStringLiteral("second\nthird"));
  }

  void linesAppendAndReplace() {
    OutputPane pane;
    pane.appendPlainText(QStringLiteral("a"));
    pane.appendPlainText(QStringLiteral("b\nc"));
    QCOMPARE(pane.toPlainText(), QStringLiteral("a\nb\nc"));
    QCOMPARE(pane.lineCount(), 3);
    QCOMPARE(pane.line(2), QStringLiteral("c"));
    pane.clear();
    QCOMPARE(pane.lineCount(), 1);
    QCOMPARE(pane.toPlainText(), QString());
  }

  void horizontalRangeReachesTheLongestLineWhereverItIs() {
    OutputPane pane;
    pane.resize(200, 120);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const QString longest(80, QLatin1Char('W'));
    const QStringList arrangements = {
        longest + QStringLiteral("\nab\nc"),
        QStringLiteral("ab\n") + longest + QStringLiteral("\nc"),
        QStringLiteral("ab\nc\n") + longest,
    };
    QList<int> ranges;
    for (const QString& text : arrangements) {
      pane.setPlainText(text);
      ranges << pane.horizontalScrollBar()->maximum();
    }
    // Added line by line, the longest first.
    pane.clear();
    for (const QString& line : arrangements.first().split(QLatin1Char('\n'))) {
      pane.appendPlainText(line);
    }
    ranges << pane.horizontalScrollBar()->maximum();
    QCOMPARE(ranges, QList<int>(4, ranges.first()));
    // Scrolled to the end of the range, the end of the longest line is in sight.
    const int width = pane.fontMetrics().horizontalAdvance(longest);
    QVERIFY2(ranges.first() + pane.viewport()->width() >= width,
             qPrintable(QStringLiteral("%1 + %2 < %3")
                            .arg(ranges.first())
                            .arg(pane.viewport()->width())
                            .arg(width)));
  }

  void theCaretScrollsJustIntoView() {
    OutputPane pane;
    pane.resize(200, 120);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QStringList lines;
    for (int i = 0; i < 40; ++i) lines << QString::number(i);
    pane.setPlainText(lines.join(QLatin1Char('\n')));
    QScrollBar* vertical = pane.verticalScrollBar();
    const int inSight = vertical->pageStep();
    QVERIFY(inSight > 1 && inSight < 40);
    const auto caretLine = [&] {
      return static_cast<int>(
          pane.toPlainText().left(pane.caretPosition()).count(QLatin1Char('\n')));
    };
    // Down line by line: the view moves only once the caret would leave it
    // at the bottom, and then by one line.
    for (int line = 1; line < 40; ++line) {
      QTest::keyClick(&pane, Qt::Key_Down);
      QCOMPARE(caretLine(), line);
      QCOMPARE(vertical->value(), std::max(0, line - inSight + 1));
    }
    // And back up: it moves once the caret would leave it at the top.
    for (int line = 38; line >= 0; --line) {
      const int before = vertical->value();
      QTest::keyClick(&pane, Qt::Key_Up);
      QCOMPARE(caretLine(), line);
      QCOMPARE(vertical->value(), std::min(before, line));
    }
  }

  void aLongTextReachesItsLastLine() {
    OutputPane pane;
    pane.resize(300, 200);
    QStringList lines;
    for (int i = 0; i < 100000; ++i) lines << QString::number(i);
    pane.setPlainText(lines.join(QLatin1Char('\n')));
    QCOMPARE(pane.lineCount(), 100000);
    QTest::keyClick(&pane, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(&pane, Qt::Key_Home, Qt::ShiftModifier);
    QCOMPARE(pane.selectedText(), QStringLiteral("99999"));
  }
};

VANTREL_TEST_MAIN(OutputPaneTest)
#include "output_pane_test.moc"
