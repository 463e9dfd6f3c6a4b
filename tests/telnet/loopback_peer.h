// A scriptable TCP server on loopback for the connection tests: plain blocking
// POSIX sockets, every wait bounded by a deadline. The system's socket headers
// stay inside loopback_peer.cpp: their macros clash with the socket layer's
// own constants. The test decides exactly
// which bytes the client sees and when, and reads back what the client sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace telnet_test {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds kDeadline = 5s;

class LoopbackPeer {
public:
  explicit LoopbackPeer(const char* address = "127.0.0.1");
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  std::uint16_t Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }

  // Takes the next waiting connection, dropping the current one.
  bool Accept(std::chrono::milliseconds timeout = kDeadline);
  // For small writes that fit the socket buffers: does not serve the client.
  void Send(const std::string& bytes);
  // For writes larger than the socket buffers: serves the platform message
  // queue while waiting for room, so the client keeps reading. False when the
  // bytes did not all go out in time.
  bool SendWhilePumping(const std::string& bytes, std::chrono::milliseconds timeout = kDeadline);
  // Serves the client until it has sent `marker`; returns what it sent before
  // (the marker is consumed). `ok` is false when the marker did not come in time.
  std::string ReadUntilPumping(const std::string& marker, bool& ok,
                               std::chrono::milliseconds timeout = kDeadline);
  // The same without serving the client: for use inside the client's event
  // handlers, to see what the client had already sent before it raised them.
  std::string ReadUntil(const std::string& marker, bool& ok,
                        std::chrono::milliseconds timeout = kDeadline);
  // Whatever has arrived by now, without waiting.
  std::string ReadAvailable();
  // True once the client has closed its side (everything before is dropped).
  bool WaitForEof(std::chrono::milliseconds timeout = kDeadline);
  // Orderly close of the current connection.
  void Close();
  // Close with a reset (RST) instead of FIN.
  void Reset();

private:
  void Drain();
  std::string ReadUntilImpl(const std::string& marker, bool& ok,
                            std::chrono::milliseconds timeout, bool pump);

  int listener_ = -1;
  int connection_ = -1;
  std::uint16_t port_ = 0;
  std::string pending_;  // read past a marker, kept for the next read
};

// A loopback port that refuses connections: bound, never listening. Kept
// bound for its lifetime so no one else can take the port meanwhile.
class RefusingPort {
public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  std::string PortText() const { return std::to_string(port_); }

private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// Serves the platform message queue until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kDeadline);

// "FF FB 01" for the bytes 255 251 1; makes wire mismatches readable.
std::string Hex(const std::string& bytes);
std::string Bytes(std::initializer_list<int> values);

}  // namespace telnet_test
