// The other end of a test connection: plain POSIX sockets on 127.0.0.1, with
// every wait bounded by a deadline. Kept apart from the library's interface
// header, whose Windows names the system headers define as macros.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace wsock_test {

using std::chrono::milliseconds;
inline constexpr milliseconds kDeadline{5000};

// An owned descriptor.
class PeerSocket {
 public:
  PeerSocket() = default;
  explicit PeerSocket(int fd) : fd_(fd) {}
  ~PeerSocket();
  PeerSocket(PeerSocket&& other) noexcept;
  PeerSocket& operator=(PeerSocket&& other) noexcept;

  bool Valid() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }
  int LocalPort() const;

  bool SendAll(const std::string& data);
  // Waits for bytes; returns what one read gave ("" at the end or time-out).
  std::string ReceiveSome(milliseconds deadline = kDeadline);
  // Reads until `count` bytes came, the end, or the deadline.
  std::string ReceiveExactly(std::size_t count, milliseconds deadline = kDeadline);
  // Waits for the connection to end: 0 for an orderly end, the errno of an
  // abortive one (ECONNRESET), -1 when the deadline passed. Data is skipped.
  int WaitForEnd(milliseconds deadline = kDeadline);
  void SetReceiveBuffer(int bytes);
  void ShutdownSend();
  // SO_LINGER {on, 0 s} and close: the system sends a reset.
  void ResetAndClose();
  void Close();

 private:
  int fd_ = -1;
};

class PeerListener {
 public:
  // Listens on 127.0.0.1 at a port of the system's choice. A receive buffer
  // size, when given, is inherited by accepted connections.
  explicit PeerListener(int receiveBuffer = 0);
  int Port() const { return socket_.LocalPort(); }
  PeerSocket Accept(milliseconds deadline = kDeadline);

 private:
  PeerSocket socket_;
};

PeerSocket PeerConnect(int port);
PeerSocket PeerDatagramSocket();
bool PeerSendDatagram(const PeerSocket& from, int port, const std::string& data);
std::string PeerReceiveDatagram(const PeerSocket& socket, milliseconds deadline = kDeadline);

// A loopback port nobody listens on.
int ClosedLoopbackPort();

}  // namespace wsock_test
