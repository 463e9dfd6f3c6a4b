// Storage of the SOCKS settings. The handshake itself is not part of this
// build: with no server set the layer is transparent.
#include "socket/socks_socket.h"

#include "socket/socket_resolve.h"

namespace net {

void TCustomSocksSocket::SetSocksLevel(const std::string& value) { socksLevel_ = value; }

void TCustomSocksSocket::SetSocksServer(const std::string& value) {
  socksServer_ = TrimBlanks(value);
  socksServerSet_ = !socksServer_.empty();
}

void TCustomSocksSocket::SetSocksPort(const std::string& value) { socksPort_ = TrimBlanks(value); }

}  // namespace net
