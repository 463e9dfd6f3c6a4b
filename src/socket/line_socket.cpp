// Line mode. Bytes read from the network are appended to the line buffer
// (edited and echoed as asked); every complete line is then offered to the
// owner until it has read it all. Each loop that offers data ends as soon as
// a pass takes nothing, so an owner that does not read cannot hold the
// socket in a loop; what it left stays held for its next read.
#include "socket/line_socket.h"

#include <algorithm>
#include <vector>

namespace net {

TCustomLineSocket::TCustomLineSocket(platform::TComponent* owner) : TCustomSocksSocket(owner) {
  lineEnd_ = "\r\n";
  lineMode_ = false;
}

TCustomLineSocket::~TCustomLineSocket() { PrepareDestruction(); }

void TCustomLineSocket::SetLineMode(bool value) {
  if (value == lineMode_) return;
  lineMode_ = value;
  // The unread rest of a line is from now on plain held data, read from the
  // front like the bytes that followed it.
  if (!value) lineLength_ = 0;
  if (lineBuffer_.Count() > 0 || lineLength_ > 0) PostPendingData();
}

void TCustomLineSocket::PostPendingData() {
  win::PostMessage(window_, WM_TRIGGER_DATA_AVAILABLE, 0, 0);
}

void TCustomLineSocket::HandleWindowMessage(TMessage& msg) {
  if (msg.Msg != WM_TRIGGER_DATA_AVAILABLE) {
    TCustomSocksSocket::HandleWindowMessage(msg);
    return;
  }
  try {
    HandlePendingData();
  } catch (const std::exception& e) {
    HandleBgException(e);
  }
}

void TCustomLineSocket::HandlePendingData() {
  if (LineModeActive()) {
    // Switched on with bytes held: the complete lines among them, and no
    // more; the rest waits for the network.
    if (SocksHandshakeRunning()) return;
    if (lineLength_ > 0 && !DeliverLine()) return;
    DeliverLines(0);
    return;
  }
  while (!LineModeActive() && lineBuffer_.Count() > 0) {
    const int before = lineBuffer_.Count();
    if (!NotifyDataAvailable(0)) {
      lineBuffer_.Erase(0, before);  // nobody listens: dropped like unread network data
      return;
    }
    if (lineBuffer_.Count() >= before) return;
  }
}

std::int32_t TCustomLineSocket::GetRcvdCount() {
  if (LineModeActive()) return std::min(lineLength_, lineBuffer_.Count());
  const int held = lineBuffer_.Count();
  if (held == 0) return TCustomSocksSocket::GetRcvdCount();
  // Held bytes come first, the network's after them.
  if (socketHandle_ == ws::INVALID_SOCKET) return held;
  return held + std::max(0, TCustomSocksSocket::GetRcvdCount());
}

int TCustomLineSocket::RawReceive(void* buffer, int size, int flags) {
  char* out = static_cast<char*>(buffer);
  if (LineModeActive() && lineLength_ > 0) {
    const int taken = lineBuffer_.TakeFront(out, std::min(size, lineLength_));
    lineLength_ -= taken;
    return taken;
  }
  if (!LineModeActive() && lineBuffer_.Count() > 0) return lineBuffer_.TakeFront(out, size);
  return TCustomSocksSocket::RawReceive(buffer, size, flags);
}

bool TCustomLineSocket::NotifyDataAvailable(std::uint16_t error) {
  // While the proxy is being talked to, its replies are not lines of ours.
  if (!LineModeActive() || SocksHandshakeRunning()) {
    return TCustomSocksSocket::NotifyDataAvailable(error);
  }
  // A line the owner left unread comes before anything new.
  if (lineLength_ > 0 && !DeliverLine()) return true;
  if (!LineModeActive()) return true;

  const int waiting = TCustomSocksSocket::GetRcvdCount();
  if (waiting <= 0) return true;
  char* tail = lineBuffer_.Tail(waiting);
  const int len = Receive(tail, waiting);
  if (len <= 0) return true;  // the socket reports errors and the close itself

  // The echo goes out once the buffer is settled, send by send as the
  // editing made it: a send that finds the connection gone closes the
  // socket, and the close frees the buffer.
  std::string echoed;
  std::vector<int> sends;
  LineBuffer::EchoSink echo;
  if (lineEcho_) {
    echo = [&echoed, &sends](const char* bytes, int n) {
      echoed.append(bytes, static_cast<std::size_t>(n));
      sends.push_back(n);
    };
  }
  const int searchFrom =
      lineBuffer_.Append(len, lineEdit_, echo, static_cast<int>(lineEnd_.size()));
  std::size_t at = 0;
  for (const int n : sends) {
    if (state_ != wsConnected) break;
    Send(echoed.data() + at, n);
    at += static_cast<std::size_t>(n);
  }
  DeliverLines(searchFrom);
  return true;
}

void TCustomLineSocket::DeliverLines(int searchFrom) {
  while (LineModeActive()) {
    const int at = lineBuffer_.Find(lineEnd_, searchFrom);
    if (at < 0) return;
    lineLength_ = at + static_cast<int>(lineEnd_.size());
    if (!DeliverLine()) return;
    searchFrom = 0;
  }
}

bool TCustomLineSocket::DeliverLine() {
  while (LineModeActive() && lineLength_ > 0) {
    const int before = lineLength_;
    if (!TCustomSocksSocket::NotifyDataAvailable(0)) {
      lineBuffer_.Erase(0, lineLength_);  // no one to read it
      lineLength_ = 0;
      break;
    }
    if (lineLength_ >= before) break;
  }
  return lineLength_ == 0 && LineModeActive();
}

void TCustomLineSocket::NotifySessionClosed(std::uint16_t error) {
  if (lineBuffer_.Allocated()) {
    // A last line without its terminator is still the peer's data.
    if (LineModeActive() && lineBuffer_.Count() > 0) {
      lineLength_ = lineBuffer_.Count();
      while (LineModeActive() && lineLength_ > 0) {
        const int before = lineLength_;
        if (!TCustomSocksSocket::NotifyDataAvailable(0) || lineLength_ >= before) break;
      }
    }
    lineBuffer_.Free();
    lineLength_ = 0;
  }
  TCustomSocksSocket::NotifySessionClosed(error);
}

void TCustomLineSocket::ResetToDefaults() {
  TCustomSocksSocket::ResetToDefaults();
  // Whatever a closed connection left is not the next connection's data.
  lineBuffer_.Free();
  lineLength_ = 0;
}

}  // namespace net
