// The synchronous-wait layer of the socket; adds nothing the plain socket
// needs, so everything passes through.
#pragma once

#include "socket/line_socket.h"

namespace net {

class TCustomSyncSocket : public TCustomLineSocket {
 public:
  using TCustomLineSocket::TCustomLineSocket;
};

}  // namespace net
