// The SOCKS client layer. Connect opens the TCP connection to the proxy; the
// handshake then runs inside the socket's own event handling, one phase at a
// time, and only its outcome reaches the owner's OnSessionConnected:
//
//   proxy reached --SOCKS 5--> greeting   --method reply--> [credentials] --> request
//                 --SOCKS 4/4A--------------------------------------------> request
//   request --connect reply--> granted: pass-through, destination data follows
//
// Any failure on the way closes the socket with the failure's code; every
// close turns the proxy off again, so it is set anew for each connection.
#include "socket/socks_socket.h"

#include <algorithm>
#include <cstring>

#include "socket/format_text.h"
#include "socket/socket_library.h"
#include "socket/socket_resolve.h"

namespace net {
namespace {

constexpr char kProxyClosedText[] = "connection closed by the SOCKS server";

bool IsSocks4Family(const std::string& level) { return !level.empty() && level[0] == '4'; }

std::string ExceptionClassName(const std::exception& e) {
  if (dynamic_cast<const ESocketException*>(&e) != nullptr) return "ESocketException";
  if (dynamic_cast<const ERangeError*>(&e) != nullptr) return "ERangeError";
  if (dynamic_cast<const EIntOverflow*>(&e) != nullptr) return "EIntOverflow";
  return "Exception";
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

void TCustomSocksSocket::SetSocksLevel(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseError("Can't change socks level if not closed");
    return;
  }
  if (value == "4" || value == "5" || value == "4A" || value == "4a") {
    socksLevel_ = value == "4a" ? "4A" : value;
    return;
  }
  RaiseError("Invalid socks level. Must be 4, 4A or 5.");
}

void TCustomSocksSocket::SetSocksServer(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseError("Can't change socks server if not closed");
    return;
  }
  socksServer_ = TrimBlanks(value);
  socksServerSet_ = !socksServer_.empty();
}

void TCustomSocksSocket::SetSocksPort(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseError("Can't change socks port if not closed");
    return;
  }
  socksPort_ = TrimBlanks(value);
}

void TCustomSocksSocket::ResetToDefaults() {
  TCustomAsyncSocket::ResetToDefaults();
  SetSocksPhase(socksPassThrough);
  socksServer_.clear();
  socksPort_.clear();
  socksLevel_ = "5";
  leftoverCount_ = 0;
  replyCount_ = 0;
  socksServerSet_ = false;
  outcomePending_ = false;
}

std::string TCustomSocksSocket::UnsendableField() const {
  const auto tooLong = [](const std::string& field) {
    return field.size() > static_cast<std::size_t>(socks::kMaxFieldLength);
  };
  const std::string limit = " is longer than " + std::to_string(socks::kMaxFieldLength) + " bytes";
  if (tooLong(socksUsercode_)) return "SOCKS user code" + limit;
  if (!IsSocks4Family(socksLevel_) && tooLong(socksPassword_)) return "SOCKS password" + limit;
  if (socksLevel_ != "4" && tooLong(addr_)) return "destination host name" + limit;
  // SOCKS 4 ends the user code (and 4A the host name after it) with a NUL: one
  // inside the field would end it early and let the rest pass for the next
  // field, so the proxy would read a host name the owner never gave.
  const auto holdsNul = [](const std::string& field) {
    return field.find('\0') != std::string::npos;
  };
  if (IsSocks4Family(socksLevel_) && holdsNul(socksUsercode_)) {
    return "SOCKS user code holds a NUL byte";
  }
  if (socksLevel_ == "4A" && holdsNul(addr_)) return "destination host name holds a NUL byte";
  return {};
}

void TCustomSocksSocket::Connect() {
  const bool inUse = socketHandle_ != ws::INVALID_SOCKET && state_ != wsClosed;
  if (!socksServerSet_ || inUse) {
    TCustomAsyncSocket::Connect();
    return;
  }
  if (Lower(TrimBlanks(proto_)) != "tcp") {
    RaiseError("tcp is the only protocol supported thru socks server");
    return;
  }
  if (const std::string why = UnsendableField(); !why.empty()) {
    RaiseError(why);
    return;
  }
  // The proxy's address goes where the destination's would; a Connect that
  // fails puts back what the owner had, so that the next Connect (with the
  // proxy turned off, say) does not reach the proxy instead.
  const ResolvedPeer given = SaveResolvedPeer();
  try {
    if (!portResolved_) {
      peerAddress_.sin_port = winsock::htons(SocketResolvePort(socksPort_, proto_));
      portResolved_ = true;
    }
    if (!addrResolved_) {
      peerAddress_.sin_addr.s_addr = SocketResolveHost(socksServer_);
      addrResolved_ = true;
    }
    portNumber_ = SocketResolvePort(port_, proto_);
  } catch (const std::exception& e) {
    RestoreResolvedPeer(given);
    RaiseError("connect: " + ExceptionText(e));
    return;
  }
  SetSocksPhase(socksAwaitMethod);
  replyCount_ = 0;
  outcomePending_ = false;
  try {
    TCustomAsyncSocket::Connect();
  } catch (...) {
    SetSocksPhase(socksPassThrough);
    RestoreResolvedPeer(given);
    throw;
  }
  // Refused quietly (OnError): no connection to the proxy is under way.
  if (state_ != wsConnecting) {
    SetSocksPhase(socksPassThrough);
    RestoreResolvedPeer(given);
    return;
  }
}

TCustomSocksSocket::ResolvedPeer TCustomSocksSocket::SaveResolvedPeer() const {
  return {peerAddress_.sin_port, peerAddress_.sin_addr.s_addr, portResolved_, addrResolved_,
          portNumber_};
}

void TCustomSocksSocket::RestoreResolvedPeer(const ResolvedPeer& saved) {
  peerAddress_.sin_port = saved.port;
  peerAddress_.sin_addr.s_addr = saved.address;
  portResolved_ = saved.portResolved;
  addrResolved_ = saved.addrResolved;
  portNumber_ = saved.portNumber;
}

void TCustomSocksSocket::Listen() {
  if (socksServerSet_) {
    RaiseError("listening is not supported thru socks server");
    return;
  }
  TCustomAsyncSocket::Listen();
}

void TCustomSocksSocket::Close() {
  // The owner ends the attempt itself: it is not told that it failed.
  outcomePending_ = false;
  TCustomAsyncSocket::Close();
}

void TCustomSocksSocket::Abort() {
  outcomePending_ = false;
  TCustomAsyncSocket::Abort();
}

void TCustomSocksSocket::NotifySessionConnected(std::uint16_t error) {
  if (socksPhase_ != socksAwaitMethod) {
    TCustomAsyncSocket::NotifySessionConnected(error);
    return;
  }
  NotifySocksConnected(error);
  if (error != 0) {
    TCustomAsyncSocket::NotifySessionConnected(error);
    return;
  }
  outcomePending_ = true;
  if (IsSocks4Family(socksLevel_)) {
    SendSocksRequest();
    return;
  }
  offeredMethod_ =
      socksAuthentication_ == socksNoAuthentication ? socks::kMethodNone : socks::kMethodUsercode;
  SendMessage(socks::Greeting(offeredMethod_));
}

void TCustomSocksSocket::NotifySessionClosed(std::uint16_t error) {
  if (outcomePending_) {
    const ws::SOCKET handle = socketHandle_;
    ReportProxyLost(error);
    // The owner connected anew from the failure: this close is not its news.
    if (socketHandle_ != handle && socketHandle_ != ws::INVALID_SOCKET) return;
  } else if (socksPhase_ == socksAwaitAuth) {
    // Closed while the proxy held the credentials: they never got through.
    NotifySocksAuthState(socksAuthRejected);
  }
  // Closed here, not by the peer: the handler may open the socket again
  // before any reset, and what the proxy handed over behind its grant
  // belongs to the connection that ended.
  if (socketHandle_ == ws::INVALID_SOCKET) leftoverCount_ = 0;
  TCustomAsyncSocket::NotifySessionClosed(error);
}

void TCustomSocksSocket::FinishClose(bool shutdownFirst, std::uint16_t error) {
  // Every close the owner did not ask for while the handshake runs (the
  // proxy hung up or reset, a send into it failed) is the handshake's
  // failure, and the owner hears of it whether it handles OnSessionClosed or
  // not.
  if (outcomePending_ && socketHandle_ != ws::INVALID_SOCKET && state_ != wsClosed) {
    const ws::SOCKET handle = socketHandle_;
    ReportProxyLost(error);
    // The owner closed, or closed and connected anew, from its handler.
    if (socketHandle_ != handle) return;
  }
  TCustomAsyncSocket::FinishClose(shutdownFirst, error);
}

void TCustomSocksSocket::ReportProxyLost(std::uint16_t error) {
  outcomePending_ = false;
  if (socksPhase_ == socksAwaitAuth) NotifySocksAuthState(socksAuthRejected);
  // Told once: the close that follows is no longer the handshake's.
  SetSocksPhase(socksPassThrough);
  const std::uint16_t code = error != 0 ? error : ws::WSAECONNRESET;
  NotifySocksError(code, kProxyClosedText);
  TCustomAsyncSocket::NotifySessionConnected(code);
}

bool TCustomSocksSocket::NotifyDataAvailable(std::uint16_t error) {
  if (socksPhase_ == socksPassThrough) return TCustomAsyncSocket::NotifyDataAvailable(error);
  if (error != 0) {
    FailSocksHandshake(error, "data receive error");
    return false;
  }
  switch (socksPhase_) {
    case socksAwaitMethod:
      StepMethodReply();
      return true;
    case socksAwaitAuth:
      StepAuthReply();
      return true;
    default:
      return StepConnectReply();
  }
}

bool TCustomSocksSocket::ReadReply(int limit) {
  const int room = std::min(limit, socks::kReplyBufferSize) - replyCount_;
  if (room <= 0) return false;
  const int received = Receive(replyBuffer_ + replyCount_, room);
  if (received > 0) {
    replyCount_ += received;
    return true;
  }
  if (received < 0 && lastError_ == ws::WSAEWOULDBLOCK) return false;  // nothing readable yet
  // The end of the stream, or a reset: the proxy is gone before it answered.
  const auto code = static_cast<std::uint16_t>(received == 0 ? ws::WSAECONNRESET : lastError_);
  if (socksPhase_ == socksAwaitAuth) {
    RejectCredentials(code, kProxyClosedText);
  } else {
    FailSocksHandshake(code, kProxyClosedText);
  }
  return false;
}

void TCustomSocksSocket::StepMethodReply() {
  if (!ReadReply(socks::kReplyBufferSize)) return;
  if (IsSocks4Family(socksLevel_)) {
    FailSocksHandshake(socks::kLogicError, "TAsyncSocket logic error");
    return;
  }
  const socks::Verdict verdict = socks::JudgeMethodReply({replyBuffer_, std::size_t(replyCount_)});
  if (verdict.kind == socks::Verdict::Wait) return;
  replyCount_ = 0;  // anything after the two bytes is not ours to keep
  switch (verdict.kind) {
    case socks::Verdict::UseNoMethod:
      if (offeredMethod_ != socks::kMethodNone) NotifySocksAuthState(socksAuthNotNeeded);
      SendSocksRequest();
      break;
    case socks::Verdict::UseCredentials:
      SendSocksCredentials();
      break;
    default:
      FailSocksHandshake(verdict.error, verdict.text);
      break;
  }
}

void TCustomSocksSocket::SendSocksCredentials() {
  SetSocksPhase(socksAwaitAuth);
  NotifySocksAuthState(socksAuthBegin);
  // The fields may have changed since Connect checked them.
  if (const std::string why = UnsendableField(); !why.empty()) {
    RejectCredentials(socks::kLogicError, why);
    return;
  }
  try {
    SendMessage(socks::Credentials(socksUsercode_, socksPassword_));
  } catch (const std::exception&) {
  }
}

void TCustomSocksSocket::StepAuthReply() {
  if (!ReadReply(socks::kReplyBufferSize)) return;
  const socks::Verdict verdict = socks::JudgeAuthReply({replyBuffer_, std::size_t(replyCount_)});
  if (verdict.kind == socks::Verdict::Wait) return;
  if (verdict.kind == socks::Verdict::Fail) {
    RejectCredentials(verdict.error, verdict.text);
    return;
  }
  replyCount_ = 0;
  NotifySocksAuthState(socksAuthAccepted);
  SendSocksRequest();
}

void TCustomSocksSocket::RejectCredentials(std::int32_t error, const std::string& msg) {
  // Reported here, once; the close that follows does not repeat it.
  NotifySocksAuthState(socksAuthRejected);
  FailSocksHandshake(error, msg);
}

void TCustomSocksSocket::SendSocksRequest() {
  SetSocksPhase(socksAwaitReply);
  replyCount_ = 0;
  if (const std::string why = UnsendableField(); !why.empty()) {
    FailSocksHandshake(socks::kLogicError, why);
    return;
  }
  const auto port = static_cast<std::uint16_t>(portNumber_);
  socks::Message request;
  if (socksLevel_ == "4A") {
    const std::string_view host = addr_;
    request = socks::Socks4Request(port, 0, socksUsercode_, &host);
  } else if (socksLevel_ == "4") {
    std::uint32_t address = 0;
    try {
      address = SocketResolveHost(addr_);
    } catch (const std::exception& e) {
      FailSocksHandshake(socks::kResolveFailed, ExceptionClassName(e) + " " + ExceptionText(e));
      return;
    }
    request = socks::Socks4Request(port, address, socksUsercode_, nullptr);
  } else {
    request = socks::Socks5Request(addr_, port);
  }
  try {
    SendMessage(request);
  } catch (const std::exception&) {
  }
}

bool TCustomSocksSocket::StepConnectReply() {
  const bool socks4 = IsSocks4Family(socksLevel_);
  // A SOCKS 4 reply has no length of its own: reading past its 8 bytes would
  // take the destination's data.
  if (!ReadReply(socks4 ? socks::kSocks4ReplyLength : socks::kReplyBufferSize)) return true;
  const std::string_view reply(replyBuffer_, static_cast<std::size_t>(replyCount_));
  const socks::Verdict verdict =
      socks4 ? socks::JudgeSocks4Reply(reply) : socks::JudgeSocks5Reply(reply);
  switch (verdict.kind) {
    case socks::Verdict::Granted:
      return Grant(verdict.length);
    case socks::Verdict::Fail:
      FailSocksHandshake(verdict.error, verdict.text);
      return true;
    default:
      return true;
  }
}

bool TCustomSocksSocket::Grant(int replyLength) {
  // What followed the reply in the same read is the destination's first data.
  leftoverCount_ = replyCount_ - replyLength;
  leftoverPos_ = replyLength;
  replyCount_ = 0;
  outcomePending_ = false;
  SetSocksPhase(socksPassThrough);
  TCustomAsyncSocket::NotifySessionConnected(0);
  if (state_ != wsConnected) return true;
  // Through the whole chain, so that a layer above (line mode) sees these
  // bytes as it sees all others. The owner is told even when none came yet,
  // and again while it takes some of them: the network says nothing more
  // about bytes it has already given away.
  int before = leftoverCount_;
  bool handled = NotifyDataAvailable(0);
  while (handled && leftoverCount_ > 0 && leftoverCount_ < before) {
    before = leftoverCount_;
    handled = NotifyDataAvailable(0);
  }
  return handled;
}

void TCustomSocksSocket::FailSocksHandshake(std::int32_t error, const std::string& msg) {
  outcomePending_ = false;
  // Reported here, with the failure's own texts; the close that follows is
  // not the handshake's any more.
  SetSocksPhase(socksPassThrough);
  const ws::SOCKET handle = socketHandle_;
  NotifySocksError(error, msg);
  TCustomAsyncSocket::NotifySessionConnected(static_cast<std::uint16_t>(error));
  // A handler that closed, or closed and connected again, has dealt with it:
  // closing now would end the connection it has just opened.
  if (socketHandle_ != handle) return;
  FinishClose(true, static_cast<std::uint16_t>(error));
}

void TCustomSocksSocket::SendMessage(const socks::Message& message) {
  Send(message.bytes.data(), message.length);
}

std::int32_t TCustomSocksSocket::GetRcvdCount() {
  if (leftoverCount_ > 0) return leftoverCount_;
  return TCustomAsyncSocket::GetRcvdCount();
}

int TCustomSocksSocket::RawReceive(void* buffer, int size, int flags) {
  if (leftoverCount_ <= 0) return TCustomAsyncSocket::RawReceive(buffer, size, flags);
  const int count = std::max(0, std::min(leftoverCount_, size));
  std::memcpy(buffer, replyBuffer_ + leftoverPos_, static_cast<std::size_t>(count));
  leftoverPos_ += count;
  leftoverCount_ -= count;
  return count;
}

void TCustomSocksSocket::NotifySocksConnected(std::uint16_t error) {
  if (OnSocksConnected) OnSocksConnected(this, error);
}

void TCustomSocksSocket::NotifySocksError(std::int32_t error, const std::string& msg) {
  if (OnSocksError) OnSocksError(this, error, msg);
}

void TCustomSocksSocket::NotifySocksAuthState(TSocksAuthState authState) {
  if (OnSocksAuthState) OnSocksAuthState(this, authState);
}

}  // namespace net
