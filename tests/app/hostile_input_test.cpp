// The window against input meant to break it: a router flooding the cycle
// (a lamp click must still stop it at once), a command typed with a line
// break, and a panel nested tens of thousands of levels deep.
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/panel_tree.h"
#include "app/session_texts.h"
#include "platform/exception.h"
#include "session_test_support.h"

namespace {

constexpr char kFloodingRouterAddress[] = "127.0.0.218";
constexpr char kQuietRouterAddress[] = "127.0.0.219";

const std::vector<std::string> kPanel = {"item", "Show all", "SHOW", "end", "x"};

// `depth` nested expanded groups with one item at the bottom.
std::vector<std::string> NestedPanel(int depth) {
  std::vector<std::string> lines;
  for (int i = 0; i < depth; ++i) {
    lines.insert(lines.end(), {"group", "G" + std::to_string(i), "end"});
  }
  lines.insert(lines.end(), {"item", "Leaf", "SHOW", "end"});
  lines.insert(lines.end(), static_cast<std::size_t>(depth), "endgroup+");
  lines.push_back("end");
  return lines;
}

// Items reachable from the top of the tree, and the deepest level among them.
void Walk(QTreeWidgetItem* item, int level, int& count, int& deepest) {
  // A loop, not recursion, down the one long chain this panel makes.
  for (; item != nullptr; ++level) {
    ++count;
    deepest = std::max(deepest, level);
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < item->childCount(); ++i) {
      if (item->child(i)->childCount() > 0 && next == nullptr) {
        next = item->child(i);
      } else {
        Walk(item->child(i), level + 1, count, deepest);
      }
    }
    item = next;
  }
}

}  // namespace

class HostileInputTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TForm1> startWindow(const char* address,
                                      const std::vector<std::string>& panel = kPanel) {
    folder_ = std::make_unique<testing_support::ProgramFolder>();
    return testing_support::StartWindow(*folder_, panel, testing_support::SettingsFor(address));
  }

  std::unique_ptr<testing_support::ProgramFolder> folder_;

 private slots:
  void init() { app::ResetErrorBoxRaised(); }

  void lampClickEndsAFloodingCycleAtOnce() {
    testing_support::TestRouter router(kFloodingRouterAddress,
                                       {"--endless-output", "--output-rate", "8388608"});
    QVERIFY(router.Ready());
    auto form = startWindow(kFloodingRouterAddress);
    QVERIFY(form);
    // The click comes once the flood is well under way.
    using Clock = std::chrono::steady_clock;
    Clock::time_point clicked;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(form->Timer1, &QTimer::timeout, form.get(), [&, connection] {
      if (form->ReceiveBuffer.size() < (std::size_t{1} << 20)) return;
      disconnect(*connection);
      clicked = Clock::now();
      QTest::mouseClick(form->Label1, Qt::LeftButton, {}, QPoint(1, 1));
    });
    form->RunCommand("SHOW");
    [[maybe_unused]] const double seconds =
        std::chrono::duration<double>(Clock::now() - clicked).count();

    QVERIFY(clicked != Clock::time_point{});
    QCOMPARE(form->AbortRequested, 1);
    QVERIFY(!app::ErrorBoxRaised());
    QVERIFY(form->Memo1Lines().empty());
    QCOMPARE(form->TreeView1Tag, 0);
#ifndef VANTREL_SANITIZED
    QVERIFY2(seconds < 1.0, qPrintable(QString::number(seconds)));
#endif
  }

  void lineBreakTypedIntoTheEditBoxSendsNothing() {
    testing_support::TestRouter router(kQuietRouterAddress);
    QVERIFY(router.Ready());
    auto form = startWindow(kQuietRouterAddress);
    QVERIFY(form);
    for (const char* typed : {"SHOW\rSHOW LOG", "SHOW\nSHOW LOG", "SHOW\r\nSHOW LOG"}) {
      app::ResetErrorBoxRaised();
      form->FlatEdit1->setText(QString::fromLatin1(typed));
      testing_support::CapturedStream err(stderr);
      QTest::keyClick(form->FlatEdit1, Qt::Key_Return);
      QVERIFY(
          QString::fromUtf8(err.Text()).contains(QString::fromUtf8("コマンドに改行は使えません")));
      QVERIFY(app::ErrorBoxRaised());
      QCOMPARE(form->TreeView1Tag, 0);
    }
    QCOMPARE(router.SessionsOpened(), 0);
  }

  // The cap on what a cycle keeps of an answer, checked at its exact size:
  // data handed to the cycle's data handler in the blocks a connection
  // delivers, then the wait that looks at the mark.
  void anAnswerOfExactlyTheCapStaysWholeAndOneByteMoreIsCut() {
    constexpr std::size_t kCap = std::size_t{64} << 20;
    const std::string block(2048, 'a');
    for (const bool oneMore : {false, true}) {
      auto form = startWindow(kQuietRouterAddress);
      QVERIFY(form);
      for (std::size_t kept = 0; kept < kCap; kept += block.size()) {
        form->TelnetConnection1DataAvailable(nullptr, block.data(), static_cast<int>(block.size()));
      }
      if (oneMore) form->TelnetConnection1DataAvailable(nullptr, "b", 1);
      QCOMPARE(form->ReceiveBuffer.size(), kCap);
      QCOMPARE(form->ReceiveBuffer.back(), 'a');
      // Only a cut answer ends the wait with the error.
      std::string error;
      try {
        form->WaitForText("a");
      } catch (const platform::Exception& e) {
        error = e.Message();
      }
      QCOMPARE(error, std::string(oneMore ? app::texts::kAnswerTooLong : ""));
    }
  }

  void deepPanelKeepsEveryEntryReachable() {
    for (int depth : {30000, 100000}) {
      auto form = startWindow(kQuietRouterAddress, NestedPanel(depth));
      QVERIFY(form);
      int count = 0;
      int deepest = 0;
      Walk(form->TreeView1->topLevelItem(0), 1, count, deepest);
      QCOMPARE(count, depth + 1);
      QCOMPARE(deepest, app::kDeepestShownLevel);
      // The panel text itself is kept as it was.
      QCOMPARE(form->PanelLines(), NestedPanel(depth));
    }
  }
};

VANTREL_TEST_MAIN(HostileInputTest)
#include "hostile_input_test.moc"
