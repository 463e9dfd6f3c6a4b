// setsockopt and ioctlsocket: Windows' option numbers and records in, the
// system's out.
#include "wsock/windows_numbers.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "wsock/error_codes.h"
#include "wsock/socket_access.h"
#include "wsock/system_calls.h"
#include "wsock/wsock_functions.h"

namespace wsock {

namespace {

// A Windows BOOL option: any non-zero value is on. Windows also takes a
// single byte.
int ReadBoolean(const char* value, int length, int* out) {
  if (length >= static_cast<int>(sizeof(int))) {
    int raw = 0;
    std::memcpy(&raw, value, sizeof raw);
    *out = raw != 0 ? 1 : 0;
    return 0;
  }
  if (length >= 1) {
    *out = value[0] != 0 ? 1 : 0;
    return 0;
  }
  return ws::WSAEFAULT;
}

int SetSystemOption(int fd, int level, int option, const void* value, socklen_t length) {
  if (System().setsockopt(fd, level, option, value, length) != 0) return Fail(FromErrno(errno));
  return 0;
}

int SetSocketLevelOption(const SocketEntry& entry, int option, const char* value, int length) {
  switch (option) {
    case wn::kSoLinger: {
      if (!entry.stream) return Fail(ws::WSAENOPROTOOPT);
      // Windows' record is two 16-bit fields; the system's two ints.
      if (length < static_cast<int>(sizeof(ws::linger))) return Fail(ws::WSAEFAULT);
      ws::linger record;
      std::memcpy(&record, value, sizeof record);
      const ::linger systemRecord{record.l_onoff != 0 ? 1 : 0, record.l_linger};
      return SetSystemOption(entry.fd, SOL_SOCKET, SO_LINGER, &systemRecord, sizeof systemRecord);
    }
    case wn::kSoDontLinger: {
      if (!entry.stream) return Fail(ws::WSAENOPROTOOPT);
      int dontLinger = 0;
      if (int error = ReadBoolean(value, length, &dontLinger); error != 0) return Fail(error);
      ::linger current{};
      socklen_t currentLength = sizeof current;
      getsockopt(entry.fd, SOL_SOCKET, SO_LINGER, &current, &currentLength);
      const ::linger systemRecord{dontLinger != 0 ? 0 : 1, current.l_linger};
      return SetSystemOption(entry.fd, SOL_SOCKET, SO_LINGER, &systemRecord, sizeof systemRecord);
    }
    case wn::kSoReuseAddr:
    case wn::kSoKeepAlive:
    case wn::kSoBroadcast:
    case wn::kSoDebug:
    case wn::kSoDontRoute:
    case wn::kSoOobInline: {
      int on = 0;
      if (int error = ReadBoolean(value, length, &on); error != 0) return Fail(error);
      const int systemOption = option == wn::kSoReuseAddr   ? SO_REUSEADDR
                               : option == wn::kSoKeepAlive ? SO_KEEPALIVE
                               : option == wn::kSoBroadcast ? SO_BROADCAST
                               : option == wn::kSoDebug     ? SO_DEBUG
                               : option == wn::kSoDontRoute ? SO_DONTROUTE
                                                            : SO_OOBINLINE;
      return SetSystemOption(entry.fd, SOL_SOCKET, systemOption, &on, sizeof on);
    }
    case wn::kSoSndBuf:
    case wn::kSoRcvBuf: {
      if (length < static_cast<int>(sizeof(int))) return Fail(ws::WSAEFAULT);
      int size = 0;
      std::memcpy(&size, value, sizeof size);
      if (size < 0) return Fail(ws::WSAEINVAL);
      return SetSystemOption(entry.fd, SOL_SOCKET, option == wn::kSoSndBuf ? SO_SNDBUF : SO_RCVBUF,
                             &size, sizeof size);
    }
    default:
      return Fail(ws::WSAENOPROTOOPT);
  }
}

}  // namespace

int SetSockOpt(ws::SOCKET s, int level, int option, const char* value, int length) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  if (value == nullptr) return Fail(ws::WSAEFAULT);
  if (level == wn::kSolSocket) return SetSocketLevelOption(*entry, option, value, length);
  if (level == ws::IPPROTO_TCP) {
    if (!entry->stream || (option != wn::kTcpNoDelay && option != wn::kTcpAckEachReceive)) {
      return Fail(ws::WSAENOPROTOOPT);
    }
    int on = 0;
    if (int error = ReadBoolean(value, length, &on); error != 0) return Fail(error);
    if (option == wn::kTcpNoDelay) {
      return SetSystemOption(entry->fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    // The system's switch lasts only until its next delayed acknowledgement,
    // so each receive sets it again.
    if (on != 0) {
      if (int result = SetSystemOption(entry->fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
          result != 0) {
        return result;
      }
    }
    std::lock_guard lock(SocketTable::Instance().Mutex());
    entry->ackEachReceive = on != 0;
    return 0;
  }
  return Fail(ws::WSAEINVAL);
}

int IoctlSocket(ws::SOCKET s, long command, ws::u_long* argument) {
  EntryPtr entry = AcquireSocket(s);
  if (entry == nullptr) return ws::SOCKET_ERROR;
  if (argument == nullptr) return Fail(ws::WSAEFAULT);
  if (command == wn::kFionRead) {
    int ahead = 0;
    {
      std::lock_guard lock(SocketTable::Instance().Mutex());
      if (entry->phase == SocketPhase::kListening) {
        *argument = 0;
        return 0;
      }
      ahead = entry->aheadCount;
    }
    // The bytes read ahead and what the system holds beyond them.
    int waiting = 0;
    if (ioctl(entry->fd, FIONREAD, &waiting) != 0) return Fail(FromErrno(errno));
    if (waiting > 0) {
      // What the system says now holds over an earlier short read.
      std::lock_guard lock(SocketTable::Instance().Mutex());
      entry->drainedAtLook = 0;
    }
    *argument = static_cast<ws::u_long>(ahead + (waiting < 0 ? 0 : waiting));
    return 0;
  }
  if (command == wn::kFionBio) {
    const bool on = *argument != 0;
    std::lock_guard lock(SocketTable::Instance().Mutex());
    // A socket under WSAAsyncSelect cannot be made blocking again.
    if (!on && entry->events != 0) return Fail(ws::WSAEINVAL);
    const int flags = fcntl(entry->fd, F_GETFL);
    if (flags < 0 || fcntl(entry->fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) != 0)
      return Fail(FromErrno(errno));
    entry->nonBlocking = on;
    return 0;
  }
  return Fail(ws::WSAEINVAL);
}

}  // namespace wsock
