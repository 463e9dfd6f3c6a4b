// Names for the cases of parameterised tests. The test framework takes
// letters, digits and underscores only, and the names end up in CTest's
// output, so they are plain ASCII whatever bytes the parameter holds.
#pragma once

#include <string>
#include <string_view>

namespace support {

inline void AppendHex(std::string& name, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  name += kHex[byte >> 4];
  name += kHex[byte & 0xF];
}

// "05000504" for the bytes 5 0 5 4.
inline std::string HexName(std::string_view bytes) {
  std::string name;
  for (const char c : bytes) AppendHex(name, static_cast<unsigned char>(c));
  return name;
}

// "connection not allowed by ruleset" gives "ConnectionNotAllowedByRuleset":
// any other byte ends a word, and one outside ASCII shows as "x8F".
inline std::string CaseName(std::string_view text) {
  const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  std::string name;
  bool wordStart = true;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (isLetter(c) || (c >= '0' && c <= '9')) {
      name += wordStart && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
      wordStart = false;
      continue;
    }
    if (byte >= 0x80) {
      name += 'x';
      AppendHex(name, byte);
    }
    wordStart = true;
  }
  return name.empty() ? "Empty" : name;
}

// Names the two cases of a table that is one flag.
inline auto FlagNames(const char* off, const char* on) {
  return [off, on](const auto& info) { return std::string(info.param ? on : off); };
}

}  // namespace support
