// The benchmarks' router stand-in.
#include "bench/answer_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace bench {

namespace {

constexpr char kPrompt[] = "MT128-NET% ";
constexpr long kTrickleGapNs = 1000000;

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string AnswerPeer::MakeAnswer(std::size_t bytes, Shape shape) {
  std::string answer;
  answer.reserve(bytes);
  // "表示" in Shift-JIS: both characters end in 0x5C or a byte above 0x80.
  const std::string kanji = "\x95\x5c\x8e\xa6";
  if (shape == Shape::OneLine) {
    while (answer.size() + 2 < bytes) answer += "line " + kanji;
    answer.resize(bytes >= 2 ? bytes - 2 : 0);
    answer += "\r\n";
    answer.resize(bytes);
    return answer;
  }
  const std::size_t width = shape == Shape::Lines80 ? 78 : 62;
  for (std::size_t line = 0; answer.size() < bytes; ++line) {
    std::string text;
    if (line % 4 == 3) {
      while (text.size() < width - 2) text += kanji;
      text += "ok";
    } else {
      char number[32];
      std::snprintf(number, sizeof number, "%08zu ", line);
      text = number;
      while (text.size() < width) text += static_cast<char>('a' + text.size() % 26);
    }
    text += "\r\n";
    answer += text;
  }
  answer.resize(bytes);
  // The answer ends with a whole line, so the prompt is a line of its own.
  if (bytes >= 2) answer.replace(bytes - 2, 2, "\r\n");
  return answer;
}

AnswerPeer::AnswerPeer(const std::string& address, std::size_t bytes, bool trickle, Where place,
                       Shape shape)
    : trickle_(trickle) {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(23);
  if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1 ||
      bind(listenFd_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
      listen(listenFd_, 4) != 0) {
    close(listenFd_);
    throw std::runtime_error("cannot listen on " + address + ":23 (root is needed for port 23)");
  }
  if (place == Where::Thread) {
    answer_ = MakeAnswer(bytes, shape);
    thread_ = std::thread([this] { Serve(); });
    return;
  }
  child_ = fork();
  if (child_ == 0) {
    answer_ = MakeAnswer(bytes, shape);
    Serve();  // until killed
    _exit(0);
  }
}

AnswerPeer::~AnswerPeer() {
  if (child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  } else if (thread_.joinable()) {
    stopping_ = true;
    shutdown(listenFd_, SHUT_RDWR);
    thread_.join();
  }
  close(listenFd_);
}

void AnswerPeer::Serve() {
  while (!stopping_) {
    pollfd waiting{listenFd_, POLLIN, 0};
    if (poll(&waiting, 1, 200) <= 0) continue;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Session(fd);
    close(fd);
  }
}

void AnswerPeer::Session(int fd) {
  const std::string& answer = answer_;
  const bool trickle = trickle_;
  // Each reply goes out as it is written, never held back for an
  // acknowledgement.
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  std::string line;
  int lineNumber = 0;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] != '\r') {
        line += buffer[i];
        continue;
      }
      if (lineNumber == 0) {
        SendAll(fd, "\r\nlogin: ", 9);
      } else if (lineNumber == 1) {
        const std::string reply = "admin\r\n" + std::string(kPrompt);
        SendAll(fd, reply.data(), reply.size());
      } else {
        const std::string head = line + "\r\n\r\n";
        SendAll(fd, head.data(), head.size());
        if (!trickle) {
          SendAll(fd, answer.data(), answer.size());
        } else {
          timespec next{};
          clock_gettime(CLOCK_MONOTONIC, &next);
          for (std::size_t at = 0; at < answer.size(); at += kTrickleBytes) {
            SendAll(fd, answer.data() + at, std::min(kTrickleBytes, answer.size() - at));
            next.tv_nsec += kTrickleGapNs;
            if (next.tv_nsec >= 1000000000L) {
              next.tv_nsec -= 1000000000L;
              ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
          }
        }
        SendAll(fd, kPrompt, sizeof kPrompt - 1);
        lastByteSent_ = Clock::now();
      }
      ++lineNumber;
      line.clear();
    }
  }
}

}  // namespace bench
