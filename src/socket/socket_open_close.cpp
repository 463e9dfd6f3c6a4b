// Opening, adopting and closing the socket's handle: every transition of the
// state machine except those the network notifications make.
#include "socket/custom_async_socket.h"
#include "socket/format_text.h"
#include "socket/socket_library.h"
#include "socket/socket_resolve.h"

namespace net {
namespace {

constexpr int kAddressRecordSize = static_cast<int>(sizeof(ws::sockaddr_in));
constexpr long kConnectEvents =
    ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;            // 0x3B
constexpr long kListenEvents = ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CLOSE;  // 0x2B
constexpr long kConnectedEvents =
    ws::FD_READ | ws::FD_WRITE | ws::FD_CONNECT | ws::FD_CLOSE;  // 0x33
constexpr std::int32_t kAllBitsSet = -1;
constexpr int kListenBacklog = 5;
// How long a close that would block waits for the network before it tries
// again.
constexpr int kCloseRetryWaitMs = 50;

const ws::sockaddr* AsAddress(const ws::sockaddr_in& record) {
  return reinterpret_cast<const ws::sockaddr*>(&record);
}

}  // namespace

bool TCustomAsyncSocket::OpenHandle(const char* context, bool withLocalPort,
                                    const char* socketContext) {
  try {
    if (!protoResolved_) {
      protocolNumber_ = SocketResolveProto(proto_);
      socketType_ = protocolNumber_ == ws::IPPROTO_UDP ? ws::SOCK_DGRAM : ws::SOCK_STREAM;
      protoResolved_ = true;
    }
    if (!portResolved_) {
      portNumber_ = SocketResolvePort(port_, proto_);
      peerAddress_.sin_port = winsock::htons(static_cast<ws::u_short>(portNumber_));
      portResolved_ = true;
    }
    if (withLocalPort && !localPortResolved_) {
      localPortNumber_ = SocketResolvePort(localPort_, proto_);
      localPortResolved_ = true;
    }
    if (!addrResolved_) {
      peerAddress_.sin_addr.s_addr = SocketResolveHost(addr_);
      addrResolved_ = true;
    }
  } catch (const std::exception& e) {
    RaiseError(std::string(context) + ": " + ExceptionText(e));
    return false;
  }

  ClearSendQueue();
  ReleaseUntrackedHandle();
  socketHandle_ = winsock::socket(ws::AF_INET, socketType_, protocolNumber_);
  if (socketHandle_ == ws::INVALID_SOCKET) {
    ReportSocketError(socketContext);
    return false;
  }
  return true;
}

void TCustomAsyncSocket::Connect() {
  if (socketHandle_ != ws::INVALID_SOCKET && state_ != wsClosed) {
    RaiseError("Connect: Socket already in use");
    return;
  }
  if (!portAssigned_) {
    RaiseError("Connect: No Port Specified");
    return;
  }
  if (!addrAssigned_) {
    RaiseError("Connect: No IP Address Specified");
    return;
  }
  if (!protoAssigned_) {
    RaiseError("Connect: No Protocol Specified");
    return;
  }

  if (!OpenHandle("connect", true, "Connect (socket)")) return;
  SetState(wsOpened);

  const auto setOption = [this](int option, std::int32_t value, const char* context) {
    if (winsock::setsockopt(socketHandle_, ws::SOL_SOCKET, option,
                            reinterpret_cast<const char*>(&value), sizeof value) == 0) {
      return true;
    }
    ReportSocketError(context);
    return false;
  };
  if (socketType_ == ws::SOCK_DGRAM) {
    BindLocalPort();
    if (peerAddress_.sin_addr.s_addr == ws::INADDR_BROADCAST &&
        !setOption(ws::SO_BROADCAST, 1, "setsockopt(SO_BROADCAST)")) {
      return;
    }
  } else {
    if (localPortNumber_ != 0) BindLocalPort();
    ApplyLinger();
    if (!setOption(ws::SO_KEEPALIVE, kAllBitsSet, "setsockopt(SO_KEEPALIVE)") ||
        !setOption(ws::SO_REUSEADDR, kAllBitsSet, "setsockopt(SO_REUSEADDR)")) {
      return;
    }
  }

  if (winsock::WSAAsyncSelect(socketHandle_, window_, WM_ASYNCSELECT, kConnectEvents) != 0) {
    ReportSocketError("WSAAsyncSelect");
    return;
  }

  if (socketType_ == ws::SOCK_DGRAM) {
    SetState(wsConnected);
    NotifySessionConnected(0);
    return;
  }
  if (winsock::connect(socketHandle_, AsAddress(peerAddress_), kAddressRecordSize) == 0 ||
      winsock::WSAGetLastError() == ws::WSAEWOULDBLOCK) {
    SetState(wsConnecting);
  } else {
    lastError_ = winsock::WSAGetLastError();
    ReportSocketError("Connect");
  }
}

void TCustomAsyncSocket::ApplyLinger() {
  if (lingerOnOff_ == wsLingerNoSet) return;
  if (socketHandle_ == ws::INVALID_SOCKET) {
    RaiseError("Cannot set linger option at this time");
    return;
  }
  if (lingerTimeout_ < 0 || lingerTimeout_ > 65535) throw ERangeError();
  ws::linger option{static_cast<ws::u_short>(lingerOnOff_),
                    static_cast<ws::u_short>(lingerTimeout_)};
  if (winsock::setsockopt(socketHandle_, ws::SOL_SOCKET, ws::SO_LINGER,
                          reinterpret_cast<const char*>(&option), sizeof option) != 0) {
    ReportSocketError("setsockopt(SO_LINGER)");
  }
}

void TCustomAsyncSocket::BindLocalPort() {
  ws::sockaddr_in local{};
  local.sin_family = ws::AF_INET;
  local.sin_port = winsock::htons(static_cast<ws::u_short>(localPortNumber_));
  local.sin_addr.s_addr = ws::INADDR_ANY;
  if (winsock::bind(socketHandle_, AsAddress(local), kAddressRecordSize) != 0) {
    RaiseErrorFmt("winsock.bind failed, error #%d", {std::to_string(winsock::WSAGetLastError())});
    return;
  }
  ws::sockaddr_in bound{};
  int length = kAddressRecordSize;
  if (winsock::getsockname(socketHandle_, reinterpret_cast<ws::sockaddr*>(&bound), &length) != 0) {
    RaiseErrorFmt("winsock.getsockname failed, error #%d",
                  {std::to_string(winsock::WSAGetLastError())});
    return;
  }
  localPortNumber_ = winsock::ntohs(bound.sin_port);
  localPort_ = std::to_string(localPortNumber_);
}

void TCustomAsyncSocket::Listen() {
  const auto refuse = [this](const char* context) {
    winsock::WSASetLastError(ws::WSAEINVAL);
    ReportSocketError(context);
  };
  if (!portAssigned_) return refuse("listen: port not assigned");
  if (!protoAssigned_) return refuse("listen: protocol not assigned");
  if (!addrAssigned_) return refuse("listen: address not assigned");

  if (!OpenHandle("listen", false, "socket")) return;
  if (winsock::bind(socketHandle_, AsAddress(peerAddress_), kAddressRecordSize) != 0) {
    // The state is still wsClosed here, so a close could not find the handle
    // any more: let it go before the report leaves.
    const int code = winsock::WSAGetLastError();
    winsock::closesocket(socketHandle_);
    socketHandle_ = ws::INVALID_SOCKET;
    winsock::WSASetLastError(code);
    ReportSocketError("Bind");
    Close();
    return;
  }
  SetState(wsBound);

  if (socketType_ == ws::SOCK_DGRAM) {
    SetState(wsListening);
    SetState(wsConnected);
    NotifySessionConnected(0);
  } else {
    if (winsock::listen(socketHandle_, kListenBacklog) != 0) {
      ReportSocketError("Listen");
      return;
    }
    SetState(wsListening);
  }

  if (winsock::WSAAsyncSelect(socketHandle_, window_, WM_ASYNCSELECT, kListenEvents) != 0) {
    ReportSocketError("WSAASyncSelect");
  }
}

ws::SOCKET TCustomAsyncSocket::Accept() {
  if (state_ != wsListening) {
    winsock::WSASetLastError(ws::WSAEINVAL);
    ReportSocketError("not a listening socket");
    return ws::INVALID_SOCKET;
  }
  int length = kAddressRecordSize;
  const ws::SOCKET accepted =
      winsock::accept(socketHandle_, reinterpret_cast<ws::sockaddr*>(&peerAddress_), &length);
  if (accepted == ws::INVALID_SOCKET) {
    ReportSocketError("Accept");
    return ws::INVALID_SOCKET;
  }
  return accepted;
}

void TCustomAsyncSocket::Dup(ws::SOCKET newHandle) {
  if (newHandle == 0 || newHandle == ws::INVALID_SOCKET) {
    winsock::WSASetLastError(ws::WSAEINVAL);
    ReportSocketError("Dup");
    return;
  }
  if (state_ != wsClosed) {
    const int result = winsock::closesocket(socketHandle_);
    socketHandle_ = ws::INVALID_SOCKET;
    if (result != 0) {
      ReportSocketError("Dup (closesocket)");
      return;
    }
    SetState(wsClosed);
  }
  ReleaseUntrackedHandle();
  socketHandle_ = newHandle;
  ApplyLinger();
  if (winsock::WSAAsyncSelect(socketHandle_, window_, WM_ASYNCSELECT, kConnectedEvents) != 0) {
    ReportSocketError("WSAAsyncSelect");
  } else {
    SetState(wsConnected);
  }
}

void TCustomAsyncSocket::ReleaseUntrackedHandle() {
  if (socketHandle_ == ws::INVALID_SOCKET || state_ != wsClosed) return;
  winsock::closesocket(socketHandle_);
  socketHandle_ = ws::INVALID_SOCKET;
}

void TCustomAsyncSocket::Close() { FinishClose(true, 0); }

void TCustomAsyncSocket::Abort() {
  CancelDnsLookup();
  ClearSendQueue();
  // Without lingering the system finishes sending in the background instead
  // of resetting the connection.
  if (state_ == wsConnected && protocolNumber_ == ws::IPPROTO_TCP) {
    lingerOnOff_ = wsLingerOff;
    ApplyLinger();
  }
  FinishClose(false, 0);
}

void TCustomAsyncSocket::FinishClose(bool shutdownFirst, std::uint16_t error) {
  if (socketHandle_ == ws::INVALID_SOCKET) {
    if (state_ != wsClosed) {
      SetState(wsClosed);
      ResetToDefaults();
    }
    return;
  }
  if (state_ == wsClosed) return;

  if (shutdownFirst) Shutdown(ws::SD_SEND);

  const ws::SOCKET handle = socketHandle_;
  int result = winsock::closesocket(handle);
  socketHandle_ = ws::INVALID_SOCKET;
  while (result != 0) {
    lastError_ = winsock::WSAGetLastError();
    if (lastError_ == ws::WSAEWOULDBLOCK) {
      WaitForMessages(kCloseRetryWaitMs);
      result = winsock::closesocket(handle);
      continue;
    }
    if (lastError_ == ws::WSANOTINITIALISED) break;
    ReportSocketError("Disconnect (closesocket)");
    return;
  }

  SetState(wsClosed);
  if (!Destroying() && !closeNotified_ && OnSessionClosed) {
    closeNotified_ = true;
    NotifySessionClosed(error);
  }
  if (socketHandle_ != ws::INVALID_SOCKET) {
    // The handler opened the socket again. The defaults would orphan that new
    // handle, so only what described the connection that ended is dropped.
    closeNotified_ = false;
    paused_ = false;
    readCount_ = 0;
    return;
  }
  try {
    ResetToDefaults();
  } catch (const std::exception&) {
  }
}

void TCustomAsyncSocket::Shutdown(int how) {
  if (socketHandle_ != ws::INVALID_SOCKET) winsock::shutdown(socketHandle_, how);
}

int TCustomAsyncSocket::Pause() {
  paused_ = true;
  return winsock::WSAAsyncSelect(socketHandle_, window_, 0, 0);
}

int TCustomAsyncSocket::Resume() {
  paused_ = false;
  return winsock::WSAAsyncSelect(socketHandle_, window_, WM_ASYNCSELECT, kConnectedEvents);
}

}  // namespace net
