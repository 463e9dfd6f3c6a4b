#include "socket/send_buffer.h"

#include <algorithm>
#include <cstring>

namespace net {

TBuffer::TBuffer(int size)
    : storage_(new char[static_cast<std::size_t>(size > 0 ? size : kDefaultSize)]),
      capacity_(size > 0 ? size : kDefaultSize) {}

int TBuffer::Append(const void* data, int len) {
  const int taken = std::clamp(len, 0, capacity_ - writePos_);
  if (taken > 0) {
    std::memcpy(storage_.get() + writePos_, data, static_cast<std::size_t>(taken));
    writePos_ += taken;
  }
  return taken;
}

const char* TBuffer::PeekUnsent(int& len) const {
  len = writePos_ - readPos_;
  if (len <= 0) {
    len = 0;
    return nullptr;
  }
  return storage_.get() + readPos_;
}

int TBuffer::Consume(int len) {
  const int removed = std::clamp(len, 0, writePos_ - readPos_);
  readPos_ += removed;
  if (readPos_ == writePos_) {
    readPos_ = 0;
    writePos_ = 0;
  }
  return removed;
}

}  // namespace net
