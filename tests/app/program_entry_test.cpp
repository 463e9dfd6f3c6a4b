// The program's start-up as the entry runs it: which commands the switches
// hand to the command cycle, in which order, and how a run without a window
// ends. The cycles run for real, against a router simulator of this file's own
// that answers every command with "応答" and the command.
#include <QTimer>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/program_entry.h"
#include "session_test_support.h"

namespace {

struct Outcome {
  int status = -1;
  QList<QByteArray> commands;
  bool windowShown = false;
};

constexpr char kRouterAddress[] = "127.0.0.176";

// "応答" (answer) in Shift-JIS, as a router's output line might carry it.
const std::string kAnswer = "\x89\x9E\x93\x9A";

// A program folder with a panel and settings pointing at the test router.
void PrepareFolder(const testing_support::ProgramFolder& folder, bool withPanel = true) {
  if (withPanel) folder.WritePanel({"item", "First", "FIRST", "end", "x"});
  folder.WriteSettings(testing_support::SettingsFor(kRouterAddress));
}

Outcome RunProgram(const std::vector<std::string>& arguments, const std::string& folder) {
  Outcome outcome;
  app::EntryHooks hooks;
  hooks.mainWindowCreated = [&outcome](TForm1& form) {
    QObject::connect(&form, &TForm1::commandStarted, &form,
                     [&outcome](const QByteArray& command) { outcome.commands << command; });
  };
  hooks.startUpFinished = [&outcome](TForm1& form) {
    outcome.windowShown = true;
    QTimer::singleShot(0, &form, &QWidget::close);
  };
  outcome.status = app::RunApplication(arguments, folder, hooks);
  return outcome;
}

}  // namespace

class ProgramEntryTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    router_ = std::make_unique<testing_support::TestRouter>(
        kRouterAddress, std::vector<std::string>{}, "@unknown\n" + kAnswer + " {COMMAND}\n");
    QVERIFY(router_->Ready());
  }

  void init() { app::ResetErrorBoxRaised(); }

  void switchesReachTheCycleInOrder_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("hidden");
    // "-c A -c B", "-c -h", "-Cd" and "-c" last are run on the real program
    // (tests/e2e/command_line_test.cpp); these are the other spellings.
    QTest::newRow("upper case") << QStringList{"-C", "A", "-CD", "B", "-H"} << QStringList{"A", "B"}
                                << true;
    QTest::newRow("-c takes -c") << QStringList{"-c", "-c"} << QStringList{"-c", ""} << false;
    QTest::newRow("-cd takes -c") << QStringList{"-h", "-cd", "-c"} << QStringList{"-c", ""}
                                  << true;
    QTest::newRow("near misses") << QStringList{"-Cd", "A", "-cD", "B", "-c ", "C", "--c", "D",
                                                "-hc", "-h ", "-hC"}
                                 << QStringList{} << false;
  }

  void switchesReachTheCycleInOrder() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);
    QFETCH(bool, hidden);
    testing_support::ProgramFolder folder;
    PrepareFolder(folder);
    std::vector<std::string> argv;
    for (const QString& argument : arguments) argv.push_back(argument.toStdString());

    testing_support::CapturedStream out(stdout);
    const Outcome outcome = RunProgram(argv, folder.Path());
    out.Text();

    QStringList commands;
    for (const QByteArray& command : outcome.commands) commands << QString::fromLatin1(command);
    QCOMPARE(commands, expected);
    QCOMPARE(outcome.windowShown, !hidden);
    QCOMPARE(outcome.status, 0);
  }

  void windowOpensShowingTheLastCommandsOutput() {
    testing_support::ProgramFolder folder;
    PrepareFolder(folder);
    std::vector<std::string> shownLines;
    app::EntryHooks hooks;
    hooks.startUpFinished = [&shownLines](TForm1& form) {
      shownLines = form.Memo1Lines();
      QTimer::singleShot(0, &form, &QWidget::close);
    };
    QCOMPARE(app::RunApplication({"-c", "A", "-c", "B"}, folder.Path(), hooks), 0);
    QCOMPARE(shownLines, std::vector<std::string>{kAnswer + " B"});
  }

  void hiddenDisplayBoxGoesToStandardOutput() {
    testing_support::ProgramFolder folder;
    PrepareFolder(folder);
    testing_support::CapturedStream out(stdout);
    const Outcome outcome = RunProgram({"-h", "-cd", "SHOW"}, folder.Path());
    QCOMPARE(out.Text(), QString::fromUtf8("応答 SHOW\n").toUtf8());
    QCOMPARE(outcome.status, 0);
    QVERIFY(!outcome.windowShown);
  }

  void hiddenRunWithAnErrorBoxEndsWithStatusOne() {
    testing_support::ProgramFolder folder;
    PrepareFolder(folder, false);
    testing_support::CapturedStream err(stderr);
    const Outcome outcome = RunProgram({"-h", "-c", "A"}, folder.Path());
    const QString written = QString::fromUtf8(err.Text());
    QCOMPARE(outcome.status, 1);
    QVERIFY(!outcome.windowShown);
    // Start-up went on after the report: the switch still ran.
    QCOMPARE(outcome.commands, QList<QByteArray>{"A"});
    const QString path = QString::fromStdString(folder.Path()) + "vantrel_p.cfg";
    QVERIFY2(written.contains(QString::fromUtf8("ファイル %1 は開けません").arg(path)),
             qPrintable(written));
  }

 private:
  std::unique_ptr<testing_support::TestRouter> router_;
};

VANTREL_TEST_MAIN(ProgramEntryTest)
#include "program_entry_test.moc"
