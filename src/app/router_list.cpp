#include "app/router_list.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "app/router_models.h"
#include "platform/files.h"

namespace app {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string Lowered(std::string text) {
  for (char& c : text) c = Lower(c);
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') break;
    const std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// The length of the UTF-8 character at `at`, or 0 where none starts.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto b = static_cast<unsigned char>(text[at]);
  const std::size_t length = b < 0x80         ? 1
                             : (b >> 5) == 6  ? 2
                             : (b >> 4) == 14 ? 3
                             : (b >> 3) == 30 ? 4
                                              : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[at + k]) >> 6) != 2) return 0;
  }
  return length;
}

bool ValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// Four decimal numbers 0-255 without leading zeros, as nobody can misread.
bool PlainDottedQuad(const std::string& address) {
  int parts = 0;
  for (std::size_t i = 0; i <= address.size(); ++parts) {
    std::size_t end = address.find('.', i);
    if (end == std::string::npos) end = address.size();
    const std::string part = address.substr(i, end - i);
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
    }
    if (std::stoi(part) > 255) return false;
    i = end + 1;
  }
  return parts == 4;
}

// What the resolver would take as an IPv4 address, in any of its old forms
// (octal, hex, fewer parts), or what is made of digits and dots alone.
bool LooksLikeIpv4(const std::string& address) {
  in_addr parsed{};
  if (::inet_aton(address.c_str(), &parsed) != 0) return true;
  return address.find_first_not_of("0123456789.") == std::string::npos;
}

}  // namespace

std::string PrintableText(const std::string& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(text, i);
    if (length == 0 || b < 0x20 || b == 0x7f) {
      static const char kHex[] = "0123456789abcdef";
      shown += "\\x";
      shown += kHex[b >> 4];
      shown += kHex[b & 15];
      ++i;
    } else {
      shown.append(text, i, length);
      i += length;
    }
  }
  return shown;
}

std::string AddressProblem(const std::string& address) {
  const std::string quoted = "\"" + PrintableText(address) + "\"";
  if (address.empty() || address[0] == '-') return quoted + " is no address";
  for (char c : address) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7f) return quoted + " is no address";
  }
  if (LooksLikeIpv4(address) && !PlainDottedQuad(address)) {
    return quoted +
           " is an ambiguous address: write an IPv4 address as four decimal numbers 0-255 "
           "without leading zeros, such as 192.168.0.1";
  }
  return {};
}

std::optional<int> RouterModelByName(const std::string& name) {
  const std::string lowered = Lowered(name);
  if (lowered == "auto") return kAutomaticRouterModel;
  for (std::size_t i = 0; i < kRouterModelNames.size(); ++i) {
    if (lowered == Lowered(kRouterModelNames[i])) return static_cast<int>(i);
  }
  return std::nullopt;
}

HostsFile ReadHostsFile(const std::string& path) {
  HostsFile result;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    result.problem = "cannot read the hosts file " + path + ": " + std::strerror(errno);
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.problem = "the hosts file " + path + " is not a regular file";
    return result;
  }
  if (static_cast<std::uintmax_t>(info.st_size) > kHostsFileLimit) {
    result.problem = "the hosts file " + path + " is larger than 1 MiB";
    return result;
  }
  int error = 0;
  const std::optional<std::string> bytes = platform::ReadFileBytes(path, &error);
  if (!bytes || bytes->size() > kHostsFileLimit) {
    result.problem = "cannot read the hosts file " + path +
                     (bytes ? ": larger than 1 MiB" : ": " + std::string(std::strerror(error)));
    return result;
  }
  std::size_t start = bytes->compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (int number = 1; start <= bytes->size(); ++number) {
    std::size_t end = bytes->find('\n', start);
    if (end == std::string::npos) end = bytes->size();
    const std::string line = bytes->substr(start, end - start);
    start = end + 1;
    const std::vector<std::string> fields = Fields(line);
    const auto bad = [&](const std::string& why) {
      result.problem = path + ", line " + std::to_string(number) + ": " + why;
      result.routers.clear();
    };
    if (fields.empty()) continue;
    if (!ValidUtf8(line)) return bad("not UTF-8 text"), result;
    if (fields.size() > 2) return bad("more than an address and a model"), result;
    if (const std::string problem = AddressProblem(fields[0]); !problem.empty()) {
      return bad(problem), result;
    }
    RouterEntry entry{fields[0], std::nullopt};
    if (fields.size() == 2) {
      entry.routerModel = RouterModelByName(fields[1]);
      if (!entry.routerModel) {
        return bad("unknown router model \"" + PrintableText(fields[1]) +
                   "\" (MT128-NET, MN128-SOHO, MN128-SOHO-SL10, MN128-SOHO-SL11 or auto)"),
               result;
      }
    }
    result.routers.push_back(std::move(entry));
  }
  return result;
}

std::string OutputFileStem(const std::string& address) {
  std::string stem = address;
  for (char& c : stem) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == ':';
    if (!kept) c = '_';
  }
  return stem;
}

std::string RouterListProblem(const std::vector<RouterEntry>& routers, bool toOutputFolder) {
  std::map<std::string, const std::string*> addresses;
  std::map<std::string, const std::string*> stems;
  for (const RouterEntry& router : routers) {
    // Host names are the same in any case.
    const auto [at, added] = addresses.emplace(Lowered(router.address), &router.address);
    if (!added) {
      return "the router " + PrintableText(router.address) + " is given twice" +
             (*at->second != router.address ? " (as " + PrintableText(*at->second) + ")" : "");
    }
    if (!toOutputFolder) continue;
    const std::string stem = OutputFileStem(router.address);
    const auto [other, fresh] = stems.emplace(stem, &router.address);
    if (!fresh) {
      return "the routers " + PrintableText(*other->second) + " and " +
             PrintableText(router.address) +
             " would both be written to " + stem + ".txt";
    }
  }
  return {};
}

}  // namespace app
