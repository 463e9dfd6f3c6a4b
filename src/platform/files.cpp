// Whole-file reads, atomic whole-file writes, line splitting and the program's
// own folder.
#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace platform {

namespace {

std::string ErrorText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

void Report(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Creates a new file named `prefix` plus a random suffix, with the usual
// permissions (0666 less the umask, applied by the system). Returns its
// descriptor and fills `name`, or -1 with errno set.
int CreateUniqueFile(const std::string& prefix, std::string* name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = prefix;
    for (int i = 0; i < 8; ++i) candidate += kLetters[random() % (sizeof kLetters - 1)];
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      *name = std::move(candidate);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

std::optional<std::string> ReadFileBytes(const std::string& path, int* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error != nullptr) *error = errno;
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error != nullptr) *error = errno;
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return bytes;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
  // Through a symbolic link we replace the file it points to, not the link.
  std::string target = path;
  struct stat linkInfo {};
  if (lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) target = resolved;
  }

  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp;
  const int fd = CreateUniqueFile(folder + "." + base + ".", &temp);
  if (fd < 0) {
    Report(error, ErrorText("cannot create a temporary file beside " + path, errno));
    return false;
  }

  // The new file keeps the old one's permissions.
  struct stat old {};
  if (stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) fchmod(fd, old.st_mode & 07777);

  auto fail = [&](const std::string& what) {
    const int saved = errno;
    close(fd);
    unlink(temp.c_str());
    Report(error, ErrorText(what, saved));
    return false;
  };
  if (!WriteAll(fd, bytes)) return fail("cannot write " + temp);
  if (fsync(fd) != 0) return fail("cannot flush " + temp);
  if (close(fd) != 0) {
    const int saved = errno;
    unlink(temp.c_str());
    Report(error, ErrorText("cannot close " + temp, saved));
    return false;
  }
  if (rename(temp.c_str(), target.c_str()) != 0) {
    const int saved = errno;
    unlink(temp.c_str());
    Report(error, ErrorText("cannot replace " + path, saved));
    return false;
  }
  return true;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.push_back(text.substr(start, i - start));
    i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::string ModuleFileName() {
  std::string path(PATH_MAX, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return "";
  path.resize(static_cast<std::size_t>(n));
  return path;
}

std::string ProgramDirectory() {
  const std::string path = ModuleFileName();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace platform
