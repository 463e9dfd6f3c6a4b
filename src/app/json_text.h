// Text in JSON strings, for the console run's machine-readable output. An
// answer can run to 64 MiB, so a string is escaped piece by piece as its
// lines arrive, never whole.
#pragma once

#include <string>
#include <string_view>

namespace app {

// Appends `utf8` (valid UTF-8) escaped for the inside of a JSON string: the
// quote, the backslash, every control character (C0, DEL and C1) and the
// line and paragraph separators U+2028 and U+2029 as escapes, everything
// else as it is. Pieces of one string may be escaped one after another as
// long as none ends inside a character.
void AppendJsonEscaped(std::string& out, std::string_view utf8);

// `utf8` as a whole JSON string, quotes included.
std::string JsonString(std::string_view utf8);

}  // namespace app
