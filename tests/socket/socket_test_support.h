// Shared pieces of the socket tests: bounded waits that keep the message queue
// flowing, plain POSIX peers on loopback, and an event recorder.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "socket/async_socket.h"

namespace sockettest {

using namespace std::chrono_literals;

// Processes messages until `done` holds or the deadline passes; true when it
// held. Blocks for the next message in between, never spins.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = 5000ms);

// A listening POSIX TCP socket on 127.0.0.1 with a kernel-chosen port.
class PosixListener {
 public:
  PosixListener();
  ~PosixListener();
  std::uint16_t Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // The next connection, accepted while pumping messages; -1 at the deadline.
  int AcceptPumping(std::chrono::milliseconds deadline = 5000ms);

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 that refuses connections: bound, never listening, held
// for the life of the object so nobody else takes it.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  std::string PortText() const { return std::to_string(port_); }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// Plain blocking helpers for a POSIX peer descriptor.
void WriteAll(int fd, const std::string& bytes);
// Reads until `count` bytes arrived, the peer closed or the deadline passed,
// pumping messages while it waits.
std::string ReadPumping(int fd, std::size_t count, std::chrono::milliseconds deadline = 5000ms);
// True once the peer's end reports end of stream (or reset) within the deadline.
bool PeerClosedPumping(int fd, std::chrono::milliseconds deadline = 5000ms);
void CloseFd(int fd);
// Bytes the peer has written that our side has not yet taken in.
int PeerOutputQueue(int fd);

// Connects a socket to 127.0.0.1:`port` and waits for OnSessionConnected.
// Returns the error it reported, or -1 at the deadline.
int ConnectAndWait(net::TAsyncSocket& socket, const std::string& port);

// Records the events of a socket as short lines ("state 7>1", "connected 0").
struct EventLog {
  std::vector<std::string> lines;
  void Attach(net::TCustomAsyncSocket& socket);
  bool Has(const std::string& line) const;
};

const char* StateName(net::TSocketState state);

}  // namespace sockettest
