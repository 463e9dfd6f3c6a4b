// The floor for the answer benchmark: the same dialogue as `vantrel -h -cd CMD`
// with nothing else around it. 64 KiB reads, IAC and NUL found with memchr,
// the prompt searched for only in the new bytes, one conversion, one write.
//
//   vantrel-reference-client ADDRESS COMMAND
#include <arpa/inet.h>
#include <iconv.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kPrompt[] = "MT128-NET%";

int fd = -1;
std::string received;
std::vector<char> block(1 << 16);

// Reads until `text` is in what arrived since `from`; false when the peer closed.
bool ReadUntil(const std::string& text, std::size_t from) {
  for (;;) {
    const std::size_t start = from > text.size() ? from - text.size() : 0;
    if (received.find(text, start) != std::string::npos) return true;
    from = received.size();
    const ssize_t n = recv(fd, block.data(), block.size(), 0);
    if (n <= 0) return false;
    // Drops NUL and TELNET commands (IAC and the two bytes after it; IAC IAC is 255).
    for (const char *p = block.data(), *end = p + n; p < end;) {
      const char* iac = static_cast<const char*>(std::memchr(p, 0xFF, end - p));
      const char* runEnd = iac != nullptr ? iac : end;
      for (const char* q = p; q < runEnd;) {
        const char* nul = static_cast<const char*>(std::memchr(q, 0, runEnd - q));
        received.append(q, (nul != nullptr ? nul : runEnd) - q);
        q = nul != nullptr ? nul + 1 : runEnd;
      }
      if (iac == nullptr) break;
      if (iac + 1 < end && static_cast<unsigned char>(iac[1]) == 0xFF) received += '\xFF';
      p = std::min(end,
                   iac + (iac + 1 < end && static_cast<unsigned char>(iac[1]) >= 0xFB ? 3 : 2));
    }
  }
}

void Send(const std::string& text) { send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(23);
  inet_pton(AF_INET, argv[1], &where.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) return 1;
  Send("\r");
  ReadUntil("login:", 0);
  Send("admin\r");
  ReadUntil(kPrompt, 0);
  received.clear();
  Send(std::string(argv[2]) + "\r");
  if (!ReadUntil(kPrompt, 0)) return 1;
  close(fd);

  // Lines end at CR LF, CR or LF; drop the echo, the line after it, the prompt,
  // empty lines and stray prompt lines.
  std::string shown;
  std::vector<std::pair<std::size_t, std::size_t>> lines;
  for (std::size_t start = 0; start < received.size();) {
    std::size_t end = received.find_first_of("\r\n", start);
    if (end == std::string::npos) end = received.size();
    lines.emplace_back(start, end - start);
    start = end + (received.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    const auto [start, length] = lines[i];
    if (length == 0 || received.compare(start, length, "MT128-NET% ") == 0) continue;
    if (!shown.empty()) shown += '\n';
    shown.append(received, start, length);
  }
  shown += '\n';
  std::string out(shown.size() * 3 / 2 + 16, '\0');
  iconv_t cd = iconv_open("UTF-8", "CP932");
  char* in = shown.data();
  char* to = out.data();
  std::size_t inLeft = shown.size(), outLeft = out.size();
  iconv(cd, &in, &inLeft, &to, &outLeft);
  return write(STDOUT_FILENO, out.data(), out.size() - outLeft) < 0 ? 1 : 0;
}
