// The settings dialog on its own and through the main window's settings
// button: what it shows, what OK and Cancel change, and that it can be used
// while a command cycle waits.
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>

#include "app/main_window.h"
#include "app/session_texts.h"
#include "app/settings_dialog.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "session_test_support.h"

namespace {

// Only the cycle-during-dialog case talks to a router; its log-in is slow so
// that the dialog opens while the cycle waits for "login:".
constexpr char kRouterAddress[] = "127.0.0.160";

const std::vector<std::string> kPanel = {"item",  "Show all",  "SHOW", "end", "item",
                                         "Lines", "SHOW LINE", "end",  "x"};

// Runs `interact` once the modal dialog that `open` shows is up, then returns.
template <typename Open, typename Interact>
void WithModal(QDialog* dialog, Open open, Interact interact) {
  bool interacted = false;
  QTimer::singleShot(0, dialog, [&] {
    QVERIFY(dialog->isVisible());
    interact();
    interacted = true;
  });
  open();
  QVERIFY(interacted);
  QVERIFY(!dialog->isVisible());
}

QStringList Entries(const QComboBox* box) {
  QStringList entries;
  for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
  return entries;
}

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private:
  // A window with its dialogs, as the program shows it.
  std::unique_ptr<TForm1> startWindow(const std::string& settings,
                                      const std::vector<std::string>& panel = kPanel) {
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    auto form = testing_support::StartWindow(*folder_, panel, settings);
    if (form) form->CreateDialogs();
    return form;
  }

  void openSettings(TForm1& form, const std::function<void(TForm2&)>& interact) {
    WithModal(
        form.Form2, [&] { QTest::mouseClick(form.FlatButton1, Qt::LeftButton); },
        [&] { interact(*form.Form2); });
  }

  std::unique_ptr<testing_support::ProgramFolder> folder_;

 private slots:
  void layoutAndTexts() {
    TForm2 dialog;
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("設定"));
    QCOMPARE(dialog.size(), QSize(337, 340));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.pos(), QPoint(226, 104));
    QCOMPARE(dialog.Label1->text(), QString::fromUtf8("ルーターIPアドレス"));
    QCOMPARE(dialog.Label2->text(), QString::fromUtf8("ルーター機種"));
    QCOMPARE(dialog.Label3->text(), QString::fromUtf8("操作パネルのカスタマイズ"));
    QCOMPARE(dialog.CheckBox1->text(), QString::fromUtf8("シングルクリック"));
    QCOMPARE(dialog.Button2->text(), QStringLiteral("&OK"));
    QCOMPARE(dialog.Button1->text(), QString::fromUtf8("キャンセル(&C)"));
    QCOMPARE(dialog.Edit1->geometry(), QRect(128, 10, 121, 20));
    const QRect list = dialog.ComboBox1->geometry();
    QCOMPARE(list.topLeft(), QPoint(128, 40));
    QCOMPARE(list.height(), 20);
    QVERIFY(list.width() >= 121);
    QVERIFY(list.right() <= dialog.Memo1->geometry().right());
    // Every model name fits the closed list's text field, with little to spare.
    QStyleOptionComboBox option;
    option.initFrom(dialog.ComboBox1);
    const QRect field = dialog.ComboBox1->style()->subControlRect(
        QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, dialog.ComboBox1);
    int widest = 0;
    for (const QString& entry : Entries(dialog.ComboBox1)) {
      widest = std::max(widest, dialog.ComboBox1->fontMetrics().horizontalAdvance(entry));
    }
    QVERIFY2(widest < field.width(),
             qPrintable(QString("%1 >= %2").arg(widest).arg(field.width())));
    QVERIFY(list.width() == 121 || field.width() - widest <= 8);
    QCOMPARE(dialog.Memo1->geometry(), QRect(16, 112, 305, 153));
    QCOMPARE(dialog.CheckBox1->geometry(), QRect(216, 272, 105, 17));
    QCOMPARE(dialog.Button2->geometry(), QRect(139, 305, 90, 24));
    QCOMPARE(dialog.Button1->geometry(), QRect(233, 305, 88, 24));
    QCOMPARE(Entries(dialog.ComboBox1),
             QStringList({QString::fromUtf8("自動設定"), "MT128-NET", "MN128-SOHO",
                          "MN128-SOHO-SL10", "MN128-SOHO-SL11"}));
    QVERIFY(!dialog.ComboBox1->isEditable());
    QVERIFY(dialog.CheckBox1->isChecked());
    QCOMPARE(dialog.Edit1->text(), QStringLiteral("192.168.0.1"));
    QVERIFY(dialog.Button2->isDefault());
  }

  void tabWalksTheFocusOrder() {
    TForm2 dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.Edit1->setFocus();
    QList<QWidget*> visited{QApplication::focusWidget()};
    for (int i = 0; i < 6; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited << QApplication::focusWidget();
    }
    QCOMPARE(visited, (QList<QWidget*>{dialog.Edit1, dialog.Memo1, dialog.Button1, dialog.Button2,
                                       dialog.ComboBox1, dialog.CheckBox1, dialog.Edit1}));
  }

  void enterClicksTheFocusedCancelButton() {
    TForm2 dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.Button1->setFocus();
    QTest::keyClick(dialog.Button1, Qt::Key_Return);
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(rejected.count(), 1);
  }

  void valuesRoundTripInShiftJis() {
    TForm2 dialog;
    // "状態" with a 0x5C trail byte, and an empty line kept inside the text.
    const std::vector<std::string> panel = {"group", "\x8F\xF3\x91\xD4", "", "end"};
    dialog.LoadValues(1, "router.example", 3, panel);
    QVERIFY(!dialog.CheckBox1->isChecked());
    QCOMPARE(dialog.ComboBox1->currentIndex(), 4);
    QCOMPARE(dialog.SingleSetting(), 1);
    QCOMPARE(dialog.Host(), std::string("router.example"));
    QCOMPARE(dialog.RouterModel(), 3);
    QCOMPARE(dialog.PanelLines(), panel);
    dialog.Memo1->setPlainText(QString::fromUtf8("item\n表示\nSHOW\nend\n"));
    QCOMPARE(dialog.PanelLines(),
             std::vector<std::string>({"item", "\x95\x5C\x8E\xA6", "SHOW", "end"}));
  }

  void modelTwoIsShownAndKeptByOk() {
    auto form = startWindow(testing_support::SettingsFor("127.0.0.1", 2));
    QVERIFY(form);
    openSettings(*form, [](TForm2& dialog) {
      QCOMPARE(dialog.ComboBox1->currentText(), QStringLiteral("MN128-SOHO-SL10"));
      QTest::keyClick(dialog.Edit1, Qt::Key_Return);  // Enter is OK
    });
    QCOMPARE(form->RouterModel, 2);
  }

  void modelOutsideTheListShowsNoneAndOkStoresMinusTwo() {
    auto form = startWindow(testing_support::SettingsFor("127.0.0.1", 9));
    QVERIFY(form);
    QCOMPARE(form->RouterModel, 9);
    openSettings(*form, [](TForm2& dialog) {
      QCOMPARE(dialog.ComboBox1->currentIndex(), -1);
      QTest::mouseClick(dialog.Button2, Qt::LeftButton);
    });
    QCOMPARE(form->RouterModel, -2);
    form->close();
    QCOMPARE(platform::GetPrivateProfileInt("main", "rt", 0, form->SettingsPath()), -2);
  }

  void untickingSingleClickStopsSelectionRuns() {
    auto form = startWindow(testing_support::SettingsFor("127.0.0.1"));
    QVERIFY(form);
    openSettings(*form, [](TForm2& dialog) {
      QVERIFY(dialog.CheckBox1->isChecked());
      QTest::mouseClick(dialog.CheckBox1, Qt::LeftButton, {}, QPoint(4, 8));
      QTest::keyClick(dialog.Edit1, Qt::Key_Enter);
    });
    QCOMPARE(form->SingleSetting, 1);
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    form->TreeView1->setCurrentItem(form->TreeView1->topLevelItem(1));
    QCOMPARE(started.count(), 0);
    form->close();
    QCOMPARE(platform::GetPrivateProfileInt("main", "single", 0, form->SettingsPath()), 1);
  }

  void escapeChangesNothing() {
    auto form = startWindow(testing_support::SettingsFor("127.0.0.1", 1));
    QVERIFY(form);
    {
      const ActivationSuppressed suppressed(*form);
      form->TreeView1->setCurrentItem(form->TreeView1->topLevelItem(1));
    }
    openSettings(*form, [](TForm2& dialog) {
      dialog.Edit1->setText(QStringLiteral("10.0.0.1"));
      dialog.ComboBox1->setCurrentIndex(3);
      dialog.Memo1->setPlainText(QStringLiteral("item\nOther\nX\nend\nx"));
      dialog.CheckBox1->setChecked(false);
      QTest::keyClick(dialog.Memo1, Qt::Key_Escape);
    });
    QCOMPARE(form->Host(), std::string("127.0.0.1"));
    QCOMPARE(form->RouterModel, 1);
    QCOMPARE(form->SingleSetting, 0);
    QCOMPARE(form->PanelLines(), kPanel);
    QCOMPARE(form->TreeView1->topLevelItemCount(), 2);
    QCOMPARE(form->TreeView1->currentItem(), form->TreeView1->topLevelItem(1));
    // The next opening shows the current values, not the abandoned edits.
    openSettings(*form, [](TForm2& dialog) {
      QCOMPARE(dialog.Edit1->text(), QStringLiteral("127.0.0.1"));
      QCOMPARE(dialog.ComboBox1->currentIndex(), 2);
      QVERIFY(dialog.CheckBox1->isChecked());
      QCOMPARE(dialog.PanelLines(), kPanel);
      dialog.reject();
    });
  }

  void aNewPanelRebuildsTheTreeAtOnceAndTheFileAtClose() {
    auto form = startWindow(testing_support::SettingsFor("127.0.0.1"));
    QVERIFY(form);
    const auto fileBefore = platform::ReadFileBytes(form->PanelPath());
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    openSettings(*form, [](TForm2& dialog) {
      dialog.Edit1->setText(QStringLiteral("router.example"));
      dialog.Memo1->setPlainText(
          QStringLiteral("item\nNew first\nSHOW\nend\nitem\nSecond\nX\nend\nx"));
      QTest::mouseClick(dialog.Button2, Qt::LeftButton);
    });
    QCOMPARE(started.count(), 0);
    QCOMPARE(form->TreeView1->topLevelItemCount(), 2);
    QCOMPARE(form->TreeView1->currentItem(), form->TreeView1->topLevelItem(0));
    QCOMPARE(form->TreeView1->currentItem()->text(0), QStringLiteral("New first"));
    QVERIFY(form->TreeView1->isEnabled());
    QCOMPARE(form->SuppressActivation, 0);
    QCOMPARE(form->Host(), std::string("router.example"));
    QCOMPARE(form->Memo2->toPlainText(),
             QStringLiteral("item\nNew first\nSHOW\nend\nitem\nSecond\nX\nend\nx"));
    QCOMPARE(platform::ReadFileBytes(form->PanelPath()), fileBefore);
    form->close();
    QCOMPARE(
        platform::ReadFileBytes(form->PanelPath()),
        std::optional<std::string>("item\r\nNew first\r\nSHOW\r\nend\r\nitem\r\nSecond\r\nX\r\n"
                                   "end\r\nx\r\n"));
  }

  void anUnreadablePanelFileIsWrittenAtCloseOnlyOnceTheUserGaveANewPanel() {
    for (const bool userWritesAPanel : {false, true}) {
      folder_ = std::make_unique<testing_support::ProgramFolder>();
      folder_->WriteSettings(testing_support::SettingsFor("127.0.0.1"));
      // A link to itself: there, but never readable.
      const std::string panelPath = folder_->Path() + "vantrel_p.cfg";
      QCOMPARE(::symlink("vantrel_p.cfg", panelPath.c_str()), 0);
      TForm1 form({}, folder_->Path());
      {
        testing_support::CapturedStream err(stderr);
        form.FormCreate();
        QVERIFY(err.Text().contains("vantrel_p.cfg"));
      }
      form.CreateDialogs();
      form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&form));
      if (userWritesAPanel) {
        openSettings(form, [](TForm2& dialog) {
          dialog.Memo1->setPlainText(QStringLiteral("item\nMine\nSHOW\nend"));
          QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        });
      }
      form.close();
      if (userWritesAPanel) {
        QCOMPARE(platform::ReadFileBytes(panelPath),
                 std::optional<std::string>("item\r\nMine\r\nSHOW\r\nend\r\n"));
      } else {
        QVERIFY(std::filesystem::is_symlink(panelPath));
      }
    }
  }

  void anEmptyPanelLeavesAnEmptyTree() {
    auto form = startWindow(testing_support::SettingsFor("127.0.0.1"));
    QVERIFY(form);
    openSettings(*form, [](TForm2& dialog) {
      dialog.Memo1->clear();
      QTest::mouseClick(dialog.Button2, Qt::LeftButton);
    });
    QCOMPARE(form->TreeView1->topLevelItemCount(), 0);
    QCOMPARE(form->TreeView1->currentItem(), nullptr);
    QVERIFY(form->PanelLines().empty());
  }

  void theDialogWorksWhileACycleWaitsAndItsModelCountsAtOnce() {
    testing_support::TestRouter router(kRouterAddress, {"--login-delay", "1500"});
    QVERIFY(router.Ready());
    // Model MN128-SOHO awaits a prompt this router never sends: left so, the
    // log-in would use up the cycle's budget and the answer would be lost.
    auto form = startWindow(testing_support::SettingsFor(kRouterAddress, 1));
    QVERIFY(form);
    bool changedDuringTheCycle = false;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(form->Timer1, &QTimer::timeout, form.get(), [&, connection] {
      disconnect(*connection);
      openSettings(*form, [&](TForm2& dialog) {
        changedDuringTheCycle = form->TreeView1Tag == 1;
        dialog.ComboBox1->setCurrentIndex(1);  // MT128-NET
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
      });
    });
    form->RunCommand("SHOW");
    QVERIFY(changedDuringTheCycle);
    QCOMPARE(form->RouterModel, 0);
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
    QVERIFY(form->TickCount < 16);
  }

  // While the dialog is open the cycle stands still: the router's "login:"
  // arrives and the ticks go on, but nothing is answered; after OK the cycle
  // goes on with the model the dialog set.
  void aCycleMakesNoProgressWhileTheDialogIsOpen() {
    // "login:" comes only once the dialog is open.
    testing_support::TestRouter router(kRouterAddress, {"--login-delay", "1000"});
    QVERIFY(router.Ready());
    auto form = startWindow(testing_support::SettingsFor(kRouterAddress, 1));
    QVERIFY(form);
    const int sessionsBefore = router.SessionsOpened();
    bool loginArrivedUnanswered = false;
    int ticksWhileOpen = 0;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(form->Timer1, &QTimer::timeout, form.get(), [&, connection] {
      disconnect(*connection);
      openSettings(*form, [&](TForm2& dialog) {
        const int ticksAtOpen = form->TickCount;
        QTRY_VERIFY_WITH_TIMEOUT(form->ReceiveBuffer.find("login:") != std::string::npos, 10000);
        // Long enough for a tick of the budget, and for an answer to "login:".
        QTest::qWait(1300);
        ticksWhileOpen = form->TickCount - ticksAtOpen;
        loginArrivedUnanswered =
            !router.Reported("session " + std::to_string(sessionsBefore + 1) + " line admin");
        dialog.ComboBox1->setCurrentIndex(1);  // MT128-NET
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
      });
    });
    form->RunCommand("SHOW");
    QVERIFY(loginArrivedUnanswered);
    QVERIFY(ticksWhileOpen >= 1);
    QCOMPARE(form->RouterModel, 0);
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
    QCOMPARE(form->StatusText(), std::string(app::texts::kStatusRetrieved));
  }
};

VANTREL_TEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"
