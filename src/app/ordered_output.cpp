#include "app/ordered_output.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace app {

namespace {

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

}  // namespace

Spool::~Spool() {
  if (fd_ >= 0) ::close(fd_);
}

bool Spool::fail(const std::string& what, int error) {
  problem_ = what + ": " + std::strerror(error != 0 ? error : ENOSPC);
  return false;
}

bool Spool::open() {
  if (fd_ >= 0) return true;
  const std::string folder = TemporaryFolder();
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd_ >= 0) return true;
  // A file system without unnamed files: a named one, unlinked at once.
  std::string pattern = folder + "/vantrel-spool-XXXXXX";
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) return fail("cannot make a temporary file in " + folder, errno);
  ::unlink(pattern.c_str());
  return true;
}

bool Spool::Append(std::string_view bytes, std::vector<Extent>& extents) {
  if (!problem_.empty() || !open()) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote =
        ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(end_ + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      return fail("cannot write a temporary file in " + TemporaryFolder(), wrote < 0 ? errno : 0);
    }
    done += static_cast<std::size_t>(wrote);
  }
  if (!extents.empty() && extents.back().offset + extents.back().length == end_) {
    extents.back().length += bytes.size();
  } else {
    extents.push_back({end_, bytes.size()});
  }
  end_ += bytes.size();
  return true;
}

bool Spool::ReadBack(const std::vector<Extent>& extents,
                     const std::function<void(std::string_view)>& sink) {
  std::string piece(64 * 1024, '\0');
  bool whole = true;
  for (const Extent& extent : extents) {
    std::size_t done = 0;
    while (done < extent.length) {
      const std::size_t want = std::min(piece.size(), extent.length - done);
      const ssize_t got =
          ::pread(fd_, piece.data(), want, static_cast<off_t>(extent.offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        whole = false;
        break;
      }
      sink(std::string_view(piece.data(), static_cast<std::size_t>(got)));
      done += static_cast<std::size_t>(got);
    }
    // Read once, never needed again: the disk gets the space back now
    // rather than when the run ends.
    ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(extent.offset),
                static_cast<off_t>(extent.length));
  }
  return whole;
}

OrderedOutput::OrderedOutput(std::size_t slots, Writer write, Writer report,
                             std::size_t memoryLimit)
    : slots_(slots),
      write_(std::move(write)),
      report_(std::move(report)),
      memoryLimit_(memoryLimit) {}

void OrderedOutput::Write(std::size_t slot, std::string_view bytes) {
  if (bytes.empty()) return;
  if (slot == current_) {
    write_(bytes);
    return;
  }
  Slot& held = slots_[slot];
  if (held.spooled.empty() && held.tail.empty() &&
      held.memory.size() + bytes.size() <= memoryLimit_) {
    held.memory.append(bytes);
    heldInMemory_ += bytes.size();
    return;
  }
  // Beyond the limit, or once some of it went on (whose pieces follow the
  // memory's), the bytes go to the spool; if it can't take them they stay
  // in memory behind everything held before, rather than being lost.
  if (!held.tail.empty() || !spool_.Append(bytes, held.spooled)) {
    held.tail.append(bytes);
    heldInMemory_ += bytes.size();
    if (!spoolFailureTold_ && !spool_.Problem().empty()) {
      spoolFailureTold_ = true;
      if (OnSpoolFailed) OnSpoolFailed(spool_.Problem());
    }
  }
}

void OrderedOutput::Report(std::size_t slot, std::string line) {
  // The slot whose turn it is has written all it wrote so far.
  if (slot == current_) {
    if (!line.empty()) report_(line);
    return;
  }
  slots_[slot].reports.push_back(std::move(line));
}

void OrderedOutput::Close(std::size_t slot) {
  slots_[slot].closed = true;
  if (slot == current_) advance();
}

void OrderedOutput::release(Slot& slot) {
  if (!slot.memory.empty()) write_(slot.memory);
  heldInMemory_ -= slot.memory.size();
  std::string().swap(slot.memory);
  if (!slot.spooled.empty()) spool_.ReadBack(slot.spooled, write_);
  slot.spooled.clear();
  slot.spooled.shrink_to_fit();
  if (!slot.tail.empty()) write_(slot.tail);
  heldInMemory_ -= slot.tail.size();
  std::string().swap(slot.tail);
}

void OrderedOutput::advance() {
  while (current_ < slots_.size()) {
    Slot& slot = slots_[current_];
    release(slot);
    if (!slot.closed) return;
    for (const std::string& line : slot.reports) {
      if (!line.empty()) report_(line);
    }
    slot.reports.clear();
    ++current_;
  }
}

}  // namespace app
