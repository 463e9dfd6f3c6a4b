// The output pane's own behaviour: lines, caret and selection by keyboard and
// mouse, and copying the selection.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/pane_find_box.h"
#include "app/pane_lines.h"
#include "app/ui_fonts.h"
#include "app/widget_text.h"
#include "app_test_support.h"

namespace {

// "亜" and "漢" in Shift-JIS: double-byte characters whose bytes all lie in the
// lead-byte range, the hardest case for finding where a character starts.
const std::string kA = "\x88\x9F";
const std::string kKan = "\x8A\xBF";

// An answer as the window holds it: the received bytes and the lines in them.
struct Answer {
  std::string received;
  app::PaneLines lines;

  explicit Answer(const std::vector<std::string>& shown) {
    std::vector<app::LineSpan> spans;
    for (const std::string& line : shown) {
      spans.push_back(
          {static_cast<std::uint32_t>(received.size()), static_cast<std::uint32_t>(line.size())});
      received += line;
      received += "\r\n";
    }
    lines.AddAnswer(received, std::move(spans));
  }
};

void Press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
  QTest::keyClick(widget, key, modifiers);
}

// True when some text has been drawn into `image`.
bool Inked(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y).lightness() < 100) return true;
    }
  }
  return false;
}

// The centre of cell `column` of line `line` while the pane is not scrolled.
QPoint CellCentre(const OutputPane& pane, int line, int column) {
  const int height = pane.fontMetrics().lineSpacing();
  return QPoint(2 + column * pane.cellWidth() + pane.cellWidth() / 2,
                2 + line * height + height / 2);
}

const QString kText = QStringLiteral("first line\nsecond\nthird");

struct Keys {
  QList<QPair<Qt::Key, Qt::KeyboardModifiers>> presses;
};

// A search's steps: the first one looks for the text, each later one is F3
// (or Shift+F3 going back); each selects the match at line, column.
struct FindStep {
  bool backward;
  int line;
  int column;
  OutputPane::FindResult result;
};
using FindSteps = QList<FindStep>;

// Shows `pane` in the active window, where its keys work.
bool ShowActive(QWidget& pane) {
  pane.show();
  pane.activateWindow();
  return QTest::qWaitForWindowActive(&pane);
}

// Runs `act` on the file box while one is up (again, should the box stay:
// it may not take a name before it has read its folder), for as long as the
// returned timer lives.
std::unique_ptr<QTimer> WhileAFileBoxIsUp(const std::function<void(QFileDialog*)>& act) {
  auto watch = std::make_unique<QTimer>();
  QObject::connect(watch.get(), &QTimer::timeout, [act] {
    for (QWidget* shown : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QFileDialog*>(shown); box && box->isVisible()) act(box);
    }
  });
  watch->start(20);
  return watch;
}

}  // namespace

Q_DECLARE_METATYPE(Keys)
Q_DECLARE_METATYPE(FindSteps)

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
    // The pane lays text out in the cells of its fixed-pitch font.
    pane.setFont(app::FixedFont());
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
    const auto caretLine = [&] { return pane.caretPosition().line; };
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

  void aTenMegabyteLineScrollsSelectsAndCopies() {
    // 10 MB of "ab亜" on one line, then a short tail to recognise the end.
    std::string line;
    line.reserve(10 * 1024 * 1024 + 16);
    while (line.size() < 10 * 1024 * 1024) line += "ab" + kA;
    line += "END" + kKan;
    Answer answer({"first", line, "last"});
    OutputPane pane;
    pane.resize(400, 200);
    pane.setLines(&answer.lines);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const qint64 cell = pane.cellWidth();
    const qint64 lineWidth = static_cast<qint64>(line.size()) * cell;

    // The horizontal range is the line's real width, margins and caret aside.
    const qint64 reach = pane.horizontalScrollBar()->maximum() + pane.viewport()->width();
    QVERIFY2(reach >= lineWidth && reach <= lineWidth + 8, qPrintable(QString::number(reach)));

    Press(&pane, Qt::Key_Down);
    Press(&pane, Qt::Key_End);
    QCOMPARE(pane.caretPosition().line, 1);
    QCOMPARE(pane.caretPosition().column, qsizetype(line.size()));
    const qint64 caretX = 2 + pane.caretPosition().column * cell;
    const int scrolled = pane.horizontalScrollBar()->value();
    QVERIFY(caretX >= scrolled && caretX <= scrolled + pane.viewport()->width());
    QVERIFY(Inked(pane.viewport()->grab().toImage()));  // the tail is drawn

    // Back over the double-byte character in one step, then select the tail.
    Press(&pane, Qt::Key_Left);
    QCOMPARE(pane.caretPosition().column, qsizetype(line.size() - 2));
    Press(&pane, Qt::Key_End);
    for (int i = 0; i < 4; ++i) Press(&pane, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(pane.selectedText(), QString::fromUtf8("END漢"));

    // Home selects the whole line; the copy is its text, converted once.
    Press(&pane, Qt::Key_End);
    Press(&pane, Qt::Key_Home, Qt::ShiftModifier);
    QCOMPARE(pane.horizontalScrollBar()->value(), 0);
    QApplication::clipboard()->clear();
    Press(&pane, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    QCOMPARE(copied.size(), qsizetype((line.size() - 5) / 4 * 3 + 4));
    QVERIFY(copied.startsWith(QString::fromUtf8("ab亜ab亜")));
    QVERIFY(copied.endsWith(QString::fromUtf8("ab亜END漢")));

    // Down from the middle of the long line keeps the column as far as it goes.
    Press(&pane, Qt::Key_Down);
    QCOMPARE(pane.caretPosition(), (OutputPane::Position{2, 0}));
  }

  void aHundredThousandLinesOfDoubleByteText() {
    std::vector<std::string> shown;
    for (int i = 0; i < 100000; ++i) shown.push_back(kA + std::to_string(i) + kKan);
    shown[500] += std::string(300, 'x');  // the longest line, not the first
    Answer answer(shown);
    OutputPane pane;
    pane.resize(300, 200);
    pane.setLines(&answer.lines);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QCOMPARE(pane.lineCount(), 100000);
    const qint64 reach = pane.horizontalScrollBar()->maximum() + pane.viewport()->width();
    const qint64 longest = static_cast<qint64>(shown[500].size()) * pane.cellWidth();
    QVERIFY(reach >= longest && reach <= longest + 8);

    Press(&pane, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(pane.caretPosition(), (OutputPane::Position{99999, qsizetype(shown[99999].size())}));
    QCOMPARE(pane.verticalScrollBar()->value(), pane.verticalScrollBar()->maximum());
    Press(&pane, Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(pane.selectedText(), QString::fromUtf8("\n亜99999漢"));
    // Up keeps the column; in a line of double-byte characters it lands on a
    // character's start.
    Press(&pane, Qt::Key_Home, Qt::ControlModifier);
    Press(&pane, Qt::Key_Right);
    Press(&pane, Qt::Key_Right);
    QCOMPARE(pane.caretPosition(), (OutputPane::Position{0, 3}));
    Press(&pane, Qt::Key_PageDown, Qt::ShiftModifier);
    QVERIFY(pane.caretPosition().line > 5);
    QCOMPARE(pane.caretPosition().column, qsizetype(3));
    QVERIFY(pane.selectedText().startsWith(QString::fromUtf8("漢\n亜1漢\n")));

    Press(&pane, Qt::Key_A, Qt::ControlModifier);
    QApplication::clipboard()->clear();
    pane.copy();
    const QString all = QApplication::clipboard()->text();
    QCOMPARE(all.count(QLatin1Char('\n')), qsizetype(99999));
    QVERIFY(all.endsWith(QString::fromUtf8("亜99999漢")));
  }

  void clicksSelectWordsAndLines_data() {
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("selected");
    // "host 192.168.0.1 亜漢亜 ｱｲｳ,x" on line 0, "next" on line 1.
    QTest::newRow("double on a word") << 2 << 1 << QStringLiteral("host");
    QTest::newRow("double on an address") << 2 << 9 << QStringLiteral("192.168.0.1");
    QTest::newRow("double on double-byte text") << 2 << 20 << QString::fromUtf8("亜漢亜");
    QTest::newRow("double on half-width kana") << 2 << 24 << QString::fromUtf8("ｱｲｳ");
    QTest::newRow("double on punctuation") << 2 << 27 << QStringLiteral(",");
    QTest::newRow("double on a blank") << 2 << 4 << QStringLiteral(" ");
    QTest::newRow("triple takes the line")
        << 3 << 9 << QString::fromUtf8("host 192.168.0.1 亜漢亜 ｱｲｳ,x\n");
  }

  void clicksSelectWordsAndLines() {
    QFETCH(int, clicks);
    QFETCH(int, column);
    QFETCH(QString, selected);
    Answer answer({"host 192.168.0.1 " + kA + kKan + kA + " \xB1\xB2\xB3,x", "next"});
    OutputPane pane;
    pane.resize(400, 100);
    pane.setLines(&answer.lines);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const QPoint at = CellCentre(pane, 0, column);
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, at);
    if (clicks == 3) QTest::mouseClick(pane.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(pane.selectedText(), selected);
  }

  void aDragBeyondThePaneKeepsScrolling() {
    QStringList lines;
    for (int i = 0; i < 1000; ++i) lines << QString::number(i);
    OutputPane pane;
    pane.resize(200, 100);
    pane.setPlainText(lines.join(QLatin1Char('\n')));
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QTest::mousePress(pane.viewport(), Qt::LeftButton, {}, QPoint(1, 4));
    // One move to below the pane, then the pointer holds still.
    QMouseEvent drag(QEvent::MouseMove, QPointF(50, pane.viewport()->height() + 40), QPointF(),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.viewport(), &drag);
    const int firstStep = pane.verticalScrollBar()->value();
    QTRY_VERIFY_WITH_TIMEOUT(pane.verticalScrollBar()->value() > firstStep + 10, 5000);
    QVERIFY(pane.caretPosition().line > pane.verticalScrollBar()->value());
    QCOMPARE(pane.anchorPosition(), (OutputPane::Position{0, 0}));
    QTest::mouseRelease(pane.viewport(), Qt::LeftButton, {},
                        QPoint(50, pane.viewport()->height() + 40));
    const int released = pane.verticalScrollBar()->value();
    QTest::qWait(200);
    QCOMPARE(pane.verticalScrollBar()->value(), released);
  }

  void aTabTakesOneBlankCell() {
    OutputPane pane;
    pane.resize(200, 60);
    pane.setFont(app::FixedFont());
    pane.setPlainText(QStringLiteral("x\tx"));
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QTest::keyClick(&pane, Qt::Key_End);
    QCOMPARE(pane.caretPosition().column, qsizetype(3));
    QTest::keyClick(&pane, Qt::Key_Home, Qt::ShiftModifier);
    QCOMPARE(pane.selectedText(), QStringLiteral("x\tx"));
    pane.clearFocus();
    QTest::keyClick(&pane, Qt::Key_End);  // no selection drawn
    const QImage drawn = pane.viewport()->grab().toImage();
    const int cell = pane.cellWidth();
    const int height = pane.fontMetrics().lineSpacing();
    const auto cellAt = [&](int column) { return drawn.copy(2 + column * cell, 2, cell, height); };
    QVERIFY(Inked(cellAt(0)));
    QVERIFY(!Inked(cellAt(1)));
    QVERIFY(Inked(cellAt(2)));
  }

  void aShortTextCannotBeScrolledSideways() {
    OutputPane pane;
    // Wider than the text, narrower than twice its width.
    pane.resize(50, 100);
    pane.setPlainText(QStringLiteral("short\nlines"));
    QCOMPARE(pane.horizontalScrollBar()->maximum(), 0);
  }

  void findGoesOnBackAndRound_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<FindSteps>("steps");
    using R = OutputPane::FindResult;
    QTest::newRow("next, next, round, back round, back")
        << QStringLiteral("lan") << false
        << FindSteps{{false, 0, 0, R::Found},
                     {false, 1, 5, R::Found},
                     {false, 0, 0, R::Wrapped},
                     {true, 1, 5, R::Wrapped},
                     {true, 0, 0, R::Found}};
    QTest::newRow("one letter") << QStringLiteral("L") << false
                                << FindSteps{{false, 0, 0, R::Found},
                                             {false, 1, 5, R::Found},
                                             {false, 0, 0, R::Wrapped}};
    QTest::newRow("matching case") << QStringLiteral("lan") << true
                                   << FindSteps{{false, 1, 5, R::Found}, {false, 1, 5, R::Wrapped}};
    QTest::newRow("double-byte text")
        << QString::fromUtf8("漢 L") << false << FindSteps{{false, 1, 2, R::Found}};
    // The trail byte of 亜 and the lead byte of 漢 spell another character.
    QTest::newRow("never across characters")
        << app::FromAnsi("\x9F\x8A") << false << FindSteps{{false, 0, 0, R::NotFound}};
    QTest::newRow("no match") << QStringLiteral("wan2") << false
                              << FindSteps{{false, 0, 0, R::NotFound}, {true, 0, 0, R::NotFound}};
  }

  void findGoesOnBackAndRound() {
    QFETCH(QString, text);
    QFETCH(bool, matchCase);
    QFETCH(FindSteps, steps);
    Answer answer({"LAN1 up", kA + kKan + " lan2", "wan"});
    OutputPane pane;
    pane.resize(300, 100);
    pane.setLines(&answer.lines);
    QVERIFY(ShowActive(pane));
    for (int i = 0; i < steps.size(); ++i) {
      const FindStep& step = steps[i];
      const OutputPane::FindResult result =
          i == 0 ? pane.find(text, step.backward, matchCase) : OutputPane::FindResult::Found;
      if (i > 0) QTest::keyClick(&pane, Qt::Key_F3, step.backward ? Qt::ShiftModifier : Qt::NoModifier);
      if (i == 0) QCOMPARE(result, step.result);
      if (step.result == OutputPane::FindResult::NotFound) {
        QVERIFY(!pane.hasSelection());
        continue;
      }
      QCOMPARE(pane.caretPosition(), (OutputPane::Position{step.line, step.column}));
      QCOMPARE(pane.selectedText().toLower(), text.toLower());
    }
  }

  void theFindBoxFindsAndSaysWhatItFound() {
    Answer answer({"one", "two one"});
    OutputPane pane;
    pane.resize(300, 100);
    pane.setLines(&answer.lines);
    QVERIFY(ShowActive(pane));
    QTest::keyClick(&pane, Qt::Key_F, Qt::ControlModifier);
    PaneFindBox* box = pane.findBox();
    QVERIFY(box != nullptr && box->isVisible());
    QTest::keyClicks(box->TextBox(), QStringLiteral("ONE"));
    QTest::keyClick(box->TextBox(), Qt::Key_Return);
    QCOMPARE(pane.caretPosition(), (OutputPane::Position{0, 0}));
    QTest::keyClick(box->TextBox(), Qt::Key_Return);
    QCOMPARE(pane.caretPosition(), (OutputPane::Position{1, 4}));
    QTest::keyClick(box->TextBox(), Qt::Key_Return);
    QCOMPARE(box->Outcome(), QString::fromUtf8("先頭に戻って検索しました"));
    box->MatchCaseBox()->setChecked(true);
    box->NextButton()->click();
    QCOMPARE(box->Outcome(), QString::fromUtf8("見つかりません"));
  }

  void aMatchAtTheEndOfATenMegabyteLineIsShown() {
    std::string line;
    line.reserve(10 * 1024 * 1024 + 16);
    while (line.size() < 10 * 1024 * 1024) line += "ab" + kA;
    line += "END" + kKan;
    Answer answer({"first", line});
    OutputPane pane;
    pane.resize(400, 100);
    pane.setLines(&answer.lines);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QCOMPARE(pane.find(QString::fromUtf8("end漢"), false, false), OutputPane::FindResult::Found);
    const qsizetype start = static_cast<qsizetype>(line.size() - 5);
    QCOMPARE(pane.caretPosition(), (OutputPane::Position{1, start}));
    QCOMPARE(pane.anchorPosition(), (OutputPane::Position{1, start + 5}));
    // Scrolled to it.
    const qint64 x = 2 + static_cast<qint64>(start) * pane.cellWidth();
    const int scrolled = pane.horizontalScrollBar()->value();
    QVERIFY(x >= scrolled && x <= scrolled + pane.viewport()->width());
  }

  void shiftWheelScrollsSideways() {
    Answer answer({std::string(500, 'x'), "y", "z"});
    OutputPane pane;
    pane.resize(200, 30);
    pane.setLines(&answer.lines);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const auto turn = [&](QPoint delta, Qt::KeyboardModifiers modifiers) {
      const QPointF at(10, 10);
      QWheelEvent wheel(at, pane.viewport()->mapToGlobal(at), QPoint(), delta, Qt::NoButton,
                        modifiers, Qt::NoScrollPhase, false);
      QApplication::sendEvent(pane.viewport(), &wheel);
    };
    turn(QPoint(0, -120), Qt::ShiftModifier);
    QVERIFY(pane.horizontalScrollBar()->value() > 0);
    QCOMPARE(pane.verticalScrollBar()->value(), 0);
    const int once = pane.horizontalScrollBar()->value();
    turn(QPoint(-120, 0), Qt::NoModifier);  // a wheel that tilts
    QCOMPARE(pane.horizontalScrollBar()->value(), 2 * once);
    turn(QPoint(0, -120), Qt::NoModifier);
    QVERIFY(pane.verticalScrollBar()->value() > 0);
    QCOMPARE(pane.horizontalScrollBar()->value(), 2 * once);
  }

  // Ctrl+S: the pane's text as UTF-8 with LF line ends, a byte that is no
  // character saved as the U+FFFD the pane shows; an existing file replaced;
  // a target that can't be written reported as the program's files are.
  void saveWritesTheTextAsUtf8() {
    Answer answer({kA + "x" + kKan, "bad \x80 byte", ""});
    OutputPane pane;
    pane.setLines(&answer.lines);
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/answer.txt");
    const QByteArray expected("\xE4\xBA\x9Cx\xE6\xBC\xA2\nbad \xEF\xBF\xBD byte\n\n");
    for (int round = 0; round < 2; ++round) {
      if (round == 1) QVERIFY(platform::WriteFileAtomically(path.toStdString(), "older and longer text"));
      const auto watch = WhileAFileBoxIsUp([&](QFileDialog* box) {
        box->setOption(QFileDialog::DontConfirmOverwrite);
        box->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog*>(box)->accept();
      });
      QVERIFY(ShowActive(pane));  // again, once the file box has gone
      QTest::keyClick(&pane, Qt::Key_S, Qt::ControlModifier);
      QFile saved(path);
      QVERIFY(saved.open(QIODevice::ReadOnly));
      QCOMPARE(saved.readAll(), expected);
    }

    app::ResetErrorBoxRaised();
    // A file stands where the target's folder would be.
    QVERIFY(platform::WriteFileAtomically(dir.path().toStdString() + "/folder", ""));
    const QString nowhere = dir.path() + QStringLiteral("/folder/answer.txt");
    testing_support::CapturedStream err(stderr);
    const auto watch = WhileAFileBoxIsUp([&](QFileDialog* box) {
      box->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(nowhere);
      static_cast<QDialog*>(box)->accept();
    });
    pane.saveAction()->trigger();
    QVERIFY(app::ErrorBoxRaised());
    QVERIFY(QString::fromUtf8(err.Text()).contains(QString::fromUtf8("ファイル ") + nowhere +
                                                   QString::fromUtf8(" を作成できません")));
  }

  // The range follows the answers as the window shows them: a second answer
  // after the first keeps the first's longest line; a cleared pane forgets it.
  void theHorizontalRangeFollowsEachAnswer() {
    OutputPane pane;
    pane.resize(200, 120);
    const Answer wide({std::string(300, 'W'), "a"});
    const Answer narrow({"b"});
    app::PaneLines lines;
    pane.setLines(&lines);
    lines.AddAnswer(wide.received, {{0, 300}, {302, 1}});
    lines.AddAnswer(narrow.received, {{0, 1}});
    pane.linesAdded();
    QVERIFY(pane.horizontalScrollBar()->maximum() > 0);
    lines.Clear();
    lines.AddAnswer(narrow.received, {{0, 1}});
    pane.linesReset();
    QCOMPARE(pane.horizontalScrollBar()->maximum(), 0);
  }

  void characterStartsAreFoundFromNearbyBytes_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QList<int>>("starts");
    QTest::newRow("ascii") << QByteArray("abc") << QList<int>{0, 1, 2, 3};
    QTest::newRow("pairs in the lead range")
        << QByteArray("\x88\x9F\x8A\xBF") << QList<int>{0, 0, 2, 2, 4};
    QTest::newRow("a pair after ascii") << QByteArray(
                                               "a\x88\x9F"
                                               "b")
                                        << QList<int>{0, 1, 1, 3, 4};
    QTest::newRow("a trail byte in the ascii range")
        << QByteArray("\x83\x41z") << QList<int>{0, 0, 2, 3};
    QTest::newRow("a lead byte alone before a blank")
        << QByteArray("\x88 \x88") << QList<int>{0, 1, 2, 3};
    QTest::newRow("half-width kana") << QByteArray("\xB1\xB2") << QList<int>{0, 1, 2};
  }

  void characterStartsAreFoundFromNearbyBytes() {
    QFETCH(QByteArray, line);
    QFETCH(QList<int>, starts);
    const std::string_view text(line.constData(), static_cast<std::size_t>(line.size()));
    QList<int> found;
    for (std::size_t at = 0; at <= text.size(); ++at) {
      found << static_cast<int>(app::CharStart(text, at));
    }
    QCOMPARE(found, starts);
  }
};

VANTREL_TEST_MAIN(OutputPaneTest)
#include "output_pane_test.moc"
