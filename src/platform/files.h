// Whole-file reads and atomic whole-file writes, and the program's own folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The whole file as bytes, or nothing when it can't be opened or read (the
// reason, an errno value, in `error` when given: ENOENT for a missing file).
std::optional<std::string> ReadFileBytes(const std::string& path, int* error = nullptr);

// Replaces the file with `bytes`: a temporary file in the same folder is
// written, flushed and renamed over the old one, so a failure never truncates
// what was there. Returns false (reason in `error`) on failure.
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
