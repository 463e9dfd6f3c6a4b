// A random settings file, then the reads and writes the window makes. Reading
// must never fail on garbage, a written value must read back as written (less
// the quotes around a value wholly in matching quotes), and a write must leave
// every other line of the file where it was.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/profile.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/vantrel-settings-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    Require(made != nullptr);
    return std::string(made) + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = Folder() + "vantrel.Ini";
  const std::string original(reinterpret_cast<const char*>(data), size);
  Require(platform::WriteFileAtomically(path, original));

  for (const char* key : {"rt", "ip", "single", "top", "p_width"}) {
    platform::GetPrivateProfileInt("main", key, -1, path);
    platform::GetPrivateProfileString("pos", key, "default", path);
  }

  // The value: a tail of the input without line ends (a value never holds one).
  std::string value = original.substr(original.size() / 2);
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  const std::string before = *platform::ReadFileBytes(path);
  Require(platform::WritePrivateProfileString("main", "ip", value, path));
  const std::string after = *platform::ReadFileBytes(path);
  std::string trimmed = value;
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.pop_back();
  while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t'))
    trimmed.erase(0, 1);
  // A value wholly in matching quotes reads without them, as the format has it.
  if (trimmed.size() >= 2 && (trimmed.front() == '"' || trimmed.front() == '\'') &&
      trimmed.back() == trimmed.front()) {
    trimmed = trimmed.substr(1, trimmed.size() - 2);
  }
  Require(platform::GetPrivateProfileString("main", "ip", "<none>", path) == trimmed);

  // Every line of the old file is still there but the one replaced.
  const auto newLines = platform::SplitLines(after);
  std::size_t missing = 0;
  for (const std::string& line : platform::SplitLines(before)) {
    if (std::find(newLines.begin(), newLines.end(), line) == newLines.end()) ++missing;
  }
  Require(missing <= 1);
  return 0;
}
