// The window on a real X server (Xvfb, 1024 x 768): what the offscreen
// platform can't show. The output pane's selection reaches the primary
// selection, the "-cd" box with a 2 MB answer fits the screen with its OK
// button in sight and the answer under the keys, and a part of the pane that
// a resize uncovers during a cycle is painted at once.
#include <QClipboard>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include "app/answer_box.h"
#include "app/main_window.h"
#include "app/output_pane.h"
#include "app/pane_lines.h"
#include "app/ui_fonts.h"
#include "session_test_support.h"

class WindowX11Test : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }

  void theSelectionIsOfferedAsThePrimarySelection() {
    QClipboard* clipboard = QApplication::clipboard();
    QVERIFY(clipboard->supportsSelection());
    OutputPane pane;
    pane.resize(300, 100);
    pane.setPlainText(QString::fromUtf8("router 192.168.0.1 応答\nnext"));
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const int height = pane.fontMetrics().lineSpacing();
    // A double click on the address.
    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {},
                       QPoint(2 + 10 * pane.cellWidth(), 2 + height / 2));
    QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(QClipboard::Selection), QStringLiteral("192.168.0.1"),
                              5000);
    // Extended by the keys, the offer follows.
    QTest::keyClick(&pane, Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(clipboard->text(QClipboard::Selection), QString::fromUtf8("192.168.0.1 応答"));
    // The clipboard proper is left alone until the user copies.
    QVERIFY(clipboard->text(QClipboard::Clipboard) != QString::fromUtf8("192.168.0.1 応答"));
  }

  void aBigAnswerBoxFitsTheScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    QCOMPARE(screen->size(), QSize(1024, 768));
    // 2 MB in lines of 80 bytes, one of them much longer than the screen.
    std::string received;
    std::vector<app::LineSpan> spans;
    for (int i = 0; received.size() < 2 * 1024 * 1024; ++i) {
      std::string line = "line " + std::to_string(i) + " " + std::string(72, 'x');
      if (i == 7) line += std::string(2000, 'y');
      spans.push_back(
          {static_cast<std::uint32_t>(received.size()), static_cast<std::uint32_t>(line.size())});
      received += line + "\r\n";
    }
    app::PaneLines lines;
    lines.AddAnswer(received, spans);

    QRect box;
    QRect ok;
    bool okDefault = false;
    QFont paneFont;
    bool paneHasTheKeys = false;
    bool pageDownScrolled = false;
    QString copied;
    bool enterClosed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* shown = qobject_cast<app::AnswerBox*>(QApplication::activeModalWidget());
      if (shown == nullptr || !shown->isVisible() || !shown->windowHandle()->isExposed()) return;
      watch.stop();
      box = shown->frameGeometry();
      ok = QRect(shown->OkButton()->mapToGlobal(QPoint(0, 0)), shown->OkButton()->size());
      okDefault = shown->OkButton()->isDefault();
      paneFont = shown->Pane()->font();
      // The answer has the focus: PgDn scrolls it at once.
      paneHasTheKeys = QApplication::focusWidget() == shown->Pane();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
      pageDownScrolled = shown->Pane()->verticalScrollBar()->value() > 0;
      QTest::keyClick(shown->Pane(), Qt::Key_Home, Qt::ControlModifier);
      // The answer in the pane can be selected and copied.
      shown->Pane()->setFocus();
      QTest::keyClick(shown->Pane(), Qt::Key_End, Qt::ShiftModifier);
      QTest::keyClick(shown->Pane(), Qt::Key_C, Qt::ControlModifier);
      copied = QApplication::clipboard()->text();
      // Enter presses OK, wherever the focus is.
      QTest::keyClick(shown->Pane(), Qt::Key_Return);
      enterClosed = !shown->isVisible();
      if (!enterClosed) shown->reject();
    });
    watch.start(20);
    app::ShowAnswerBox(nullptr, QStringLiteral("Vantrel"), lines);
    QVERIFY2(
        screen->geometry().contains(box),
        qPrintable(
            QString("%1,%2 %3x%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
    QVERIFY(box.contains(ok));
    QVERIFY(screen->geometry().contains(ok));
    QVERIFY(okDefault);
    QVERIFY(enterClosed);
    QVERIFY(paneHasTheKeys);
    QVERIFY(pageDownScrolled);
    QCOMPARE(paneFont, app::FixedFont());
    QCOMPARE(copied, QStringLiteral("line 0 ") + QString(72, QLatin1Char('x')));
  }

  void aPartUncoveredDuringACycleIsPainted() {
    testing_support::TestRouter router("127.0.0.161", {"--delay", "3000"});
    QVERIFY(router.Ready());
    testing_support::ProgramFolder folder;
    auto form = testing_support::StartWindow(folder, {"x"},
                                             testing_support::SettingsFor("127.0.0.161"));
    QVERIFY(form);
    QWidget* viewport = form->Memo1->viewport();
    const QColor background = viewport->palette().color(QPalette::Base);
    const QSize before = viewport->size();
    bool painted = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, form.get(), [&] {
      if (painted || form->TreeView1Tag == 0 || viewport->width() <= before.width() ||
          viewport->height() <= before.height()) {
        return;
      }
      // The corner the resize added, as the screen shows it.
      const QPoint corner = viewport->mapToGlobal(QPoint(before.width(), before.height()));
      const QSize added = viewport->size() - before - QSize(2, 2);
      const QImage screen = QGuiApplication::primaryScreen()
                                ->grabWindow(0, corner.x(), corner.y(), added.width(),
                                             added.height())
                                .toImage();
      bool all = !screen.isNull();
      for (int y = 0; all && y < screen.height(); ++y) {
        for (int x = 0; all && x < screen.width(); ++x) all = screen.pixelColor(x, y) == background;
      }
      painted = all;
    });
    connect(form.get(), &TForm1::commandStarted, form.get(), [&] {
      QTimer::singleShot(0, form.get(), [&] { form->resize(form->size() + QSize(150, 100)); });
      watch.start(50);
    });
    form->RunCommand("SHOW");
    QVERIFY(painted);
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
  }
};

VANTREL_TEST_MAIN(WindowX11Test)
#include "window_x11_xtest.moc"
