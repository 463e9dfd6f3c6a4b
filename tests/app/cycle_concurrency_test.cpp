// What the window does with events that arrive while a command cycle waits:
// activations are ignored, a lamp click stops the cycle, closing the window
// lets the cycle unwind safely.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/session_texts.h"
#include "app/settings_dialog.h"
#include "platform/files.h"
#include "session_test_support.h"

namespace {

constexpr char kSlowRouterAddress[] = "127.0.0.155";
constexpr char kStuckAddress[] = "127.0.0.156";
constexpr char kSilentRouterAddress[] = "127.0.0.157";

const std::vector<std::string> kPanel = {"item",  "Show all",  "SHOW", "end", "item",
                                         "Lines", "SHOW LINE", "end",  "x"};

// A listener at port 23 whose queue of accepted connections is full, so the
// kernel drops every further connection attempt without a word: the client
// waits, as for a router that is switched off.
class StuckListener {
 public:
  explicit StuckListener(const char* address) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(23);
    inet_pton(AF_INET, address, &where.sin_addr);
    const int on = 1;
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
    ok_ = ::bind(listener_, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 &&
          ::listen(listener_, 0) == 0 &&
          ::connect(filler_, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
  }
  ~StuckListener() {
    ::close(filler_);
    ::close(listener_);
  }
  bool Ok() const { return ok_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  bool ok_ = false;
};

}  // namespace

class CycleConcurrencyTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm1> startWindow(const char* address) {
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    return testing_support::StartWindow(*folder_, kPanel, testing_support::SettingsFor(address));
  }

  // Runs `action` once, at the first tick of the lamp timer (the cycle then
  // waits, 200 ms after its start).
  static void AtFirstLampTick(TForm1& form, std::function<void()> action) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(form.Timer1, &QTimer::timeout, &form,
                                   [connection, action = std::move(action)] {
                                     QObject::disconnect(*connection);
                                     action();
                                   });
  }

  std::unique_ptr<testing_support::ProgramFolder> folder_;
  std::unique_ptr<testing_support::TestRouter> slowRouter_;
  std::unique_ptr<testing_support::TestRouter> silentRouter_;

 private slots:
  void initTestCase() {
    slowRouter_ = std::make_unique<testing_support::TestRouter>(
        kSlowRouterAddress, std::vector<std::string>{"--delay", "1000"});
    silentRouter_ = std::make_unique<testing_support::TestRouter>(
        kSilentRouterAddress, std::vector<std::string>{"--no-login"});
    QVERIFY(slowRouter_->Ready());
    QVERIFY(silentRouter_->Ready());
  }

  void init() { app::ResetErrorBoxRaised(); }

  void activationsDuringACycleAreIgnored() {
    auto form = startWindow(kSlowRouterAddress);
    QVERIFY(form);
    const int sessionsBefore = slowRouter_->SessionsOpened();
    QSignalSpy started(form.get(), &TForm1::commandStarted);
    QTreeWidgetItem* lines = form->TreeView1->topLevelItem(1);
    bool triedAll = false;
    AtFirstLampTick(*form, [&] {
      QTest::mouseDClick(form->TreeView1->viewport(), Qt::LeftButton, {},
                         form->TreeView1->visualItemRect(lines).center());
      QTest::mouseClick(form->FlatButton3, Qt::LeftButton);
      form->FlatEdit1->setText(QStringLiteral("SHOW LOG"));
      QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
      // Away from the top again, so that the outer Enter's move back to it
      // is a selection change once more.
      form->TreeView1->setCurrentItem(lines);
      triedAll = true;
    });
    form->FlatEdit1->setText(QStringLiteral("SHOW"));
    QTest::keyClick(form->FlatEdit1, Qt::Key_Return);

    QVERIFY(triedAll);
    QCOMPARE(started.count(), 1);
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
    // The Enter inside the cycle moved the selection to the top and ran
    // nothing; so did the outer Enter after it, whose suppression the inner
    // one must not have lifted.
    QCOMPARE(form->TreeView1->currentItem(), form->TreeView1->topLevelItem(0));
    QCOMPARE(form->SuppressActivation, 0);
    QVERIFY(slowRouter_->WaitForEvent(" closed", sessionsBefore + 1));
    QCOMPARE(slowRouter_->SessionsOpened(), sessionsBefore + 1);
  }

  void lampClickWhileConnectingEndsTheCycleWithTheErrorBox() {
    StuckListener stuck(kStuckAddress);
    QVERIFY(stuck.Ok());
    auto form = startWindow(kStuckAddress);
    QVERIFY(form);
    AtFirstLampTick(*form,
                    [&] { QTest::mouseClick(form->Label5, Qt::LeftButton, {}, QPoint(1, 1)); });
    int ticksWhenDone = -1;
    {
      testing_support::CapturedStream err(stderr);
      form->RunCommand("SHOW");
      ticksWhenDone = form->TickCount;
      QVERIFY(
          QString::fromUtf8(err.Text()).contains(QString::fromUtf8("ログインできませんでした")));
    }
    // Stopped by the click, well before the connection budget of 4 ticks.
    QVERIFY2(ticksWhenDone <= 1, qPrintable(QString::number(ticksWhenDone)));
    QVERIFY(app::ErrorBoxRaised());
    QCOMPARE(form->AbortRequested, 1);
    QVERIFY(form->Memo1Lines().empty());
    QCOMPARE(form->StatusText(), std::string(app::texts::kStatusAborted));
    QCOMPARE(form->TreeView1Tag, 0);
  }

  void lampClickDuringTheLogInStillSendsTheCommandButShowsNothing() {
    auto form = startWindow(kSilentRouterAddress);
    QVERIFY(form);
    const int sessionsBefore = silentRouter_->SessionsOpened();
    // The click comes at the first lamp tick after the router has read the
    // wake-up CR, which goes out once the connection is up: it lands in the
    // wait for "login:" however long connecting took.
    const std::string wokenUp = "session " + std::to_string(sessionsBefore + 1) + " line";
    int ticksAtClick = -1;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(form->Timer1, &QTimer::timeout, form.get(), [&, connection] {
      if (!silentRouter_->Reported(wokenUp)) return;
      disconnect(*connection);
      ticksAtClick = form->TickCount;
      QTest::mouseClick(form->Label1, Qt::LeftButton, {}, QPoint(1, 1));
    });
    form->RunCommand("SHOW");

    QVERIFY(ticksAtClick >= 0);
    QVERIFY(!app::ErrorBoxRaised());
    QVERIFY(form->Memo1Lines().empty());
    // Every wait after the click ended at its first check: not one more tick.
    QCOMPARE(form->TickCount, ticksAtClick);
    QCOMPARE(form->StatusText(), std::string(app::texts::kStatusAborted));
    QVERIFY(silentRouter_->WaitForEvent(" closed", sessionsBefore + 1));
    const std::vector<std::string> read = silentRouter_->LinesRead();
    QVERIFY(read.size() >= 3);
    QCOMPARE(std::vector<std::string>(read.end() - 3, read.end()),
             std::vector<std::string>({"", "admin", "SHOW"}));
  }

  // A click on an entry in single-click mode; during its cycle the program
  // moves the selection back to the top (settings dialog OK, or Enter in the
  // edit box). The top entry must stay current and highlighted afterwards, so
  // that Down runs the second entry.
  void selectionSetDuringAClickedCycleSurvivesTheClick() {
    for (const bool throughDialog : {true, false}) {
      auto form = startWindow(kSlowRouterAddress);
      QVERIFY(form);
      form->CreateDialogs();
      QSignalSpy started(form.get(), &TForm1::commandStarted);
      QTreeWidget* tree = form->TreeView1;
      bool movedDuringCycle = false;
      AtFirstLampTick(*form, [&] {
        if (throughDialog) {
          QTimer::singleShot(0, form->Form2, [&] {
            QTest::mouseClick(form->Form2->Button2, Qt::LeftButton);
          });
          QTest::mouseClick(form->FlatButton1, Qt::LeftButton);
        } else {
          QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
        }
        movedDuringCycle = tree->currentItem() == tree->topLevelItem(0);
      });
      QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                        tree->visualItemRect(tree->topLevelItem(1)).center());
      QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 10000);
      QCOMPARE(started.at(0).at(0).toByteArray(), QByteArray("SHOW LINE"));
      QTRY_COMPARE(form->TreeView1Tag, 0);
      QVERIFY(movedDuringCycle);
      QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
      QCOMPARE(tree->selectedItems(), QList<QTreeWidgetItem*>{tree->topLevelItem(0)});

      QTest::keyClick(tree, Qt::Key_Down);
      QCOMPARE(started.count(), 2);
      QCOMPARE(started.at(1).at(0).toByteArray(), QByteArray("SHOW LINE"));
    }
  }

  void closingTheWindowDuringACycleLetsItUnwind() {
    auto form = startWindow(kSlowRouterAddress);
    QVERIFY(form);
    std::weak_ptr<std::vector<app::LineSpan>> list = form->CaptureList;
    bool listAliveAfterClose = false;
    AtFirstLampTick(*form, [&] {
      form->close();
      listAliveAfterClose = !list.expired();
    });
    form->RunCommand("SHOW");

    QVERIFY(!form->isVisible());
    QVERIFY(listAliveAfterClose);
    QVERIFY(form->CaptureList == nullptr);
    QVERIFY(list.expired());
    QCOMPARE(form->AbortRequested, 1);
    QVERIFY(form->Memo1Lines().empty());
    QCOMPARE(form->TreeView1Tag, 0);
    // The close wrote the files while the cycle was still waiting.
    QVERIFY(platform::ReadFileBytes(form->SettingsPath()).has_value());
    // The window's handlers still work after such a close.
    form->FlatEdit1->setText(QStringLiteral("SHOW"));
    QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
    QCOMPARE(form->Memo1Lines(), std::vector<std::string>({"A", "B"}));
  }
};

VANTREL_TEST_MAIN(CycleConcurrencyTest)
#include "cycle_concurrency_test.moc"
