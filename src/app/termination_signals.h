// SIGTERM, SIGINT and SIGHUP end the program the way closing its window does,
// so that the settings and the panel survive a logout, a Ctrl+C or a closed
// terminal. A second signal ends it at once. The signal handler
// only writes a byte to a pipe; the GUI thread reads it through a socket
// notifier and does the real work between events.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace app {

// Installs the handlers. Call it as early as possible: a signal that arrives
// before the notifier exists is kept in the pipe and delivered later.
void InstallTerminationHandlers();

// Ends the process the way `signal` would have without our handler, so that
// whoever sent it sees it in the exit status.
void EndBySignal(int signal);

// For a run without a window: a signal interrupts the system call it arrives
// in (a write to a reader that stopped reading, above all) instead of having
// it restarted, so the caller can look at PendingTerminationSignal().
void LetTerminationSignalsInterruptCalls();

// The signal that asked the program to end, or 0.
int PendingTerminationSignal();

// Runs once, right before EndBySignal ends the program: for what must not
// be left half written.
void SetBeforeEndBySignal(std::function<void(int signal)> last);

class TerminationNotifier : public QObject {
  Q_OBJECT

 public:
  explicit TerminationNotifier(QObject* parent = nullptr);
  ~TerminationNotifier() override;

 signals:
  void terminationRequested(int signal);

 private:
  void drain();

  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace app
