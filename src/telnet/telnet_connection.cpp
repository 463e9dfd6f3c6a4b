// The telnet connection: socket events in, parser in the middle, owner's
// events out.
#include "telnet/telnet_connection.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/system.h"
#include "socket/socket_library.h"
#include "telnet/telnet_codes.h"
#include "telnet/telnet_module_state.h"

namespace telnet {

namespace {

constexpr std::int32_t kWouldBlock = 10035;

// "TERMINAL-TYPE", or the option's number when it has no name here.
std::string OptionWord(std::uint8_t option) {
  std::string name(OptionName(option));
  if (name.empty()) return std::to_string(option);
  std::replace(name.begin(), name.end(), '_', '-');
  return name;
}

// "SB TERMINAL-TYPE SEND", "SB TERMINAL-TYPE IS VT100": a subnegotiation's
// bytes between IAC SB and IAC SE.
std::string SubnegotiationWords(std::string_view text) {
  // The IAC of the closing IAC SE is kept with the text.
  if (!text.empty() && static_cast<std::uint8_t>(text.back()) == cmd::IAC) text.remove_suffix(1);
  if (text.empty()) return "SB";
  std::string words = "SB " + OptionWord(static_cast<std::uint8_t>(text[0]));
  text.remove_prefix(1);
  if (!text.empty() && static_cast<std::uint8_t>(text[0]) <= termtype::SEND) {
    words += text[0] == termtype::SEND ? " SEND" : " IS";
    text.remove_prefix(1);
  }
  if (!text.empty()) words += " " + std::string(text);
  return words;
}

// The commands of a message of ours, one line each: "WILL TERMINAL-TYPE".
std::vector<std::string> MessageWords(std::string_view bytes) {
  std::vector<std::string> lines;
  while (bytes.size() >= 3 && static_cast<std::uint8_t>(bytes[0]) == cmd::IAC) {
    const auto verb = static_cast<std::uint8_t>(bytes[1]);
    if (verb == cmd::SB) {
      const std::size_t end = bytes.find(std::string{static_cast<char>(cmd::IAC),
                                                     static_cast<char>(cmd::SE)});
      if (end == std::string_view::npos) break;
      lines.push_back(SubnegotiationWords(bytes.substr(2, end - 2)));
      bytes.remove_prefix(end + 2);
      continue;
    }
    lines.push_back(std::string(CommandName(verb)) + " " +
                    OptionWord(static_cast<std::uint8_t>(bytes[2])));
    bytes.remove_prefix(3);
  }
  return lines;
}

}  // namespace

TTelnetConnection::TTelnetConnection(platform::TComponent* owner) : platform::TComponent(owner) {
  socket_ = new net::TAsyncSocket(this);
  socket_->OnSessionConnected = [this](net::TCustomAsyncSocket* sender, std::uint16_t error) {
    SocketSessionConnected(sender, error);
  };
  socket_->OnSessionClosed = [this](net::TCustomAsyncSocket* sender, std::uint16_t error) {
    SocketSessionClosed(sender, error);
  };
  socket_->OnDataAvailable = [this](net::TCustomAsyncSocket* sender, std::uint16_t error) {
    SocketDataAvailable(sender, error);
  };
  socket_->OnSocksError = [this](net::TCustomAsyncSocket*, std::int32_t, const std::string& msg) {
    socksErrorText_ = msg;
  };
}

TTelnetConnection::~TTelnetConnection() {
  if (socket_ != nullptr) {
    // The socket may still close itself on the way out; by then no one is
    // left to hear about it, and the owner may be half gone already.
    socket_->OnSessionConnected = nullptr;
    socket_->OnSessionClosed = nullptr;
    socket_->OnDataAvailable = nullptr;
    socket_->OnSocksError = nullptr;
    delete socket_;  // Notification forgets it
  }
}

void TTelnetConnection::Notification(platform::TComponent* component,
                                     platform::TOperation operation) {
  platform::TComponent::Notification(component, operation);
  if (operation == platform::TOperation::opRemove && component == socket_) socket_ = nullptr;
}

void TTelnetConnection::Connect() {
  if (socket_ == nullptr) return;
  sendBacklogExceeded_ = false;
  closedByUs_ = false;
  if (Tracing()) {
    TraceSession("opening port " + port_ +
                 (socks_.server.empty() ? "" : " through the SOCKS proxy " + socks_.server + ":" +
                                                   socks_.port));
  }
  if (socket_->State() != net::wsClosed) {
    socket_->Close();
    // The close is reported to the owner, whose handler may have done anything.
    if (socket_ == nullptr) return;
  }
  // A command the previous router cut off in the middle belongs to that
  // session; finishing it with the new router's first bytes would swallow
  // or garble its negotiation.
  parser_.Reset();
  replies_.clear();
  terminalTypeAwaited_ = false;
  readingHeldBack_ = false;
  connectResult_.reset();
  socksErrorText_.clear();
  socket_->SetProto("tcp");
  socket_->SetPort(port_);
  socket_->SetAddr(host_);
  // The close above turned the socket's proxy off; it is set again here.
  if (!socks_.server.empty()) {
    socket_->SetSocksServer(socks_.server);
    socket_->SetSocksPort(socks_.port);
    socket_->SetSocksLevel(socks_.level);
    socket_->SetSocksUsercode(socks_.usercode);
    socket_->SetSocksPassword(socks_.password);
    socket_->SetSocksAuthentication(socks_.authenticate ? net::socksAuthenticateUsercode
                                                        : net::socksNoAuthentication);
  }
  socket_->Connect();
  if (socket_ == nullptr || socket_->State() == net::wsClosed ||
      socket_->SocketHandle() == ws::INVALID_SOCKET) {
    return;
  }
  // A router or proxy that leaves its system's coalescing of small writes on
  // sends its next small write only once we have acknowledged the one
  // before: "login: " and the terminal-type request, or the pieces of a
  // trickled answer, would each wait for our delayed acknowledgement (and a
  // reset right after the prompt would throw the held pieces away). So every
  // read is acknowledged at once. Only a speed-up: a stand-in without the
  // option changes nothing else.
  const int on = 1;
  net::winsock::setsockopt(socket_->SocketHandle(), ws::IPPROTO_TCP, ws::TCP_ACK_EACH_RECEIVE,
                           reinterpret_cast<const char*>(&on), sizeof on);
}

bool TTelnetConnection::IsConnected() const {
  return socket_ != nullptr && socket_->State() == net::wsConnected && connectResult_ == 0;
}

void TTelnetConnection::Close() {
  if (socket_ == nullptr) return;
  if (socket_->State() != net::wsClosed && Tracing()) {
    TraceSession("closed by us");
    closedByUs_ = true;
  }
  socket_->Close();
}

int TTelnetConnection::Send(const void* data, int len) {
  if (!replies_.empty() && len > 0) {
    // The replies and this in one piece: one write, one segment.
    std::string message = std::move(replies_);
    replies_.clear();
    message.append(static_cast<const char*>(data), static_cast<std::size_t>(len));
    const int sent = SendNow(message.data(), static_cast<int>(message.size()));
    return sent < 0 ? sent : len;
  }
  SendReplies();
  return SendNow(data, len);
}

int TTelnetConnection::SendNow(const void* data, int len) {
  if (socket_ == nullptr || sendBacklogExceeded_) return -1;
  if (len > 0 && socket_->QueuedSendBytes() + static_cast<std::size_t>(len) > kSendBacklogLimit) {
    sendBacklogExceeded_ = true;
    if (Tracing()) TraceSession("closed by us: the router takes nothing of what we send");
    socket_->Close();
    return -1;
  }
  if (len > 0 && Tracing()) TraceSession("send " + std::to_string(len) + " bytes");
  return socket_->Send(data, len);
}

int TTelnetConnection::SendStr(const std::string& str) {
  if (socket_ == nullptr) return -1;
  // An empty send would still disturb the socket's sent-notification
  // bookkeeping; there is nothing to send, so leave the socket alone.
  if (str.empty()) return 0;
  return Send(str.data(), static_cast<int>(str.size()));
}

void TTelnetConnection::Display(const std::string& str) {
  if (OnDisplay) OnDisplay(this, str);
}

void TTelnetConnection::SocketSessionConnected(net::TCustomAsyncSocket*, std::uint16_t error) {
  connectResult_ = error;
  if (Tracing()) {
    TraceSession(error == 0 ? std::string("connected")
                            : "not connected: " + net::SocketErrorText(error));
  }
  if (OnSessionConnected) OnSessionConnected(this, error);
}

void TTelnetConnection::SocketSessionClosed(net::TCustomAsyncSocket* sender, std::uint16_t error) {
  // What the router sent before it went is read even though answers still
  // wait: nothing more will be asked of them.
  if (readingHeldBack_) {
    readingHeldBack_ = false;
    while (socket_ != nullptr && ReadBlock(sender) > 0) {
    }
  }
  // A failed connection has told its end already.
  const bool failedBefore = connectResult_ && *connectResult_ != 0;
  // A session that ends before it was reported up did not come about.
  if (!connectResult_) connectResult_ = error != 0 ? error : ws::WSAECONNRESET;
  if (Tracing() && !std::exchange(closedByUs_, false) && !failedBefore) {
    TraceSession(error == 0 ? std::string("closed by the router")
                            : "closed: " + net::SocketErrorText(error));
  }
  if (socket_ != nullptr && socket_->State() != net::wsClosed) socket_->Close();
  if (OnSessionClosed) OnSessionClosed(this, error);
}

void TTelnetConnection::SocketDataAvailable(net::TCustomAsyncSocket* sender, std::uint16_t) {
  // Whole blocks mean more is likely waiting: reading on, up to a limit,
  // spares a burst one notice (and a look at the queue) per block. Each
  // block is still read, parsed and delivered on its own.
  for (int reads = 0; reads < kReadsPerNotice && socket_ != nullptr; ++reads) {
    // While the answers to what was read cannot leave, nothing more is read:
    // a router that asks faster than it takes the answers waits for them in
    // its own sends, instead of our answers piling up here.
    if (socket_->QueuedSendBytes() >= kReadHoldBackBacklog) {
      readingHeldBack_ = true;
      return;
    }
    if (ReadBlock(sender) < kReadBlockSize) return;
  }
}

void TTelnetConnection::ReadOnIfAnswersLeft() {
  if (!readingHeldBack_ || socket_ == nullptr) return;
  if (socket_->QueuedSendBytes() >= kReadHoldBackBacklog) return;
  readingHeldBack_ = false;
  // The read that was left re-arms the notification for what follows.
  SocketDataAvailable(socket_, 0);
}

void TTelnetConnection::GiveUpOnUnreadAnswers() {
  if (socket_ == nullptr) return;
  sendBacklogExceeded_ = true;
  readingHeldBack_ = false;
  socket_->Close();
}

int TTelnetConnection::ReadBlock(net::TCustomAsyncSocket* sender) {
  char block[kReadBlockSize];
  const int n = sender->Receive(block, kReadBlockSize);
  if (n == 0) {
    // The end of the session itself is reported separately by the socket.
    Display("\r\n**** Remote has closed ****\r\n");
    return 0;
  }
  if (n < 0) {
    const std::int32_t error = sender->LastError();
    if (error != kWouldBlock) Display("\r\n**** ERROR: " + std::to_string(error) + " ****\r\n");
    return n;
  }
  if (Tracing()) TraceSession("read " + std::to_string(n) + " bytes");
  // Replies still waiting for the owner (whose turn may come only after
  // several reads) wait on with those to this read, unless a read's worth
  // has gathered.
  if (replies_.size() >= static_cast<std::size_t>(kReadBlockSize)) SendReplies();
  parsing_ = true;
  try {
    parser_.Parse(reinterpret_cast<const std::uint8_t*>(block),
                               static_cast<std::size_t>(n), *this);
  } catch (...) {
    // An owner handler failed; what was answered before it still goes out,
    // and its own failure is the one that counts.
    parsing_ = false;
    try {
      SendReplies();
    } catch (...) {
    }
    throw;
  }
  parsing_ = false;
  if (!OnRepliesWaiting) {
    SendReplies();
    FlushData();
    return n;
  }
  try {
    FlushData();
  } catch (...) {
    SendReplies();
    throw;
  }
  if (!replies_.empty() && socket_ != nullptr) OnRepliesWaiting(this);
  return n;
}

void TTelnetConnection::StoreData(const std::uint8_t* bytes, std::size_t length) {
  while (length > 0) {
    // Full only when a delivery copy could not be made; the bytes have nowhere
    // to go.
    if (dataCount_ >= kDataBufferSize) return;
    const std::size_t room = static_cast<std::size_t>(kDataBufferSize - dataCount_);
    const std::size_t taken = std::min(room, length);
    std::memcpy(dataBuffer_.data() + dataCount_, bytes, taken);
    dataCount_ += static_cast<std::int32_t>(taken);
    bytes += taken;
    length -= taken;
    if (dataCount_ == kDataBufferSize) FlushData();
  }
}

void TTelnetConnection::FlushData() {
  if (dataCount_ <= 0) return;
  if (!OnDataAvailable) {
    dataCount_ = 0;
    return;
  }
  // The owner gets its own copy with a NUL after the data, so it may treat it
  // as a C string when it holds none of its own; freed even if the owner throws.
  const int count = dataCount_;
  std::unique_ptr<char[]> copy(new (std::nothrow) char[count + 1]);
  if (!copy) return;  // kept for the next flush
  std::memcpy(copy.get(), dataBuffer_.data(), static_cast<std::size_t>(count));
  copy[count] = '\0';
  dataCount_ = 0;
  OnDataAvailable(this, copy.get(), count);
}

void TTelnetConnection::SendToServer(const std::string& bytes) {
  if (Tracing()) {
    for (const std::string& words : MessageWords(bytes)) TraceSession("sent " + words);
  }
  if (bytes == TelnetParser::CommandMessage(cmd::WILL, opt::TERMINAL_TYPE)) terminalTypeAwaited_ = true;
  if (parsing_) {
    replies_ += bytes;
  } else {
    Send(bytes.data(), static_cast<int>(bytes.size()));
  }
}

void TTelnetConnection::SendReplies() {
  if (replies_.empty()) return;
  const std::string replies = std::move(replies_);
  replies_.clear();
  // Answers to a session that has ended go nowhere; the socket would raise
  // an error for a send nobody asked for.
  if (socket_ == nullptr || socket_->State() == net::wsClosed) return;
  SendNow(replies.data(), static_cast<int>(replies.size()));
}

void TTelnetConnection::Data(const std::uint8_t* bytes, std::size_t length) {
  StoreData(bytes, length);
}

void TTelnetConnection::EndOfRecord() {
  if (OnEndOfRecord) OnEndOfRecord(this);
}

void TTelnetConnection::EchoNegotiated(std::optional<bool> localEcho) {
  if (localEcho) localEcho_ = *localEcho;
  if (OnLocalEcho) OnLocalEcho(this);
}

std::string TTelnetConnection::LocationRequested() {
  if (OnSendLoc) OnSendLoc(this);
  return location_;
}

std::string TTelnetConnection::TerminalTypeRequested() {
  terminalTypeAwaited_ = false;
  if (OnTermType) OnTermType(this);
  return termType_;
}

void TTelnetConnection::Trace(const std::string& text) { DebugTrace(text); }

void TTelnetConnection::OptionReceived(std::uint8_t verb, std::uint8_t option) {
  if (Tracing()) TraceSession("recv " + std::string(CommandName(verb)) + " " + OptionWord(option));
}

void TTelnetConnection::SubnegotiationReceived(const std::string& text) {
  if (Tracing()) TraceSession("recv " + SubnegotiationWords(text));
}

bool TTelnetConnection::Tracing() const { return platform::DebugOutputWanted(); }

void TTelnetConnection::TraceSession(const std::string& text) const {
  platform::OutputDebugString(host_ + ": " + text + "\r\n");
}

}  // namespace telnet
