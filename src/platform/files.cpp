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

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
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

// The temporary files of writes under way, for a signal handler to remove.
// A slot's path is complete before its state says the file exists, and the
// state is a lock-free atomic, so the handler never sees half a name.
struct PendingFile {
  std::atomic<int> state{0};  // kFree, kReserved or kCreated
  char path[PATH_MAX] = {};
};
constexpr int kFree = 0;
constexpr int kReserved = 1;
constexpr int kCreated = 2;
constexpr int kPendingSlots = 4;
PendingFile pendingFiles[kPendingSlots];

static_assert(std::atomic<int>::is_always_lock_free);

// A temporary file of ours that is removed when this goes, unless it has been
// renamed into place.
class TemporaryFile {
 public:
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (slot_ != nullptr) {
      if (!renamed_) unlink(slot_->path);
      slot_->state.store(kFree);
    }
  }

  // Creates a new file named `prefix` plus a random suffix, readable and
  // writable by its owner only. False with errno set on failure.
  bool Create(const std::string& prefix) {
    if (prefix.size() + 9 > sizeof slot_->path) {
      errno = ENAMETOOLONG;
      return false;
    }
    for (PendingFile& candidate : pendingFiles) {
      int expected = kFree;
      if (candidate.state.compare_exchange_strong(expected, kReserved)) {
        slot_ = &candidate;
        break;
      }
    }
    if (slot_ == nullptr) {
      errno = EBUSY;
      return false;
    }
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = prefix;
      for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
      std::memcpy(slot_->path, name.c_str(), name.size() + 1);
      // No signal may end the process between the file's creation and its
      // entry in the table, or it would be left behind.
      sigset_t all, previous;
      sigfillset(&all);
      pthread_sigmask(SIG_BLOCK, &all, &previous);
      fd_ = open(slot_->path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
      const int openError = errno;
      if (fd_ >= 0) slot_->state.store(kCreated);
      pthread_sigmask(SIG_SETMASK, &previous, nullptr);
      if (fd_ >= 0) return true;
      if (openError != EEXIST) {
        errno = openError;
        return false;
      }
    }
    errno = EEXIST;
    return false;
  }

  int Fd() const { return fd_; }
  const char* Path() const { return slot_->path; }

  // Closes the descriptor; false (errno set) when the data did not make it.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

  bool RenameTo(const std::string& target) {
    if (rename(slot_->path, target.c_str()) != 0) return false;
    renamed_ = true;
    return true;
  }

 private:
  PendingFile* slot_ = nullptr;
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
  if (!temp.Create(folder + "." + target.substr(folder.size()) + ".")) {
    Report(error, ErrorText("cannot create a temporary file beside " + path, errno));
    return false;
  }
  const auto fail = [&](const std::string& what) {
    Report(error, ErrorText(what, errno));
    return false;
  };
  if (!WriteAll(temp.Fd(), bytes)) return fail(std::string("cannot write ") + temp.Path());
  mode_t mode = 0666 & ~CurrentUmask();
  if (replacing) {
    // Owner first: changing it may clear the set-id bits that the mode then
    // puts back. Where we may not give the file away, the group may still be ours to set.
    if (fchown(temp.Fd(), old.st_uid, old.st_gid) != 0) {
      [[maybe_unused]] const int ignored = fchown(temp.Fd(), static_cast<uid_t>(-1), old.st_gid);
    }
    mode = old.st_mode & 07777;
  }
  if (fsync(temp.Fd()) != 0) return fail(std::string("cannot flush ") + temp.Path());
  // Only a complete file may be seen by those the mode lets in.
  if (fchmod(temp.Fd(), mode) != 0)
    return fail(std::string("cannot set the mode of ") + temp.Path());
  if (!temp.Close()) return fail(std::string("cannot close ") + temp.Path());
  if (!temp.RenameTo(target)) return fail("cannot replace " + path);
  return true;
}

void RemovePendingTemporaryFiles() noexcept {
  for (PendingFile& pending : pendingFiles) {
    if (pending.state.load() == kCreated) unlink(pending.path);
  }
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
