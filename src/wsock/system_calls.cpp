// Fetches the C library's own socket functions by name from the C library
// itself, never from the global symbol scope, so that neither our exports nor
// anything else that happens to be loaded can stand in for them.
#include "wsock/system_calls.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace wsock {

namespace {

void* OpenCLibrary() {
  // Already loaded into every process; NOLOAD just hands out its handle.
  void* library = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) library = dlopen("libc.so.6", RTLD_NOW);
  return library;
}

template <typename Function>
void Resolve(void* library, const char* name, Function* out) {
  void* address = library != nullptr ? dlsym(library, name) : nullptr;
  if (address == nullptr) {
    std::fprintf(stderr, "vantrel_wsock: the C library's %s is missing\n", name);
    std::abort();
  }
  *out = reinterpret_cast<Function>(address);
}

SystemSocketCalls LoadCalls() {
  void* library = OpenCLibrary();
  SystemSocketCalls calls{};
  Resolve(library, "socket", &calls.socket);
  Resolve(library, "bind", &calls.bind);
  Resolve(library, "listen", &calls.listen);
  Resolve(library, "connect", &calls.connect);
  Resolve(library, "sendto", &calls.sendto);
  Resolve(library, "recvfrom", &calls.recvfrom);
  Resolve(library, "shutdown", &calls.shutdown);
  Resolve(library, "setsockopt", &calls.setsockopt);
  Resolve(library, "getsockname", &calls.getsockname);
  Resolve(library, "getpeername", &calls.getpeername);
  return calls;
}

}  // namespace

const SystemSocketCalls& System() {
  static const SystemSocketCalls calls = LoadCalls();
  return calls;
}

}  // namespace wsock
