// The line-mode byte store and its keyboard editing.
#include "socket/line_buffer.h"

#include <algorithm>
#include <cstring>

namespace net {
namespace {

constexpr char kBackspace = 8;
constexpr char kTab = 9;
constexpr char kBlank = ' ';
constexpr int kTabWidth = 8;
constexpr int kEditStep = 256;

int RoundUpAbove(int value, int step) { return (value / step + 1) * step; }

}  // namespace

char* LineBuffer::Tail(int more) {
  const std::size_t needed = static_cast<std::size_t>(count_) + std::max(more, 0) + 1;
  if (block_.size() < needed) block_.resize(needed);
  return block_.data() + count_;
}

int LineBuffer::Append(int len, bool edit, const EchoSink& echo, int terminatorLength) {
  Tail(len);
  block_[static_cast<std::size_t>(count_ + len)] = '\0';
  if (edit) {
    len = ApplyEdit(len, echo);
  } else if (echo && len > 0) {
    echo(block_.data() + count_, len);
  }
  const int searchFrom = std::max(0, count_ - terminatorLength);
  count_ += len;
  Terminate();
  return searchFrom;
}

int LineBuffer::ApplyEdit(int len, const EchoSink& echo) {
  const auto send = [&echo](const char* bytes, int n) {
    if (echo) echo(bytes, n);
  };
  // Edited bytes go to a block of their own, made at the first byte that
  // changes anything: a tab may write more bytes than it reads.
  std::vector<char> edited;
  int w = count_;
  int low = count_;
  const auto put = [&](char c) {
    if (static_cast<std::size_t>(w) >= edited.size()) edited.resize(edited.size() + kEditStep);
    edited[static_cast<std::size_t>(w++)] = c;
  };
  for (int r = count_; r < count_ + len; ++r) {
    const char c = block_[static_cast<std::size_t>(r)];
    if ((c == kBackspace || c == kTab) && edited.empty()) {
      edited.resize(static_cast<std::size_t>(RoundUpAbove(count_ + len, kEditStep)));
      std::copy_n(block_.data(), r, edited.data());
    }
    if (c == kBackspace) {
      if (w > 0) {
        static const char kRubOut[] = {kBackspace, kBlank, kBackspace};
        send(kRubOut, 3);
        low = std::min(low, --w);
      }
    } else if (c == kTab) {
      do {
        put(kBlank);
        send(&kBlank, 1);
      } while (w % kTabWidth != 0);
    } else {
      send(&c, 1);
      if (edited.empty()) {
        ++w;
      } else {
        put(c);
      }
    }
  }
  if (edited.empty()) return len;
  if (block_.size() < static_cast<std::size_t>(w) + 1)
    block_.resize(static_cast<std::size_t>(w) + 1);
  std::copy_n(edited.data(), w, block_.data());
  count_ = low;
  block_[static_cast<std::size_t>(w)] = '\0';
  return w - low;
}

int LineBuffer::Find(std::string_view terminator, int from) const {
  if (terminator.empty() || from < 0) return -1;
  const std::size_t at = Held().find(terminator, static_cast<std::size_t>(from));
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

void LineBuffer::Erase(int at, int count) {
  at = std::clamp(at, 0, count_);
  count = std::clamp(count, 0, count_ - at);
  if (count == 0) return;
  std::memmove(block_.data() + at, block_.data() + at + count,
               static_cast<std::size_t>(count_ - at - count));
  count_ -= count;
  Terminate();
}

int LineBuffer::TakeFront(char* out, int size) {
  const int taken = std::clamp(size, 0, count_);
  if (taken == 0) return 0;
  std::memcpy(out, block_.data(), static_cast<std::size_t>(taken));
  Erase(0, taken);
  return taken;
}

void LineBuffer::Free() {
  std::vector<char>().swap(block_);
  count_ = 0;
}

}  // namespace net
