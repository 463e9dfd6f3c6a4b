// POSIX peers for the tests.
#include "posix_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace wsock_test {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Waits until `fd` is readable (or has an error); false at the deadline.
bool WaitReadable(int fd, Clock::time_point end) {
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
    if (left <= 0) return false;
    pollfd descriptor{fd, POLLIN, 0};
    const int ready = poll(&descriptor, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

PeerSocket::~PeerSocket() { Close(); }

PeerSocket::PeerSocket(PeerSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

PeerSocket& PeerSocket::operator=(PeerSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int PeerSocket::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return ntohs(address.sin_port);
}

bool PeerSocket::SendAll(const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

std::string PeerSocket::ReceiveSome(milliseconds deadline) {
  if (!WaitReadable(fd_, Clock::now() + deadline)) return {};
  char buffer[65536];
  const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string PeerSocket::ReceiveExactly(std::size_t count, milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  std::string received;
  char buffer[65536];
  while (received.size() < count && WaitReadable(fd_, end)) {
    const std::size_t want = std::min(sizeof buffer, count - received.size());
    const ssize_t n = ::recv(fd_, buffer, want, MSG_DONTWAIT);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      break;
    }
    received.append(buffer, static_cast<std::size_t>(n));
  }
  return received;
}

int PeerSocket::WaitForEnd(milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  char buffer[4096];
  while (WaitReadable(fd_, end)) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) return 0;
    if (n < 0 && errno != EAGAIN && errno != EINTR) return errno;
  }
  return -1;
}

void PeerSocket::SetReceiveBuffer(int bytes) {
  setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void PeerSocket::ShutdownSend() { ::shutdown(fd_, SHUT_WR); }

void PeerSocket::ResetAndClose() {
  const linger abortive{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  Close();
}

void PeerSocket::Close() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

PeerListener::PeerListener(int receiveBuffer)
    : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (receiveBuffer > 0) socket_.SetReceiveBuffer(receiveBuffer);
  const sockaddr_in address = Loopback(0);
  ::bind(socket_.Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::listen(socket_.Descriptor(), 16);
}

PeerSocket PeerListener::Accept(milliseconds deadline) {
  if (!WaitReadable(socket_.Descriptor(), Clock::now() + deadline)) return PeerSocket();
  return PeerSocket(::accept4(socket_.Descriptor(), nullptr, nullptr, SOCK_CLOEXEC));
}

PeerSocket PeerConnect(int port) {
  PeerSocket peer(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = Loopback(port);
  if (::connect(peer.Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
      0)
    return PeerSocket();
  return peer;
}

PeerSocket PeerDatagramSocket() {
  PeerSocket peer(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = Loopback(0);
  ::bind(peer.Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return peer;
}

bool PeerSendDatagram(const PeerSocket& from, int port, const std::string& data) {
  const sockaddr_in address = Loopback(port);
  return ::sendto(from.Descriptor(), data.data(), data.size(), 0,
                  reinterpret_cast<const sockaddr*>(&address),
                  sizeof address) == static_cast<ssize_t>(data.size());
}

std::string PeerReceiveDatagram(const PeerSocket& socket, milliseconds deadline) {
  if (!WaitReadable(socket.Descriptor(), Clock::now() + deadline)) return {};
  char buffer[65536];
  const ssize_t n = ::recv(socket.Descriptor(), buffer, sizeof buffer, MSG_DONTWAIT);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

int ClosedLoopbackPort() {
  // Bound but never listening: connections to it are refused, and the port
  // stays ours, so no other test can start listening on it meanwhile.
  static PeerSocket holder(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  static const int port = [] {
    const sockaddr_in address = Loopback(0);
    ::bind(holder.Descriptor(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return holder.LocalPort();
  }();
  return port;
}

}  // namespace wsock_test
