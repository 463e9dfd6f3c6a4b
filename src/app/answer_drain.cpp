// The look at what the router has sent and the program has not yet read.
#include "app/answer_drain.h"

#include "platform/window_messages.h"
#include "socket/async_socket.h"
#include "telnet/telnet_connection.h"

namespace app {

bool RouterDataWaiting(telnet::TTelnetConnection& connection) {
  net::TAsyncSocket* socket = connection.Socket();
  if (socket == nullptr) return false;
  win::MSG message{};
  if (socket->WindowHandle() != nullptr &&
      win::PeekMessage(&message, socket->WindowHandle(), net::WM_ASYNCSELECT, net::WM_ASYNCSELECT,
                       win::PM_NOREMOVE)) {
    return true;
  }
  // Asking a socket that is gone would raise the socket layer's error.
  if (socket->State() != net::wsConnected || socket->SocketHandle() == ws::INVALID_SOCKET) {
    return false;
  }
  return socket->RcvdCount() > 0;
}

}  // namespace app
