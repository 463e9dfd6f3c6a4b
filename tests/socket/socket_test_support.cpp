// The socket layer first: the system socket headers define macros that
// would clash with its constants.
#include "socket_test_support.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "platform/message_processing.h"

namespace sockettest {
namespace {

int BoundLoopbackSocket(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  platform::ProcessMessages();
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    platform::ProcessMessagesWaiting(static_cast<int>(std::min<long long>(left.count(), 50)));
  }
  return true;
}

PosixListener::PosixListener() {
  fd_ = BoundLoopbackSocket(port_);
  ::listen(fd_, 8);
}

PosixListener::~PosixListener() { CloseFd(fd_); }

int PosixListener::AcceptPumping(std::chrono::milliseconds deadline) {
  int accepted = -1;
  PumpUntil(
      [&] {
        if (!Readable(fd_, 0)) return false;
        accepted = ::accept(fd_, nullptr, nullptr);
        return true;
      },
      deadline);
  return accepted;
}

RefusingPort::RefusingPort() { fd_ = BoundLoopbackSocket(port_); }
RefusingPort::~RefusingPort() { CloseFd(fd_); }

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("peer write failed");
    done += static_cast<std::size_t>(n);
  }
}

std::string ReadPumping(int fd, std::size_t count, std::chrono::milliseconds deadline) {
  std::string received;
  bool ended = false;
  PumpUntil(
      [&] {
        while (!ended && received.size() < count && Readable(fd, 0)) {
          char chunk[65536];
          const ssize_t n = ::recv(fd, chunk, std::min(sizeof chunk, count - received.size()), 0);
          if (n <= 0) {
            ended = true;
          } else {
            received.append(chunk, static_cast<std::size_t>(n));
          }
        }
        return ended || received.size() >= count;
      },
      deadline);
  return received;
}

bool PeerClosedPumping(int fd, std::chrono::milliseconds deadline) {
  return PumpUntil(
      [&] {
        if (!Readable(fd, 0)) return false;
        char chunk[4096];
        return ::recv(fd, chunk, sizeof chunk, 0) <= 0;
      },
      deadline);
}

int PeerOutputQueue(int fd) {
  int queued = -1;
  ::ioctl(fd, SIOCOUTQ, &queued);
  return queued;
}

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

int ConnectAndWait(net::TAsyncSocket& socket, const std::string& port) {
  int result = -1;
  auto previous = socket.OnSessionConnected;
  socket.OnSessionConnected = [&](net::TCustomAsyncSocket* sender, std::uint16_t error) {
    result = error;
    if (previous) previous(sender, error);
  };
  socket.SetProto("tcp");
  socket.SetPort(port);
  socket.SetAddr("127.0.0.1");
  socket.Connect();
  PumpUntil([&] { return result != -1; });
  socket.OnSessionConnected = previous;
  return result;
}

const char* StateName(net::TSocketState state) {
  static const char* const kNames[] = {"Invalid",   "Opened",    "Bound",     "Connecting",
                                       "Connected", "Accepting", "Listening", "Closed"};
  return kNames[static_cast<int>(state)];
}

void EventLog::Attach(net::TCustomAsyncSocket& socket) {
  socket.OnChangeState = [this](net::TCustomAsyncSocket*, net::TSocketState from,
                                net::TSocketState to) {
    lines.push_back(std::string("state ") + StateName(from) + ">" + StateName(to));
  };
  socket.OnSessionConnected = [this](net::TCustomAsyncSocket*, std::uint16_t error) {
    lines.push_back("connected " + std::to_string(error));
  };
  socket.OnSessionClosed = [this](net::TCustomAsyncSocket*, std::uint16_t error) {
    lines.push_back("closed " + std::to_string(error));
  };
  socket.OnDataSent = [this](net::TCustomAsyncSocket*, std::uint16_t error) {
    lines.push_back("sent " + std::to_string(error));
  };
}

bool EventLog::Has(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace sockettest
