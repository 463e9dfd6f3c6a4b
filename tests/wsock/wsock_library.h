// The socket stand-in library as the program sees it: loaded at run time from
// the executable's own folder and looked up by name, with the calling shapes
// of the interface header. Test files that use it include no system socket
// header (those define AF_INET, SOL_SOCKET, ... as macros); the POSIX side of
// a test is the shared loopback peer.
#pragma once

#include <string>

#include "wsock/wsock_api.h"

namespace wsock_test {

struct WsockLibrary {
  void* module = nullptr;
  std::string path;
#define WSOCK_TEST_SLOT(name) ws::PFN_##name name = nullptr;
  WS_FOR_EACH_EXPORT(WSOCK_TEST_SLOT)
#undef WSOCK_TEST_SLOT
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

// 127.0.0.1:port as the Windows address record, and the other way round.
ws::sockaddr_in LoopbackAddress(int port);
int PortOf(const ws::sockaddr_in& address);
// The port a library socket is bound to, or -1.
int BoundPort(ws::SOCKET s);
inline const ws::sockaddr* AsAddress(const ws::sockaddr_in& address) {
  return reinterpret_cast<const ws::sockaddr*>(&address);
}

}  // namespace wsock_test
