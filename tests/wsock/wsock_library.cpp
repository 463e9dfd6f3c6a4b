// Loads the library the way the program's loader does: from the executable's
// folder, with local symbol scope, every entry point fetched by name.
#include "wsock_library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"

namespace wsock_test {

const char* const kExportNames[30] = {"WSAStartup",
                                      "WSACleanup",
                                      "WSASetLastError",
                                      "WSAGetLastError",
                                      "WSACancelAsyncRequest",
                                      "WSAAsyncGetHostByName",
                                      "WSAAsyncGetHostByAddr",
                                      "WSAAsyncSelect",
                                      "getservbyname",
                                      "getprotobyname",
                                      "gethostbyname",
                                      "socket",
                                      "shutdown",
                                      "setsockopt",
                                      "sendto",
                                      "send",
                                      "recv",
                                      "recvfrom",
                                      "ntohs",
                                      "listen",
                                      "ioctlsocket",
                                      "inet_ntoa",
                                      "inet_addr",
                                      "htons",
                                      "getsockname",
                                      "getpeername",
                                      "connect",
                                      "closesocket",
                                      "bind",
                                      "accept"};

namespace {

[[noreturn]] void GiveUp(const std::string& what) {
  std::fprintf(stderr, "wsock tests: %s\n", what.c_str());
  std::abort();
}

template <typename Function>
void Fetch(const WsockLibrary& library, const char* name, Function* out) {
  void* address = platform::GetProcAddress(library.module, name);
  if (address == nullptr) GiveUp(std::string("no export ") + name);
  *out = reinterpret_cast<Function>(address);
}

WsockLibrary Load() {
  WsockLibrary library;
  library.path = platform::ProgramDirectory() + ws::kLibraryFileName;
  library.module = platform::LoadLibrary(library.path);
  if (library.module == nullptr)
    GiveUp("cannot load " + library.path + ": " + platform::LastLoaderMessage());
  Fetch(library, "WSAStartup", &library.WSAStartup);
  Fetch(library, "WSACleanup", &library.WSACleanup);
  Fetch(library, "WSASetLastError", &library.WSASetLastError);
  Fetch(library, "WSAGetLastError", &library.WSAGetLastError);
  Fetch(library, "WSACancelAsyncRequest", &library.WSACancelAsyncRequest);
  Fetch(library, "WSAAsyncGetHostByName", &library.WSAAsyncGetHostByName);
  Fetch(library, "WSAAsyncGetHostByAddr", &library.WSAAsyncGetHostByAddr);
  Fetch(library, "WSAAsyncSelect", &library.WSAAsyncSelect);
  Fetch(library, "getservbyname", &library.getservbyname);
  Fetch(library, "getprotobyname", &library.getprotobyname);
  Fetch(library, "gethostbyname", &library.gethostbyname);
  Fetch(library, "socket", &library.socket);
  Fetch(library, "shutdown", &library.shutdown);
  Fetch(library, "setsockopt", &library.setsockopt);
  Fetch(library, "sendto", &library.sendto);
  Fetch(library, "send", &library.send);
  Fetch(library, "recv", &library.recv);
  Fetch(library, "recvfrom", &library.recvfrom);
  Fetch(library, "ntohs", &library.ntohs);
  Fetch(library, "listen", &library.listen);
  Fetch(library, "ioctlsocket", &library.ioctlsocket);
  Fetch(library, "inet_ntoa", &library.inet_ntoa);
  Fetch(library, "inet_addr", &library.inet_addr);
  Fetch(library, "htons", &library.htons);
  Fetch(library, "getsockname", &library.getsockname);
  Fetch(library, "getpeername", &library.getpeername);
  Fetch(library, "connect", &library.connect);
  Fetch(library, "closesocket", &library.closesocket);
  Fetch(library, "bind", &library.bind);
  Fetch(library, "accept", &library.accept);
  return library;
}

}  // namespace

const WsockLibrary& Wsa() {
  static const WsockLibrary library = Load();
  return library;
}

StartedLibrary::StartedLibrary() {
  ws::WSAData data{};
  if (Wsa().WSAStartup(0x0101, &data) != 0) GiveUp("WSAStartup failed");
}

StartedLibrary::~StartedLibrary() { Wsa().WSACleanup(); }

ws::sockaddr_in LoopbackAddress(int port) {
  ws::sockaddr_in address{};
  address.sin_family = 2;
  const unsigned char portBytes[2] = {static_cast<unsigned char>(port >> 8),
                                      static_cast<unsigned char>(port & 0xFF)};
  std::memcpy(&address.sin_port, portBytes, sizeof portBytes);
  const unsigned char addressBytes[4] = {127, 0, 0, 1};
  std::memcpy(&address.sin_addr.s_addr, addressBytes, sizeof addressBytes);
  return address;
}

int PortOf(const ws::sockaddr_in& address) {
  unsigned char portBytes[2];
  std::memcpy(portBytes, &address.sin_port, sizeof portBytes);
  return portBytes[0] << 8 | portBytes[1];
}

int BoundPort(ws::SOCKET s) {
  ws::sockaddr_in address{};
  int length = sizeof address;
  if (Wsa().getsockname(s, reinterpret_cast<ws::sockaddr*>(&address), &length) != 0) return -1;
  return PortOf(address);
}

}  // namespace wsock_test
