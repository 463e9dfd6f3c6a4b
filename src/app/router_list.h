// The routers of one run: those named by --host and those listed in a hosts
// file, one "ADDRESS [MODEL]" a line. Everything about the list is checked
// before anything starts, so a mistake in line 40 never leaves 39 routers
// polled and the rest not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

struct RouterEntry {
  std::string address;             // as given, UTF-8
  std::optional<int> routerModel;  // the line's own model, a RouterModel number
};

// A model name as --model and a hosts file take it: a model's name or
// "auto", in any case.
std::optional<int> RouterModelByName(const std::string& name);

// A hosts file larger than this is refused: a list of routers is a few
// kilobytes, and anything far larger is the wrong file.
inline constexpr std::uintmax_t kHostsFileLimit = std::uintmax_t{1} << 20;

struct HostsFile {
  std::vector<RouterEntry> routers;
  std::string problem;  // set when the file can't be used; names the file (and line)
};

// Blank lines and lines whose first non-blank character is '#' are skipped;
// a '#' after blanks ends a line's fields.
HostsFile ReadHostsFile(const std::string& path);

// The file name an address gets under --output-dir, without ".txt": every
// character other than a letter, a digit, '.', '-' or ':' becomes '_'.
std::string OutputFileStem(const std::string& address);

// `text` as a message may show it: control bytes, and bytes that are not
// UTF-8, as \xHH escapes; everything else (non-ASCII names among it) as typed.
std::string PrintableText(const std::string& text);

// What is wrong with one address as --host or a hosts file gives it, empty
// when nothing: an option-like or control-byte value, or an IPv4 address
// written other than as four plain decimal numbers 0-255 (the resolver would
// read 127.0.3.010 as 127.0.3.8, and one router could pass as four).
std::string AddressProblem(const std::string& address);

// What is wrong with the whole list: the same address twice, or (with an
// output folder) two addresses giving the same file name. Empty when fine.
std::string RouterListProblem(const std::vector<RouterEntry>& routers, bool toOutputFolder);

}  // namespace app
