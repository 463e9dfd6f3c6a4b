// Creating, connecting, listening, accepting, shutting down and closing
// sockets, and selecting notifications, with Windows Sockets' results.
#include "wsock/windows_numbers.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "wsock/error_codes.h"
#include "wsock/select_notifier.h"
#include "wsock/socket_access.h"
#include "wsock/system_calls.h"
#include "wsock/wsock_functions.h"

namespace wsock {

EntryPtr AcquireSocket(ws::SOCKET s) {
  if (!IsStarted()) {
    SetLastError(ws::WSANOTINITIALISED);
    return nullptr;
  }
  EntryPtr entry = SocketTable::Instance().Find(s);
  if (entry == nullptr) SetLastError(ws::WSAENOTSOCK);
  return entry;
}

int ReadAddress(const ws::sockaddr* name, int length, sockaddr_in* out) {
  if (name == nullptr || length < static_cast<int>(sizeof(ws::sockaddr_in))) return ws::WSAEFAULT;
  ws::sockaddr_in record;
  std::memcpy(&record, name, sizeof record);
  if (record.sin_family != wn::kAfInet) return ws::WSAEAFNOSUPPORT;
  *out = sockaddr_in{};
  out->sin_family = AF_INET;
  out->sin_port = record.sin_port;  // both in network order already
  out->sin_addr.s_addr = record.sin_addr.s_addr;
  return 0;
}

int CheckAddressBuffer(const ws::sockaddr* name, const int* length) {
  if (name == nullptr || length == nullptr || *length < static_cast<int>(sizeof(ws::sockaddr_in)))
    return ws::WSAEFAULT;
  return 0;
}

void WriteAddress(const sockaddr_in& address, ws::sockaddr* name, int* length) {
  ws::sockaddr_in record{};
  record.sin_family = wn::kAfInet;
  record.sin_port = address.sin_port;
  record.sin_addr.s_addr = address.sin_addr.s_addr;
  std::memcpy(name, &record, sizeof record);
  *length = sizeof record;
}

namespace {

int SystemSocketType(int type) {
  switch (type) {
    case ws::SOCK_STREAM:
      return SOCK_STREAM;
    case ws::SOCK_DGRAM:
      return SOCK_DGRAM;
    case ws::SOCK_RAW:
      return SOCK_RAW;
    default:
      return -1;
  }
}

bool SetNonBlocking(int fd, bool on) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

// Outcomes of a connect attempt that Windows reports through FD_CONNECT
// rather than from connect() itself.
bool IsConnectOutcome(int error) {
  return error == ECONNREFUSED || error == ETIMEDOUT || error == ENETUNREACH ||
         error == EHOSTUNREACH;
}

bool IsUnbound(int fd) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (System().getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return false;
  return local.sin_port == 0 && local.sin_addr.s_addr == 0;
}

}  // namespace

ws::SOCKET Socket(int af, int type, int protocol) {
  if (!IsStarted()) return FailSocket(ws::WSANOTINITIALISED);
  if (af != wn::kAfInet) return FailSocket(ws::WSAEAFNOSUPPORT);
  const int systemType = SystemSocketType(type);
  if (systemType < 0) return FailSocket(ws::WSAESOCKTNOSUPPORT);
  // Windows' protocol numbers are the IANA ones, as are the system's.
  const int fd = System().socket(AF_INET, systemType | SOCK_CLOEXEC, protocol);
  if (fd < 0) return FailSocket(FromErrno(errno));
  if (systemType == SOCK_STREAM) {
    // Everything sent over our streams is short and interactive (negotiation
    // replies, a CR, a log-in name, a command). Holding a small segment back
    // until the previous one is acknowledged would add the peer's delayed-ACK
    // time, tens of milliseconds, to every exchange with a router.
    const int on = 1;
    System().setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  auto entry = std::make_shared<SocketEntry>(fd, systemType == SOCK_STREAM);
  return SocketTable::Instance().Insert(entry);
}

int Bind(ws::SOCKET s, const ws::sockaddr* name, int nameLength) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  sockaddr_in address;
  if (int error = ReadAddress(name, nameLength, &address); error != 0) return Fail(error);
  if (System().bind(entry->fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return Fail(FromErrno(errno));
  return 0;
}

int Listen(ws::SOCKET s, int backlog) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  if (!entry->stream) return Fail(ws::WSAEOPNOTSUPP);
  {
    std::lock_guard lock(SocketTable::Instance().Mutex());
    if (entry->phase == SocketPhase::kConnected || entry->phase == SocketPhase::kConnecting)
      return Fail(ws::WSAEISCONN);
  }
  // Windows wants a bound socket; the system would pick a port on its own.
  if (IsUnbound(entry->fd)) return Fail(ws::WSAEINVAL);
  if (System().listen(entry->fd, backlog) != 0) return Fail(FromErrno(errno));
  {
    std::lock_guard lock(SocketTable::Instance().Mutex());
    entry->phase = SocketPhase::kListening;
    entry->acceptArmed = true;
  }
  EntryChanged(*entry);
  return 0;
}

ws::SOCKET Accept(ws::SOCKET s, ws::sockaddr* address, int* addressLength) {
  EntryPtr listener = AcquireSocket(s);
  if (listener == nullptr) return ws::INVALID_SOCKET;
  if (address != nullptr && CheckAddressBuffer(address, addressLength) != 0)
    return FailSocket(ws::WSAEFAULT);
  bool nonBlocking = false;
  {
    std::lock_guard lock(SocketTable::Instance().Mutex());
    if (listener->phase != SocketPhase::kListening) return FailSocket(ws::WSAEINVAL);
    nonBlocking = listener->nonBlocking;
  }
  sockaddr_in peer{};
  socklen_t peerLength = sizeof peer;
  const int fd = accept4(listener->fd, reinterpret_cast<sockaddr*>(&peer), &peerLength,
                         SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0));
  const int acceptError = errno;

  SocketTable& table = SocketTable::Instance();
  EntryPtr accepted;
  if (fd >= 0) accepted = std::make_shared<SocketEntry>(fd, true);
  {
    std::lock_guard lock(table.Mutex());
    listener->acceptArmed = true;  // accept re-enables FD_ACCEPT
    if (accepted != nullptr) {
      // The new socket carries the listener's selection, so its first
      // notifications (FD_WRITE, FD_READ) reach the same window.
      accepted->window = listener->window;
      accepted->ownerThread = listener->ownerThread;
      accepted->message = listener->message;
      accepted->events = listener->events;
      accepted->nonBlocking = nonBlocking;
      accepted->phase = SocketPhase::kConnected;
      accepted->everConnected = true;
      accepted->writeArmed = true;
    }
  }
  EntryChanged(*listener);
  if (accepted == nullptr) return FailSocket(FromErrno(acceptError));
  const ws::SOCKET handle = table.Insert(accepted);
  EntryChanged(*accepted);
  if (address != nullptr) WriteAddress(peer, address, addressLength);
  return handle;
}

int Connect(ws::SOCKET s, const ws::sockaddr* name, int nameLength) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  sockaddr_in address;
  if (int error = ReadAddress(name, nameLength, &address); error != 0) return Fail(error);
  SocketTable& table = SocketTable::Instance();
  bool nonBlocking = false;
  bool selected = false;
  if (entry->stream) {
    // Windows refuses these; the system would quietly use the local host or
    // report a refusal.
    if (address.sin_addr.s_addr == INADDR_ANY || address.sin_port == 0)
      return Fail(ws::WSAEADDRNOTAVAIL);
    std::lock_guard lock(table.Mutex());
    RefreshConnectLocked(*entry);
    switch (entry->phase) {
      case SocketPhase::kListening:
        return Fail(ws::WSAEINVAL);
      case SocketPhase::kConnecting:
        return Fail(ws::WSAEALREADY);
      case SocketPhase::kConnected:
        return Fail(ws::WSAEISCONN);
      default:
        break;
    }
    nonBlocking = entry->nonBlocking;
    selected = entry->events != 0;
  }
  const int result =
      System().connect(entry->fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int error = result == 0 ? 0 : errno;

  if (!entry->stream) {
    if (result != 0) return Fail(FromErrno(error));
    std::lock_guard lock(table.Mutex());
    entry->phase = SocketPhase::kConnected;
    return 0;
  }
  if (!nonBlocking) {
    if (result != 0) return Fail(FromErrno(error));
    std::lock_guard lock(table.Mutex());
    entry->phase = SocketPhase::kConnected;
    entry->everConnected = true;
    entry->readArmed = true;
    entry->writeArmed = true;
    return 0;
  }
  // Non-blocking: as on Windows, the call always answers "would block" and
  // the outcome arrives as FD_CONNECT, even when the system already knows it.
  {
    std::lock_guard lock(table.Mutex());
    if (result == 0) {
      entry->phase = SocketPhase::kConnected;
      entry->everConnected = true;
      entry->readArmed = true;
      entry->writeArmed = true;
      entry->connectError = 0;
      entry->connectDue = true;
    } else if (error == EINPROGRESS) {
      entry->phase = SocketPhase::kConnecting;
    } else if (selected && IsConnectOutcome(error)) {
      entry->phase = SocketPhase::kFailed;
      entry->connectError = FromErrno(error);
      entry->connectDue = true;
    } else {
      return Fail(FromErrno(error));
    }
  }
  EntryChanged(*entry);
  return Fail(ws::WSAEWOULDBLOCK);
}

int CloseSocket(ws::SOCKET s) {
  if (!IsStarted()) return Fail(ws::WSANOTINITIALISED);
  // Taking the entry out of the table under its mutex is what guarantees
  // that nothing more is posted for this handle.
  EntryPtr entry = SocketTable::Instance().Take(s);
  if (entry == nullptr) return Fail(ws::WSAENOTSOCK);
  // The descriptor closes here (with SO_LINGER 0: a reset), and with it
  // leaves the set it was watched in.
  entry.reset();
  return 0;
}

int Shutdown(ws::SOCKET s, int how) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  int systemHow = 0;
  switch (how) {
    case ws::SD_RECEIVE:
      systemHow = SHUT_RD;
      break;
    case ws::SD_SEND:
      systemHow = SHUT_WR;
      break;
    case ws::SD_BOTH:
      systemHow = SHUT_RDWR;
      break;
    default:
      return Fail(ws::WSAEINVAL);
  }
  {
    // Under the notifications' lock: our own end of reading looks to the
    // system like the peer's, and they must know which it is before they look.
    std::lock_guard lock(SocketTable::Instance().Mutex());
    if (System().shutdown(entry->fd, systemHow) != 0) return Fail(FromErrno(errno));
    if (how != ws::SD_SEND) entry->receiveShut = true;
    if (how != ws::SD_RECEIVE) entry->sendShut = true;
  }
  EntryChanged(*entry);
  return 0;
}

int GetSockName(ws::SOCKET s, ws::sockaddr* name, int* nameLength) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  if (int error = CheckAddressBuffer(name, nameLength); error != 0) return Fail(error);
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (System().getsockname(entry->fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
    return Fail(FromErrno(errno));
  // Windows has no name for a socket that is neither bound nor connected.
  if (local.sin_port == 0 && local.sin_addr.s_addr == 0) return Fail(ws::WSAEINVAL);
  WriteAddress(local, name, nameLength);
  return 0;
}

int GetPeerName(ws::SOCKET s, ws::sockaddr* name, int* nameLength) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  if (int error = CheckAddressBuffer(name, nameLength); error != 0) return Fail(error);
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (System().getpeername(entry->fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
    return Fail(FromErrno(errno));
  WriteAddress(peer, name, nameLength);
  return 0;
}

int AsyncSelect(ws::SOCKET s, win::HWND window, unsigned int message, long events) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  constexpr long kKnownEvents =
      ws::FD_READ | ws::FD_WRITE | ws::FD_OOB | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;
  if ((events & ~kKnownEvents) != 0) return Fail(ws::WSAEINVAL);
  if (events != 0 && window == nullptr) return Fail(ws::WSAEINVAL);
  // The socket stays non-blocking even when the selection is cleared.
  if (!SetNonBlocking(entry->fd, true)) return Fail(FromErrno(errno));
  const win::DWORD ownerThread = events != 0 ? win::GetWindowThreadId(window) : 0;
  if (events != 0) EnsureReadinessSource();
  {
    std::lock_guard lock(SocketTable::Instance().Mutex());
    entry->nonBlocking = true;
    entry->window = window;
    entry->ownerThread = ownerThread;
    entry->message = message;
    entry->events = events;
    // A new selection replaces the old one and looks at the conditions
    // afresh: what holds now is posted, as Windows does.
    entry->readArmed = true;
    entry->acceptArmed = true;
    entry->writeArmed = !entry->stream || entry->phase == SocketPhase::kConnected;
  }
  EntryChanged(*entry);
  return 0;
}

}  // namespace wsock
