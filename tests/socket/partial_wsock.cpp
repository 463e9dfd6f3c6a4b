// A socket library that starts but lacks almost every entry point, or (built
// with REFUSE_STARTUP) one that refuses to start: the loader must say which.
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) int WSAStartup(std::uint16_t, void*) {
#ifdef REFUSE_STARTUP
  return 10092;
#else
  return 0;
#endif
}

__attribute__((visibility("default"))) int WSACleanup() { return 0; }

__attribute__((visibility("default"))) int WSAGetLastError() { return 0; }
}
