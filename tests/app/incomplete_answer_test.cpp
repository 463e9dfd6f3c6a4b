// The window after answers that did not come whole: the pane shows what
// came, and the status bar says it is not all; and a command typed with
// characters Shift-JIS has no form for is refused before anything is sent.
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/session_texts.h"
#include "session_test_support.h"

namespace {

// Closes the connection after the first half of each answer.
constexpr char kClosingRouterAddress[] = "127.0.17.20";
constexpr char kRouterAddress[] = "127.0.17.21";
// Closes too, after a stray prompt line and the line after it.
constexpr char kStrayPromptRouterAddress[] = "127.0.17.22";

const char kCommands[] =
    "@command SHOW\n"
    "A\n"
    "B\n"
    "C\n"
    "D\n";

const char kStrayPromptCommands[] =
    "@command SHOW\n"
    "A\n"
    "MT128-NET% \n"
    "B\n"
    "C\nD\nE\nF\nG\nH\nI\n";

const std::vector<std::string> kPanel = {"group", "Status", "end", "endgroup+", "end"};

}  // namespace

class IncompleteAnswerTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm1> startWindow(const char* address) {
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    return testing_support::StartWindow(*folder_, kPanel, testing_support::SettingsFor(address));
  }

  std::unique_ptr<testing_support::ProgramFolder> folder_;
  std::unique_ptr<testing_support::TestRouter> closingRouter_;
  std::unique_ptr<testing_support::TestRouter> router_;
  std::unique_ptr<testing_support::TestRouter> strayPromptRouter_;

 private slots:
  void initTestCase() {
    closingRouter_ = std::make_unique<testing_support::TestRouter>(
        kClosingRouterAddress, std::vector<std::string>{"--close-in-output"}, kCommands);
    router_ = std::make_unique<testing_support::TestRouter>(kRouterAddress,
                                                            std::vector<std::string>{}, kCommands);
    strayPromptRouter_ = std::make_unique<testing_support::TestRouter>(
        kStrayPromptRouterAddress, std::vector<std::string>{"--close-in-output"},
        kStrayPromptCommands);
    QVERIFY(strayPromptRouter_->Ready());
    QVERIFY(closingRouter_->Ready());
    QVERIFY(router_->Ready());
  }

  void init() { app::ResetErrorBoxRaised(); }

  void paneShowsWhatCameAndTheStatusBarSaysItIsNotAll() {
    auto form = startWindow(kClosingRouterAddress);
    QVERIFY(form);
    form->RunCommand("SHOW");
    // The router went after A and B; B is the last line, and it is data.
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
    QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("A\nB"));
    QCOMPARE(form->StatusText(), std::string(app::texts::kAnswerIncomplete));
    QCOMPARE(form->StatusText1->text(), QString::fromUtf8("応答が最後まで届きませんでした"));
    QVERIFY(form->AnswerIncomplete());
    // No box of its own.
    QVERIFY(!app::ErrorBoxRaised());
    QCOMPARE(form->TreeView1Tag, 0);

    // A whole answer afterwards reads as complete again.
    form->SetHost(kRouterAddress);
    form->RunCommand("SHOW");
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B", "C", "D"}));
    QCOMPARE(form->StatusText(), std::string(app::texts::kStatusRetrieved));
    QVERIFY(!form->AnswerIncomplete());
  }

  // A prompt in a line that more lines followed was text: the answer that
  // ends before the real prompt is not all, and its last line is data.
  void aStrayPromptLineDoesNotEndTheAnswer() {
    auto form = startWindow(kStrayPromptRouterAddress);
    QVERIFY(form);
    form->RunCommand("SHOW");
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
    QCOMPARE(form->StatusText(), std::string(app::texts::kAnswerIncomplete));
  }

  void typedCommandWithoutAShiftJisFormIsRefused() {
    auto form = startWindow(kRouterAddress);
    QVERIFY(form);
    const int sessionsBefore = router_->SessionsOpened();
    form->FlatEdit1->setText(QString::fromUtf8("SHOW \xF0\x9F\x98\x80"));
    testing_support::CapturedStream err(stderr);
    QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
    const QString written = QString::fromUtf8(err.Text());
    QVERIFY2(written.contains(QString::fromUtf8("コマンドに Shift-JIS にない文字があります")),
             qPrintable(written));
    QVERIFY(app::ErrorBoxRaised());
    QCOMPARE(router_->SessionsOpened(), sessionsBefore);
    QCOMPARE(form->TreeView1Tag, 0);
    // The text stays for the user to mend.
    QCOMPARE(form->FlatEdit1->text(), QString::fromUtf8("SHOW \xF0\x9F\x98\x80"));
  }
};

VANTREL_TEST_MAIN(IncompleteAnswerTest)
#include "incomplete_answer_test.moc"
