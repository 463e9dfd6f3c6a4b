// Private-profile (INI) files. A file is read into lines once, looked at line by
// line and, for a write, put back together with only the one line changed or
// added, so that everything else the user has in it stays as it was.
//
//   [main]            <- a section line: '[' name ']' with blanks allowed
//   rt=-1             <- a key line: name '=' value, blanks around both ignored
//   ; comment         <- anything else is kept and otherwise ignored
#include "platform/profile.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Compares names ignoring the case of ASCII letters; the trail bytes of
// Shift-JIS characters (which may look like letters) are compared exactly.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  bool trail = false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (!trail) {
      if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    }
    if (x != y) return false;
    trail = !trail && IsAnsiLeadByte(x);
  }
  return true;
}

// The name with ASCII letters in lower case, as SameName compares them.
std::string Folded(const std::string& name) {
  std::string folded = name;
  bool trail = false;
  for (char& c : folded) {
    const auto byte = static_cast<unsigned char>(c);
    if (!trail && byte >= 'A' && byte <= 'Z') c = static_cast<char>(byte - 'A' + 'a');
    trail = !trail && IsAnsiLeadByte(byte);
  }
  return folded;
}

std::string IndexKey(const std::string& section, const std::string& key) {
  return Folded(section) + '\0' + Folded(key);
}

// The section named on `line`, or nothing when it is no section line.
std::optional<std::string> SectionName(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] != '[') return std::nullopt;
  const auto close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

struct KeyLine {
  std::string key;
  std::string value;
};

std::optional<KeyLine> ParseKeyLine(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == ';') return std::nullopt;
  const auto equals = trimmed.find('=');
  if (equals == std::string::npos) return std::nullopt;
  return KeyLine{Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))};
}

// A value wholly in matching quotes reads without them, as on Windows.
std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// Where a section lies in the lines: its header and one past its last line.
struct SectionRange {
  std::size_t header;
  std::size_t end;
};

std::vector<SectionRange> FindSections(const std::vector<std::string>& lines,
                                       const std::string& section) {
  std::vector<SectionRange> found;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto name = SectionName(lines[i]);
    if (!name) continue;
    if (!found.empty() && found.back().end == lines.size()) found.back().end = i;
    if (SameName(*name, section)) found.push_back({i, lines.size()});
  }
  return found;
}

std::optional<std::size_t> FindKey(const std::vector<std::string>& lines, SectionRange range,
                                   const std::string& key) {
  for (std::size_t i = range.header + 1; i < range.end; ++i) {
    auto parsed = ParseKeyLine(lines[i]);
    if (parsed && SameName(parsed->key, key)) return i;
  }
  return std::nullopt;
}

}  // namespace

ProfileText::ProfileText(const std::string& bytes) : lines_(SplitLines(bytes)) {}

const std::unordered_map<std::string, std::size_t>& ProfileText::Index() const {
  if (!indexed_) {
    index_.clear();
    std::optional<std::string> section;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (auto name = SectionName(lines_[i])) {
        section = std::move(name);
      } else if (section) {
        // The first section of a name comes first in the file, and so does
        // its first key: emplace keeps the first.
        if (auto parsed = ParseKeyLine(lines_[i])) index_.emplace(IndexKey(*section, parsed->key), i);
      }
    }
    indexed_ = true;
  }
  return index_;
}

std::optional<std::string> ProfileText::Value(const std::string& section,
                                              const std::string& key) const {
  const auto& index = Index();
  const auto found = index.find(IndexKey(Trim(section), Trim(key)));
  if (found == index.end()) return std::nullopt;
  return Unquote(ParseKeyLine(lines_[found->second])->value);
}

std::string ProfileText::String(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  return Value(section, key).value_or(defaultValue);
}

int ProfileText::Int(const std::string& section, const std::string& key, int defaultValue) const {
  const std::optional<std::string> value = Value(section, key);
  if (!value) return defaultValue;
  return ParseProfileInt(*value).value_or(defaultValue);
}

std::optional<int> ParseProfileInt(const std::string& value) {
  std::string text = Trim(value);
  // An optional sign, then nothing but decimal digits.
  const std::size_t digits = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos)
    return std::nullopt;
  if (text[0] == '+') text.erase(0, 1);
  long long number = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, number, 10);
  if (error != std::errc() || rest != end || number < INT_MIN || number > INT_MAX)
    return std::nullopt;
  return static_cast<int>(number);
}

void ProfileText::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
  const std::string wantedSection = Trim(section);
  const std::string wantedKey = Trim(key);
  const std::vector<SectionRange> sections = FindSections(lines_, wantedSection);
  for (const SectionRange& range : sections) {
    if (auto at = FindKey(lines_, range, wantedKey)) {
      // Same place, same spelling of the key; only the value changes.
      lines_[*at] = ParseKeyLine(lines_[*at])->key + "=" + value;
      return;
    }
  }
  if (!sections.empty()) {
    // A new key goes after the section's last non-blank line, ahead of the
    // blank lines that part it from the next section.
    const SectionRange range = sections.front();
    std::size_t at = range.end;
    while (at > range.header + 1 && Trim(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), wantedKey + "=" + value);
    return;
  }
  lines_.push_back("[" + wantedSection + "]");
  lines_.push_back(wantedKey + "=" + value);
}

std::string ProfileText::Bytes() const { return JoinLinesCrLf(lines_); }

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return defaultValue;
  return ProfileText(*bytes).String(section, key, defaultValue);
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return defaultValue;
  return ProfileText(*bytes).Int(section, key, defaultValue);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path,
                               std::string* error) {
  ProfileText profile;
  int readError = 0;
  if (auto bytes = ReadFileBytes(path, &readError)) {
    profile = ProfileText(*bytes);
  } else if (readError != ENOENT) {
    // Something is there that we can't read: writing only our key would lose
    // the rest of it.
    if (error != nullptr) *error = "cannot read " + path + ": " + std::strerror(readError);
    return false;
  }
  profile.Set(section, key, value);
  return WriteFileAtomically(path, profile.Bytes(), error);
}

}  // namespace platform
