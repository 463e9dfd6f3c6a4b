// The texts Qt draws itself in our windows: Japanese in a window run whatever
// the locale, Qt's English when its translation is missing, and nothing loaded
// for a hidden run. The output pane's own menu reads Japanese as well.
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>

#include "app/main_window.h"
#include "app/output_pane.h"
#include "app/program_entry.h"
#include "app/qt_texts.h"
#include "app/settings_dialog.h"
#include "app_test_support.h"

namespace {

QStringList Texts(const QMenu& menu) {
  QStringList texts;
  for (const QAction* action : menu.actions()) {
    // Without the shortcut that follows a tab.
    if (!action->isSeparator()) texts << action->text().section(QLatin1Char('\t'), 0, 0);
  }
  return texts;
}

QStringList StandardMenuTexts(QLineEdit* edit) {
  std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
  return Texts(*menu);
}

QStringList StandardMenuTexts(QPlainTextEdit* edit) {
  std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
  return Texts(*menu);
}

const QStringList kJapaneseEditMenu = {
    QString::fromUtf8("元に戻す(&U)"), QString::fromUtf8("やり直す(&R)"),
    QString::fromUtf8("切り取り(&T)"), QString::fromUtf8("コピー(&C)"),
    QString::fromUtf8("貼り付け(&P)"), QString::fromUtf8("削除"),
    QString::fromUtf8("すべてを選択")};
const QStringList kEnglishEditMenu = {"&Undo",  "&Redo",  "Cu&t",      "&Copy",
                                      "&Paste", "Delete", "Select All"};

}  // namespace

class QtTextsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    app::RemoveJapaneseQtTexts();
    // The user's locale has no say.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  }
  void cleanup() { app::RemoveJapaneseQtTexts(); }

  void aWindowRunSpeaksJapanese() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({"item", "First", "FIRST", "end", "x"});
    QStringList editBox;
    QStringList settingsText;
    app::EntryHooks hooks;
    hooks.startUpFinished = [&](TForm1& form) {
      editBox = StandardMenuTexts(form.FlatEdit1);
      settingsText = StandardMenuTexts(form.Form2->findChild<QPlainTextEdit*>("Memo1"));
      QTimer::singleShot(0, &form, &QWidget::close);
    };
    QCOMPARE(app::RunApplication({}, folder.Path(), hooks), 0);
    QCOMPARE(editBox, kJapaneseEditMenu);
    QVERIFY2(settingsText.contains(QString::fromUtf8("すべてを選択")),
             qPrintable(settingsText.join('|')));
    QVERIFY(!settingsText.contains(QStringLiteral("Select All")));
  }

  void aHiddenRunLoadsNoTranslation() {
    testing_support::ProgramFolder folder;
    folder.WritePanel({});
    QCOMPARE(app::RunApplication({"-h"}, folder.Path()), 0);
    QLineEdit edit;
    QCOMPARE(StandardMenuTexts(&edit), kEnglishEditMenu);
  }

  void aMissingTranslationLeavesQtsEnglish() {
    QTemporaryDir empty;
    QVERIFY(!app::InstallJapaneseQtTexts(empty.path()));
    QLineEdit edit;
    QCOMPARE(StandardMenuTexts(&edit), kEnglishEditMenu);
    // A translation in force before stays in force only while it loads.
    QVERIFY(app::InstallJapaneseQtTexts());
    QCOMPARE(StandardMenuTexts(&edit), kJapaneseEditMenu);
    QVERIFY(!app::InstallJapaneseQtTexts(empty.path()));
    QCOMPARE(StandardMenuTexts(&edit), kEnglishEditMenu);
  }

  void theOutputPanesMenuIsJapanese() {
    OutputPane pane;
    pane.resize(200, 100);
    pane.setPlainText(QStringLiteral("text"));
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QStringList texts;
    QTimer::singleShot(0, &pane, [&] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        texts = Texts(*menu);
        menu->close();
      }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), pane.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(pane.viewport(), &event);
    QCOMPARE(texts, QStringList({QString::fromUtf8("コピー(&C)"), QString::fromUtf8("すべてを選択"),
                                 QString::fromUtf8("検索..."), QString::fromUtf8("次を検索"),
                                 QString::fromUtf8("前を検索"),
                                 QString::fromUtf8("名前を付けて保存...")}));
  }
};

VANTREL_TEST_MAIN(QtTextsTest)
#include "qt_texts_test.moc"
