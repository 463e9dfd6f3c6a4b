// The Qt side of the message pump: the platform queue is served by Qt's loop,
// "process pending messages" serves both sources, and a wait ends promptly
// for an event of either source, also one posted from another thread, without
// spinning. Every wait has a deadline far above what it should take.
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/message_pump.h"
#include "platform/message_processing.h"
#include "platform/window_messages.h"
#include "support/test_window.h"
#include "support/thread_state.h"

using namespace win;

namespace {

constexpr int kLongTimeoutMs = 20000;  // a wait that must end long before this
constexpr qint64 kPromptMs = 2000;     // what "at once" is allowed to take here

std::vector<WPARAM>* received = nullptr;
std::function<void(WPARAM)> onMessage;

LRESULT PumpTestProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) {
    if (received != nullptr) received->push_back(wParam);
    if (onMessage) onMessage(wParam);
    return 0;
  }
  return DefWindowProc(hwnd, message, wParam, lParam);
}

// Runs `post` on another thread once `waiter` (a thread id) is asleep.
std::thread PostWhenAsleep(pid_t waiter, std::function<void()> post) {
  return std::thread([waiter, post] {
    support::WaitUntilThreadSleeps(waiter);
    post();
  });
}

// How long a wait of this thread takes while another thread posts.
qint64 WaitWhileAnotherThreadPosts(std::function<void()> post) {
  std::thread poster = PostWhenAsleep(gettid(), std::move(post));
  QElapsedTimer clock;
  clock.start();
  platform::ProcessMessagesWaiting(kLongTimeoutMs);
  const qint64 took = clock.elapsed();
  poster.join();
  return took;
}

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

}  // namespace

class MessagePumpTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    log.clear();
    received = &log;
    onMessage = nullptr;
    pump = std::make_unique<PlatformMessagePump>();
    window = support::NewTestWindow("PumpTestClass", PumpTestProc);
    QVERIFY(window != nullptr);
  }

  void cleanup() {
    onMessage = nullptr;
    received = nullptr;
    DestroyWindow(window);
    pump.reset();
    platform::DispatchPendingPlatformMessages();
    platform::TakePlatformQuitMessage();
  }

  void processMessagesServesQtFirstThenThePlatformQueue() {
    std::vector<std::string> order;
    onMessage = [&](WPARAM) { order.push_back("platform"); };
    PostMessage(window, WM_USER, 2, 0);
    QMetaObject::invokeMethod(
        this, [&] { order.push_back("qt"); }, Qt::QueuedConnection);
    platform::ProcessMessages();
    QCOMPARE(order, (std::vector<std::string>{"qt", "platform"}));
  }

  void aPostOrAQtEventFromAnotherThreadEndsAWaitPromptly() {
    qint64 took = WaitWhileAnotherThreadPosts([this] { PostMessage(window, WM_USER, 3, 0); });
    QCOMPARE(log, (std::vector<WPARAM>{3}));
    QVERIFY2(took < kPromptMs, qPrintable(QString("the wait took %1 ms").arg(took)));

    // A message already waiting is served without waiting at all.
    PostMessage(window, WM_USER, 4, 0);
    QElapsedTimer clock;
    clock.start();
    platform::ProcessMessagesWaiting(kLongTimeoutMs);
    QVERIFY(clock.elapsed() < kPromptMs);
    QCOMPARE(log, (std::vector<WPARAM>{3, 4}));

    bool delivered = false;
    took = WaitWhileAnotherThreadPosts([&] {
      QMetaObject::invokeMethod(
          this, [&] { delivered = true; }, Qt::QueuedConnection);
    });
    QVERIFY(delivered);
    QVERIFY2(took < kPromptMs, qPrintable(QString("the wait took %1 ms").arg(took)));
  }

  void aWaitInsideAWindowProcedureStillWakesForTheNextPost() {
    // The first message is dispatched from Qt's loop through the notifier;
    // its handler waits for the second, as a nested pump of the command cycle
    // would.
    qint64 innerTook = -1;
    onMessage = [&](WPARAM w) {
      if (w != 5) return;
      std::thread poster = PostWhenAsleep(gettid(), [this] { PostMessage(window, WM_USER, 6, 0); });
      QElapsedTimer clock;
      clock.start();
      while (log.size() < 2 && clock.elapsed() < kLongTimeoutMs)
        platform::ProcessMessagesWaiting(kLongTimeoutMs);
      innerTook = clock.elapsed();
      poster.join();
    };
    PostMessage(window, WM_USER, 5, 0);
    QTRY_COMPARE_WITH_TIMEOUT(log.size(), size_t{2}, kLongTimeoutMs);
    QCOMPARE(log, (std::vector<WPARAM>{5, 6}));
    QVERIFY2(innerTook >= 0 && innerTook < kPromptMs,
             qPrintable(QString("the inner wait took %1 ms").arg(innerTook)));
  }

  void aWaitWithNothingToDoEndsAtItsTimeoutWithoutSpinning() {
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = ThreadCpuMs();
    platform::ProcessMessagesWaiting(300);
    const double cpu = ThreadCpuMs() - cpuBefore;
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 250, qPrintable(QString("returned after %1 ms").arg(took)));
    QVERIFY2(took < 300 + kPromptMs, qPrintable(QString("returned after %1 ms").arg(took)));
    QVERIFY2(cpu < 100.0, qPrintable(QString("burned %1 ms of processor time").arg(cpu)));
    QVERIFY(log.empty());
  }

  void aQuitMessageEndsTheApplicationsLoop() {
    QTimer::singleShot(0, [] { PostQuitMessage(3); });
    QTimer::singleShot(kLongTimeoutMs, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 3);
  }

  void qtsLoopServesThePlatformQueueAndHandsExceptionsToTheHandler() {
    QString caught;
    pump->SetExceptionHandler([&](const std::exception& e) { caught = e.what(); });
    onMessage = [](WPARAM) { throw std::runtime_error("from the procedure"); };
    std::thread([this] { PostMessage(window, WM_USER, 7, 0); }).join();
    QTRY_COMPARE_WITH_TIMEOUT(caught, QString("from the procedure"), kLongTimeoutMs);
  }

  void aHandlersFollowUpRunsOnceTheRoundIsHandledOrFromQtsQueueAfterAThrow() {
    // Outside a round there is none to wait for.
    QVERIFY(!PlatformMessagePump::RunAfterThisRound(this, [] {}));

    std::vector<std::string> order;
    auto gone = std::make_unique<QObject>();
    onMessage = [&](WPARAM w) {
      order.push_back("message " + std::to_string(w));
      if (w != 8) return;
      QVERIFY(PlatformMessagePump::RunAfterThisRound(this, [&] { order.push_back("follow-up"); }));
      QVERIFY(PlatformMessagePump::RunAfterThisRound(gone.get(), [&] { order.push_back("gone"); }));
      gone.reset();
    };
    PostMessage(window, WM_USER, 8, 0);
    PostMessage(window, WM_USER, 9, 0);
    platform::ProcessMessages();
    QCOMPARE(order, (std::vector<std::string>{"message 8", "message 9", "follow-up"}));

    // A handler that throws ends the round; its follow-up is not lost.
    order.clear();
    pump->SetExceptionHandler([](const std::exception&) {});
    onMessage = [&](WPARAM) {
      PlatformMessagePump::RunAfterThisRound(this, [&] { order.push_back("follow-up"); });
      throw std::runtime_error("from the procedure");
    };
    std::thread([this] { PostMessage(window, WM_USER, 10, 0); }).join();
    QTRY_COMPARE_WITH_TIMEOUT(order, (std::vector<std::string>{"follow-up"}), kLongTimeoutMs);
  }

 private:
  std::unique_ptr<PlatformMessagePump> pump;
  HWND window = nullptr;
  std::vector<WPARAM> log;
};

QTEST_MAIN(MessagePumpTest)
#include "message_pump_test.moc"
