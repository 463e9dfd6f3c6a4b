// The C library's socket functions whose names this library exports itself.
// A plain call to `connect` from inside the library could bind to our own
// export of that name, so these are fetched from the C library explicitly and
// every use in the library goes through this table.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

namespace wsock {

struct SystemSocketCalls {
  int (*socket)(int domain, int type, int protocol);
  int (*bind)(int fd, const sockaddr* address, socklen_t length);
  int (*listen)(int fd, int backlog);
  int (*connect)(int fd, const sockaddr* address, socklen_t length);
  ssize_t (*sendto)(int fd, const void* data, size_t length, int flags, const sockaddr* to,
                    socklen_t toLength);
  ssize_t (*recvfrom)(int fd, void* data, size_t length, int flags, sockaddr* from,
                      socklen_t* fromLength);
  int (*shutdown)(int fd, int how);
  int (*setsockopt)(int fd, int level, int option, const void* value, socklen_t length);
  int (*getsockname)(int fd, sockaddr* address, socklen_t* length);
  int (*getpeername)(int fd, sockaddr* address, socklen_t* length);
};

// Resolved once, on first use; the process cannot go on without them.
const SystemSocketCalls& System();

}  // namespace wsock
