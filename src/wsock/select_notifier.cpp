// The WSAAsyncSelect helper thread.
//
// Each round it posts what is latched (a finished connect, a detected close),
// then polls every selected socket for just the conditions whose
// notifications are armed, plus a wake-up descriptor that the calling threads
// signal whenever they re-enable something. Windows' rules map onto poll()
// like this:
//   FD_READ     POLLIN with bytes waiting; disarmed until recv/recvfrom
//   FD_WRITE    POLLOUT once connected; then only after a send would block
//   FD_ACCEPT   POLLIN on a listener; disarmed until accept
//   FD_CONNECT  POLLOUT/POLLERR while connecting; once, with the error
//   FD_CLOSE    POLLRDHUP, or POLLIN with nothing to read, or POLLHUP/POLLERR;
//               once, 0 when graceful, 10053/10054 when abortive
// A socket whose connection is entirely gone leaves the poll set for good, so
// a hung-up descriptor never makes the helper spin.
//
// The owner's calls change what poll() saw without the helper's lock (a recv
// takes the data, or the connection's pending error; a send fills the
// buffer; an accept takes the connection), so poll() only wakes the helper:
// what it posts is decided under the lock from a fresh look, and never while
// an owner call that may take the pending error is still under way.
#include "wsock/select_notifier.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "wsock/error_codes.h"
#include "wsock/system_calls.h"

namespace wsock {

namespace {

int TakeSocketError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

bool Selects(const SocketEntry& entry, long event) { return (entry.events & event) != 0; }

void PostDueLocked(SocketEntry& entry) {
  if (entry.connectDue && Selects(entry, ws::FD_CONNECT)) {
    PostSelectEvent(entry, ws::FD_CONNECT, entry.connectError);
    entry.connectDue = false;
  }
  if (entry.closeDetected && !entry.closePosted && Selects(entry, ws::FD_CLOSE)) {
    PostSelectEvent(entry, ws::FD_CLOSE, entry.closeError);
    entry.closePosted = true;
  }
}

void PostIfArmed(SocketEntry& entry, long event, bool* armed) {
  if (*armed && Selects(entry, event)) {
    PostSelectEvent(entry, event, 0);
    *armed = false;
  }
}

short InterestLocked(const SocketEntry& entry) {
  if (entry.events == 0 || entry.hungUp || entry.helperWaits) return 0;
  short interest = 0;
  if (!entry.stream) {
    if (entry.readArmed && Selects(entry, ws::FD_READ)) interest |= POLLIN;
    if (entry.writeArmed && Selects(entry, ws::FD_WRITE)) interest |= POLLOUT;
    return interest;
  }
  switch (entry.phase) {
    case SocketPhase::kConnecting:
      return POLLOUT;
    case SocketPhase::kListening:
      return entry.acceptArmed && Selects(entry, ws::FD_ACCEPT) ? POLLIN : 0;
    case SocketPhase::kConnected:
      if (!entry.closeDetected && !entry.receiveShut) {
        if (entry.readArmed && Selects(entry, ws::FD_READ)) interest |= POLLIN;
        if (Selects(entry, ws::FD_CLOSE)) interest |= POLLRDHUP;
      }
      if (entry.writeArmed && Selects(entry, ws::FD_WRITE)) interest |= POLLOUT;
      return interest;
    default:
      return 0;
  }
}

// "Readable with nothing waiting" has two causes: the peer ended the stream,
// or the owner read the data meanwhile. Counting the bytes can't tell them
// apart; a peek can: 0 is the end of the stream, and an error other than
// would-block is the connection's death, whose code the peek has just taken
// from the system. Returns that code, or 0.
int PeekForEnd(int fd, bool* ended) {
  char probe = 0;
  const ssize_t n = System().recvfrom(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT, nullptr, nullptr);
  const int error = n < 0 && errno != EAGAIN && errno != EINTR ? errno : 0;
  if (n == 0 || error != 0) *ended = true;
  return error;
}

void EvaluateConnectedLocked(SocketEntry& entry, short revents) {
  int error = (revents & POLLERR) != 0 ? TakeSocketError(entry.fd) : 0;
  const bool hungUp = (revents & (POLLHUP | POLLERR)) != 0;
  bool ended = hungUp || (!entry.receiveShut && (revents & POLLRDHUP) != 0);
  if ((revents & POLLIN) != 0 && !entry.receiveShut) {
    int waiting = 0;
    if (ioctl(entry.fd, FIONREAD, &waiting) == 0 && waiting > 0) {
      // Before any FD_CLOSE of this round: the owner reads what is left first.
      PostIfArmed(entry, ws::FD_READ, &entry.readArmed);
    } else {
      const int peeked = PeekForEnd(entry.fd, &ended);
      if (error == 0) error = peeked;
    }
  }
  if (error != 0 && entry.abortError == 0) entry.abortError = AbortiveCloseError(error);
  if (!ended && (revents & POLLOUT) != 0) PostIfArmed(entry, ws::FD_WRITE, &entry.writeArmed);
  if (ended && !entry.closeDetected) {
    entry.closeDetected = true;
    entry.closeError = entry.abortError;
  }
  if (hungUp) entry.hungUp = true;
}

void EvaluateLocked(SocketEntry& entry) {
  if (entry.callsInFlight > 0) {
    entry.helperWaits = true;  // the owner's call wakes us when it is done
    return;
  }
  const short interest = InterestLocked(entry);
  if (interest == 0) return;
  pollfd now{entry.fd, interest, 0};
  if (poll(&now, 1, 0) <= 0) return;
  const short revents = now.revents;
  if (!entry.stream) {
    if ((revents & POLLERR) != 0) {
      const int error = TakeSocketError(entry.fd);
      if (error != 0) entry.pendingDatagramError = FromErrno(error);
    }
    if ((revents & (POLLIN | POLLERR)) != 0) PostIfArmed(entry, ws::FD_READ, &entry.readArmed);
    if ((revents & POLLOUT) != 0) PostIfArmed(entry, ws::FD_WRITE, &entry.writeArmed);
    return;
  }
  switch (entry.phase) {
    case SocketPhase::kConnecting:
      FinishConnectLocked(entry, revents);
      PostDueLocked(entry);  // FD_CONNECT goes before the first FD_WRITE
      if (entry.phase == SocketPhase::kConnected && (revents & POLLOUT) != 0)
        PostIfArmed(entry, ws::FD_WRITE, &entry.writeArmed);
      break;
    case SocketPhase::kListening:
      if ((revents & POLLIN) != 0) PostIfArmed(entry, ws::FD_ACCEPT, &entry.acceptArmed);
      if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) entry.hungUp = true;
      break;
    case SocketPhase::kConnected:
      EvaluateConnectedLocked(entry, revents);
      break;
    default:
      break;
  }
  PostDueLocked(entry);
}

class Notifier {
 public:
  static Notifier& Instance() {
    // Never destroyed: a helper still running at process exit must not find
    // its state gone.
    static Notifier* notifier = new Notifier;
    return *notifier;
  }

  void EnsureRunning() {
    std::lock_guard lock(controlMutex_);
    if (thread_.joinable()) return;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
  }

  void Wake() {
    const std::uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
      // The counter is saturated, so the helper is due to wake anyway.
    }
  }

  void Stop() {
    std::lock_guard lock(controlMutex_);
    if (!thread_.joinable()) return;
    stop_ = true;
    Wake();
    thread_.join();
  }

 private:
  Notifier() : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd_ < 0) {
      std::perror("vantrel_wsock: eventfd");
      std::abort();
    }
  }

  void DrainWakeUps() {
    std::uint64_t count = 0;
    while (read(wakeFd_, &count, sizeof count) > 0) {
    }
  }

  void Run() {
    SocketTable& table = SocketTable::Instance();
    std::vector<pollfd> descriptors;
    std::vector<ws::SOCKET> handles;
    while (!stop_) {
      descriptors.assign(1, pollfd{wakeFd_, POLLIN, 0});
      handles.assign(1, 0);
      {
        std::lock_guard lock(table.Mutex());
        table.ForEachLocked([&](SocketEntry& entry) {
          PostDueLocked(entry);
          const short interest = InterestLocked(entry);
          if (interest != 0) {
            descriptors.push_back(pollfd{entry.fd, interest, 0});
            handles.push_back(entry.handle);
          }
        });
      }
      const int ready = poll(descriptors.data(), descriptors.size(), -1);
      if (ready < 0) continue;  // EINTR; the round is simply repeated
      if (descriptors[0].revents != 0) DrainWakeUps();
      std::lock_guard lock(table.Mutex());
      for (std::size_t i = 1; i < descriptors.size(); ++i) {
        if (descriptors[i].revents == 0) continue;
        // A handle closed since the round began is gone from the table; its
        // descriptor number may already belong to a newer socket.
        EntryPtr entry = table.FindLocked(handles[i]);
        if (entry != nullptr) EvaluateLocked(*entry);
      }
    }
  }

  std::mutex controlMutex_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  const int wakeFd_;
};

}  // namespace

void EnsureNotifierRunning() { Notifier::Instance().EnsureRunning(); }
void WakeNotifier() { Notifier::Instance().Wake(); }
void StopNotifier() { Notifier::Instance().Stop(); }

void PostSelectEvent(const SocketEntry& entry, long event, int error) {
  // A null window would mean "this thread's own queue" to PostMessage, which
  // on the helper thread nobody reads.
  if (entry.window == nullptr || !Selects(entry, event)) return;
  win::PostMessage(entry.window, entry.message, static_cast<win::WPARAM>(entry.handle),
                   static_cast<win::LPARAM>(ws::WSAMAKESELECTREPLY(event, error)));
}

void FinishConnectLocked(SocketEntry& entry, short pollEvents) {
  if (entry.phase != SocketPhase::kConnecting) return;
  int error = TakeSocketError(entry.fd);
  if (error == 0 && (pollEvents & POLLOUT) == 0) error = ECONNABORTED;
  if (error == 0) {
    entry.phase = SocketPhase::kConnected;
    entry.everConnected = true;
    entry.readArmed = true;
    entry.writeArmed = true;
  } else {
    entry.phase = SocketPhase::kFailed;
  }
  entry.connectError = FromErrno(error);
  entry.connectDue = true;
}

void RefreshConnectLocked(SocketEntry& entry) {
  if (entry.phase != SocketPhase::kConnecting) return;
  pollfd descriptor{entry.fd, POLLOUT, 0};
  if (poll(&descriptor, 1, 0) > 0) FinishConnectLocked(entry, descriptor.revents);
}

}  // namespace wsock
