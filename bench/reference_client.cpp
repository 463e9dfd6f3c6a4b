// The floor for the benchmarks: the dialogue of `vantrel -h -cd CMD` done as
// cheaply as we know how, so every ratio says what the program costs beyond
// the work itself. 64 KiB reads straight into one buffer grown by realloc;
// TELNET commands and NULs found with memchr and taken out in place; the
// prompt looked for only in the new bytes; lines cut with one memchr for CR
// and one for LF and compacted in place; plain ASCII lines copied, the others
// converted a line a call; written 64 KiB at a time.
//
//   vantrel-reference-client ADDRESS COMMAND [--ack-each-read]
//
// With --ack-each-read every read is acknowledged at once (against a router
// that holds a small write back until the one before is acknowledged).
//
// Option requests are not answered: the benchmark peers negotiate nothing.
#include <arpa/inet.h>
#include <iconv.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kPrompt = "MT128-NET%";
constexpr std::string_view kStrayPromptLine = "MT128-NET% ";
constexpr std::size_t kReadSize = 1 << 16;

int fd = -1;
bool ackEachRead = false;

// What has arrived, data bytes only. Grown with realloc, which moves a big
// block by remapping its pages rather than copying and touching them again.
struct Received {
  char* data = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;
  void Reserve(std::size_t more) {
    if (size + more <= capacity) return;
    capacity = std::max(capacity * 2, size + more);
    data = static_cast<char*>(std::realloc(data, capacity));
    if (data == nullptr) std::abort();
  }
  std::string_view View() const { return {data, size}; }
} received;

// Where a TELNET command stands when a read ends inside it.
enum class Command { kNone, kAfterIac, kAfterVerb, kInSubnegotiation } command = Command::kNone;

// Keeps the data bytes of the `n` bytes just read in place at the end of
// `received`: NULs and TELNET commands are left out (IAC with the byte after
// it, a verb with its option, a subnegotiation up to its end); IAC IAC is a
// data byte 255. Bytes move only once something was left out before them.
void KeepData(std::size_t n) {
  const char* p = received.data + received.size;
  const char* const end = p + n;
  char* out = received.data + received.size;
  const auto keep = [&out](const char* from, std::size_t length) {
    if (out != from) std::memmove(out, from, length);
    out += length;
  };
  while (p < end) {
    if (command != Command::kNone) {
      const auto b = static_cast<unsigned char>(*p++);
      if (command == Command::kAfterIac && b == 0xFF) *out++ = '\xFF';
      if (command == Command::kAfterIac && b >= 0xFB && b <= 0xFE) {
        command = Command::kAfterVerb;
      } else if ((command == Command::kAfterIac && b == 0xFA) ||
                 (command == Command::kInSubnegotiation && b != 0xF0)) {
        command = Command::kInSubnegotiation;
      } else {
        command = Command::kNone;
      }
      continue;
    }
    const auto* iac = static_cast<const char*>(std::memchr(p, 0xFF, end - p));
    const char* runEnd = iac != nullptr ? iac : end;
    while (p < runEnd) {
      const auto* nul = static_cast<const char*>(std::memchr(p, 0, runEnd - p));
      const char* stop = nul != nullptr ? nul : runEnd;
      keep(p, stop - p);
      p = nul != nullptr ? nul + 1 : runEnd;
    }
    if (iac != nullptr) {
      command = Command::kAfterIac;
      p = iac + 1;
    }
  }
  received.size = out - received.data;
}

// Reads straight into `received` until `text` has arrived; false when the
// peer closed first.
bool ReadUntil(std::string_view text) {
  std::size_t from = 0;
  for (;;) {
    if (received.View().find(text, from) != std::string_view::npos) return true;
    from = received.size >= text.size() ? received.size - text.size() + 1 : 0;
    received.Reserve(kReadSize);
    const ssize_t n = recv(fd, received.data + received.size, kReadSize, 0);
    if (n <= 0) return false;
    if (ackEachRead) {
      const int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }
    KeepData(static_cast<std::size_t>(n));
  }
}

void Send(std::string_view text) { send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

// Where the next line end at or after `from` is: the nearer of the next CR and
// the next LF, each searched for again only once it has been passed.
struct LineEnds {
  const char* end;
  const char* cr = nullptr;
  const char* lf = nullptr;
  const char* Next(const char* from) {
    if (cr != end && cr < from) cr = Find(from, '\r');
    if (lf != end && lf < from) lf = Find(from, '\n');
    return cr < lf ? cr : lf;
  }
  const char* Find(const char* from, char c) const {
    const void* hit = std::memchr(from, c, end - from);
    return hit != nullptr ? static_cast<const char*>(hit) : end;
  }
};

// Keeps the shown lines, each followed by LF, at the front of `text`: not the
// echo, the line after it, the returning prompt, empty lines or stray
// prompt lines.
std::size_t CompactShownLines(char* const begin, std::size_t size) {
  const char* const end = begin + size;
  LineEnds ends{end};
  char* out = begin;
  char* lastLine = nullptr;  // where the last line kept so far starts in `out`
  std::size_t index = 0;
  for (const char* start = begin; start < end; ++index) {
    const char* lineEnd = ends.Next(start);
    const std::size_t length = lineEnd - start;
    if (index >= 2 && length != 0 && std::string_view(start, length) != kStrayPromptLine) {
      lastLine = out;
      std::memmove(out, start, length);
      out += length;
      *out++ = '\n';
    } else {
      lastLine = nullptr;
    }
    start = lineEnd + (lineEnd + 1 < end && *lineEnd == '\r' && lineEnd[1] == '\n' ? 2 : 1);
  }
  if (lastLine != nullptr) out = lastLine;  // the returning prompt
  return out - begin;
}

bool IsAscii(const char* p, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if ((word & 0x8080808080808080ull) != 0) return false;
  }
  for (; i < size; ++i)
    if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
  return true;
}

// Writes the shown lines as UTF-8, 64 KiB at a time: a plain ASCII line is
// copied, a line with Shift-JIS in it converted in one call; a byte that is
// no character becomes U+FFFD.
class Utf8Writer {
 public:
  Utf8Writer() : cd_(iconv_open("UTF-8", "CP932")) {}
  ~Utf8Writer() { iconv_close(cd_); }
  bool Write(char* text, std::size_t size) {
    const char* const end = text + size;
    for (char* line = text; line < end;) {
      const auto* lf = static_cast<const char*>(std::memchr(line, '\n', end - line));
      char* next = lf != nullptr ? const_cast<char*>(lf) + 1 : const_cast<char*>(end);
      if (IsAscii(line, next - line)) {
        Copy(line, next - line);
      } else {
        Convert(line, next - line);
      }
      line = next;
    }
    return Flush();
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 16;
  bool Flush() {
    if (used_ > 0 && write(STDOUT_FILENO, block_, used_) < 0) ok_ = false;
    used_ = 0;
    return ok_;
  }
  void Copy(const char* p, std::size_t n) {
    while (n > 0) {
      if (used_ == kBlock) Flush();
      const std::size_t part = std::min(n, kBlock - used_);
      std::memcpy(block_ + used_, p, part);
      used_ += part;
      p += part;
      n -= part;
    }
  }
  void Convert(char* in, std::size_t inLeft) {
    while (inLeft > 0) {
      if (kBlock - used_ < 16) Flush();
      char* to = block_ + used_;
      std::size_t outLeft = kBlock - used_;
      const std::size_t result = iconv(cd_, &in, &inLeft, &to, &outLeft);
      used_ = kBlock - outLeft;
      if (result != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        Flush();
      } else {
        Copy("\xEF\xBF\xBD", 3);
        ++in;
        --inLeft;
      }
    }
  }

  iconv_t cd_;
  char block_[kBlock];
  std::size_t used_ = 0;
  bool ok_ = true;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 4 && std::string_view(argv[3]) == "--ack-each-read")) return 2;
  ackEachRead = argc == 4;
  fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(23);
  inet_pton(AF_INET, argv[1], &where.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) return 1;
  Send("\r");
  ReadUntil("login:");
  Send("admin\r");
  ReadUntil(kPrompt);
  received.size = 0;
  Send(std::string(argv[2]) + "\r");
  if (!ReadUntil(kPrompt)) return 1;
  close(fd);

  const std::size_t shown = CompactShownLines(received.data, received.size);
  if (shown == 0)
    return write(STDOUT_FILENO, "\n", 1) < 0 ? 1 : 0;  // the run still prints its line
  static Utf8Writer out;
  return out.Write(received.data, shown) ? 0 : 1;
}
