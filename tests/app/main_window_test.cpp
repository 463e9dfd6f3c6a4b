// The operation panel on the real window: which user actions reach the
// command cycle, with which command, and what the panel adds to the output.
// The cycles run for real, against a router simulator of this file's own.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTreeWidget>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/settings_dialog.h"
#include "app/texts.h"
#include "session_test_support.h"

namespace {

// "任意のコマンド": the caption of the entry that explains the edit box.
const std::string kArbitrary = app::texts::kArbitraryCommandCaption;

// Group "Status" (inert, since line 0 is "group") holding two runnable items,
// then an item with a message line and an inert item.
const std::vector<std::string> kPanel = {"group",      "Status",       "end",               // 0-2
                                         "item",       "Show all",     "SHOW",      "end",  // 3-6
                                         "item",       "Lines",        "SHOW LINE", "end",  // 7-10
                                         "endgroup+",                                       // 11
                                         "item",       "With message", "SHOW LOG",  "message",
                                         "-- done --", "end",                               // 12-17
                                         "item",       "Inert",        "group",     "end",  // 18-21
                                         "end"};

constexpr char kRouterAddress[] = "127.0.0.175";
// Closes the connection as soon as the log-in name arrives, so the command's
// SendStr fails and the cycle ends in an error.
constexpr char kClosingRouterAddress[] = "127.0.0.177";

QStringList Commands(const QSignalSpy& spy) {
  QStringList commands;
  for (const QList<QVariant>& call : spy) {
    commands << QString::fromLatin1(call.at(0).toByteArray());
  }
  return commands;
}

QTreeWidgetItem* FindNode(QTreeWidget* tree, const QString& caption) {
  const auto found = tree->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // A shown window whose start-up has run on `panel`, against the router.
  std::unique_ptr<TForm1> startWindow(const std::vector<std::string>& panel, int single = 0) {
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    return testing_support::StartWindow(*folder_, panel,
                                        testing_support::SettingsFor(kRouterAddress, 0, single));
  }

  void clickNode(TForm1& form, const QString& caption, Qt::MouseButton button = Qt::LeftButton) {
    QTreeWidgetItem* node = FindNode(form.TreeView1, caption);
    QVERIFY(node != nullptr);
    const QPoint centre = form.TreeView1->visualItemRect(node).center();
    QTest::mouseClick(form.TreeView1->viewport(), button, {}, centre);
    // A cycle that the click started runs once the press has been handled,
    // from the event loop.
    QCoreApplication::processEvents();
  }

  void doubleClickNode(TForm1& form, const QString& caption) {
    QTreeWidgetItem* node = FindNode(form.TreeView1, caption);
    QVERIFY(node != nullptr);
    const QPoint centre = form.TreeView1->visualItemRect(node).center();
    QTest::mouseDClick(form.TreeView1->viewport(), Qt::LeftButton, {}, centre);
  }

  std::unique_ptr<testing_support::ProgramFolder> folder_;
  std::unique_ptr<testing_support::TestRouter> router_;

 private slots:
  void initTestCase() {
    router_ = std::make_unique<testing_support::TestRouter>(kRouterAddress);
    QVERIFY(router_->Ready());
  }

  void startUpBuildsTheTreeAndRunsNothing() {
    // The first entry is runnable and single-click mode is on.
    testing_support::ProgramFolder folder;
    folder.WritePanel({"item", "First", "SHOW", "end", "x"});
    TForm1 form({}, folder.Path());
    QSignalSpy started(&form, &TForm1::commandStarted);
    form.FormCreate();
    QCOMPARE(started.count(), 0);
    QCOMPARE(form.TreeView1->currentItem(), form.TreeView1->topLevelItem(0));
    QCOMPARE(form.SuppressActivation, 0);
    QCOMPARE(form.SingleSetting, 0);
  }

  void treeMirrorsThePanelFile() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    QCOMPARE(form->TreeView1->topLevelItemCount(), 3);
    QTreeWidgetItem* status = form->TreeView1->topLevelItem(0);
    QCOMPARE(status->text(0), QStringLiteral("Status"));
    QVERIFY(status->isExpanded());
    QCOMPARE(status->childCount(), 2);
    QCOMPARE(TForm1::NodeLineReference(status->child(1)), 9);
    QCOMPARE(form->Memo2->toPlainText().split(QLatin1Char('\n')).size(),
             static_cast<int>(kPanel.size()));
  }

  void singleClickModeRunsEverySelectionChange() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    clickNode(*form, QStringLiteral("Show all"));
    clickNode(*form, QStringLiteral("Status"));  // a group: line 0 is "group"
    clickNode(*form, QStringLiteral("Lines"), Qt::RightButton);
    QCOMPARE(form->TreeView1->currentItem()->text(0), QStringLiteral("Lines"));
    form->TreeView1->setFocus();
    QTest::keyClick(form->TreeView1, Qt::Key_Down);
    QTest::keyClick(form->TreeView1, Qt::Key_Down);
    // The group and the inert item reached on the way run nothing.
    QCOMPARE(Commands(started), QStringList({"SHOW", "SHOW LINE", "SHOW LOG"}));
  }

  void doubleClickModeRunsOnlyOnDoubleClick() {
    auto form = startWindow(kPanel, 1);
    QVERIFY(form);
    QCOMPARE(form->SingleSetting, 1);
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    clickNode(*form, QStringLiteral("Show all"));
    clickNode(*form, QStringLiteral("Lines"), Qt::RightButton);
    QCOMPARE(started.count(), 0);
    doubleClickNode(*form, QStringLiteral("Lines"));
    doubleClickNode(*form, QStringLiteral("Inert"));
    QCOMPARE(Commands(started), QStringList({"SHOW LINE"}));
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"line 1"}));
  }

  void programmaticMovesAndTheBusyMarkRunNothing() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    form->SuppressActivation = 1;
    form->TreeView1->setCurrentItem(FindNode(form->TreeView1, QStringLiteral("Show all")));
    form->SuppressActivation = 0;
    form->TreeView1Tag = 1;
    clickNode(*form, QStringLiteral("Lines"));
    doubleClickNode(*form, QStringLiteral("With message"));
    QCOMPARE(started.count(), 0);
    QVERIFY(form->Memo1Lines().empty());
    form->TreeView1Tag = 0;
    form->TreeView1DblClick();
    QCOMPARE(Commands(started), QStringList({"SHOW LOG"}));
  }

  void messageLineFollowsTheCommandOutput() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    clickNode(*form, QStringLiteral("With message"));
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"log 1", "log 2", "-- done --"}));
    QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("log 1\nlog 2\n-- done --"));
  }

  void arbitraryCommandEntryShowsItsHelp() {
    // Inert (command line "group"): the help and nothing else.
    auto form = startWindow({"group", "Top", "end", "item", kArbitrary, "group", "end", "item",
                             kArbitrary, "SHOW", "end", "endgroup", "x"});
    QVERIFY(form);
    form->Memo1Add("old output");
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    form->SingleSetting = 1;
    QTreeWidgetItem* top = form->TreeView1->topLevelItem(0);
    top->setExpanded(true);
    form->TreeView1->setCurrentItem(top->child(0));
    form->TreeView1DblClick();
    const std::vector<std::string> help = {app::texts::kArbitraryCommandHelp1,
                                           app::texts::kArbitraryCommandHelp2};
    QCOMPARE(form->Memo1Lines(), help);
    QCOMPARE(started.count(), 0);
    QVERIFY(form->Memo1->toPlainText().startsWith(QString::fromUtf8("上のテキストボックス")));

    // Runnable: the help is written first, then the command runs (and its
    // output replaces the help).
    std::size_t linesWhenStarted = 0;
    connect(form.get(), &TForm1::commandStarted, form.get(),
            [&] { linesWhenStarted = form->Memo1Lines().size(); });
    form->TreeView1->setCurrentItem(top->child(1));
    form->TreeView1DblClick();
    QCOMPARE(Commands(started), QStringList({"SHOW"}));
    QCOMPARE(linesWhenStarted, std::size_t{2});
  }

  void groupRunsLineZeroWhenItIsNotGroup() {
    auto form = startWindow({"item", "First", "cmd", "end", "group", "G", "end", "endgroup", "x"});
    QVERIFY(form);
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    clickNode(*form, QStringLiteral("G"));
    QCOMPARE(Commands(started), QStringList({"item"}));
  }

  void enterRunsTheEditBoxAndReturnsToTheFirstEntry() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    form->TreeView1->setCurrentItem(FindNode(form->TreeView1, QStringLiteral("Lines")));
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    int suppressionDuringCycle = -1;
    connect(form.get(), &TForm1::commandStarted, form.get(),
            [&] { suppressionDuringCycle = form->SuppressActivation; });
    form->FlatEdit1->setText(QStringLiteral("SHOW ALL"));
    QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
    QCOMPARE(Commands(started), QStringList({"SHOW ALL"}));
    QCOMPARE(suppressionDuringCycle, 1);
    QCOMPARE(form->SuppressActivation, 0);
    QCOMPARE(form->TreeView1->currentItem(), form->TreeView1->topLevelItem(0));

    // After an abort the selection stays where it was. The lamp is clicked as
    // soon as the cycle first serves events, while it still connects.
    form->SuppressActivation = 1;
    form->TreeView1->setCurrentItem(FindNode(form->TreeView1, QStringLiteral("Lines")));
    form->SuppressActivation = 0;
    started.clear();
    app::ResetErrorBoxRaised();
    const auto abortSoon = connect(form.get(), &TForm1::commandStarted, form.get(), [&] {
      QTimer::singleShot(0, form.get(), [&] { form->Panel3Click(); });
    });
    {
      testing_support::CapturedStream err(stderr);
      QTest::keyClick(form->FlatEdit1, Qt::Key_Enter);
    }
    disconnect(abortSoon);
    QCOMPARE(Commands(started), QStringList({"SHOW ALL"}));
    QCOMPARE(form->AbortRequested, 1);
    QVERIFY(app::ErrorBoxRaised());
    QCOMPARE(form->TreeView1->currentItem()->text(0), QStringLiteral("Lines"));
  }

  void anErrorSkipsTheMessageLineAndTheReturnToTheFirstEntry() {
    testing_support::TestRouter closing(kClosingRouterAddress, {"--close-at-login"});
    QVERIFY(closing.Ready());
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    auto form = testing_support::StartWindow(*folder_, kPanel,
                                             testing_support::SettingsFor(kClosingRouterAddress));
    QVERIFY(form);
    app::ResetErrorBoxRaised();
    testing_support::CapturedStream err(stderr);

    // The command's SendStr fails: the error box, and no message line (a
    // failed log-in would have returned normally and added it).
    clickNode(*form, QStringLiteral("With message"));
    QVERIFY(app::ErrorBoxRaised());
    QVERIFY(form->Memo1Lines().empty());
    QCOMPARE(form->TreeView1Tag, 0);

    // Enter: the selection stays where the error found it.
    app::ResetErrorBoxRaised();
    form->FlatEdit1->setText(QStringLiteral("SHOW"));
    QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
    QVERIFY(app::ErrorBoxRaised());
    QCOMPARE(form->TreeView1->currentItem()->text(0), QStringLiteral("With message"));
    QCOMPARE(form->SuppressActivation, 0);
  }

  void editBoxTextGoesOutInShiftJis() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    form->FlatEdit1->setText(QString::fromUtf8("表示"));
    QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(0).toByteArray(), QByteArray("\x95\x5C\x8E\xA6"));
  }

  void oneClickBesideTheHelpMenuClosesItAndActs() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    form->CreateDialogs();
    form->LastCommand = "SHOW";
    QWindow* window = form->windowHandle();
    const auto clickWhileTheMenuIsOpen = [&](QWidget* target) {
      const QPoint at = target->mapTo(form.get(), target->rect().center());
      const auto click = connect(form->PopupMenu1, &QMenu::aboutToShow, form.get(), [=] {
        QTimer::singleShot(0, window, [=] {
          QTest::mousePress(window, Qt::LeftButton, {}, at);
          QTest::mouseRelease(window, Qt::LeftButton, {}, at);
        });
      });
      QTest::mousePress(form->FlatButton2, Qt::LeftButton);  // returns when the menu has closed
      QTest::mouseRelease(form->FlatButton2, Qt::LeftButton);
      disconnect(click);
      QVERIFY(!form->PopupMenu1->isVisible());
    };

    // 更新: the router sees the repeated command at once.
    const int sessions = router_->SessionsOpened();
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    clickWhileTheMenuIsOpen(form->FlatButton3);
    QTRY_COMPARE_WITH_TIMEOUT(Commands(started), QStringList({"SHOW"}), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(router_->SessionsOpened(), sessions + 1, 5000);

    // 設定: its dialog opens.
    bool dialogOpened = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, form.get(), [&] {
      if (QApplication::activeModalWidget() == form->Form2) {
        dialogOpened = true;
        form->Form2->reject();
      }
    });
    watch.start(10);
    clickWhileTheMenuIsOpen(form->FlatButton1);
    QTRY_VERIFY_WITH_TIMEOUT(dialogOpened, 5000);
  }

  // Keys that run a command: F5 as 更新, Return on the selected entry in
  // either click mode (on an inert one, nothing).
  void keysRunCommands_data() {
    QTest::addColumn<int>("single");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("commands");
    QTest::newRow("F5") << 1 << int(Qt::Key_F5) << "Inert" << QStringList({"SHOW LOG"});
    QTest::newRow("Return, double-click mode")
        << 1 << int(Qt::Key_Return) << "Lines" << QStringList({"SHOW LINE"});
    QTest::newRow("Return, single-click mode")
        << 0 << int(Qt::Key_Return) << "Lines" << QStringList({"SHOW LINE"});
    QTest::newRow("keypad Enter, double-click mode")
        << 1 << int(Qt::Key_Enter) << "Show all" << QStringList({"SHOW"});
    QTest::newRow("Return on an inert entry") << 1 << int(Qt::Key_Return) << "Inert" << QStringList();
  }

  void keysRunCommands() {
    QFETCH(int, single);
    QFETCH(int, key);
    QFETCH(QString, entry);
    QFETCH(QStringList, commands);
    auto form = startWindow(kPanel, single);
    QVERIFY(form);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    form->LastCommand = "SHOW LOG";
    {
      const ActivationSuppressed suppressed(*form);
      form->TreeView1->setCurrentItem(FindNode(form->TreeView1, entry));
    }
    form->TreeView1->setFocus();
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    QTest::keyClick(form->TreeView1, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier
                                                                         : Qt::NoModifier);
    QCOMPARE(Commands(started), commands);
  }

  // Ctrl+, opens the settings and F1 the help menu, whose entry Return takes;
  // each control's tool tip names its key.
  void keysOpenTheDialogsAndTheHelpMenu() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    form->CreateDialogs();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QVERIFY(form->FlatButton3->Hint().endsWith(QStringLiteral("(F5)")));
    QCOMPARE(form->FlatButton1->Hint(), QString::fromUtf8("設定 (Ctrl+,)"));
    QCOMPARE(form->FlatButton2->Hint(), QString::fromUtf8("ヘルプ (F1)"));
    QCOMPARE(form->Panel3->toolTip(), QString::fromUtf8("中断 (Esc)"));

    QStringList opened;
    QTimer watch;
    connect(&watch, &QTimer::timeout, form.get(), [&] {
      if (form->Form2->isVisible()) {
        opened << QStringLiteral("settings");
        form->Form2->reject();
      } else if (form->AboutBox->isVisible()) {
        opened << QStringLiteral("about");
        form->AboutBox->reject();
      } else if (form->PopupMenu1->isVisible() && form->PopupMenu1->activeAction() == form->About1) {
        // Not from this handler: the about box's wait needs this timer.
        QTimer::singleShot(0, form->PopupMenu1,
                           [&] { QTest::keyClick(form->PopupMenu1, Qt::Key_Return); });
      }
    });
    watch.start(10);
    QTest::keyClick(form->FlatEdit1, Qt::Key_Comma, Qt::ControlModifier);
    QTRY_COMPARE_WITH_TIMEOUT(opened, QStringList({"settings"}), 5000);
    form->activateWindow();  // again, once the dialog has gone
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form->TreeView1, Qt::Key_F1);
    QTRY_COMPARE_WITH_TIMEOUT(opened, QStringList({"settings", "about"}), 5000);
  }

  void lampPanelClicksRequestAnAbort() {
    auto form = startWindow(kPanel);
    QVERIFY(form);
    for (QWidget* part :
         {static_cast<QWidget*>(form->Panel3), static_cast<QWidget*>(form->Image1),
          static_cast<QWidget*>(form->Label1), static_cast<QWidget*>(form->Label5)}) {
      form->AbortRequested = 0;
      QTest::mouseClick(part, Qt::LeftButton, {}, QPoint(1, 1));
      QCOMPARE(form->AbortRequested, 1);
    }
    form->AbortRequested = 0;
    QTest::mouseClick(form->Memo1->viewport(), Qt::LeftButton);
    QCOMPARE(form->AbortRequested, 0);
  }
};

VANTREL_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
