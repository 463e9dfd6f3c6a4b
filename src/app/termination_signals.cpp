#include "app/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <cerrno>
#include <utility>

#include <QSocketNotifier>

namespace app {

namespace {

// A logout, Ctrl+C, and the terminal that `vantrel &` ran in being closed.
constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t pendingSignal = 0;
bool restartCalls = true;

// Safe in a signal handler: sigaction is.
void SetHandler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = restartCalls ? SA_RESTART : 0;
  for (const int signal : kTerminationSignals) sigaction(signal, &action, nullptr);
}

void OnTerminationSignal(int signal) {
  const int savedErrno = errno;
  pendingSignal = signal;
  const char byte = static_cast<char>(signal);
  // A full pipe already holds a request; losing this byte loses nothing.
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
  // One orderly close is all a signal gets: whoever sends a second one while
  // it runs wants the program gone at once.
  SetHandler(SIG_DFL);
  errno = savedErrno;
}

}  // namespace

void InstallTerminationHandlers() {
  if (signalPipe[0] >= 0) {
    return;
  }
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    signalPipe[0] = signalPipe[1] = -1;
    return;
  }
  SetHandler(OnTerminationSignal);
}

TerminationNotifier::TerminationNotifier(QObject* parent) : QObject(parent) {
  if (signalPipe[0] < 0) {
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationNotifier::drain);
}

TerminationNotifier::~TerminationNotifier() = default;

void TerminationNotifier::drain() {
  char buffer[64];
  int signal = 0;
  ssize_t got = 0;
  while ((got = ::read(signalPipe[0], buffer, sizeof buffer)) > 0) {
    signal = buffer[got - 1];
  }
  if (signal != 0) {
    emit terminationRequested(signal);
  }
}

void LetTerminationSignalsInterruptCalls() {
  // Once a signal came, its one orderly close is under way already.
  if (signalPipe[0] < 0 || pendingSignal != 0) return;
  restartCalls = false;
  SetHandler(OnTerminationSignal);
}

int PendingTerminationSignal() { return pendingSignal; }

namespace {
std::function<void(int)> beforeEnd;
}  // namespace

void SetBeforeEndBySignal(std::function<void(int)> last) { beforeEnd = std::move(last); }

void EndBySignal(int signal) {
  if (std::function<void(int)> last = std::exchange(beforeEnd, nullptr)) last(signal);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace app
