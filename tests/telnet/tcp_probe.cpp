#include "tcp_probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>

namespace telnet_test {

int NoDelayOfConnectionTo(int port) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  const int highest = limit.rlim_cur > 4096 ? 4096 : static_cast<int>(limit.rlim_cur);
  for (int fd = 0; fd < highest; ++fd) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
    if (peer.sin_family != AF_INET || ntohs(peer.sin_port) != port ||
        peer.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
      continue;
    }
    int on = 0;
    length = sizeof on;
    if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &length) != 0) return -1;
    return on != 0 ? 1 : 0;
  }
  return -1;
}

}  // namespace telnet_test
