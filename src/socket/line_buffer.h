// The bytes line mode holds, without any I/O: a block that grows to exactly
// what a read needs and never shrinks while in use, always with a NUL after
// the last byte held, and the keyboard editing (backspace, tab) applied to
// newly read bytes. The line layer of the socket drives it; the fuzz target
// feeds it arbitrary bytes.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

namespace net {

class LineBuffer {
 public:
  // Receives the bytes to send back to the peer, one call per send.
  using EchoSink = std::function<void(const char* bytes, int len)>;

  bool Allocated() const { return !block_.empty(); }
  int Size() const { return static_cast<int>(block_.size()); }
  int Count() const { return count_; }
  const char* Data() const { return block_.data(); }
  std::string_view Held() const { return {block_.data(), static_cast<std::size_t>(count_)}; }

  // Where `more` new bytes go, behind those held; the block grows to exactly
  // Count() + more + 1 when it is smaller.
  char* Tail(int more);
  // Takes in `len` bytes written at Tail(). With `edit`, backspace and tab
  // are applied first (a backspace may erase held bytes of the current line);
  // `echo`, when set, gets what goes back to the peer. Returns where a search
  // for a terminator of `terminatorLength` bytes must start, so that one
  // split across two reads is found.
  int Append(int len, bool edit, const EchoSink& echo, int terminatorLength);
  // The first position at or after `from` where `terminator` starts, or -1.
  int Find(std::string_view terminator, int from) const;
  // Takes `count` bytes out at `at`, moving what follows forward.
  void Erase(int at, int count);
  // Copies up to `size` bytes from the front to `out` and takes them out.
  int TakeFront(char* out, int size);
  void Free();

 private:
  // Backspace and tab on the `len` bytes behind Count(); returns the length
  // of what is new after editing (which may start below the old Count()).
  int ApplyEdit(int len, const EchoSink& echo);
  void Terminate() { block_[static_cast<std::size_t>(count_)] = '\0'; }

  std::vector<char> block_;
  int count_ = 0;
};

}  // namespace net
