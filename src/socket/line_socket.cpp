// Storage of the line-mode settings. Line delivery itself is not part of this
// build: with LineMode off the layer is transparent.
#include "socket/line_socket.h"

namespace net {

TCustomLineSocket::TCustomLineSocket(platform::TComponent* owner) : TCustomSocksSocket(owner) {
  lineEnd_ = "\r\n";
  lineMode_ = false;
}

void TCustomLineSocket::SetLineMode(bool value) { lineMode_ = value; }

}  // namespace net
