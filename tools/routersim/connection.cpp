#include "connection.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#ifdef __linux__
#include <linux/sockios.h>
#endif

namespace routersim {

namespace {
using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void write_fully(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a full disk must not take the session down
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}
}  // namespace

Connection::Connection(int fd, int stop_fd, int record_fd)
    : fd_(fd), stop_fd_(stop_fd), record_fd_(record_fd) {}

Connection::~Connection() { close_now(); }

void Connection::close_now() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool Connection::pump(bool want_write, int timeout_ms) {
  if (!usable()) return false;
  pollfd fds[2] = {{fd_, 0, 0}, {stop_fd_, POLLIN, 0}};
  // After the client's FIN the socket stays readable forever; stop asking.
  if (!peer_closed_ && reading_) fds[0].events |= POLLIN;
  if (want_write) fds[0].events |= POLLOUT;
  int n = ::poll(fds, 2, timeout_ms);
  if (n < 0) {
    if (errno == EINTR) return true;
    failed_ = true;
    return false;
  }
  if (fds[1].revents != 0) {
    stopping_ = true;
    return false;
  }
  if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
    if (!reading_) {
      // A reset or hang-up still ends the connection.
      if (fds[0].revents & (POLLERR | POLLHUP)) failed_ = true;
    } else if (peer_closed_) {
      // Nothing left to read, yet the socket keeps signalling: it is dead.
      if (fds[0].revents & (POLLERR | POLLHUP)) failed_ = true;
    } else {
      read_available();
    }
  }
  return usable();
}

void Connection::read_available() {
  char buffer[16384];
  while (!peer_closed_ && !failed_) {
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      if (record_fd_ >= 0) write_fully(record_fd_, buffer, static_cast<std::size_t>(n));
      input_.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      peer_closed_ = true;
    } else if (errno == EINTR) {
      continue;
    } else {
      if (errno != EAGAIN && errno != EWOULDBLOCK) failed_ = true;
      return;
    }
  }
}

bool Connection::send_all(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!usable()) return false;
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!pump(true, -1)) return false;
    } else {
      failed_ = true;
      return false;
    }
  }
  // Input that arrived while we were writing is picked up now, so it gets
  // recorded in order even if the session never waits for input again.
  return pump(false, 0);
}

bool Connection::send_bytewise(std::string_view bytes, int gap_ms, std::size_t piece) {
  for (std::size_t i = 0; i < bytes.size(); i += piece) {
    if (i > 0 && !pause(gap_ms)) return false;
    if (!send_all(bytes.substr(i, piece))) return false;
  }
  return usable();
}

bool Connection::pause(int ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  do {
    if (!pump(false, remaining_ms(deadline))) return false;
  } while (Clock::now() < deadline);
  return true;
}

bool Connection::wait_for_input() {
  while (input_.empty() && !peer_closed_) {
    if (!pump(false, -1)) return false;
  }
  return true;
}

std::string Connection::take_input() {
  std::string taken;
  taken.swap(input_);
  return taken;
}

void Connection::close_gracefully() {
  if (fd_ < 0) return;
  if (usable()) {
    ::shutdown(fd_, SHUT_WR);
    // Closing with unread input makes the kernel send RST instead of FIN, and
    // the client would lose our last bytes; so read until it closes as well.
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!peer_closed_ && pump(false, remaining_ms(deadline)) && Clock::now() < deadline) {
    }
  }
  close_now();
}

void Connection::drain_send_queue(std::chrono::milliseconds limit) {
#ifdef SIOCOUTQ
  // An RST discards what is still queued; give the half answer a chance to
  // reach the client first, or the "reset in the middle" would be a reset
  // before the output.
  const auto deadline = Clock::now() + limit;
  int queued = 0;
  while (usable() && ::ioctl(fd_, SIOCOUTQ, &queued) == 0 && queued > 0 &&
         Clock::now() < deadline) {
    pump(false, 5);
  }
#else
  (void)limit;
#endif
}

void Connection::reset() {
  if (fd_ < 0) return;
  drain_send_queue(std::chrono::seconds(1));
  reset_at_once();
}

void Connection::reset_at_once() {
  if (fd_ < 0) return;
  linger hard{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close_now();
}

}  // namespace routersim
