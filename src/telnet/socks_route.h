// The way to a server through a SOCKS proxy, in the socket's own terms. Kept
// apart from the connection so that option parsing can name it without
// pulling in the socket layer.
#pragma once

#include <string>

namespace telnet {

struct SocksRoute {
  std::string server;
  std::string port;
  std::string level;  // "4", "4A" or "5"
  std::string usercode;
  std::string password;
  bool authenticate = false;  // offer user code and password (SOCKS 5)
};

}  // namespace telnet
