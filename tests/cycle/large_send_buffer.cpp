// Apart from the tests' main file: the system's socket macros collide with
// the names of the socket stand-in's header.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

void GiveLargeSendBuffer(int fd) {
  // Big enough for a whole burst in one write; forced, as tests run as root.
  const int size = 16 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size);
}

void SendAtOnce(int fd) {
  // No small write held back until the one before it is acknowledged.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}
