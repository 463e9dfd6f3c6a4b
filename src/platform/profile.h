// Private-profile (INI) files, read and written key by key. Section and key
// names compare case-insensitively, blanks around names and values are ignored,
// and everything the caller does not touch (other sections, keys, comments,
// blank lines, their order) survives a write. Lines are written with CR LF;
// CR LF, LF and a lone CR are all accepted on reading. Value bytes pass
// through unchanged (they are Shift-JIS).
#pragma once

#include <string>

namespace platform {

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
