// Where the program finds its SOCKS proxy: the optional [socks] section of the
// settings file (read only, never written), and "--socks URL" on the command
// line, which wins for that run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "telnet/telnet_connection.h"

namespace app {

constexpr char kDefaultSocksPort[] = "1080";

// The [socks] section (keys server, port, level, user, password); an empty
// server when there is none. The level is taken as written: the socket
// refuses one it does not know, and the cycle says so.
telnet::SocksRoute ReadSocksSection(const std::string& iniPath);
// The same, from a settings file read already.
telnet::SocksRoute ReadSocksSection(const platform::ProfileText& settings);

// socks4://[user@]host[:port], socks4a://[user@]host[:port] or
// socks5://[user[:password]@]host[:port]; user and password may carry %XX
// escapes. `problem` says what is wrong when there is no result.
std::optional<telnet::SocksRoute> ParseSocksUrl(const std::string& url, std::string& problem);

struct SocksOption {
  std::optional<telnet::SocksRoute> route;  // none when the option is absent
  std::string problem;                      // set when it is unusable
};
// "--socks URL" among the program's arguments; the last one counts.
SocksOption FindSocksOption(const std::vector<std::string>& arguments);

}  // namespace app
