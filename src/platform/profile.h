// Private-profile (INI) files, read and written key by key. Section and key
// names compare case-insensitively, blanks around names and values are ignored,
// and everything the caller does not touch (other sections, keys, comments,
// blank lines, their order) survives a write. Lines are written with CR LF;
// CR LF, LF and a lone CR are all accepted on reading. Value bytes pass
// through unchanged (they are Shift-JIS).
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// One INI file's text, read once and looked up as often as needed; changes
// are made in memory and the text written back in one piece.
class ProfileText {
 public:
  ProfileText() = default;
  explicit ProfileText(const std::string& bytes);

  // The value of the first such key in a section of that name, without
  // surrounding quotes; nothing when the section or key is missing.
  std::optional<std::string> Value(const std::string& section, const std::string& key) const;
  std::string String(const std::string& section, const std::string& key,
                     const std::string& defaultValue) const;
  // A missing key or a value that is not a decimal integer in range gives
  // `defaultValue`.
  int Int(const std::string& section, const std::string& key, int defaultValue) const;
  // Replaces the value in place, or adds the key (and its section).
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // The text with CR LF after every line.
  std::string Bytes() const;

 private:
  const std::unordered_map<std::string, std::size_t>& Index() const;

  std::vector<std::string> lines_;
  // Where each section and key (names folded) is first found, built on the
  // first lookup so that a large file is gone through once, not once per key.
  mutable std::unordered_map<std::string, std::size_t> index_;
  mutable bool indexed_ = false;
};

// The integer a profile value stands for, or nothing when it is none.
std::optional<int> ParseProfileInt(const std::string& value);

// A missing file, section or key gives `defaultValue`.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path);

// The value as a decimal integer (optional sign, blanks around it allowed);
// a missing key or a value that is not an integer in range gives `defaultValue`.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path);

// Creates the file, section or key as needed and replaces the value in place.
// The file is replaced atomically; on failure the old file is left as it was
// and false is returned, with the reason in `error` when given.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path,
                               std::string* error = nullptr);

}  // namespace platform
