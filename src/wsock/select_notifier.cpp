// WSAAsyncSelect's notifications, worked out on the thread that owns the
// selecting window.
//
// Every selected socket sits in the epoll set behind its window thread's
// queue, watched (level-triggered) for just the conditions whose
// notifications are armed. When that thread looks at its queue and finds
// nothing to take, it first posts what is latched (a finished connect, a
// detected close) and brings the watches up to date, then asks the system and
// evaluates what is ready. Windows' rules map onto the conditions like this:
//   FD_READ     EPOLLIN with bytes waiting; disarmed until recv/recvfrom
//   FD_WRITE    EPOLLOUT once connected; then only after a send would block
//   FD_ACCEPT   EPOLLIN on a listener; disarmed until accept
//   FD_CONNECT  EPOLLOUT/EPOLLERR while connecting; once, with the error
//   FD_CLOSE    EPOLLRDHUP, or EPOLLIN with nothing to read, or EPOLLHUP/
//               EPOLLERR; once, 0 when graceful, 10053/10054 when abortive
// A socket whose connection is entirely gone leaves the set for good, so a
// hung-up descriptor never wakes its thread in vain.
//
// A watch that went stale meanwhile (an event was posted and so disarmed) is
// brought up to date at the next look, before the thread sleeps: the re-arming
// call usually comes first and then nothing needs to change, so a stream of
// arriving data costs no change of the watch at all.
//
// Calls on other threads (a recv, a send, a connect) change what the system
// reported without the evaluating thread knowing, so what is posted is decided
// under the lock, and never while a call that may take the connection's
// pending error is still under way; such a call brings the watch up to date
// itself when it is done.
#include "wsock/select_notifier.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <mutex>

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
  if (entry.events == 0 || entry.hungUp || entry.evaluationWaits) return 0;
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

// `dataSure`: the system reported input without any end or error, so bytes
// are waiting and need not be counted.
void EvaluateConnectedLocked(SocketEntry& entry, short revents, bool dataSure) {
  int error = (revents & POLLERR) != 0 ? TakeSocketError(entry.fd) : 0;
  const bool hungUp = (revents & (POLLHUP | POLLERR)) != 0;
  bool ended = hungUp || (!entry.receiveShut && (revents & POLLRDHUP) != 0);
  if ((revents & POLLIN) != 0 && !entry.receiveShut) {
    int waiting = dataSure || entry.aheadCount > 0 ? 1 : 0;
    if (waiting > 0 || (ioctl(entry.fd, FIONREAD, &waiting) == 0 && waiting > 0)) {
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

// `reported`: the epoll bits the system reported just now.
void EvaluateLocked(SocketEntry& entry, std::uint32_t reported) {
  if (entry.callsInFlight > 0) {
    entry.evaluationWaits = true;  // the call brings the watch back when it is done
    return;
  }
  const short interest = InterestLocked(entry);
  if (interest == 0) return;
  const auto revents = static_cast<short>(reported & static_cast<std::uint32_t>(
                                                         interest | POLLERR | POLLHUP | POLLNVAL));
  if (revents == 0) return;
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
      EvaluateConnectedLocked(
          entry, revents, (reported & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) == EPOLLIN);
      break;
    default:
      break;
  }
  PostDueLocked(entry);
}

// What the thread that owns the entry's window watches the descriptor for.
// Input is always watched with the peer's end, so that plain input says for
// sure that bytes are waiting.
std::uint32_t WatchedEvents(const SocketEntry& entry) {
  if (entry.events == 0 || entry.window == nullptr) return 0;
  auto events = static_cast<std::uint32_t>(InterestLocked(entry));
  if ((events & EPOLLIN) != 0) events |= EPOLLRDHUP;
  return events;
}

// Keys carry the descriptor too, so a thread can drop a watch whose socket is
// gone from the table.
std::uint64_t WatchKey(const SocketEntry& entry) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(entry.fd)) << 32) |
         static_cast<std::uint32_t>(entry.handle);
}

void SyncWatchLocked(SocketEntry& entry) {
  const win::HWND target = entry.events != 0 ? entry.window : nullptr;
  const std::uint32_t wanted = WatchedEvents(entry);
  if (target != entry.watchWindow) {
    // Where the old window is gone, its thread drops the watch at its next
    // report of the descriptor.
    if (entry.watched != 0) win::WatchDescriptor(entry.watchWindow, entry.fd, 0, 0);
    entry.watched = 0;
    entry.watchWindow = target;
  }
  if (wanted == entry.watched) return;
  entry.watched = win::WatchDescriptor(target, entry.fd, wanted, WatchKey(entry)) != 0 ? wanted : 0;
}

thread_local std::uint64_t looks = 1;

void PostReadAheadNowLocked(SocketEntry& entry) {
  if (entry.aheadCount > 0 && entry.stream && entry.phase == SocketPhase::kConnected &&
      !entry.closeDetected && !entry.receiveShut)
    PostIfArmed(entry, ws::FD_READ, &entry.readArmed);
}

void Prepare() {
  ++looks;
  const win::DWORD self = win::GetCurrentThreadId();
  SocketTable& table = SocketTable::Instance();
  std::lock_guard lock(table.Mutex());
  table.ForEachLocked([self](SocketEntry& entry) {
    if (entry.ownerThread != self) return;
    PostDueLocked(entry);
    PostReadAheadNowLocked(entry);
    SyncWatchLocked(entry);
  });
}

// A watch in this thread's set that no entry of this thread owns any more.
void DropStrayWatchLocked(SocketTable& table, int fd) {
  bool inUse = false;
  table.ForEachLocked([&](SocketEntry& entry) { inUse = inUse || entry.fd == fd; });
  // The number may belong to a newer socket watched elsewhere; leave that.
  if (!inUse) win::UnwatchDescriptorHere(fd);
}

void Deliver(const std::uint64_t* keys, const std::uint32_t* events, int count) {
  const win::DWORD self = win::GetCurrentThreadId();
  SocketTable& table = SocketTable::Instance();
  std::lock_guard lock(table.Mutex());
  for (int i = 0; i < count; ++i) {
    const auto fd = static_cast<int>(keys[i] >> 32);
    EntryPtr entry = table.FindLocked(static_cast<ws::SOCKET>(keys[i] & 0xffffffffu));
    if (entry == nullptr || entry->fd != fd) {
      DropStrayWatchLocked(table, fd);
      continue;
    }
    if (entry->ownerThread != self) {
      win::UnwatchDescriptorHere(fd);  // selected to a window of another thread since
      continue;
    }
    PostDueLocked(*entry);  // FD_CONNECT before the first FD_WRITE
    EvaluateLocked(*entry, events[i]);
  }
}

}  // namespace

void EnsureReadinessSource() {
  static std::once_flag once;
  std::call_once(once, [] { win::SetReadinessSource(Prepare, Deliver); });
}

void EntryChanged(SocketEntry& entry) {
  std::lock_guard lock(SocketTable::Instance().Mutex());
  PostDueLocked(entry);
  PostReadAheadLocked(entry);  // re-armed or selected anew with bytes read ahead
  SyncWatchLocked(entry);
}

void PostSelectEvent(const SocketEntry& entry, long event, int error) {
  // A null window would mean "this thread's own queue" to PostMessage, which
  // is not the queue the notifications are for.
  if (entry.window == nullptr || !Selects(entry, event)) return;
  win::PostMessage(entry.window, entry.message, static_cast<win::WPARAM>(entry.handle),
                   static_cast<win::LPARAM>(ws::WSAMAKESELECTREPLY(event, error)));
}

void PostReadAheadLocked(SocketEntry& entry) {
  if (HandlerRoundLocked(entry) == 0) PostReadAheadNowLocked(entry);
}

std::uint64_t HandlerRoundLocked(const SocketEntry& entry) {
  return entry.ownerThread == win::GetCurrentThreadId() && win::DispatchDepth() > 0 ? looks : 0;
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
