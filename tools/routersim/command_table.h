// The router's commands and their answers, read from a data file of
// Shift-JIS text. Lines are kept as bytes; nothing is converted.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace routersim {

class CommandTable {
 public:
  // Parses the data file's text. On a malformed file returns nullopt and
  // says why in `error`.
  static std::optional<CommandTable> parse(std::string_view text, std::string& error);

  // The answer lines for a command line as typed; placeholders filled in.
  std::vector<std::string> answer(std::string_view typed, const std::string& model,
                                  const std::string& address = {}) const;

  // Trimmed, runs of blanks made one, ASCII letters upper case: the form in
  // which commands are compared.
  static std::string normalize(std::string_view typed);

  std::size_t size() const { return answers_.size(); }

 private:
  std::map<std::string, std::vector<std::string>> answers_;
  std::vector<std::string> unknown_;
};

// The text of the data file built into the program, for when no file is found.
std::string_view builtin_commands();

}  // namespace routersim
