// The send queue and the read path. Output never blocks: Send queues the bytes
// and pushes what the network takes; FD_WRITE pushes the rest. Input is not
// buffered here: FD_READ asks the owner to read, and reads away what nobody
// wants so the notification does not repeat for ever.
#include <algorithm>
#include <chrono>

#include "socket/custom_async_socket.h"
#include "socket/socket_library.h"

namespace net {
namespace {

constexpr int kAddressRecordSize = static_cast<int>(sizeof(ws::sockaddr_in));
constexpr int kDiscardChunk = 1024;
// Safety net for the waiting loops: they wake on every message, and at the
// latest after this long look again even if none came.
constexpr int kWaitSliceMs = 200;
constexpr std::chrono::milliseconds kReadSlice{4};

}  // namespace

void TCustomAsyncSocket::QueueData(const void* data, int len) {
  if (len <= 0) return;
  const char* bytes = static_cast<const char*>(data);
  if (sendQueue_.empty()) sendQueue_.push_back(std::make_unique<TBuffer>(chunkSize_));
  int taken = sendQueue_.back()->Append(bytes, len);
  while (taken < len) {
    bytes += taken;
    len -= taken;
    sendQueue_.push_back(std::make_unique<TBuffer>(chunkSize_));
    taken = sendQueue_.back()->Append(bytes, len);
  }
}

void TCustomAsyncSocket::ClearSendQueue() { sendQueue_.clear(); }

std::size_t TCustomAsyncSocket::QueuedSendBytes() const {
  std::size_t queued = 0;
  for (const auto& chunk : sendQueue_) queued += static_cast<std::size_t>(chunk->UnsentCount());
  return queued;
}

int TCustomAsyncSocket::Send(const void* data, int len) {
  if (state_ != wsConnected) {
    // Refusing to send does not harm an open socket: a connection still being
    // set up goes on, and its owner hears of it through OnSessionConnected.
    winsock::WSASetLastError(ws::WSAENOTCONN);
    ReportSocketError("Send", state_ == wsClosed);
    return -1;
  }
  allSent_ = false;
  int result = 0;
  if (len > 0) {
    result = len;
    QueueData(data, len);
  }
  const ws::SOCKET handle = socketHandle_;
  TryToSend();
  // Everything went out at once: OnDataSent still comes from the message
  // loop, after Send has returned, as it does when FD_WRITE finishes the job.
  // A connection lost on the way has sent nothing, and must not say so.
  if (allSent_ && socketHandle_ == handle) PostSocketMessage(ws::FD_WRITE);
  return result;
}

int TCustomAsyncSocket::SendStr(const std::string& text) {
  return Send(text.data(), static_cast<int>(text.size()));
}

void TCustomAsyncSocket::PostSocketMessage(win::LPARAM lParam) {
  win::PostMessage(window_, WM_ASYNCSELECT, socketHandle_, lParam);
}

void TCustomAsyncSocket::TryToSend() {
  if (socketHandle_ == ws::INVALID_SOCKET || sendQueue_.empty()) return;
  for (;;) {
    TBuffer& oldest = *sendQueue_.front();
    int unsent = 0;
    const char* first = oldest.PeekUnsent(unsent);
    if (first == nullptr) {
      if (sendQueue_.size() == 1) {
        allSent_ = true;  // the empty chunk stays for the next Send
        return;
      }
      sendQueue_.pop_front();
      continue;
    }
    const int sent = RawSend(first, unsent);
    if (sent == 0) return;
    if (sent < 0) {
      const int code = winsock::WSAGetLastError();
      if (code == ws::WSAECONNRESET || code == ws::WSAENOTSOCK || code == ws::WSAENOTCONN ||
          code == ws::WSAEINVAL) {
        // The owner hears of the lost connection once, with the reason; a
        // close handler that sends into it has been told already.
        const bool notify = !closeNotified_;
        closeNotified_ = true;
        FinishClose(true, static_cast<std::uint16_t>(code));
        if (notify) NotifySessionClosed(static_cast<std::uint16_t>(code));
        return;
      }
      if (code == ws::WSAEWOULDBLOCK) return;
      ReportSocketError("TryToSend failed");
      return;
    }
    // A partial acceptance is not a would-block: FD_WRITE only returns after
    // a send that would block, so keep offering until one does (or all went).
    oldest.Consume(sent);
  }
}

void TCustomAsyncSocket::Flush() {
  while (socketHandle_ != ws::INVALID_SOCKET && !allSent_) {
    TryToSend();
    if (socketHandle_ == ws::INVALID_SOCKET || allSent_) break;
    WaitForMessages(kWaitSliceMs);
  }
}

int TCustomAsyncSocket::RawSend(const void* data, int len) {
  const char* bytes = static_cast<const char*>(data);
  if (socketType_ == ws::SOCK_DGRAM) {
    return winsock::sendto(socketHandle_, bytes, len, sendFlags_,
                           reinterpret_cast<const ws::sockaddr*>(&peerAddress_),
                           kAddressRecordSize);
  }
  return winsock::send(socketHandle_, bytes, len, sendFlags_);
}

int TCustomAsyncSocket::SendTo(ws::sockaddr_in dest, int destLen, const void* data, int len) {
  // The copy holds 16 bytes; a longer claimed length would read past it.
  return winsock::sendto(socketHandle_, static_cast<const char*>(data), len, sendFlags_,
                         reinterpret_cast<const ws::sockaddr*>(&dest),
                         std::min(destLen, kAddressRecordSize));
}

int TCustomAsyncSocket::RawReceive(void* buffer, int size, int flags) {
  return winsock::recv(socketHandle_, static_cast<char*>(buffer), size, flags);
}

int TCustomAsyncSocket::RawReceiveFrom(void* buffer, int size, int flags, ws::sockaddr_in& from,
                                       int& fromLen) {
  fromLen = std::min(fromLen, kAddressRecordSize);
  return winsock::recvfrom(socketHandle_, static_cast<char*>(buffer), size, flags,
                           reinterpret_cast<ws::sockaddr*>(&from), &fromLen);
}

int TCustomAsyncSocket::Receive(void* buffer, int size) {
  const int received = RawReceive(buffer, size, 0);
  if (received < 0) {
    lastError_ = winsock::WSAGetLastError();
  } else {
    readCount_ += received;
    bytesTaken_ += static_cast<std::uint32_t>(received);
  }
  return received;
}

int TCustomAsyncSocket::ReceiveFrom(void* buffer, int size, ws::sockaddr_in& from, int& fromLen) {
  const int received = RawReceiveFrom(buffer, size, 0, from, fromLen);
  if (received < 0) {
    lastError_ = winsock::WSAGetLastError();
  } else {
    readCount_ += received;
    bytesTaken_ += static_cast<std::uint32_t>(received);
  }
  return received;
}

std::string TCustomAsyncSocket::ReceiveStr() {
  const int waiting = GetRcvdCount();
  if (waiting < 1) return {};
  std::string text(static_cast<std::size_t>(waiting), '\0');
  const int received = RawReceive(text.data(), waiting, 0);
  text.resize(received < 1 ? 0 : static_cast<std::size_t>(received));
  bytesTaken_ += static_cast<std::uint32_t>(text.size());
  return text;
}

std::int32_t TCustomAsyncSocket::GetRcvdCount() {
  ws::u_long count = 0;
  if (winsock::ioctlsocket(socketHandle_, ws::FIONREAD, &count) != 0) {
    ReportSocketError("ioctlSocket");
    return -1;
  }
  return static_cast<std::int32_t>(count);
}

void TCustomAsyncSocket::HandleReadEvent(std::uint16_t error, bool toTheEnd) {
  // A peer that sends without pause always has more waiting. Past a short
  // slice the rest is left to the next FD_READ (every receive re-arms it), so
  // one notification never keeps the thread from its other work. A peer that
  // has ended its stream sends no more: what it left is read to the end, as
  // the close that follows would lose it.
  const auto sliceEnd = std::chrono::steady_clock::now() + kReadSlice;
  bool more = true;
  while (more && (toTheEnd || std::chrono::steady_clock::now() < sliceEnd)) {
    lastError_ = 0;
    // A handler that leaves the data where it is would be offered it again
    // for ever; the data stays, and the next FD_READ follows the owner's
    // next read.
    const std::uint32_t takenBefore = bytesTaken_;
    try {
      if (!NotifyDataAvailable(error)) {
        char scratch[kDiscardChunk];
        const int discarded = RawReceive(scratch, kDiscardChunk, 0);
        if (discarded > 0) bytesTaken_ += static_cast<std::uint32_t>(discarded);
        if (discarded == -1) {
          lastError_ = winsock::WSAGetLastError();
          if (lastError_ == ws::WSAEWOULDBLOCK) {
            lastError_ = 0;
            return;
          }
        }
      }
      if (lastError_ != 0) {
        more = false;
      } else {
        ws::u_long waiting = 0;
        if (winsock::ioctlsocket(socketHandle_, ws::FIONREAD, &waiting) != 0) {
          lastError_ = winsock::WSAGetLastError();
          more = false;
        } else if (waiting == 0 || bytesTaken_ == takenBefore) {
          more = false;
        }
      }
    } catch (...) {
      // The data stays; the next FD_READ offers it again.
      more = false;
    }
  }
}

void TCustomAsyncSocket::WaitUntilClosed() {
  while (socketHandle_ != ws::INVALID_SOCKET && state_ != wsClosed) {
    PumpMessages();
    if (socketHandle_ == ws::INVALID_SOCKET || state_ == wsClosed) break;
    ws::u_long waiting = 0;
    if (winsock::ioctlsocket(socketHandle_, ws::FIONREAD, &waiting) != 0) break;
    if (waiting > 0) NotifyDataAvailable(0);
    if (socketHandle_ == ws::INVALID_SOCKET || state_ == wsClosed) break;
    // A zero-length read says nothing here (it always returns 0), so the
    // probe peeks at one byte: data keeps us waiting, would-block too, the
    // peer's end of stream or an error ends the wait.
    char probe[1];
    const int peeked = RawReceive(probe, 1, ws::MSG_PEEK);
    if (peeked <= 0) {
      lastError_ = peeked == 0 ? 0 : winsock::WSAGetLastError();
      if (lastError_ != ws::WSAEWOULDBLOCK) break;
    }
    // Nothing to do until the network speaks again.
    WaitForMessages(kWaitSliceMs);
  }
}

TSocketSendFlags TCustomAsyncSocket::SendFlags() {
  switch (sendFlags_) {
    case 0:
      return wsSendNormal;
    case ws::MSG_OOB:
      return wsSendUrgent;
    default:
      RaiseError("Invalid internal SendFlags");
      return wsSendNormal;
  }
}

void TCustomAsyncSocket::SetSendFlags(TSocketSendFlags value) {
  switch (value) {
    case wsSendNormal:
      sendFlags_ = 0;
      break;
    case wsSendUrgent:
      sendFlags_ = ws::MSG_OOB;
      break;
    default:
      RaiseError("Invalid SendFlags");
      break;
  }
}

}  // namespace net
