// Checked, terminal-safe writes to standard output.
#include "app/standard_output.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/message_box.h"
#include "app/termination_signals.h"

namespace app {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool endOnSignal = false;

// Waits until standard output takes bytes, looking at least once a second
// for a signal that came just before the wait began.
void AwaitRoomOrSignal() {
  for (;;) {
    if (const int signal = PendingTerminationSignal()) EndBySignal(signal);
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    if (::poll(&out, 1, 1000) != 0) return;
  }
}

}  // namespace

void StandardOutputWriter::EndWritesOnTerminationSignal() { endOnSignal = true; }

std::string WithoutControlCharacters(std::string_view utf8, bool& pendingC2) {
  std::string safe;
  safe.reserve(utf8.size());
  std::size_t i = 0;
  if (pendingC2 && !utf8.empty()) {
    pendingC2 = false;
    const auto next = static_cast<unsigned char>(utf8[0]);
    if (next >= 0x80 && next <= 0x9F) {
      safe += kReplacement;
      i = 1;
    } else {
      safe += '\xC2';
    }
  }
  for (; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
      safe += kReplacement;
    } else if (c == 0xC2 && i + 1 == utf8.size()) {
      pendingC2 = true;
    } else if (c == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
      safe += kReplacement;
      ++i;
    } else {
      safe += static_cast<char>(c);
    }
  }
  return safe;
}

StandardOutputWriter::StandardOutputWriter() : terminal_(isatty(STDOUT_FILENO) == 1) {
  // Whatever the C library still holds goes first, and its failure counts.
  if (std::fflush(stdout) != 0) error_ = errno != 0 ? errno : EIO;
}

void StandardOutputWriter::Write(std::string_view utf8) {
  if (utf8.empty()) return;
  last_ = utf8.back();
  if (terminal_) {
    WriteRaw(WithoutControlCharacters(utf8, pendingC2_));
  } else {
    WriteRaw(utf8);
  }
}

void StandardOutputWriter::WriteRaw(std::string_view bytes) {
  while (error_ == 0 && !bytes.empty()) {
    if (endOnSignal) AwaitRoomOrSignal();
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno != EINTR) error_ = errno;
      continue;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void StandardOutputWriter::WriteIfRoom(std::string_view bytes) {
  constexpr std::size_t kWholePiece = 4096;  // a pipe takes this much at once, or nothing
  while (error_ == 0 && !bytes.empty()) {
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    if (::poll(&out, 1, 0) != 1 || (out.revents & POLLOUT) == 0) return;
    const ssize_t written =
        ::write(STDOUT_FILENO, bytes.data(), std::min(bytes.size(), kWholePiece));
    if (written < 0) {
      if (errno != EINTR) error_ = errno;
      continue;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void StandardOutputWriter::Close() {
  if (!pendingC2_) return;
  pendingC2_ = false;
  WriteRaw("\xC2");
}

void StandardOutputWriter::ReportFailure() {
  if (error_ == 0 || reported_) return;
  reported_ = true;
  MarkRunFailed();
  // A reader that went away knows; anyone else is told why the answer is
  // missing.
  if (error_ != EPIPE) {
    std::fprintf(stderr, "vantrel: cannot write the answer to standard output: %s\n",
                 std::strerror(error_));
    std::fflush(stderr);
  }
}

void StandardOutputWriter::Finish() {
  Close();
  if (last_ != '\n') WriteRaw("\n");
  if (error_ == 0) return;
  ReportFailure();
  throw StandardOutputFailed();
}

void OccupyClosedStandardStreams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace app
