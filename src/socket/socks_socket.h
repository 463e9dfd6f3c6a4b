// The SOCKS client layer of the socket: with a SOCKS server set, Connect
// reaches the destination through that proxy, and the owner hears
// OnSessionConnected only once the proxy has granted the connection (or, with
// the failure's code, when it has not). With no server set (the default) it
// passes every operation through to the plain socket. Every close turns the
// proxy off again.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "socket/custom_async_socket.h"
#include "socket/socks_protocol.h"

namespace net {

enum TSocksAuthentication { socksNoAuthentication = 0, socksAuthenticateUsercode = 1 };

enum TSocksAuthState {
  socksAuthBegin = 0,
  socksAuthAccepted = 1,
  socksAuthRejected = 2,
  socksAuthNotNeeded = 3,
};

using TSocksAuthStateEvent =
    std::function<void(TCustomAsyncSocket* sender, TSocksAuthState authState)>;
enum TSocksPhase {
  socksPassThrough = 0,
  socksAwaitMethod = 1,
  socksAwaitAuth = 2,
  socksAwaitReply = 3,
};

using TSocksErrorEvent =
    std::function<void(TCustomAsyncSocket* sender, std::int32_t error, const std::string& msg)>;

class TCustomSocksSocket : public TCustomAsyncSocket {
 public:
  using TCustomAsyncSocket::TCustomAsyncSocket;

  const std::string& SocksLevel() const { return socksLevel_; }
  void SetSocksLevel(const std::string& value);
  const std::string& SocksServer() const { return socksServer_; }
  virtual void SetSocksServer(const std::string& value);
  const std::string& SocksPort() const { return socksPort_; }
  virtual void SetSocksPort(const std::string& value);
  const std::string& SocksUsercode() const { return socksUsercode_; }
  void SetSocksUsercode(const std::string& value) { socksUsercode_ = value; }
  const std::string& SocksPassword() const { return socksPassword_; }
  void SetSocksPassword(const std::string& value) { socksPassword_ = value; }
  TSocksAuthentication SocksAuthentication() const { return socksAuthentication_; }
  void SetSocksAuthentication(TSocksAuthentication value) { socksAuthentication_ = value; }

  TSocksErrorEvent OnSocksError;
  TSessionConnected OnSocksConnected;
  TSocksAuthStateEvent OnSocksAuthState;

  void Connect() override;
  void Listen() override;
  void Close() override;
  void Abort() override;

  TSocksPhase SocksPhase() const { return socksPhase_; }

 protected:
  void ResetToDefaults() override;
  void FinishClose(bool shutdownFirst, std::uint16_t error) override;
  std::int32_t GetRcvdCount() override;
  bool NotifyDataAvailable(std::uint16_t error) override;
  void NotifySessionConnected(std::uint16_t error) override;
  void NotifySessionClosed(std::uint16_t error) override;
  int RawReceive(void* buffer, int size, int flags) override;

  virtual void NotifySocksConnected(std::uint16_t error);
  virtual void NotifySocksError(std::int32_t error, const std::string& msg);
  void NotifySocksAuthState(TSocksAuthState authState);
  void SendSocksCredentials();
  void SendSocksRequest();
  void FailSocksHandshake(std::int32_t error, const std::string& msg);

  // The layers above stay out of the way while the proxy is being talked to.
  bool SocksHandshakeRunning() const { return socksPhase_ != socksPassThrough; }

  TSocksPhase socksPhase_ = socksPassThrough;
  std::string socksServer_;
  std::string socksLevel_ = "5";
  std::string socksPort_;
  bool socksServerSet_ = false;
  std::string socksUsercode_;
  std::string socksPassword_;
  TSocksAuthentication socksAuthentication_ = socksNoAuthentication;
  std::uint8_t offeredMethod_ = socks::kMethodNone;
  char replyBuffer_[socks::kReplyBufferSize] = {};
  std::int32_t replyCount_ = 0;
  std::int32_t leftoverCount_ = 0;
  std::int32_t leftoverPos_ = 0;

 private:
  // The one place the phase changes.
  void SetSocksPhase(TSocksPhase phase) { socksPhase_ = phase; }
  // A field longer than its protocol allows, or holding a byte its wire
  // format uses as the field's end, named with the reason; empty when all can
  // be sent. Checked before anything goes to the proxy.
  std::string UnsendableField() const;
  // What Connect resolved into the peer record, put back when it fails.
  struct ResolvedPeer {
    ws::u_short port;
    ws::u_long address;
    bool portResolved;
    bool addrResolved;
    std::int32_t portNumber;
  };
  ResolvedPeer SaveResolvedPeer() const;
  void RestoreResolvedPeer(const ResolvedPeer& saved);
  // The connection to the proxy ended before the handshake did: the owner
  // hears it as a failed connection.
  void ReportProxyLost(std::uint16_t error);
  // Reads what the proxy sent into the reply buffer, at most up to `limit`
  // bytes held; false when the proxy ended the connection (reported).
  bool ReadReply(int limit);
  void StepMethodReply();
  void StepAuthReply();
  bool StepConnectReply();
  bool Grant(int replyLength);
  void SendMessage(const socks::Message& message);
  void RejectCredentials(std::int32_t error, const std::string& msg);

  // Set while the proxy is reached and the owner has not yet been told how
  // the handshake ended.
  bool outcomePending_ = false;
};

}  // namespace net
