// Sending and receiving. Besides the data, these calls re-enable FD_READ
// (every receive) and FD_WRITE (a send that would block), and they keep the
// Windows answers where the system's differ: a send on a socket that never
// connected is 10057, not a broken pipe; a send or receive after a reset keeps
// reporting the reset; a datagram larger than the buffer is 10040. Sends never
// raise SIGPIPE.
#include "wsock/windows_numbers.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "wsock/error_codes.h"
#include "wsock/select_notifier.h"
#include "wsock/socket_access.h"
#include "wsock/system_calls.h"
#include "wsock/wsock_functions.h"

namespace wsock {

namespace {

int SystemSendFlags(int flags, int* out) {
  if ((flags & ~(ws::MSG_OOB | ws::MSG_DONTROUTE)) != 0) return ws::WSAEOPNOTSUPP;
  *out = MSG_NOSIGNAL | ((flags & ws::MSG_OOB) != 0 ? MSG_OOB : 0) |
         ((flags & ws::MSG_DONTROUTE) != 0 ? MSG_DONTROUTE : 0);
  return 0;
}

int SystemReceiveFlags(int flags, int* out) {
  if ((flags & ~(ws::MSG_OOB | ws::MSG_PEEK)) != 0) return ws::WSAEOPNOTSUPP;
  *out = ((flags & ws::MSG_OOB) != 0 ? MSG_OOB : 0) | ((flags & ws::MSG_PEEK) != 0 ? MSG_PEEK : 0);
  return 0;
}

int CheckBuffer(const void* data, int length) {
  if (length < 0) return ws::WSAEINVAL;
  if (data == nullptr && length > 0) return ws::WSAEFAULT;
  return 0;
}

bool IsConnectionDeath(int error) {
  return error == ECONNRESET || error == ETIMEDOUT || error == ECONNABORTED ||
         error == EHOSTUNREACH || error == ENETUNREACH;
}

// The state a stream send needs, checked before the call. The caller holds
// the table mutex.
int StreamSendStateLocked(SocketEntry& entry) {
  RefreshConnectLocked(entry);
  if (entry.sendShut) return ws::WSAESHUTDOWN;
  if (entry.phase != SocketPhase::kConnected) return ws::WSAENOTCONN;
  return 0;
}

// Ends a stream call counted in callsInFlight (the caller holds the table
// mutex); true when the notifications wait for it.
bool EndCallLocked(SocketEntry& entry) {
  if (--entry.callsInFlight > 0 || !entry.evaluationWaits) return false;
  entry.evaluationWaits = false;
  return true;
}

// The Windows code for a failed send. The caller holds the table mutex.
int SendErrorLocked(SocketEntry& entry, int error, bool* wake) {
  if (error == EAGAIN) {
    // Only a send that would block re-enables FD_WRITE.
    *wake = *wake || !entry.writeArmed;
    entry.writeArmed = true;
    return ws::WSAEWOULDBLOCK;
  }
  if (!entry.stream) return error == EDESTADDRREQ ? ws::WSAENOTCONN : FromErrno(error);
  if (error != EPIPE && error != ENOTCONN && !IsConnectionDeath(error)) return FromErrno(error);
  // The system says "broken pipe" for several situations Windows tells apart.
  if (entry.sendShut) return ws::WSAESHUTDOWN;
  if (entry.abortError != 0) return entry.abortError;
  if (!entry.everConnected) return ws::WSAENOTCONN;
  entry.abortError = IsConnectionDeath(error) ? AbortiveCloseError(error) : ws::WSAECONNRESET;
  *wake = true;
  return entry.abortError;
}

int Transmit(SocketEntry& entry, const char* data, int length, int flags, const sockaddr_in* to) {
  const ssize_t sent =
      System().sendto(entry.fd, data, static_cast<size_t>(length), flags,
                      reinterpret_cast<const sockaddr*>(to), to != nullptr ? sizeof *to : 0);
  const int error = sent < 0 ? errno : 0;
  bool wake = false;
  int code = 0;
  {
    std::lock_guard lock(SocketTable::Instance().Mutex());
    if (entry.stream) wake = EndCallLocked(entry);
    if (sent < 0) code = SendErrorLocked(entry, error, &wake);
  }
  if (wake) EntryChanged(entry);
  return sent < 0 ? Fail(code) : static_cast<int>(sent);
}

int Receive(ws::SOCKET s, char* buffer, int length, int flags, ws::sockaddr* from,
            int* fromLength) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  if (int error = CheckBuffer(buffer, length); error != 0) return Fail(error);
  int systemFlags = 0;
  if (int error = SystemReceiveFlags(flags, &systemFlags); error != 0) return Fail(error);
  const bool wantsSender = from != nullptr && !entry->stream;
  if (wantsSender && CheckAddressBuffer(from, fromLength) != 0) return Fail(ws::WSAEFAULT);

  // Stream receives go through the bytes read ahead, one at a time; urgent
  // data never lands there.
  const bool throughAhead = entry->stream && (flags & ws::MSG_OOB) == 0;
  const bool peek = (flags & ws::MSG_PEEK) != 0;
  std::unique_lock<std::mutex> receiving;
  if (throughAhead) receiving = std::unique_lock(entry->receiveMutex);

  SocketTable& table = SocketTable::Instance();
  bool ackAtOnce = false;
  bool nonBlocking = false;
  int ahead = 0;
  bool drained = false;  // the system had nothing more a moment ago, in this round
  {
    std::lock_guard lock(table.Mutex());
    nonBlocking = entry->nonBlocking;
    ahead = entry->aheadCount;
    if (entry->stream) {
      ackAtOnce = entry->ackEachReceive;
      RefreshConnectLocked(*entry);
      if (entry->receiveShut) return Fail(ws::WSAESHUTDOWN);
      if (entry->phase != SocketPhase::kConnected) return Fail(ws::WSAENOTCONN);
      if (throughAhead && !peek && ahead == 0 && entry->drainedAtLook != 0) {
        // Selected for FD_READ, so anything that came since is announced.
        drained = (entry->events & ws::FD_READ) != 0 &&
                  entry->drainedAtLook == HandlerRoundLocked(*entry);
        entry->drainedAtLook = 0;
      }
      ++entry->callsInFlight;
    } else if (entry->pendingDatagramError != 0) {
      const int pending = entry->pendingDatagramError;
      entry->pendingDatagramError = 0;
      entry->readArmed = true;
      return Fail(pending);
    }
  }
  if (!entry->stream) systemFlags |= MSG_TRUNC;  // to learn the datagram's real size

  sockaddr_in sender{};
  socklen_t senderLength = sizeof sender;
  ssize_t received = 0;
  ssize_t fromSystem = 0;  // what the system handed over in this call
  bool drainedNow = false;
  int error = 0;
  if (drained) {
    received = -1;
    error = EWOULDBLOCK;
  } else if (throughAhead && ahead > 0) {
    // Bytes read ahead come first; the system is not asked.
    const int n = std::min(length, ahead);
    std::memcpy(buffer, entry->ahead.get() + entry->aheadStart, static_cast<size_t>(n));
    if (!peek) {
      entry->aheadStart += n;
      ahead -= n;
    }
    received = n;
  } else if (throughAhead && !peek && nonBlocking && length > 0) {
    // One system call for what several small receives would each have asked.
    if (entry->ahead == nullptr) entry->ahead = std::make_unique<char[]>(kReadAheadBytes);
    fromSystem = System().recvfrom(entry->fd, entry->ahead.get(), kReadAheadBytes, 0, nullptr,
                                   nullptr);
    received = fromSystem;
    if (fromSystem > 0) {
      const int n = std::min(length, static_cast<int>(fromSystem));
      std::memcpy(buffer, entry->ahead.get(), static_cast<size_t>(n));
      entry->aheadStart = n;
      ahead = static_cast<int>(fromSystem) - n;
      received = n;
      drainedNow = fromSystem < kReadAheadBytes;
    }
  } else {
    fromSystem = System().recvfrom(entry->fd, buffer, static_cast<size_t>(length), systemFlags,
                                   wantsSender ? reinterpret_cast<sockaddr*>(&sender) : nullptr,
                                   wantsSender ? &senderLength : nullptr);
    received = fromSystem;
  }
  if (received < 0 && !drained) error = errno;
  if (ackAtOnce && fromSystem > 0) {
    int on = 1;
    System().setsockopt(entry->fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
  }

  int failure = 0;
  bool wake = false;
  {
    std::lock_guard lock(table.Mutex());
    if (entry->stream) wake = EndCallLocked(*entry);
    // Every receive re-enables FD_READ; it is posted again at once when bytes
    // remain.
    wake = wake || (!entry->readArmed && (entry->events & ws::FD_READ) != 0);
    entry->readArmed = true;
    if (throughAhead) {
      entry->aheadCount = ahead;
      // Only a short read of the system in a handler of this round tells
      // that nothing more is waiting; a peek that found bytes says otherwise.
      if (drainedNow)
        entry->drainedAtLook = HandlerRoundLocked(*entry);
      else if (fromSystem != 0)
        entry->drainedAtLook = 0;
      // Bytes left read ahead are no news to the system: their FD_READ comes
      // from here.
      PostReadAheadLocked(*entry);
    }
    if (entry->stream && received < 0 && IsConnectionDeath(error)) {
      if (entry->abortError == 0) entry->abortError = AbortiveCloseError(error);
      wake = true;
    }
    if (entry->stream && received == 0 && length > 0 && entry->abortError != 0)
      failure = entry->abortError;  // a reset connection does not read as a graceful end
  }
  if (wake) EntryChanged(*entry);
  if (received < 0) return Fail(FromErrno(error));
  if (failure != 0) return Fail(failure);
  if (wantsSender) WriteAddress(sender, from, fromLength);
  if (!entry->stream && received > length) return Fail(ws::WSAEMSGSIZE);
  return static_cast<int>(received);
}

}  // namespace

int Send(ws::SOCKET s, const char* data, int length, int flags) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  if (int error = CheckBuffer(data, length); error != 0) return Fail(error);
  int systemFlags = 0;
  if (int error = SystemSendFlags(flags, &systemFlags); error != 0) return Fail(error);
  if (entry->stream) {
    std::lock_guard lock(SocketTable::Instance().Mutex());
    if (int error = StreamSendStateLocked(*entry); error != 0) return Fail(error);
    ++entry->callsInFlight;
  }
  return Transmit(*entry, data, length, systemFlags, nullptr);
}

int SendTo(ws::SOCKET s, const char* data, int length, int flags, const ws::sockaddr* to,
           int toLength) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  // A connection has its peer already; Windows ignores the address then.
  if (entry->stream || to == nullptr) return Send(s, data, length, flags);
  if (int error = CheckBuffer(data, length); error != 0) return Fail(error);
  int systemFlags = 0;
  if (int error = SystemSendFlags(flags, &systemFlags); error != 0) return Fail(error);
  sockaddr_in address;
  if (int error = ReadAddress(to, toLength, &address); error != 0) return Fail(error);
  if (address.sin_addr.s_addr == INADDR_ANY || address.sin_port == 0)
    return Fail(ws::WSAEADDRNOTAVAIL);
  return Transmit(*entry, data, length, systemFlags, &address);
}

int Recv(ws::SOCKET s, char* buffer, int length, int flags) {
  return Receive(s, buffer, length, flags, nullptr, nullptr);
}

int RecvFrom(ws::SOCKET s, char* buffer, int length, int flags, ws::sockaddr* from,
             int* fromLength) {
  return Receive(s, buffer, length, flags, from, fromLength);
}

}  // namespace wsock
