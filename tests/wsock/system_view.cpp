// What the system itself holds for a library socket, read straight from its
// descriptor. The fixture's header comes first: the system's socket headers
// define its Windows names as macros.
#include "wsock_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <filesystem>
#include <string>

namespace wsock_test {

namespace {

bool Flag(int fd, int option) {
  int value = 0;
  socklen_t length = sizeof value;
  return getsockopt(fd, SOL_SOCKET, option, &value, &length) == 0 && value != 0;
}

}  // namespace

std::optional<SystemSocketView> ViewSocketOnPort(int port) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
    const int fd = std::stoi(entry.path().filename().string());
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET || ntohs(local.sin_port) != port)
      continue;
    SystemSocketView view;
    view.keepAlive = Flag(fd, SO_KEEPALIVE);
    view.reuseAddress = Flag(fd, SO_REUSEADDR);
    view.broadcast = Flag(fd, SO_BROADCAST);
    linger record{};
    length = sizeof record;
    getsockopt(fd, SOL_SOCKET, SO_LINGER, &record, &length);
    view.lingerOn = record.l_onoff != 0;
    view.lingerSeconds = record.l_linger;
    view.nonBlocking = (fcntl(fd, F_GETFL) & O_NONBLOCK) != 0;
    int noDelay = 0;
    length = sizeof noDelay;
    view.noDelay = getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length) == 0 && noDelay != 0;
    return view;
  }
  return std::nullopt;
}

}  // namespace wsock_test
