// A plain TCP client for talking to the simulator byte by byte: no TELNET
// smarts of its own, so every byte it sends and receives is the test's choice.
// Every read has a deadline.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace routersim_test {

class TestClient {
 public:
  using Clock = std::chrono::steady_clock;
  using Duration = std::chrono::milliseconds;
  enum class End { Closed, Reset, Timeout };

  TestClient(const std::string& address, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    // Loopback connects at once or is refused at once: no deadline needed.
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
      connect_error_ = errno;
      close();
      return;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
  }
  ~TestClient() { close(); }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  int connect_error() const { return connect_error_; }

  bool send(std::string_view bytes) {
    while (!bytes.empty()) {
      if (!wait(POLLOUT, Clock::now() + std::chrono::seconds(10))) return false;
      ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // Reads until what was received since the last take() contains `needle`.
  bool read_until(std::string_view needle, Duration timeout = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + timeout;
    while (received_.find(needle) == std::string::npos) {
      if (read_once(deadline) <= 0) return false;
    }
    return true;
  }

  bool read_at_least(std::size_t size, Duration timeout = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + timeout;
    while (received_.size() < size) {
      if (read_once(deadline) <= 0) return false;
    }
    return true;
  }

  // Reads until the server closes (FIN) or resets the connection.
  End read_to_end(Duration timeout = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
      int got = read_once(deadline);
      if (got == 0) return End::Closed;
      if (got < 0) return last_error_ == ECONNRESET ? End::Reset : End::Timeout;
    }
  }

  // Takes in whatever has already arrived, without waiting.
  void read_pending() {
    while (read_once(Clock::now()) > 0) {
    }
  }

  const std::string& received() const { return received_; }
  std::string take() {
    std::string taken;
    taken.swap(received_);
    return taken;
  }
  // Number of reads that returned data, since the connection was opened.
  int reads() const { return reads_; }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  bool wait(short events, Clock::time_point deadline) {
    while (fd_ >= 0) {
      auto left = std::chrono::duration_cast<Duration>(deadline - Clock::now()).count();
      pollfd p{fd_, events, 0};
      int n = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
      if (n > 0) return true;
      if (n == 0 || errno != EINTR) return false;
    }
    return false;
  }

  // >0 bytes read, 0 end of stream, -1 timeout or error (see last_error_).
  int read_once(Clock::time_point deadline) {
    last_error_ = ETIMEDOUT;
    if (!wait(POLLIN, deadline)) return -1;
    char buffer[65536];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      received_.append(buffer, static_cast<std::size_t>(n));
      ++reads_;
      return static_cast<int>(n);
    }
    if (n == 0) return 0;
    last_error_ = errno;
    return -1;
  }

  int fd_ = -1;
  int connect_error_ = 0;
  int last_error_ = 0;
  int reads_ = 0;
  std::string received_;
};

}  // namespace routersim_test
