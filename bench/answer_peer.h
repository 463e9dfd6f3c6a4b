// A router stand-in for the benchmarks: a TCP server on loopback port 23 that
// plays the log-in and answers every command with a generated answer of a set
// size, sent at once or trickled. It negotiates no TELNET options and answers
// without delay, so what is measured is the client.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>

#include <sys/types.h>

namespace bench {

class AnswerPeer {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Where { Thread, ChildProcess };
  // 64-byte lines, 80-byte lines, or the whole answer as one line.
  enum class Shape { Lines64, Lines80, OneLine };

  // Every command is answered with `bytes` bytes of 64-byte lines (every
  // fourth one Shift-JIS text), all at once or 4 KiB per millisecond. In a
  // child process the peer's memory stays out of whatever this process
  // starts afterwards: a child starts with its parent's peak memory.
  AnswerPeer(const std::string& address, std::size_t bytes, bool trickle, Where where,
             Shape shape = Shape::Lines64);
  ~AnswerPeer();
  AnswerPeer(const AnswerPeer&) = delete;
  AnswerPeer& operator=(const AnswerPeer&) = delete;

  // When the last answer's last byte was handed to the kernel (a peer in a
  // thread only).
  Clock::time_point LastByteSent() const { return lastByteSent_.load(); }

  static std::string MakeAnswer(std::size_t bytes, Shape shape = Shape::Lines64);

  // The size of one trickled piece.
  static constexpr std::size_t kTrickleBytes = 4096;

 private:
  void Serve();
  void Session(int fd);

  int listenFd_ = -1;
  pid_t child_ = 0;
  std::atomic<bool> stopping_{false};
  std::string answer_;
  bool trickle_ = false;
  std::atomic<Clock::time_point> lastByteSent_{};
  std::thread thread_;
};

}  // namespace bench
