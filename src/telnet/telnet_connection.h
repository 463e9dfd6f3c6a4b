// One TELNET client session over TCP. The connection owns its socket, answers
// the server's option negotiation at once, strips TELNET commands from what
// arrives and hands the remaining data bytes to its owner. What the owner
// sends goes out unchanged: no CR/LF translation, no echo, no doubling of 255.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/component.h"
#include "socket/async_socket.h"
#include "telnet/socks_route.h"
#include "telnet/telnet_parser.h"

namespace telnet {

class TTelnetConnection;

using TTnSessionConnected = std::function<void(TTelnetConnection* sender, std::uint16_t error)>;
using TTnSessionClosed = std::function<void(TTelnetConnection* sender, std::uint16_t error)>;
// `buffer` holds `len` data bytes (NULs among them possibly) followed by a NUL;
// it is valid only during the call.
using TTnDataAvailable =
    std::function<void(TTelnetConnection* sender, const char* buffer, int len)>;
using TTnDisplay = std::function<void(TTelnetConnection* sender, const std::string& str)>;
using TTnNotifyEvent = std::function<void(TTelnetConnection* sender)>;

class TTelnetConnection : public platform::TComponent, private TelnetParserEvents {
 public:
  // Bytes read from the socket in one pass; a longer burst takes several
  // passes, each ending with its own delivery.
  static constexpr int kReadBlockSize = 2048;
  // One more than a pass can hold, so a pass never fills the buffer by itself.
  static constexpr int kDataBufferSize = kReadBlockSize + 1;
  // Most passes one notice of arriving data starts, while each fills a block.
  static constexpr int kReadsPerNotice = 32;

  explicit TTelnetConnection(platform::TComponent* owner);
  ~TTelnetConnection() override;

  // --- published properties ---------------------------------------------------
  const std::string& Port() const { return port_; }
  void SetPort(std::string value) { port_ = std::move(value); }
  const std::string& Host() const { return host_; }
  void SetHost(std::string value) { host_ = std::move(value); }
  const std::string& Location() const { return location_; }
  void SetLocation(std::string value) { location_ = std::move(value); }
  const std::string& TermType() const { return termType_; }
  void SetTermType(std::string value) { termType_ = std::move(value); }
  // True while the server refuses to echo, so the owner should echo itself.
  bool LocalEcho() const { return localEcho_; }
  void SetLocalEcho(bool value) { localEcho_ = value; }

  // A SOCKS proxy for the sessions to come, given to the socket at every
  // Connect (a close forgets it there); an empty server connects directly.
  const SocksRoute& Socks() const { return socks_; }
  void SetSocks(SocksRoute value) { socks_ = std::move(value); }

  // --- published events ---------------------------------------------------------
  TTnSessionConnected OnSessionConnected;
  TTnSessionClosed OnSessionClosed;
  TTnDataAvailable OnDataAvailable;
  TTnDisplay OnDisplay;
  TTnNotifyEvent OnEndOfRecord;
  TTnNotifyEvent OnSendLoc;
  TTnNotifyEvent OnTermType;
  TTnNotifyEvent OnLocalEcho;
  // When set, the replies to a read do not leave at the end of it: they wait
  // for the owner's next send, which takes them along in the same send, or
  // for FlushReplies. Called at the end of each read that left replies
  // waiting; the owner answers soon (in the same round of events), as a
  // proxy or router that holds back a small write until the one before it
  // is acknowledged would otherwise stall on our next line.
  TTnNotifyEvent OnRepliesWaiting;

  // --- operations ------------------------------------------------------------------
  // Opens a session to Host:Port without waiting for it; an open socket is
  // closed first, so this also reconnects. Errors of a bad host, port or
  // protocol pass to the caller.
  void Connect();
  // True while the session is up: the socket is connected and has said so,
  // which through a proxy is only once the proxy has granted the connection.
  bool IsConnected() const;
  // How the session the last Connect started came about: nothing yet, 0 when
  // it is up, or the code of the failure that ended it before.
  std::optional<std::uint16_t> ConnectResult() const { return connectResult_; }
  // The proxy's explanation of that failure, empty when it gave none.
  const std::string& SocksErrorText() const { return socksErrorText_; }
  void Close();
  // The socket's result, or -1 without a socket. Replies still waiting go
  // first, in the same send.
  int Send(const void* data, int len);
  int SendStr(const std::string& str);
  void Display(const std::string& str);
  // Sends the replies that wait for the owner (see OnRepliesWaiting).
  void FlushReplies() { SendReplies(); }
  bool RepliesWaiting() const { return !replies_.empty(); }
  // True from our agreeing to send the terminal type until the server asked
  // for it: an owner about to send may wait a moment, so its line and our
  // answer leave in one send.
  bool TerminalTypeRequestAwaited() const { return terminalTypeAwaited_; }

  // The socket this connection created, or null once someone else destroyed it.
  net::TAsyncSocket* Socket() const { return socket_; }
  // Data bytes received but not yet delivered.
  int PendingDataCount() const { return dataCount_; }
  // Where this session's parsing stands (a command or subnegotiation cut by
  // a read's end waits here for the next read).
  const TelnetParser& Parser() const { return parser_; }

  // Most bytes the connection lets wait for a server that does not read. A
  // dialogue queues a few hundred at most; a server that floods us with
  // negotiation and never reads the replies would otherwise grow the queue
  // without end.
  static constexpr std::size_t kSendBacklogLimit = std::size_t{1} << 20;
  // True once a send would have passed the limit; the connection was closed
  // then. Cleared by the next Connect.
  bool SendBacklogExceeded() const { return sendBacklogExceeded_; }
  // Reading waits while this much of our own sending is still queued (the
  // answers to the router's requests among it), so a router that asks faster
  // than it takes the answers is held up in its own sending. The owner, which
  // hears of nothing meanwhile, asks it to read on now and then (each tick);
  // it does once the queue is below the mark.
  static constexpr std::size_t kReadHoldBackBacklog = std::size_t{64} << 10;
  bool ReadingHeldBack() const { return readingHeldBack_; }
  void ReadOnIfAnswersLeft();
  // For an owner that has waited long enough for a held-back read: the router
  // takes nothing of what we send. Closes as a passed send bound does.
  void GiveUpOnUnreadAnswers();

 protected:
  void Notification(platform::TComponent* component, platform::TOperation operation) override;

 private:
  void SocketSessionConnected(net::TCustomAsyncSocket* sender, std::uint16_t error);
  void SocketSessionClosed(net::TCustomAsyncSocket* sender, std::uint16_t error);
  void SocketDataAvailable(net::TCustomAsyncSocket* sender, std::uint16_t error);

  // Puts data bytes behind those held; a full buffer is delivered at once.
  void StoreData(const std::uint8_t* bytes, std::size_t length);
  void FlushData();
  void SendReplies();
  // Sends as it is, within the send bound.
  int SendNow(const void* data, int len);
  // Reads and handles one block; what Receive returned.
  int ReadBlock(net::TCustomAsyncSocket* sender);

  // What the parser asks of the connection that feeds it.
  void SendToServer(const std::string& bytes) override;
  void Data(const std::uint8_t* bytes, std::size_t length) override;
  void EndOfRecord() override;
  void EchoNegotiated(std::optional<bool> localEcho) override;
  std::string LocationRequested() override;
  std::string TerminalTypeRequested() override;
  void Trace(const std::string& text) override;
  void OptionReceived(std::uint8_t verb, std::uint8_t option) override;
  void SubnegotiationReceived(const std::string& text) override;

  // One line of the session's trace, after the router's address; worded
  // only while someone reads the trace.
  bool Tracing() const;
  void TraceSession(const std::string& text) const;

  std::string port_ = "23";
  std::string host_;
  std::string location_ = "VANTREL";
  std::string termType_ = "VT100";
  bool localEcho_ = false;

  SocksRoute socks_;
  std::optional<std::uint16_t> connectResult_;
  std::string socksErrorText_;

  net::TAsyncSocket* socket_ = nullptr;
  // Each session parses on its own: many connections run at once, and one
  // router's half-read command must never be finished by another's bytes.
  TelnetParser parser_;
  std::array<char, kDataBufferSize> dataBuffer_{};
  std::int32_t dataCount_ = 0;
  // Replies to the read being parsed: they leave together once it is parsed
  // (or before anything the owner sends meanwhile), since a proxy or router
  // that holds back small writes would stall on each one.
  bool parsing_ = false;
  std::string replies_;
  bool terminalTypeAwaited_ = false;
  bool readingHeldBack_ = false;
  bool sendBacklogExceeded_ = false;
  bool closedByUs_ = false;  // for the trace: the end that follows is ours
};

}  // namespace telnet
