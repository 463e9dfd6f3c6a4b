// Whole-file reads, atomic whole-file writes, line splitting and the program's
// own folder.
//
// Both files of the program sit where the user, or anyone who can write the
// folder, may have put something else: a link to another user's file, a FIFO,
// a device, a file that never ends. Reads therefore look at what is there
// before opening it and are bounded; writes follow links to the real file,
// keep its owner and mode, and never leave a half-written temporary file.
#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "platform/line_scan.h"

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

// Blocks every signal while it lives, for the few system calls that must not
// be parted.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

std::string RandomSuffix() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string suffix;
  for (int i = 0; i < 8; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
  return suffix;
}

// The new content of a file on its way into place. Where the file system
// allows, it has no name until it is complete and renamed over the old file,
// so a process ended at any moment (a second signal, SIGKILL) leaves nothing
// behind; elsewhere it is a hidden file beside the old one, removed on every
// way out that the process lives through. Either way it is readable by its
// owner only until its final mode is set.
class TemporaryFile {
 public:
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!name_.empty() && !renamed_) unlink(name_.c_str());
  }

  // `prefix` is the folder (ending in '/', or empty for the current one)
  // and the start of the hidden name. False with errno set on failure.
  bool Create(const std::string& folder, const std::string& prefix) {
    folder_ = folder;
    prefix_ = prefix;
    fd_ = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) return true;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = folder + prefix + RandomSuffix();
      fd_ = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
      if (fd_ >= 0) {
        name_ = name;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
  }

  int Fd() const { return fd_; }
  std::string Describe() const {
    return name_.empty() ? "a new file in " + (folder_.empty() ? std::string(".") : folder_)
                         : name_;
  }

  // Puts the file in place of `target`. Held signals keep a nameless file
  // from being left with the name it gets on its way.
  bool RenameTo(const std::string& target) {
    if (!name_.empty()) {
      if (rename(name_.c_str(), target.c_str()) != 0) return false;
      renamed_ = true;
      return true;
    }
    const SignalsHeld held;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = folder_ + prefix_ + RandomSuffix();
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        if (errno == EEXIST) continue;
        return false;
      }
      if (rename(name.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        unlink(name.c_str());
        errno = saved;
        return false;
      }
      renamed_ = true;
      return true;
    }
    errno = EEXIST;
    return false;
  }

  // Closes the descriptor; false (errno set) when the system reports a loss.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  std::string folder_;
  std::string prefix_;
  std::string name_;  // empty while the file has no name
  int fd_ = -1;
  bool renamed_ = false;
};

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a chain of links ends at (which need not exist yet). A chain that
// loops has no such file; then the link itself is what gets replaced.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    char target[PATH_MAX];
    const ssize_t n = readlink(current.c_str(), target, sizeof target - 1);
    if (n <= 0) return current;
    const std::string next(target, static_cast<std::size_t>(n));
    current = next[0] == '/' ? next : FolderOf(current) + next;
  }
  return path;
}

// The process's file-creation mask, without changing it even for a moment.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
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

BoundedFile ReadRegularFile(const std::string& path, std::size_t limit) {
  BoundedFile file;
  const auto fail = [&file](FileReadOutcome outcome, int error) {
    file.outcome = outcome;
    file.error = error;
    file.bytes.clear();
    return file;
  };
  // Looked at before it is opened: opening a device may already do something.
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return fail(errno == ENOENT ? FileReadOutcome::kMissing : FileReadOutcome::kFailed, errno);
  }
  if (!S_ISREG(info.st_mode)) {
    return fail(FileReadOutcome::kNotRegular, S_ISDIR(info.st_mode) ? EISDIR : ENODEV);
  }
  if (static_cast<unsigned long long>(info.st_size) > limit) {
    return fail(FileReadOutcome::kTooLarge, EFBIG);
  }
  // Something else may have taken the file's place since; the open does not
  // wait for it, and what was opened is looked at again.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return fail(errno == ENOENT ? FileReadOutcome::kMissing : FileReadOutcome::kFailed, errno);
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  if (fstat(fd, &info) != 0) return fail(FileReadOutcome::kFailed, errno);
  if (!S_ISREG(info.st_mode)) return fail(FileReadOutcome::kNotRegular, ENODEV);

  file.bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(FileReadOutcome::kFailed, errno);
    }
    if (n == 0) break;
    // A file that grows while we read is held to the same bound.
    if (file.bytes.size() + static_cast<std::size_t>(n) > limit) {
      return fail(FileReadOutcome::kTooLarge, EFBIG);
    }
    file.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  file.outcome = FileReadOutcome::kRead;
  return file;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string target = FollowLinks(path);
  struct stat old {};
  bool replacing = false;
  if (lstat(target.c_str(), &old) == 0) {
    if (S_ISREG(old.st_mode)) {
      // The owner said the file is not to change; we honour that even where
      // our privileges would let us replace it.
      if ((old.st_mode & S_IWUSR) == 0) {
        Report(error, ErrorText("will not replace " + path + ", which is read-only", EACCES));
        return false;
      }
      replacing = true;
    } else if (!S_ISLNK(old.st_mode)) {
      Report(error, ErrorText("will not replace " + path + ", which is not a regular file",
                              S_ISDIR(old.st_mode) ? EISDIR : EINVAL));
      return false;
    }
  } else if (errno != ENOENT) {
    Report(error, ErrorText("cannot look at " + path, errno));
    return false;
  }

  const std::string folder = FolderOf(target);
  TemporaryFile temp;
  if (!temp.Create(folder, "." + target.substr(folder.size()) + ".")) {
    Report(error, ErrorText("cannot create a temporary file beside " + path, errno));
    return false;
  }
  const auto fail = [&](const std::string& what) {
    Report(error, ErrorText(what, errno));
    return false;
  };
  if (!WriteAll(temp.Fd(), bytes)) return fail("cannot write " + temp.Describe());
  mode_t mode = 0666 & ~CurrentUmask();
  if (replacing) {
    // Owner first: changing it may clear the set-id bits that the mode then
    // puts back. Where we may not give the file away, the group may still be ours to set.
    if (fchown(temp.Fd(), old.st_uid, old.st_gid) != 0) {
      [[maybe_unused]] const int ignored = fchown(temp.Fd(), static_cast<uid_t>(-1), old.st_gid);
    }
    mode = old.st_mode & 07777;
  }
  if (fsync(temp.Fd()) != 0) return fail("cannot flush " + temp.Describe());
  // Only a complete file may be seen by those the mode lets in.
  if (fchmod(temp.Fd(), mode) != 0) return fail("cannot set the mode of " + temp.Describe());
  if (!temp.RenameTo(target)) return fail("cannot replace " + path);
  // The data was flushed before the rename; a failing close loses nothing.
  temp.Close();
  return true;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  LineScanner scanner(text);
  std::size_t start = 0;
  std::size_t length = 0;
  while (scanner.Next(start, length)) lines.push_back(text.substr(start, length));
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
