// The Qt half of the message pump. The platform queue of the GUI thread (the
// socket windows' messages) is watched by Qt's own loop through the queue's
// descriptor, and "process all pending messages", which the socket layer and
// the command cycle ask for through platform::ProcessMessages, serves both
// sources: Qt's events first, then the platform queue. Waits block in Qt's
// loop until either source has something, so nothing spins and a message
// posted by another thread ends a wait at once.
#pragma once

#include <QObject>
#include <QPointer>
#include <exception>
#include <functional>

class QSocketNotifier;

class PlatformMessagePump : public QObject {
  Q_OBJECT

 public:
  // Create once, on the GUI thread, after the application object. Installs the
  // message-processing hooks; the destructor removes them.
  explicit PlatformMessagePump(QObject* parent = nullptr);
  ~PlatformMessagePump() override;

  // Qt's pending events, then every message waiting in the platform queue.
  void ProcessPending();
  // Blocks until an event of either source arrives (or `timeoutMs` passes,
  // when >= 0), then processes what is pending.
  void WaitAndProcess(int timeoutMs);

  // Where an exception thrown by a window procedure goes when the platform
  // queue is served from Qt's own loop. Unset, it propagates into the
  // application object's notify(), which shows the error box.
  void SetExceptionHandler(std::function<void(const std::exception&)> handler);

  // While platform messages are being dispatched on the calling thread,
  // `call` runs once they all have been (unless `context` is gone by then)
  // and true is returned: a handler's follow-up work waits for the rest of
  // the round without a trip through Qt's queue. False otherwise.
  static bool RunAfterThisRound(QObject* context, std::function<void()> call);

 private:
  void DispatchPlatformQueue();
  static void RunRoundFollowUps();
  void OnQueueReadable();

  QSocketNotifier* notifier_ = nullptr;
  std::function<void(const std::exception&)> exceptionHandler_;
};
