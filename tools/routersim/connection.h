// One accepted TCP connection: every wait (for input, for room to write, for a
// pause) also watches the program's stop descriptor and keeps reading, so what
// the client sends is recorded the moment it arrives, even while we are busy
// writing or pretending to think.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace routersim {

class Connection {
 public:
  // `fd` is a connected, non-blocking socket that this object owns from now on.
  // `record_fd` (-1 for none) receives every byte read, as read.
  Connection(int fd, int stop_fd, int record_fd);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // False once the connection is unusable or the program is stopping.
  bool send_all(std::string_view bytes);
  // Each `piece` bytes in a write of their own, `gap_ms` apart.
  bool send_bytewise(std::string_view bytes, int gap_ms, std::size_t piece = 1);
  // Waits `ms`, reading meanwhile; false when the program is stopping.
  bool pause(int ms);
  // Waits until input is buffered or the peer has closed; false when the
  // program is stopping or the connection failed.
  bool wait_for_input();

  std::string take_input();
  // From now on nothing is read: the client's data piles up in the kernel
  // until its sends block, as with a peer that has stopped reading.
  void stop_reading() { reading_ = false; }
  bool peer_closed() const { return peer_closed_; }
  bool stopping() const { return stopping_; }
  bool usable() const { return fd_ >= 0 && !failed_ && !stopping_; }

  // FIN after what has been sent, then keep reading (and recording) until the
  // client closes too or a short grace time has passed.
  void close_gracefully();
  // RST once what was sent has left (for a second at most).
  void reset();
  // RST now: whatever the kernel still holds back is thrown away.
  void reset_at_once();

 private:
  // One poll round; reads whatever is waiting. False when stopping or failed.
  bool pump(bool want_write, int timeout_ms);
  void read_available();
  void drain_send_queue(std::chrono::milliseconds limit);
  void close_now();

  int fd_;
  int stop_fd_;
  int record_fd_;
  std::string input_;
  bool peer_closed_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  bool reading_ = true;
};

}  // namespace routersim
