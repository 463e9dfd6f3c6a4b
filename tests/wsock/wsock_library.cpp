// Loads the library the way the program's loader does: from the executable's
// folder, with local symbol scope, every entry point fetched by name.
#include "wsock_library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"

namespace wsock_test {

#define WSOCK_TEST_NAME(name) #name,
const char* const kExportNames[30] = {WS_FOR_EACH_EXPORT(WSOCK_TEST_NAME)};
#undef WSOCK_TEST_NAME

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
#define WSOCK_TEST_FETCH(name) Fetch(library, #name, &library.name);
  WS_FOR_EACH_EXPORT(WSOCK_TEST_FETCH)
#undef WSOCK_TEST_FETCH
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
  address.sin_family = ws::AF_INET;
  const unsigned char bytes[6] = {static_cast<unsigned char>(port >> 8),
                                  static_cast<unsigned char>(port & 0xFF), 127, 0, 0, 1};
  std::memcpy(&address.sin_port, bytes, 2);
  std::memcpy(&address.sin_addr.s_addr, bytes + 2, 4);
  return address;
}

int PortOf(const ws::sockaddr_in& address) {
  unsigned char bytes[2];
  std::memcpy(bytes, &address.sin_port, sizeof bytes);
  return bytes[0] << 8 | bytes[1];
}

int BoundPort(ws::SOCKET s) {
  ws::sockaddr_in address{};
  int length = sizeof address;
  if (Wsa().getsockname(s, reinterpret_cast<ws::sockaddr*>(&address), &length) != 0) return -1;
  return PortOf(address);
}

}  // namespace wsock_test
