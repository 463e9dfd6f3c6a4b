// The proxy settings of the settings file and of the command line.
#include "app/socks_url.h"

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

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool UsableHost(const std::string& host) {
  if (host.empty()) return false;
  for (const char c : host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F || c == '[' || c == ']' || c == '@' || c == ':') return false;
  }
  return true;
}

std::optional<std::string> LevelOfScheme(const std::string& scheme) {
  if (scheme == "socks4") return "4";
  if (scheme == "socks4a") return "4A";
  // The proxy always resolves the router's name at SOCKS 5.
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

std::optional<telnet::SocksRoute> ParseSocksUrl(const std::string& url, std::string& problem) {
  const auto fail = [&problem, &url](const std::string& why) {
    problem = "--socks " + url + ": " + why;
    return std::nullopt;
  };
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos) {
    return fail("not a SOCKS URL (socks4://, socks4a:// or socks5://host[:port])");
  }
  const std::optional<std::string> level = LevelOfScheme(Lower(url.substr(0, schemeEnd)));
  if (!level) return fail("unknown SOCKS level (use socks4, socks4a or socks5)");

  std::string rest = url.substr(schemeEnd + 3);
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.find_first_of("/?#") != std::string::npos) return fail("a SOCKS URL has no path");

  telnet::SocksRoute route;
  route.level = *level;
  route.port = kDefaultSocksPort;
  const std::size_t at = rest.rfind('@');
  if (at != std::string::npos) {
    const std::string userInfo = rest.substr(0, at);
    const std::size_t colon = userInfo.find(':');
    if (colon != std::string::npos && route.level != "5") {
      return fail("SOCKS 4 takes a user code only, no password");
    }
    const std::optional<std::string> user = PercentDecoded(userInfo.substr(0, colon));
    const std::optional<std::string> password =
        PercentDecoded(colon == std::string::npos ? std::string() : userInfo.substr(colon + 1));
    if (!user || !password) return fail("bad %-escape in the user or password");
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
  if (!UsableHost(rest)) return fail("no usable proxy host name");
  route.server = rest;
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
