// The socket class owners create: the whole layer chain, every property
// published. Include this header to use a socket.
#pragma once

#include "socket/custom_async_socket.h"
#include "socket/line_socket.h"
#include "socket/socket_exception.h"
#include "socket/socket_library.h"
#include "socket/socket_resolve.h"
#include "socket/socks_socket.h"
#include "socket/sync_socket.h"

namespace net {

class TAsyncSocket : public TCustomSyncSocket {
 public:
  explicit TAsyncSocket(platform::TComponent* owner) : TCustomSyncSocket(owner) {}
  ~TAsyncSocket() override { PrepareDestruction(); }
};

}  // namespace net
