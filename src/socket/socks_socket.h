// The SOCKS client layer of the socket. With no SOCKS server set (the default)
// it passes every operation through to the plain socket.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "socket/custom_async_socket.h"

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

 protected:
  std::string socksServer_;
  std::string socksLevel_ = "5";
  std::string socksPort_;
  bool socksServerSet_ = false;
  std::string socksUsercode_;
  std::string socksPassword_;
  TSocksAuthentication socksAuthentication_ = socksNoAuthentication;
};

}  // namespace net
