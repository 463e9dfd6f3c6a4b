// The floor for the benchmarks: the dialogue of `vantrel -h -cd CMD` done as
// cheaply as we know how, so every ratio says what the program costs beyond
// the work itself. 64 KiB reads; TELNET commands and NULs found with memchr;
// the prompt looked for only in the new bytes; lines cut with one memchr for
// CR and one for LF and compacted in place; one conversion call for the
// whole answer, skipped when it is plain ASCII; one write.
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

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kPrompt = "MT128-NET%";
constexpr std::string_view kStrayPromptLine = "MT128-NET% ";
constexpr std::size_t kReadSize = 1 << 16;

int fd = -1;
bool ackEachRead = false;
std::string received;
// Where a TELNET command stands when a read ends inside it.
enum class Command { kNone, kAfterIac, kAfterVerb, kInSubnegotiation } command = Command::kNone;

// Appends the data bytes of one read: NULs and TELNET commands are left out
// (IAC with the byte after it, a verb with its option, a subnegotiation up to
// its end); IAC IAC is a data byte 255.
void AppendData(const char* p, const char* end) {
  while (p < end) {
    if (command != Command::kNone) {
      const auto b = static_cast<unsigned char>(*p++);
      if (command == Command::kAfterIac && b == 0xFF) received += '\xFF';
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
      received.append(p, stop - p);
      p = nul != nullptr ? nul + 1 : runEnd;
    }
    if (iac != nullptr) {
      command = Command::kAfterIac;
      p = iac + 1;
    }
  }
}

// Reads until `text` has arrived; false when the peer closed first.
bool ReadUntil(std::string_view text) {
  static char block[kReadSize];
  std::size_t from = 0;
  for (;;) {
    if (std::string_view(received).find(text, from) != std::string_view::npos) return true;
    from = received.size() >= text.size() ? received.size() - text.size() + 1 : 0;
    const ssize_t n = recv(fd, block, sizeof block, 0);
    if (n <= 0) return false;
    if (ackEachRead) {
      const int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }
    AppendData(block, block + n);
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
std::size_t CompactShownLines(std::string& text) {
  char* const begin = text.data();
  const char* const end = begin + text.size();
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

bool IsAscii(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if ((word & 0x8080808080808080ull) != 0) return false;
  }
  for (; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  return true;
}

// Shift-JIS to UTF-8 in one pass; a byte that is no character becomes U+FFFD.
std::string ToUtf8(std::string& text) {
  std::string out(text.size() * 3 / 2 + 16, '\0');
  iconv_t cd = iconv_open("UTF-8", "CP932");
  char* in = text.data();
  std::size_t inLeft = text.size();
  std::size_t done = 0;
  while (inLeft > 0) {
    char* to = out.data() + done;
    std::size_t outLeft = out.size() - done;
    const std::size_t result = iconv(cd, &in, &inLeft, &to, &outLeft);
    done = out.size() - outLeft;
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() + inLeft * 3 + 16);
    } else {
      if (out.size() - done < 3) out.resize(out.size() + 16);
      out.replace(done, 3, "\xEF\xBF\xBD");
      done += 3;
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  out.resize(done);
  return out;
}

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
  received.clear();
  Send(std::string(argv[2]) + "\r");
  if (!ReadUntil(kPrompt)) return 1;
  close(fd);

  received.resize(CompactShownLines(received));
  if (received.empty()) received = "\n";  // nothing shown: the run still prints its line
  const std::string out = IsAscii(received) ? std::move(received) : ToUtf8(received);
  return write(STDOUT_FILENO, out.data(), out.size()) < 0 ? 1 : 0;
}
