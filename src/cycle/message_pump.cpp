// Wires the platform queue of the GUI thread into Qt's event loop.
#include "cycle/message_pump.h"

#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopedValueRollback>
#include <QSocketNotifier>
#include <QTimer>
#include <utility>
#include <vector>

#include "platform/message_processing.h"
#include "platform/window_messages.h"

namespace {

struct FollowUp {
  QPointer<QObject> context;
  std::function<void()> call;
};

thread_local int roundsUnderWay = 0;
thread_local std::vector<FollowUp> followUps;

bool PlatformMessageWaiting() {
  pollfd pfd{win::MessageQueueDescriptor(), POLLIN, 0};
  return poll(&pfd, 1, 0) == 1;
}

}  // namespace

PlatformMessagePump::PlatformMessagePump(QObject* parent) : QObject(parent) {
  // The descriptor is readable exactly while a message waits, so Qt's loop
  // wakes for a message posted from any thread and calls us back until the
  // queue is empty.
  notifier_ = new QSocketNotifier(win::MessageQueueDescriptor(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &PlatformMessagePump::OnQueueReadable);
  platform::SetMessageProcessingHooks(
      {[this] { ProcessPending(); }, [this](int timeoutMs) { WaitAndProcess(timeoutMs); }});
}

PlatformMessagePump::~PlatformMessagePump() { platform::SetMessageProcessingHooks({}); }

void PlatformMessagePump::SetExceptionHandler(std::function<void(const std::exception&)> handler) {
  exceptionHandler_ = std::move(handler);
}

bool PlatformMessagePump::RunAfterThisRound(QObject* context, std::function<void()> call) {
  if (roundsUnderWay == 0) return false;
  followUps.push_back({context, std::move(call)});
  return true;
}

void PlatformMessagePump::RunRoundFollowUps() {
  std::vector<FollowUp> due;
  due.swap(followUps);
  for (FollowUp& followUp : due)
    if (followUp.context) followUp.call();
}

void PlatformMessagePump::DispatchPlatformQueue() {
  try {
    const QScopedValueRollback round(roundsUnderWay, roundsUnderWay + 1);
    platform::DispatchPendingPlatformMessages();
  } catch (...) {
    // A handler threw: what the round's handlers asked for still runs, later,
    // from Qt's own queue.
    for (FollowUp& followUp : std::exchange(followUps, {}))
      if (followUp.context)
        QMetaObject::invokeMethod(followUp.context, std::move(followUp.call), Qt::QueuedConnection);
    throw;
  }
  RunRoundFollowUps();
  // A quit posted to the platform queue ends the application's loop, as
  // WM_QUIT ends a Windows message loop.
  int exitCode = 0;
  if (platform::TakePlatformQuitMessage(&exitCode)) QCoreApplication::exit(exitCode);
}

void PlatformMessagePump::OnQueueReadable() {
  if (!exceptionHandler_) {
    DispatchPlatformQueue();
    return;
  }
  try {
    DispatchPlatformQueue();
  } catch (const std::exception& e) {
    exceptionHandler_(e);
  }
}

void PlatformMessagePump::ProcessPending() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  DispatchPlatformQueue();
}

void PlatformMessagePump::WaitAndProcess(int timeoutMs) {
  if (timeoutMs == 0 || PlatformMessageWaiting()) {
    ProcessPending();
    return;
  }
  // A timer is one more event source: it ends the wait when time is up.
  QTimer timeout;
  if (timeoutMs > 0) {
    timeout.setSingleShot(true);
    timeout.start(timeoutMs);
  }
  // Returns once Qt's loop has woken for an event of either source (the
  // queue's notifier is one of its sources). Some of Qt's dispatchers return
  // on the wake-up before they deliver what another thread posted, so one
  // more round without waiting serves everything that is now pending.
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  ProcessPending();
}
