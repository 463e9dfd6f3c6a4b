// The loopback test server and the bounded message pump.
#include "loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/message_processing.h"
#include "platform/window_messages.h"

namespace telnet_test {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits until `fd` is readable or the deadline passes.
bool WaitReadable(int fd, Clock::time_point deadline) {
  for (;;) {
    pollfd pfd{fd, POLLIN, 0};
    const int rc = poll(&pfd, 1, MillisecondsLeft(deadline));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace

LoopbackPeer::LoopbackPeer(const char* address) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  const int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = 0;
  inet_pton(AF_INET, address, &sa.sin_addr);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      listen(listener_, 8) != 0)
    throw std::runtime_error("bind/listen failed");
  socklen_t len = sizeof sa;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &len);
  port_ = ntohs(sa.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  Close();
  if (listener_ >= 0) ::close(listener_);
}

bool LoopbackPeer::Accept(std::chrono::milliseconds timeout) {
  Close();
  if (!WaitReadable(listener_, Clock::now() + timeout)) return false;
  connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  return connection_ >= 0;
}

void LoopbackPeer::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(connection_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("peer send failed");
    }
    done += static_cast<std::size_t>(n);
  }
}

bool LoopbackPeer::SendWhilePumping(const std::string& bytes, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(connection_, bytes.data() + done, bytes.size() - done,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    // Wait for room on our side or work for the client, whichever comes first.
    pollfd fds[2] = {{connection_, POLLOUT, 0}, {win::MessageQueueDescriptor(), POLLIN, 0}};
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return false;
    if (poll(fds, 2, left) < 0 && errno != EINTR) return false;
    platform::ProcessMessages();
  }
  return true;
}

std::string LoopbackPeer::ReadUntilPumping(const std::string& marker, bool& ok,
                                           std::chrono::milliseconds timeout) {
  return ReadUntilImpl(marker, ok, timeout, true);
}

std::string LoopbackPeer::ReadUntil(const std::string& marker, bool& ok,
                                    std::chrono::milliseconds timeout) {
  return ReadUntilImpl(marker, ok, timeout, false);
}

std::string LoopbackPeer::ReadUntilImpl(const std::string& marker, bool& ok,
                                        std::chrono::milliseconds timeout, bool pump) {
  const auto deadline = Clock::now() + timeout;
  ok = false;
  for (;;) {
    if (pump) platform::ProcessMessages();
    Drain();
    const auto at = pending_.find(marker);
    if (at != std::string::npos) {
      std::string before = pending_.substr(0, at);
      pending_.erase(0, at + marker.size());
      ok = true;
      return before;
    }
    // Loopback bytes reach us a moment after the client's send returns, so
    // watch our socket as well as the client's queue.
    pollfd fds[2] = {{connection_, POLLIN, 0}, {win::MessageQueueDescriptor(), POLLIN, 0}};
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return {};
    if (poll(fds, pump ? 2 : 1, left) < 0 && errno != EINTR) return {};
  }
}

void LoopbackPeer::Drain() {
  for (;;) {
    char block[4096];
    const ssize_t n = ::recv(connection_, block, sizeof block, MSG_DONTWAIT);
    if (n <= 0) break;
    pending_.append(block, static_cast<std::size_t>(n));
  }
}

std::string LoopbackPeer::ReadAvailable() {
  Drain();
  std::string out;
  out.swap(pending_);
  return out;
}

bool LoopbackPeer::WaitForEof(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (!WaitReadable(connection_, deadline)) return false;
    char block[4096];
    const ssize_t n = ::recv(connection_, block, sizeof block, 0);
    if (n == 0) return true;
    if (n < 0 && errno != EINTR) return errno == ECONNRESET;
  }
}

void LoopbackPeer::Close() {
  if (connection_ >= 0) ::close(connection_);
  connection_ = -1;
  pending_.clear();
}

void LoopbackPeer::Reset() {
  if (connection_ < 0) return;
  const linger abortive{1, 0};
  setsockopt(connection_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  Close();
}

RefusingPort::RefusingPort() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
    throw std::runtime_error("bind failed");
  socklen_t len = sizeof sa;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
  port_ = ntohs(sa.sin_port);
}

RefusingPort::~RefusingPort() {
  if (fd_ >= 0) ::close(fd_);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    platform::ProcessMessages();
    if (done()) return true;
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return false;
    platform::ProcessMessagesWaiting(left);
  }
}

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
  }
  return out;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

}  // namespace telnet_test
