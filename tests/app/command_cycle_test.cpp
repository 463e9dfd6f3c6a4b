// One command cycle on the real window against the router simulator: what the
// window shows while it runs and after it, the edit box and the refresh button.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/session_texts.h"
#include "app/widget_text.h"
#include "session_test_support.h"
#include "support/loopback_peer.h"

namespace {

constexpr char kRouterAddress[] = "127.0.0.150";
// Holds every answer back, so that the window can be watched mid-cycle.
constexpr char kSlowRouterAddress[] = "127.0.0.151";
// A SOCKS proxy's address, with or without a proxy listening there.
constexpr char kProxyAddress[] = "127.0.0.154";
constexpr int kProxyPort = 1080;

const std::vector<std::string> kPanel = {"group", "Status",    "end",  "item",  "Show all",
                                         "SHOW",  "end",       "item", "Lines", "SHOW LINE",
                                         "end",   "endgroup+", "end"};

const QColor kWhite(255, 255, 255);
const QColor kAqua(0, 255, 255);
const QColor kRed(255, 0, 0);

struct LampState {
  QColor right;
  QColor left;
};

// The router section after a cycle: address, model, the time it ended and how
// long it took.
QRegularExpression AfterCycle(const char* address) {
  return QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(address) +
                            QString::fromUtf8(" MT128-NET · \\d\\d:\\d\\d:\\d\\d · (\\d+\\.\\d\\d) 秒$"));
}

// Seconds the router section says the last cycle took, or -1.
double SectionSeconds(const TForm1& form, const char* address) {
  const QRegularExpressionMatch match = AfterCycle(address).match(form.RouterSectionText());
  return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

}  // namespace

class CommandCycleTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm1> startWindow(const char* address,
                                      std::vector<std::string> arguments = {}) {
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    return testing_support::StartWindow(*folder_, kPanel, testing_support::SettingsFor(address),
                                        std::move(arguments));
  }

  std::unique_ptr<testing_support::ProgramFolder> folder_;
  std::unique_ptr<testing_support::TestRouter> router_;
  std::unique_ptr<testing_support::TestRouter> slowRouter_;

 private slots:
  void initTestCase() {
    router_ = std::make_unique<testing_support::TestRouter>(kRouterAddress);
    slowRouter_ = std::make_unique<testing_support::TestRouter>(
        kSlowRouterAddress, std::vector<std::string>{"--delay", "1200"});
    QVERIFY(router_->Ready());
    QVERIFY(slowRouter_->Ready());
  }

  void init() { app::ResetErrorBoxRaised(); }

  void windowShowsTheCycleWhileItRunsAndItsEndAfterwards() {
    auto form = startWindow(kSlowRouterAddress);
    QVERIFY(form);
    std::vector<LampState> lamps;
    std::vector<std::string> statusWhileRunning;
    std::vector<bool> paneRedrawn;
    std::vector<int> busyMarks;
    std::vector<QString> sectionWhileRunning;
    // Connected after the window's own handler, so each entry is what one
    // tick of the lamp timer left behind.
    connect(form->Timer1, &QTimer::timeout, form.get(), [&] {
      lamps.push_back({TForm1::LampColor(form->Label5), TForm1::LampColor(form->Label1)});
      statusWhileRunning.push_back(form->StatusText());
      paneRedrawn.push_back(form->Memo1->updatesEnabled() && form->Memo1->lineCount() == 1 &&
                            form->Memo1->line(0).isEmpty());
      busyMarks.push_back(form->TreeView1Tag);
      sectionWhileRunning.push_back(form->RouterSectionText());
    });
    QCOMPARE(form->Timer1->interval(), 200);
    QVERIFY(!form->Timer1->isActive());

    form->RunCommand("SHOW");

    // The answer came 1.2 s after the command: the lamps had several ticks.
    QVERIFY2(lamps.size() >= 4, qPrintable(QString::number(lamps.size())));
    for (std::size_t i = 0; i < lamps.size(); ++i) {
      const bool even = i % 2 == 0;
      QCOMPARE(lamps[i].right, even ? kAqua : kWhite);
      QCOMPARE(lamps[i].left, even ? kWhite : kRed);
      QCOMPARE(statusWhileRunning[i], std::string(app::texts::kStatusRetrieving));
      // The pane keeps drawing what it holds: nothing, until the answer.
      QVERIFY(paneRedrawn[i]);
      QCOMPARE(busyMarks[i], 1);
      QCOMPARE(sectionWhileRunning[i], QStringLiteral("127.0.0.151 MT128-NET"));
    }
    QCOMPARE(TForm1::LampColor(form->Label1), kWhite);
    QCOMPARE(TForm1::LampColor(form->Label5), kWhite);
    QVERIFY(!form->Timer1->isActive());
    QVERIFY(!form->Timer2->isActive());
    QVERIFY(form->Memo1->updatesEnabled());
    QCOMPARE(form->StatusText(), std::string(app::texts::kStatusRetrieved));
    QCOMPARE(form->StatusText1->text(), QString::fromUtf8("取得完了"));
    QCOMPARE(form->TreeView1Tag, 0);
    QVERIFY(form->TreeView1->isEnabled());
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
    QVERIFY(!app::ErrorBoxRaised());
    const double seconds = SectionSeconds(*form, kSlowRouterAddress);
    QVERIFY2(seconds >= 1.2 && seconds < 10, qPrintable(form->RouterSectionText()));
  }

  void escAbortsACycleAndTheStatusSaysSo() {
    auto form = startWindow(kSlowRouterAddress);
    QVERIFY(form);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    // Esc while idle asks for nothing.
    QTest::keyClick(form->TreeView1, Qt::Key_Escape);
    QCOMPARE(form->AbortRequested, 0);
    // Pressed once the router has had the command, while its answer waits.
    connect(form.get(), &TForm1::commandStarted, form.get(), [&] {
      QTimer::singleShot(600, form.get(), [&] { QTest::keyClick(form->TreeView1, Qt::Key_Escape); });
    });
    form->RunCommand("SHOW");
    QCOMPARE(form->AbortRequested, 1);
    QVERIFY(form->Memo1Lines().empty());
    QVERIFY(!app::ErrorBoxRaised());
    QCOMPARE(form->StatusText1->text(), QString::fromUtf8("取得を中断しました"));
    QVERIFY2(SectionSeconds(*form, kSlowRouterAddress) >= 0, qPrintable(form->RouterSectionText()));
  }

  void eachCycleReplacesTheOutputAndSetsTheEditBox() {
    auto form = startWindow(kRouterAddress);
    QVERIFY(form);
    form->Memo1Add("left over");
    form->TreeView1->setCurrentItem(form->TreeView1->topLevelItem(0)->child(1));
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"line 1"}));
    QCOMPARE(form->FlatEdit1->text(), QStringLiteral("SHOW LINE"));
    QCOMPARE(form->LastCommand, std::string("SHOW LINE"));
    QCOMPARE(form->StatusText(), std::string(app::texts::kStatusRetrieved));
    QVERIFY(form->ReceiveBuffer.find("line 1") != std::string::npos);
  }

  void aHiddenRunKeepsTheAnswerButNeverFillsThePane() {
    auto form = startWindow(kRouterAddress, {"-h"});
    QVERIFY(form);
    form->RunCommand("SHOW LINE");
    form->Memo1Add("message");
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"line 1", "message"}));
    QCOMPARE(form->Memo1->toPlainText(), QString());
  }

  void refreshBeforeAnyCommandDoesNothing() {
    auto form = startWindow(kRouterAddress);
    QVERIFY(form);
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    QTest::mouseClick(form->FlatButton3, Qt::LeftButton);
    QCOMPARE(started.count(), 0);
    QVERIFY(form->StatusText().empty());
  }

  void refreshRepeatsTheCommandOfTheStartUp() {
    const int sessionsBefore = router_->SessionsOpened();
    auto form = startWindow(kRouterAddress, {"-c", "SHOW LOG"});
    QVERIFY(form);
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"log 1", "log 2"}));
    form->Memo1Clear();
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    QTest::mouseClick(form->FlatButton3, Qt::LeftButton);
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(0).toByteArray(), QByteArray("SHOW LOG"));
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"log 1", "log 2"}));
    QVERIFY(router_->WaitForEvent(" closed", sessionsBefore + 2));
    const std::vector<std::string> read = router_->LinesRead();
    QCOMPARE(std::count(read.begin(), read.end(), std::string("SHOW LOG")), 2);
  }

  void statusSaysWhyAfterAFailedLogIn() {
    // Nothing listens there: the connection is refused and never comes about.
    auto form = startWindow("127.0.0.152");
    QVERIFY(form);
    testing_support::CapturedStream err(stderr);
    form->RunCommand("SHOW");
    const QString written = QString::fromUtf8(err.Text());
    QVERIFY2(written.contains(QString::fromUtf8(
                 "ログインできませんでした\n127.0.0.152 への接続が拒否されました\n")),
             qPrintable(written));
    QVERIFY(app::ErrorBoxRaised());
    QVERIFY(form->Memo1Lines().empty());
    // The connection gave up at the 4th tick of its budget, the first one past 3.
    QCOMPARE(form->TickCount, 4);
    QVERIFY(!form->Timer2->isActive());
    QCOMPARE(form->StatusText1->text(), QString::fromUtf8("取得できませんでした"));
    QVERIFY2(SectionSeconds(*form, "127.0.0.152") >= 3, qPrintable(form->RouterSectionText()));
    QCOMPARE(form->TreeView1Tag, 0);
    QCOMPARE(TForm1::LampColor(form->Label1), kWhite);
    QCOMPARE(TForm1::LampColor(form->Label5), kWhite);
  }

  void aProxyFailureIsForgottenAtTheNextCycle() {
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    auto form = testing_support::StartWindow(*folder_, kPanel,
                                             testing_support::SettingsFor(kRouterAddress) +
                                                 "[socks]\r\nserver=" + kProxyAddress +
                                                 "\r\nport=" + std::to_string(kProxyPort) + "\r\n");
    QVERIFY(form);
    {
      testing_support::CapturedStream err(stderr);
      form->RunCommand("SHOW");  // no proxy there yet
      QVERIFY(
          QString::fromUtf8(err.Text()).contains(QString::fromUtf8("ログインできませんでした")));
    }
    QVERIFY(app::ErrorBoxRaised());
    QVERIFY(form->Memo1Lines().empty());

    QProcess proxy;
    proxy.start(QStringLiteral("/usr/bin/microsocks"),
                {QStringLiteral("-i"), QString::fromLatin1(kProxyAddress), QStringLiteral("-p"),
                 QString::number(kProxyPort)});
    QVERIFY2(proxy.waitForStarted(), "install it with scripts/install-deps.sh");
    QVERIFY(support::WaitUntil(
        [] { return support::Peer::Connect(kProxyPort, kProxyAddress).Valid(); }));
    app::ResetErrorBoxRaised();
    form->RunCommand("SHOW");
    QVERIFY(!app::ErrorBoxRaised());
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
    proxy.terminate();
    QVERIFY(proxy.waitForFinished());
  }

  void promptThatNeverComesEndsTheCycleAtTheSixteenthTick() {
    testing_support::TestRouter router("127.0.0.153", {"--no-prompt"});
    QVERIFY(router.Ready());
    auto form = startWindow("127.0.0.153");
    QVERIFY(form);
    form->RunCommand("SHOW");
    // The command's wait took the whole budget and not a tick more: the
    // log-in went through at once, so every tick was counted in that wait.
    QCOMPARE(form->TickCount, 16);
    QCOMPARE(form->TreeView1Tag, 0);
  }
};

VANTREL_TEST_MAIN(CommandCycleTest)
#include "command_cycle_test.moc"
