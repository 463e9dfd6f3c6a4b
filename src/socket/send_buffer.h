// One chunk of a socket's send queue: a fixed block filled at its tail and
// drained from its head. Unsent bytes are Storage[ReadPos, WritePos); when the
// two meet both go back to 0 so the chunk is reused from its start.
#pragma once

#include <cstddef>
#include <memory>

namespace net {

class TBuffer {
 public:
  static constexpr int kDefaultSize = 1514;

  // A size of 0 or less takes the default.
  explicit TBuffer(int size);

  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;

  // Copies as much of `data` as fits into the free tail; returns how much.
  int Append(const void* data, int len);
  // The first unsent byte and how many follow it; null and 0 when none.
  const char* PeekUnsent(int& len) const;
  // Marks up to `len` unsent bytes as gone; returns how many.
  int Consume(int len);

  int Capacity() const { return capacity_; }
  int WritePos() const { return writePos_; }
  int ReadPos() const { return readPos_; }
  int UnsentCount() const { return writePos_ - readPos_; }

 private:
  std::unique_ptr<char[]> storage_;
  int capacity_;
  int writePos_ = 0;
  int readPos_ = 0;
};

}  // namespace net
