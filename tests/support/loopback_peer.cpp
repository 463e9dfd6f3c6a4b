// POSIX peers for the tests. Every socket is non-blocking; waits poll with a
// deadline, serving the thread's other descriptor meanwhile when one is set.
#include "support/loopback_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace support {
namespace {

thread_local int tServedFd = -1;
thread_local void (*tServe)() = nullptr;

sockaddr_in Address(const std::string& address, int port) {
  sockaddr_in record{};
  record.sin_family = AF_INET;
  record.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &record.sin_addr);
  return record;
}

int BoundSocket(int type, const std::string& address, int port = 0) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (port != 0) {
    // A fixed port is taken again by the next test while the last
    // connection on it still lingers.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  const sockaddr_in record = Address(address, port);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&record), sizeof record);
  return fd;
}

// Waits for `events` on `fd`; false at `end`. A poll with no time left still
// looks once, so a wait that ends now takes in what has already arrived.
bool WaitFor(int fd, short events, Clock::time_point end) {
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
    pollfd fds[2] = {{fd, events, 0}, {tServedFd, POLLIN, 0}};
    const nfds_t count = tServe != nullptr ? 2 : 1;
    const int ready = ::poll(fds, count, static_cast<int>(std::max<long long>(left, 0)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && fds[0].revents != 0) return true;
    if (ready > 0 && count == 2 && fds[1].revents != 0) tServe();
    if (left <= 0) return false;
  }
}

}  // namespace

void ServeWhileWaiting(int fd, void (*serve)()) {
  tServedFd = fd;
  tServe = serve;
}

Peer::Peer(int fd)
    : fd_(fd < 0 ? nullptr : std::shared_ptr<const int>(new int(fd), [](const int* owned) {
        ::close(*owned);
        delete owned;
      })) {}

Peer Peer::Connect(int port, const std::string& address) {
  Peer peer(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in record = Address(address, port);
  if (::connect(peer.Fd(), reinterpret_cast<const sockaddr*>(&record), sizeof record) != 0) {
    peer.connectError_ = errno;
    peer.Close();
    return peer;
  }
  ::fcntl(peer.Fd(), F_SETFL, ::fcntl(peer.Fd(), F_GETFL) | O_NONBLOCK);
  return peer;
}

Peer Peer::Datagram() { return Peer(BoundSocket(SOCK_DGRAM, "127.0.0.1")); }

int Peer::LocalPort() const {
  sockaddr_in record{};
  socklen_t length = sizeof record;
  if (::getsockname(Fd(), reinterpret_cast<sockaddr*>(&record), &length) != 0) return -1;
  return ntohs(record.sin_port);
}

bool Peer::Send(std::string_view bytes) {
  const auto end = Clock::now() + kDeadline;
  while (!bytes.empty()) {
    if (!WaitFor(Fd(), POLLOUT, end)) return false;
    const ssize_t n = ::send(Fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

long Peer::SendOnce(std::string_view bytes) {
  return static_cast<long>(::send(Fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL));
}

bool Peer::ForceSendBuffer(int bytes) {
  return ::setsockopt(Fd(), SOL_SOCKET, SO_SNDBUFFORCE, &bytes, sizeof bytes) == 0;
}

bool Peer::SendTo(int port, std::string_view datagram) const {
  const sockaddr_in record = Address("127.0.0.1", port);
  return ::sendto(Fd(), datagram.data(), datagram.size(), 0,
                  reinterpret_cast<const sockaddr*>(&record),
                  sizeof record) == static_cast<ssize_t>(datagram.size());
}

int Peer::ReadOnce(Clock::time_point end) {
  lastError_ = ETIMEDOUT;
  for (;;) {
    if (!WaitFor(Fd(), POLLIN, end)) return -1;
    char buffer[65536];
    const ssize_t n = ::recv(Fd(), buffer, sizeof buffer, 0);
    if (n > 0) {
      received_.append(buffer, static_cast<std::size_t>(n));
      ++reads_;
      return static_cast<int>(n);
    }
    if (n == 0) return 0;
    if (errno == EAGAIN || errno == EINTR) continue;
    lastError_ = errno;
    return -1;
  }
}

bool Peer::ReadAtLeast(std::size_t count, milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  while (received_.size() < count) {
    if (ReadOnce(end) <= 0) return false;
  }
  return true;
}

bool Peer::ReadUntil(std::string_view needle, milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  while (received_.find(needle) == std::string::npos) {
    if (ReadOnce(end) <= 0) return false;
  }
  return true;
}

void Peer::ReadPending() {
  while (ReadOnce(Clock::now()) > 0) {
  }
}

Peer::End Peer::ReadToEnd(milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  for (;;) {
    const int got = ReadOnce(end);
    if (got == 0) return End::Closed;
    if (got < 0) return lastError_ == ECONNRESET ? End::Reset : End::Timeout;
  }
}

std::string Peer::Receive(std::size_t count, milliseconds deadline) {
  ReadAtLeast(count, deadline);
  std::string taken = received_.substr(0, count);
  received_.erase(0, taken.size());
  return taken;
}

std::string Peer::ReceiveSome(milliseconds deadline) {
  if (received_.empty()) ReadOnce(Clock::now() + deadline);
  return Take();
}

std::string Peer::Take() { return std::exchange(received_, std::string()); }

int Peer::OutputQueue() const {
  int queued = -1;
  ::ioctl(Fd(), SIOCOUTQ, &queued);
  return queued;
}

void Peer::SetReceiveBuffer(int bytes) {
  ::setsockopt(Fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void Peer::ShutdownSend() { ::shutdown(Fd(), SHUT_WR); }

void Peer::ResetAndClose() {
  const linger abortive{1, 0};
  ::setsockopt(Fd(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  Close();
}

void Peer::Close() { fd_.reset(); }

Listener::Listener(int receiveBuffer, const std::string& address, int port)
    : socket_(BoundSocket(SOCK_STREAM, address, port)) {
  if (receiveBuffer > 0) socket_.SetReceiveBuffer(receiveBuffer);
  ::listen(socket_.Fd(), 16);
}

Peer Listener::Accept(milliseconds deadline) {
  if (!WaitFor(socket_.Fd(), POLLIN, Clock::now() + deadline)) return Peer();
  return Peer(::accept4(socket_.Fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
}

int RefusingPort() {
  static const Peer holder(BoundSocket(SOCK_STREAM, "127.0.0.1"));
  return holder.LocalPort();
}

}  // namespace support
