// The socket stand-in library as the program sees it: loaded at run time from
// the executable's own folder and looked up by name, with the calling shapes
// of the interface header. Test files that use it include no system socket
// header (those define AF_INET, SOL_SOCKET, ... as macros); the POSIX side of
// a test lives in posix_peer.h.
#pragma once

#include <string>

#include "wsock/wsock_api.h"

namespace wsock_test {

struct WsockLibrary {
  void* module = nullptr;
  std::string path;

  ws::PFN_WSAStartup WSAStartup = nullptr;
  ws::PFN_WSACleanup WSACleanup = nullptr;
  ws::PFN_WSASetLastError WSASetLastError = nullptr;
  ws::PFN_WSAGetLastError WSAGetLastError = nullptr;
  ws::PFN_WSACancelAsyncRequest WSACancelAsyncRequest = nullptr;
  ws::PFN_WSAAsyncGetHostByName WSAAsyncGetHostByName = nullptr;
  ws::PFN_WSAAsyncGetHostByAddr WSAAsyncGetHostByAddr = nullptr;
  ws::PFN_WSAAsyncSelect WSAAsyncSelect = nullptr;
  ws::PFN_getservbyname getservbyname = nullptr;
  ws::PFN_getprotobyname getprotobyname = nullptr;
  ws::PFN_gethostbyname gethostbyname = nullptr;
  ws::PFN_socket socket = nullptr;
  ws::PFN_shutdown shutdown = nullptr;
  ws::PFN_setsockopt setsockopt = nullptr;
  ws::PFN_sendto sendto = nullptr;
  ws::PFN_send send = nullptr;
  ws::PFN_recv recv = nullptr;
  ws::PFN_recvfrom recvfrom = nullptr;
  ws::PFN_ntohs ntohs = nullptr;
  ws::PFN_listen listen = nullptr;
  ws::PFN_ioctlsocket ioctlsocket = nullptr;
  ws::PFN_inet_ntoa inet_ntoa = nullptr;
  ws::PFN_inet_addr inet_addr = nullptr;
  ws::PFN_htons htons = nullptr;
  ws::PFN_getsockname getsockname = nullptr;
  ws::PFN_getpeername getpeername = nullptr;
  ws::PFN_connect connect = nullptr;
  ws::PFN_closesocket closesocket = nullptr;
  ws::PFN_bind bind = nullptr;
  ws::PFN_accept accept = nullptr;
};

// Loaded once per process; a library or export that is missing ends the test
// run with the loader's message.
const WsockLibrary& Wsa();

// The 30 export names, in the order of the interface header.
extern const char* const kExportNames[30];

// WSAStartup(1.1) for the lifetime of a test, balanced by WSACleanup.
class StartedLibrary {
 public:
  StartedLibrary();
  ~StartedLibrary();
  StartedLibrary(const StartedLibrary&) = delete;
  StartedLibrary& operator=(const StartedLibrary&) = delete;
  const WsockLibrary* operator->() const { return &Wsa(); }
};

// 127.0.0.1:port as the Windows address record.
ws::sockaddr_in LoopbackAddress(int port);
// The port of a record, in host order.
int PortOf(const ws::sockaddr_in& address);
// The port a library socket is bound to, or -1.
int BoundPort(ws::SOCKET s);

}  // namespace wsock_test
