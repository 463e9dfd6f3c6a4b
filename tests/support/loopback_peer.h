// The other end of a test connection: plain POSIX sockets on loopback, every
// wait bounded by a deadline. Nothing of the code under test comes in here,
// and no system socket header goes out, so it sits beside the socket
// stand-in's interface header, whose Windows names those headers define as
// macros.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "support/deadline.h"

namespace support {

// While a peer waits for its socket it can serve another descriptor of the
// calling thread: tests whose code under test runs on that thread let it
// dispatch their message queue, since the far end only moves when its
// messages are dispatched. Per thread; a null `serve` stops it.
void ServeWhileWaiting(int fd, void (*serve)());

class Peer {
 public:
  enum class End { Closed, Reset, Timeout };

  Peer() = default;
  // Takes `fd` over; it is closed when the last copy closes or goes.
  explicit Peer(int fd);

  // A TCP connection to address:port. Loopback connects or refuses at once;
  // when refused, Valid() is false and ConnectError() says why.
  static Peer Connect(int port, const std::string& address = "127.0.0.1");
  // A UDP socket on a loopback port of the system's choice.
  static Peer Datagram();

  bool Valid() const { return Fd() >= 0; }
  int ConnectError() const { return connectError_; }
  int LocalPort() const;

  bool Send(std::string_view bytes);
  // One send call: how many bytes it took (-1 on an error).
  long SendOnce(std::string_view bytes);
  // SO_SNDBUFFORCE (root only): a send buffer that holds `bytes` whatever the
  // system's ceiling, so that one write can hand over a whole burst.
  bool ForceSendBuffer(int bytes);
  bool SendTo(int port, std::string_view datagram) const;

  // Read into Received() until it holds `count` bytes, or contains `needle`;
  // false at the end of the stream or the deadline.
  bool ReadAtLeast(std::size_t count, milliseconds deadline = kDeadline);
  bool ReadUntil(std::string_view needle, milliseconds deadline = kDeadline);
  // Takes in what has already arrived, without waiting.
  void ReadPending();
  // Reads (and keeps) everything until the other side ends the stream.
  End ReadToEnd(milliseconds deadline = kDeadline);
  // The first `count` bytes received (fewer at the end or the deadline),
  // taken out of Received().
  std::string Receive(std::size_t count, milliseconds deadline = kDeadline);
  // What one read gives (a whole datagram on UDP), or "" at the deadline.
  std::string ReceiveSome(milliseconds deadline = kDeadline);

  const std::string& Received() const { return received_; }
  std::string Take();
  // Reads that brought data since the socket was opened.
  int Reads() const { return reads_; }

  // Bytes this end has written that the other end has not taken in yet.
  int OutputQueue() const;
  void SetReceiveBuffer(int bytes);
  void ShutdownSend();
  // SO_LINGER {on, 0 s} and close: the system sends a reset.
  void ResetAndClose();
  void Close();

 private:
  friend class Listener;
  // >0 bytes read, 0 end of stream, -1 deadline or error (see lastError_).
  int ReadOnce(Clock::time_point end);
  int Fd() const { return fd_ ? *fd_ : -1; }

  std::shared_ptr<const int> fd_;
  int connectError_ = 0;
  int lastError_ = 0;
  int reads_ = 0;
  std::string received_;
};

class Listener {
 public:
  // Listens on `address` at `port`, 0 for one of the system's choice. A
  // receive buffer size, when given, is inherited by accepted connections.
  explicit Listener(int receiveBuffer = 0, const std::string& address = "127.0.0.1", int port = 0);
  int Port() const { return socket_.LocalPort(); }
  std::string PortText() const { return std::to_string(Port()); }
  // The next connection; not Valid() at the deadline.
  Peer Accept(milliseconds deadline = kDeadline);

 private:
  Peer socket_;
};

// A loopback port that refuses connections: bound, never listening, and held
// for the life of the process, so no other test can start listening on it.
int RefusingPort();
inline std::string RefusingPortText() { return std::to_string(RefusingPort()); }

}  // namespace support
