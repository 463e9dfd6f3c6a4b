// Whole-file reads and atomic whole-file writes, and the program's own folder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The whole file as bytes, or nothing when it can't be opened or read (the
// reason, an errno value, in `error` when given: ENOENT for a missing file).
std::optional<std::string> ReadFileBytes(const std::string& path, int* error = nullptr);

// How reading a file the user may have replaced by anything went.
enum class FileReadOutcome {
  kRead,
  kMissing,     // nothing at the path (or a link to nothing)
  kNotRegular,  // a folder, FIFO, device or socket
  kTooLarge,    // over the caller's bound
  kFailed,      // there, but it can't be opened or read (reason in `error`)
};

struct BoundedFile {
  FileReadOutcome outcome = FileReadOutcome::kMissing;
  std::string bytes;
  int error = 0;
};

// Reads a regular file of at most `limit` bytes, following links. It never
// waits: a FIFO, a device or a socket is refused before it is opened, and the
// open itself does not block, so nothing put in the file's place can stall the
// caller or feed it without end.
BoundedFile ReadRegularFile(const std::string& path, std::size_t limit);

// Replaces the file with `bytes`: a temporary file in the same folder is
// written, flushed and renamed over the old one, so a failure never truncates
// what was there. Through a symbolic link the file it points to is replaced
// and the link stays. The new file gets the old one's owner and group (as far
// as the process may set them) and its mode; the temporary file is private
// until then. A file whose owner may not write it, and anything that is not a
// regular file, is never replaced. Where the file system allows, the new
// content has no name until it is complete, so a process ended in the middle
// leaves nothing behind. Returns false (reason in `error`) on failure.
bool WriteFileAtomically(const std::string& path, const std::string& bytes,
                         std::string* error = nullptr);

// Splits text into lines at CR LF, lone CR or lone LF; a line end at the very
// end adds no empty line. Bytes are kept as they are.
std::vector<std::string> SplitLines(const std::string& text);

// Joins lines with CR LF after each line.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// The full path of the running executable, and its folder with a trailing '/'.
std::string ModuleFileName();
std::string ProgramDirectory();

}  // namespace platform
