#include "app/router_list.h"

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

// An address is handed to the resolver as it is; what can't be one is told
// here with its line rather than as a failed router later.
bool PlausibleAddress(const std::string& address) {
  if (address.empty() || address[0] == '-') return false;
  for (char c : address) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7f) return false;
  }
  return true;
}

bool ValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t length = b < 0x80         ? 1
                               : (b >> 5) == 6  ? 2
                               : (b >> 4) == 14 ? 3
                               : (b >> 3) == 30 ? 4
                                                : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

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
    if (!PlausibleAddress(fields[0])) return bad("\"" + fields[0] + "\" is no address"), result;
    RouterEntry entry{fields[0], std::nullopt};
    if (fields.size() == 2) {
      entry.routerModel = RouterModelByName(fields[1]);
      if (!entry.routerModel) {
        return bad("unknown router model \"" + fields[1] +
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
      return "the router " + router.address + " is given twice" +
             (*at->second != router.address ? " (as " + *at->second + ")" : "");
    }
    if (!toOutputFolder) continue;
    const std::string stem = OutputFileStem(router.address);
    const auto [other, fresh] = stems.emplace(stem, &router.address);
    if (!fresh) {
      return "the routers " + *other->second + " and " + router.address +
             " would both be written to " + stem + ".txt";
    }
  }
  return {};
}

}  // namespace app
