// A started library, a recording window and a "marker" datagram socket for
// tests of WSAAsyncSelect. Barrier() proves that the library's helper has
// looked at every socket since the call began, so a test can say that a
// notification did NOT come without waiting for a fixed time.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notification_window.h"
#include "support/loopback_peer.h"
#include "wsock_library.h"

namespace wsock_test {

using support::Listener;
using support::Peer;

inline constexpr long kClientEvents =
    ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;

class SelectTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  ws::SOCKET NewSocket(int type = ws::SOCK_STREAM);
  // A stream socket selected for `events` and connecting to 127.0.0.1:port;
  // the connect must answer "would block".
  ws::SOCKET ConnectSelected(int port, long events = kClientEvents);
  // Waits for the socket's next notification of `event`; a failure when none
  // comes in time.
  Notification Expect(ws::SOCKET s, long event);
  int Count(ws::SOCKET s, long event) const;
  // What one recv of at most `size` bytes gives, or "<error N>".
  std::string Recv(ws::SOCKET s, int size = 64);
  int LastError() const { return wsa_->WSAGetLastError(); }
  void Barrier();
  void Close(ws::SOCKET s);

  StartedLibrary wsa_;
  NotificationWindow window_;

 private:
  void MarkerRoundTrip();

  std::vector<ws::SOCKET> open_;
  ws::SOCKET marker_ = ws::INVALID_SOCKET;
  int markerPort_ = 0;
  Peer markerPeer_;
};

}  // namespace wsock_test
