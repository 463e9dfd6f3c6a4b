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

// What makes a route unsafe to send: a user, password or proxy host holding
// NUL or another control byte, which would end or split a field at the proxy.
// Empty when there is nothing; otherwise says which field.
std::string SocksRouteProblem(const telnet::SocksRoute& route);

// socks4://[user@]host[:port], socks4a://[user@]host[:port],
// socks5://[user[:password]@]host[:port] or socks5h://... (the same as
// socks5: at level 5 the proxy always resolves the router's name), given in
// UTF-8. User, password and host may carry %XX escapes, each one byte as it
// is; the rest of them is sent in Shift-JIS. The route's fields are
// Shift-JIS. `problem` says, in UTF-8 and without the password, what is
// wrong when there is no result.
std::optional<telnet::SocksRoute> ParseSocksUrl(const std::string& url, std::string& problem);

// `url` with any password replaced by "***", for messages.
std::string UrlWithoutPassword(const std::string& url);

struct SocksOption {
  std::optional<telnet::SocksRoute> route;  // none when the option is absent
  std::string problem;                      // set when it is unusable
};
// "--socks URL" among the program's arguments (UTF-8); the last one counts.
SocksOption FindSocksOption(const std::vector<std::string>& arguments);

}  // namespace app
