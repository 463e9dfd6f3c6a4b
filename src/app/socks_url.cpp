// The proxy settings of the settings file and of the command line. A URL is
// taken apart in UTF-8, where every delimiter is a character of its own; only
// its parts are turned into Shift-JIS, so that no trail byte of a
// double-byte character is ever taken for an '@', '[' or ':'.
#include "app/socks_url.h"

#include <algorithm>
#include <string_view>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace app {
namespace {

constexpr char kSocksSection[] = "socks";
constexpr char kSocksOption[] = "--socks";
constexpr std::size_t kMaxFieldLength = 255;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// A part of the URL as the proxy gets it: Shift-JIS, escapes decoded (an
// escape is one byte as it is). Nothing, with `why` set, when the part can't
// be given exactly.
std::optional<std::string> UrlPart(const std::string& utf8, const std::string& what,
                                   std::string& why) {
  const std::string ansi = platform::Utf8ToAnsi(utf8);
  // The conversion writes '?' for what Shift-JIS has no character for.
  if (std::count(ansi.begin(), ansi.end(), '?') != std::count(utf8.begin(), utf8.end(), '?')) {
    why = "the " + what + " has a character that Shift-JIS cannot hold";
    return std::nullopt;
  }
  std::optional<std::string> decoded = PercentDecoded(ansi);
  if (!decoded) why = "bad %-escape in the " + what;
  return decoded;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Judged by characters: the second byte of a double-byte character is part
// of that character, whatever its value.
bool UsableHost(const std::string& host) {
  if (host.empty()) return false;
  constexpr std::string_view kNotInHostNames = "[]@:";
  for (std::size_t i = 0; i < host.size(); ++i) {
    const auto byte = static_cast<unsigned char>(host[i]);
    if (platform::IsAnsiLeadByte(byte)) {
      if (++i >= host.size()) return false;  // a character cut in half
      continue;
    }
    if (byte <= ' ' || byte == 0x7F || kNotInHostNames.find(host[i]) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

std::optional<std::string> LevelOfScheme(const std::string& scheme) {
  if (scheme == "socks4") return "4";
  if (scheme == "socks4a") return "4A";
  // The proxy always resolves the router's name at SOCKS 5, so "socks5h"
  // (the name resolved by the proxy) is what "socks5" does anyway.
  if (scheme == "socks5" || scheme == "socks5h") return "5";
  return std::nullopt;
}

}  // namespace

telnet::SocksRoute ReadSocksSection(const std::string& iniPath) {
  return ReadSocksSection(platform::ProfileText(platform::ReadFileBytes(iniPath).value_or("")));
}

telnet::SocksRoute ReadSocksSection(const platform::ProfileText& settings) {
  const auto value = [&settings](const char* key, const char* fallback) {
    return settings.String(kSocksSection, key, fallback);
  };
  telnet::SocksRoute route;
  route.server = value("server", "");
  route.port = value("port", kDefaultSocksPort);
  if (route.port.empty()) route.port = kDefaultSocksPort;
  route.level = value("level", "5");
  route.usercode = value("user", "");
  route.password = value("password", "");
  route.authenticate = route.level == "5" && (!route.usercode.empty() || !route.password.empty());
  return route;
}

std::string SocksRouteProblem(const telnet::SocksRoute& route) {
  const std::pair<const std::string*, const char*> fields[] = {
      {&route.usercode, "user"}, {&route.password, "password"}, {&route.server, "proxy host"}};
  for (const auto& [field, name] : fields) {
    if (std::any_of(field->begin(), field->end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
      return std::string("the SOCKS ") + name + " holds a NUL or another control byte";
    }
  }
  return {};
}

std::string UrlWithoutPassword(const std::string& url) {
  const std::size_t schemeEnd = url.find("://");
  const std::size_t start = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
  // The parser takes the last '@' as the end of the user part; from the first
  // ':' before it on, all of it may be the password.
  const std::size_t at = url.rfind('@');
  if (at == std::string::npos || at < start) return url;
  const std::size_t colon = url.find(':', start);
  if (colon == std::string::npos || colon > at) return url;
  return url.substr(0, colon + 1) + "***" + url.substr(at);
}

std::optional<telnet::SocksRoute> ParseSocksUrl(const std::string& url, std::string& problem) {
  const auto fail = [&problem, &url](const std::string& why) {
    problem = "--socks " + UrlWithoutPassword(url) + ": " + why;
    return std::nullopt;
  };
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos) {
    return fail("not a SOCKS URL (socks4://, socks4a://, socks5:// or socks5h://host[:port])");
  }
  const std::optional<std::string> level = LevelOfScheme(Lower(url.substr(0, schemeEnd)));
  if (!level) return fail("unknown SOCKS level (use socks4, socks4a, socks5 or socks5h)");

  std::string rest = url.substr(schemeEnd + 3);
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.find_first_of("/?#") != std::string::npos) return fail("a SOCKS URL has no path");

  telnet::SocksRoute route;
  route.level = *level;
  route.port = kDefaultSocksPort;
  std::string why;
  const std::size_t at = rest.rfind('@');
  if (at != std::string::npos) {
    const std::string userInfo = rest.substr(0, at);
    const std::size_t colon = userInfo.find(':');
    if (colon != std::string::npos && route.level != "5") {
      return fail("SOCKS 4 takes a user code only, no password");
    }
    const std::optional<std::string> user = UrlPart(userInfo.substr(0, colon), "user", why);
    if (!user) return fail(why);
    const std::optional<std::string> password = UrlPart(
        colon == std::string::npos ? std::string() : userInfo.substr(colon + 1), "password", why);
    if (!password) return fail(why);
    if (user->size() > kMaxFieldLength || password->size() > kMaxFieldLength) {
      return fail("user and password may have at most 255 bytes each");
    }
    route.usercode = *user;
    route.password = *password;
    route.authenticate = route.level == "5";
    rest = rest.substr(at + 1);
  }
  if (!rest.empty() && rest.front() == '[') return fail("IPv6 proxy addresses are not supported");
  const std::size_t colon = rest.rfind(':');
  if (colon != std::string::npos) {
    const std::string port = rest.substr(colon + 1);
    if (!AllDigits(port) || port.size() > 5 || std::stoi(port) < 1 || std::stoi(port) > 65535) {
      return fail("the port must be a number from 1 to 65535");
    }
    route.port = port;
    rest = rest.substr(0, colon);
  }
  const std::optional<std::string> host = UrlPart(rest, "proxy host", why);
  if (!host) return fail(why);
  route.server = *host;
  if (const std::string unsafe = SocksRouteProblem(route); !unsafe.empty()) return fail(unsafe);
  if (!UsableHost(route.server)) return fail("no usable proxy host name");
  return route;
}

SocksOption FindSocksOption(const std::vector<std::string>& arguments) {
  SocksOption option;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] != kSocksOption) continue;
    if (i + 1 >= arguments.size()) {
      option.route.reset();
      option.problem = "--socks needs a URL, such as socks5://127.0.0.1:1080";
      return option;
    }
    option.route = ParseSocksUrl(arguments[i + 1], option.problem);
    if (!option.route) return option;
  }
  return option;
}

}  // namespace app
