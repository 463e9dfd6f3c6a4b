#include "app/display_check.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace app {

namespace {

// A display on another machine (ssh forwarding, a remote X server) gets this
// long to accept; a local socket answers at once.
constexpr int kRemoteConnectMs = 2000;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Connects with a deadline and closes again.
bool Reachable(const sockaddr* address, socklen_t length, int family) {
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  bool reached = ::connect(fd, address, length) == 0;
  if (!reached && errno == EINPROGRESS) {
    pollfd pfd{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    reached = ::poll(&pfd, 1, kRemoteConnectMs) == 1 &&
              ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
  }
  ::close(fd);
  return reached;
}

// `path` starting with '@' names an abstract socket.
bool LocalSocketReachable(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (path[0] == '@') address.sun_path[0] = '\0';
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  return Reachable(reinterpret_cast<const sockaddr*>(&address), length, AF_UNIX);
}

// DISPLAY is [HOST]:NUMBER[.SCREEN]; no host (or "unix") is this machine's
// socket, any other host is TCP port 6000 + NUMBER.
bool XDisplayReachable(const std::string& display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string::npos || colon + 1 >= display.size()) return false;
  const std::string host = display.substr(0, colon);
  const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + number;
    return LocalSocketReachable("@" + path) || LocalSocketReachable(path);
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(6000 + std::atoi(number.c_str()));
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
  bool reached = false;
  for (addrinfo* at = found; at != nullptr && !reached; at = at->ai_next) {
    reached = Reachable(at->ai_addr, at->ai_addrlen, at->ai_family);
  }
  ::freeaddrinfo(found);
  return reached;
}

bool WaylandDisplayReachable(const std::string& name) {
  if (name[0] == '/') return LocalSocketReachable(name);
  const std::string runtime = Environment("XDG_RUNTIME_DIR");
  return !runtime.empty() && LocalSocketReachable(runtime + "/" + name);
}

}  // namespace

DisplayCheck CheckDisplay() {
  DisplayCheck check;
  const std::string wayland = Environment("WAYLAND_DISPLAY");
  const std::string x = Environment("DISPLAY");
  if (!wayland.empty()) {
    if (WaylandDisplayReachable(wayland)) {
      check.usable = true;
      return check;
    }
    check.unreachable = wayland;
  }
  if (!x.empty()) {
    if (XDisplayReachable(x)) {
      check.usable = true;
      check.unreachable.clear();
      return check;
    }
    check.unreachable = x;
  }
  return check;
}

bool DisplaylessPlatformRequested() {
  const std::string platform = Environment("QT_QPA_PLATFORM");
  return !platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0;
}

}  // namespace app
