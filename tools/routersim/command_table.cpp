// Data file grammar, line by line (LF or CR LF ends a line):
//   @# ...                       comment
//   @command NAME | ALIAS | ...  the lines up to the next @-line answer NAME and its aliases
//   @unknown                     the lines up to the next @-line answer everything else
//   anything else                one answer line, bytes unchanged
#include "command_table.h"

namespace routersim {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

void drop_trailing_blank_lines(std::vector<std::string>& lines) {
  while (!lines.empty() && trim(lines.back()).empty()) lines.pop_back();
}

}  // namespace

std::string CommandTable::normalize(std::string_view typed) {
  std::string result;
  bool pending_blank = false;
  for (char c : trim(typed)) {
    if (is_blank(c)) {
      pending_blank = true;
      continue;
    }
    if (pending_blank) result.push_back(' ');
    pending_blank = false;
    // Only ASCII is folded: a Shift-JIS trail byte may look like a lower-case letter.
    result.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return result;
}

std::optional<CommandTable> CommandTable::parse(std::string_view text, std::string& error) {
  CommandTable table;
  std::vector<std::vector<std::string>> bodies;
  std::vector<std::pair<std::vector<std::string>, std::size_t>> entries;
  enum class Target { None, Entry, Unknown } target = Target::None;
  bool have_unknown = false;
  int line_number = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(line_number) + ": " + why;
    return std::nullopt;
  };

  while (!text.empty()) {
    ++line_number;
    auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (line.rfind("@#", 0) == 0) continue;
    if (line.rfind("@command", 0) == 0) {
      std::vector<std::string> names;
      std::string_view rest = line.substr(8);
      while (true) {
        auto bar = rest.find('|');
        std::string name = normalize(rest.substr(0, bar));
        if (!name.empty()) names.push_back(name);
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
      }
      if (names.empty()) return fail("@command without a name");
      bodies.emplace_back();
      entries.emplace_back(std::move(names), bodies.size() - 1);
      target = Target::Entry;
      continue;
    }
    if (line == "@unknown") {
      have_unknown = true;
      table.unknown_.clear();
      target = Target::Unknown;
      continue;
    }
    if (line.rfind("@", 0) == 0) return fail("unknown directive " + std::string(line));
    switch (target) {
      case Target::None:
        if (!trim(line).empty()) return fail("answer text before the first @command");
        break;
      case Target::Entry:
        bodies.back().emplace_back(line);
        break;
      case Target::Unknown:
        table.unknown_.emplace_back(line);
        break;
    }
  }

  for (auto& [names, index] : entries) {
    drop_trailing_blank_lines(bodies[index]);
    for (const auto& name : names) table.answers_[name] = bodies[index];
  }
  drop_trailing_blank_lines(table.unknown_);
  if (!have_unknown) table.unknown_ = {"Unknown command: {COMMAND}"};
  return table;
}

std::vector<std::string> CommandTable::answer(std::string_view typed, const std::string& model,
                                              const std::string& address) const {
  auto found = answers_.find(normalize(typed));
  std::vector<std::string> lines = found != answers_.end() ? found->second : unknown_;
  const std::string command(trim(typed));
  for (auto& line : lines) {
    replace_all(line, "{MODEL}", model);
    replace_all(line, "{COMMAND}", command);
    replace_all(line, "{ADDRESS}", address);
  }
  return lines;
}

}  // namespace routersim
