// The main window as it opens: its components, their places and texts, the
// settings it reads, and the application's last line of defence for errors.
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/settings_dialog.h"
#include "app_test_support.h"
#include "platform/exception.h"

namespace {

const QColor kWhite(255, 255, 255);

// An object whose event handler fails the way a handler of ours might.
class FailingReceiver : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) {
      throw platform::Exception("\x83\x65\x83\x58\x83\x67 failed");  // "テスト failed"
    }
    return QObject::event(event);
  }
};

}  // namespace

class MainWindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { app::ResetErrorBoxRaised(); }

  void opensWithTheDefaultsWhenNoSettingsExist() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({"item", "First", "SHOW", "end", "x"});
    TForm1 form({}, folder.Path());
    form.FormCreate();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(form.windowTitle(), QStringLiteral("Vantrel"));
    QCOMPARE(form.pos(), QPoint(164, 101));
    QCOMPARE(form.size(), QSize(678, 369));
    QCOMPARE(form.Panel1Width(), 183);
    QCOMPARE(form.Host(), std::string("192.168.0.1"));
    QCOMPARE(form.RouterModel, -1);
    QCOMPARE(form.SingleSetting, 0);
    QVERIFY(form.CaptureList != nullptr);
    QVERIFY(!form.windowIcon().isNull());
  }

  void componentsSitWhereTheyBelong() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({});
    TForm1 form({}, folder.Path());
    form.FormCreate();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    // Top strip: buttons panel and the black lamp panel at its right edge.
    QCOMPARE(form.Panel2->height(), 25);
    QCOMPARE(form.Panel4->width(), 346);
    QCOMPARE(form.Panel3->width(), 68);
    QCOMPARE(form.Panel3->geometry().right(), form.Panel2->width() - 1);
    QCOMPARE(form.Panel4->geometry().right() + 1, form.Panel3->x());
    QCOMPARE(form.FlatButton3->geometry(), QRect(90, 0, 84, 24));
    QCOMPARE(form.FlatButton1->geometry(), QRect(175, 0, 84, 24));
    QCOMPARE(form.FlatButton2->geometry(), QRect(260, 0, 83, 24));
    QCOMPARE(form.FlatButton3->Caption(), QString::fromUtf8("更新"));
    QCOMPARE(form.FlatButton3->toolTip(), QString::fromUtf8("最新の情報に更新 (F5)"));
    QCOMPARE(form.FlatButton1->Caption(), QString::fromUtf8("設定"));
    QCOMPARE(form.FlatButton2->Caption(), QString::fromUtf8("ヘルプ"));
    QCOMPARE(form.FlatButton2->DropdownMenu(), form.PopupMenu1);
    QCOMPARE(form.PopupMenu1->actions(), QList<QAction*>{form.About1});
    QCOMPARE(form.About1->text(), QString::fromUtf8("バージョン情報"));
    QCOMPARE(form.Panel3->palette().color(QPalette::Window), QColor(0, 0, 0));
    QCOMPARE(form.Image1->geometry(), QRect(22, 5, 42, 18));
    QCOMPARE(form.Label1->geometry(), QRect(4, 4, 5, 8));
    QCOMPARE(form.Label5->geometry(), QRect(12, 4, 5, 8));
    QCOMPARE(TForm1::LampColor(form.Label1), kWhite);
    QCOMPARE(TForm1::LampColor(form.Label5), kWhite);

    // Operation panel, splitter, output pane.
    QCOMPARE(form.Label4->height(), 2);
    QCOMPARE(form.Label4->y(), form.Panel2->geometry().bottom() + 1);
    QCOMPARE(form.Bevel1->height(), 4);
    QCOMPARE(form.FlatEdit1->text(), QStringLiteral("SHOW"));
    QCOMPARE(form.FlatEdit1->height(), QFontMetrics(form.font()).height() + 6);
    QCOMPARE(form.Label2->height(), 2);
    QCOMPARE(form.TreeView1->indentation(), 19);
    QVERIFY(form.TreeView1->isHeaderHidden());
    QCOMPARE(form.Splitter1->handleWidth(), 4);
    QCOMPARE(form.Memo1->x(), form.Panel1->width() + 4);
    QCOMPARE(form.Memo1->geometry().right(), form.centralWidget()->width() - 1);
    QVERIFY(form.Memo1->isReadOnly());
    QCOMPARE(form.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!form.Memo2->isVisible());
    QVERIFY(!form.Button5->isVisible());
    QCOMPARE(form.StatusBar1->height(), 19);
    QCOMPARE(form.StatusBar1->geometry().bottom(), form.height() - 1);
    QVERIFY(form.StatusText().empty());

    QCOMPARE(form.Timer1->interval(), 200);
    QCOMPARE(form.Timer2->interval(), 1000);
    QVERIFY(!form.Timer1->isActive());
    QVERIFY(!form.Timer2->isActive());

    // The window resizes the output pane, never the operation panel.
    form.resize(800, 369);
    QTRY_COMPARE_WITH_TIMEOUT(form.Memo1->geometry().right(), 799, 2000);
    QCOMPARE(form.Panel1Width(), 183);
  }

  void theWindowKeepsAMinimumAtWhichNothingOverlaps() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({"item", "One", "A", "end", "item", "Two", "B", "end", "item", "Three", "C",
                       "end", "item", "Four", "D", "end", "x"});
    TForm1 form({}, folder.Path());
    form.FormCreate();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QSize minimum = form.minimumSize();
    QVERIFY(!minimum.isEmpty());

    // Shrunk by the window system below its minimum, the window grows back.
    form.windowHandle()->resize(250, 60);
    QTRY_COMPARE_WITH_TIMEOUT(form.size(), minimum, 2000);
    form.resize(200, 50);
    QCOMPARE(form.size(), minimum);

    const auto place = [&form](const QWidget* widget) {
      return QRect(widget->mapTo(&form, QPoint(0, 0)), widget->size());
    };
    const QRect window = form.rect();
    for (const QWidget* part :
         {static_cast<QWidget*>(form.FlatButton3), static_cast<QWidget*>(form.FlatButton1),
          static_cast<QWidget*>(form.FlatButton2)}) {
      QVERIFY(place(form.Panel4).contains(place(part)));
    }
    QVERIFY(!place(form.Panel4).intersects(place(form.Panel3)));
    for (const QWidget* part :
         {static_cast<QWidget*>(form.Image1), static_cast<QWidget*>(form.Label1),
          static_cast<QWidget*>(form.Label5)}) {
      QVERIFY(place(form.Panel3).contains(place(part)));
    }
    for (const QWidget* part :
         {static_cast<QWidget*>(form.Panel2), static_cast<QWidget*>(form.FlatEdit1),
          static_cast<QWidget*>(form.TreeView1), static_cast<QWidget*>(form.Memo1),
          static_cast<QWidget*>(form.StatusBar1)}) {
      QVERIFY2(window.contains(place(part)), part->objectName().toLatin1());
    }
    QCOMPARE(form.FlatEdit1->height(), QFontMetrics(form.FlatEdit1->font()).height() + 6);
    QVERIFY(place(form.Panel2).bottom() < place(form.FlatEdit1).top());
    QVERIFY(place(form.Memo1).bottom() < place(form.StatusBar1).top());
    QVERIFY(place(form.TreeView1).bottom() < place(form.StatusBar1).top());
    // A few lines of each pane.
    const int treeRow = form.TreeView1->visualItemRect(form.TreeView1->topLevelItem(0)).height();
    QVERIFY(treeRow > 0);
    QVERIFY2(form.TreeView1->viewport()->height() >= 3 * treeRow,
             qPrintable(QString::number(form.TreeView1->viewport()->height())));
    QVERIFY(form.Memo1->viewport()->height() >= 3 * form.Memo1->fontMetrics().lineSpacing());

    // Neither may a long status text widen the window.
    form.SetStatusText(std::string(400, 'x'));
    QCoreApplication::processEvents();
    QCOMPARE(form.minimumSize(), minimum);

    // The dialogs keep their one size.
    form.CreateDialogs();
    for (QWidget* dialog :
         {static_cast<QWidget*>(form.AboutBox), static_cast<QWidget*>(form.Form2)}) {
      dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      const QSize size = dialog->size();
      dialog->windowHandle()->resize(60, 40);
      QTRY_COMPARE_WITH_TIMEOUT(dialog->size(), size, 2000);
      dialog->hide();
    }
  }

  void fontsRenderJapanese() {
    testing_support::ProgramFolder folder;
    TForm1 form({}, folder.Path());
    const QChar gothicGo(0x30B4);  // ゴ
    QCOMPARE(form.font().pixelSize(), 12);
    QVERIFY2(QFontMetrics(form.font()).inFont(gothicGo),
             qPrintable(QFontInfo(form.font()).family()));
    QCOMPARE(form.Memo1->font().pixelSize(), 12);
    // Fixed pitch as the Gothic faces are: every half-width letter equally
    // wide (their full-width letters are twice that, so the face reports
    // itself as "dual" rather than monospace).
    const QFontMetrics fixed(form.Memo1->font());
    QVERIFY(fixed.inFont(gothicGo));
    QCOMPARE(fixed.horizontalAdvance(QLatin1Char('i')), fixed.horizontalAdvance(QLatin1Char('W')));
  }

  void settingsAreAppliedAsRead() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({"item", "First", "SHOW", "end", "x"});
    folder.WriteSettings(
        "; kept\r\n[MAIN]\r\nrt = 7\r\nip=router.example\r\nsingle=5\r\n"
        "[pos]\r\ntop=50\r\nleft=60\r\nheight=400\r\nwidth=700\r\np_width=150\r\n");
    TForm1 form({}, folder.Path());
    form.FormCreate();
    QCOMPARE(form.RouterModel, 7);
    QCOMPARE(form.Host(), std::string("router.example"));
    QCOMPARE(form.SingleSetting, 1);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.pos(), QPoint(60, 50));
    QCOMPARE(form.size(), QSize(700, 400));
    QCOMPARE(form.Panel1Width(), 150);
  }

  void settingsThatAreNotNumbersGiveTheDefaults() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({});
    folder.WriteSettings("[main]\nrt=auto\n[pos]\nwidth=wide\np_width=\n");
    TForm1 form({}, folder.Path());
    form.FormCreate();
    QCOMPARE(form.RouterModel, -1);
    QCOMPARE(form.width(), 678);
    QCOMPARE(form.Panel1Width(), 183);
  }

  void errorsLeavingAnEventBecomeTheErrorBox() {
    FailingReceiver receiver;
    testing_support::CapturedStream err(stderr);
    QEvent failing(QEvent::User);
    QCoreApplication::sendEvent(&receiver, &failing);
    const QString written = QString::fromUtf8(err.Text());
    QVERIFY(app::ErrorBoxRaised());
    QVERIFY2(written.contains(QString::fromUtf8("テスト failed")), qPrintable(written));
  }
};

VANTREL_TEST_MAIN(MainWindowLayoutTest)
#include "main_window_layout_test.moc"
