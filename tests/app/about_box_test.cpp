// The about box: its texts and look, how the help menu opens it, and that the
// home page goes to the desktop's opener.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app_test_support.h"

class AboutBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void textsAndLook() {
    TAboutBox box;
    QCOMPARE(box.windowTitle(), QString::fromUtf8("バージョン情報"));
    QCOMPARE(box.size(), QSize(295, 183));
    QCOMPARE(box.minimumSize(), box.maximumSize());
    QCOMPARE(box.ProductName->text(), QStringLiteral("Vantrel"));
    const QFont name = box.ProductName->font();
    QCOMPARE(name.family(), QStringLiteral("Arial"));
    QCOMPARE(name.pixelSize(), 16);
    QVERIFY(name.bold());
    QVERIFY(name.italic());
    QCOMPARE(box.ProductName->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QCOMPARE(box.Tagline->text(), QString::fromUtf8("ルーター用TELNETリーダー"));
    QCOMPARE(box.Version->text(), QStringLiteral("Version 1.21"));
    for (const QLabel* label : {box.Copyright, box.WebAddress, box.MailAddress}) {
      QVERIFY(!label->text().isEmpty());
      QVERIFY2(label->text().contains(QLatin1String("Vantrel")) ||
                   label->text().contains(QLatin1String("vantrel.example")),
               qPrintable(label->text()));
    }
    QCOMPARE(box.WebAddress->text(), QString::fromLatin1(TAboutBox::kHomepage));
    QVERIFY(!box.ProgramIcon->pixmap().isNull());
    QCOMPARE(box.FlatButton2->Caption(), QStringLiteral("&Homepage"));
    QCOMPARE(box.FlatButton1->Caption(), QStringLiteral("&OK"));
    // Every label fits inside the box.
    for (const QLabel* label : box.findChildren<QLabel*>()) {
      const QRect inBox(label->mapTo(&box, QPoint(0, 0)), label->size());
      QVERIFY2(box.rect().contains(inBox), qPrintable(label->objectName()));
    }
  }

  void theHelpMenuEntryOpensItAndOkClosesIt() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({});
    TForm1 form({}, folder.Path());
    form.FormCreate();
    form.CreateDialogs();
    bool wasShown = false;
    QTimer::singleShot(0, form.AboutBox, [&] {
      wasShown = form.AboutBox->isVisible() && form.AboutBox->isModal();
      QTest::mouseClick(form.AboutBox->FlatButton1, Qt::LeftButton);
    });
    form.About1->trigger();
    QVERIFY(wasShown);
    QVERIFY(!form.AboutBox->isVisible());
    QCOMPARE(form.AboutBox->result(), int(QDialog::Accepted));
  }

  void theHelpButtonDropsTheMenuBelowItself() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({});
    TForm1 form({}, folder.Path());
    form.FormCreate();
    form.move(0, 0);  // room for the menu on the test screen, which Qt keeps it on
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QPoint menuAt;
    connect(form.PopupMenu1, &QMenu::aboutToShow, this, [&] {
      QTimer::singleShot(0, form.PopupMenu1, [&] {
        menuAt = form.PopupMenu1->pos();
        form.PopupMenu1->close();
      });
    });
    QTest::mousePress(form.FlatButton2, Qt::LeftButton);  // the menu drops on the press
    QTest::mouseRelease(form.FlatButton2, Qt::LeftButton);
    QCOMPARE(menuAt, form.FlatButton2->mapToGlobal(QPoint(0, 24)));
  }

  void homepageGoesToTheDesktopOpener() {
    // An opener of our own comes first in the search path and notes what it
    // was asked to open.
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    const QString noted = bin.filePath("opened");
    QFile opener(bin.filePath("xdg-open"));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write(
        QStringLiteral("#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '%1.tmp' && mv '%1.tmp' '%1'\n")
            .arg(noted)
            .toUtf8());
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ":" + oldPath);

    TAboutBox box;
    QTest::mouseClick(box.FlatButton2, Qt::LeftButton);
    qputenv("PATH", oldPath);

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(noted), 10000);
    QFile result(noted);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), QByteArray("1|") + TAboutBox::kHomepage);
  }
};

VANTREL_TEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
