// WSAAsyncSelect notifications against real loopback peers: what is posted,
// in which order, and what is not posted until re-enabled.
#include <gtest/gtest.h>

#include <string>

#include "select_fixture.h"

namespace wsock_test {
namespace {

using AsyncSelectTest = SelectTest;

TEST_F(AsyncSelectTest, ConnectToAListenerGivesConnectThenWriteOnce) {
  PeerListener listener;
  const ws::SOCKET s = ConnectSelected(listener.Port());
  EXPECT_EQ(Expect(s, ws::FD_CONNECT).Error(), 0);
  EXPECT_EQ(Expect(s, ws::FD_WRITE).Error(), 0);
  EXPECT_LT(window_.IndexOf(SocketEvent(s, ws::FD_CONNECT)),
            window_.IndexOf(SocketEvent(s, ws::FD_WRITE)));

  // Writable all along, yet a successful send does not bring FD_WRITE back.
  ASSERT_EQ(wsa_->send(s, "hello", 5, 0), 5);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_CONNECT), 1);
  EXPECT_EQ(Count(s, ws::FD_WRITE), 1);
  PeerSocket peer = listener.Accept();
  EXPECT_EQ(peer.ReceiveExactly(5), "hello");
}

TEST_F(AsyncSelectTest, ConnectToAClosedPortGivesConnectRefusedAndNothingElse) {
  const ws::SOCKET s = ConnectSelected(ClosedLoopbackPort());
  EXPECT_EQ(Expect(s, ws::FD_CONNECT).Error(), ws::WSAECONNREFUSED);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_CONNECT), 1);
  EXPECT_EQ(Count(s, ws::FD_WRITE), 0);
  EXPECT_EQ(Count(s, ws::FD_CLOSE), 0);
}

TEST_F(AsyncSelectTest, ReadIsRepostedOnlyAfterRecvAndOnlyWhileDataRemains) {
  PeerListener listener;
  const ws::SOCKET s = ConnectSelected(listener.Port());
  PeerSocket peer = listener.Accept();
  Expect(s, ws::FD_CONNECT);

  ASSERT_TRUE(peer.SendAll("abc"));
  EXPECT_EQ(Expect(s, ws::FD_READ).Error(), 0);
  ASSERT_TRUE(peer.SendAll("def"));
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_READ), 1) << "FD_READ repeated before any recv";

  // A partial read leaves data: FD_READ comes again.
  char buffer[16];
  ASSERT_EQ(wsa_->recv(s, buffer, 2, 0), 2);
  EXPECT_EQ(std::string(buffer, 2), "ab");
  Expect(s, ws::FD_READ);
  ASSERT_EQ(wsa_->recv(s, buffer, sizeof buffer, 0), 4);
  EXPECT_EQ(std::string(buffer, 4), "cdef");

  // Everything read: no more FD_READ until new data arrives.
  Barrier();
  const int afterDrain = Count(s, ws::FD_READ);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_READ), afterDrain);
  ASSERT_TRUE(peer.SendAll("g"));
  ASSERT_TRUE(window_
                  .WaitFor([&](const Notification& n) {
                    return SocketEvent(s, ws::FD_READ)(n) &&
                           window_.Count(SocketEvent(s, ws::FD_READ)) > afterDrain;
                  })
                  .has_value());
}

TEST_F(AsyncSelectTest, WriteComesBackOnlyAfterASendWouldBlock) {
  PeerListener listener(4096);
  const ws::SOCKET s = ConnectSelected(listener.Port());
  const int small = 4096;
  ASSERT_EQ(wsa_->setsockopt(s, ws::SOL_SOCKET, ws::SO_SNDBUF,
                             reinterpret_cast<const char*>(&small), sizeof small),
            0);
  PeerSocket peer = listener.Accept();
  Expect(s, ws::FD_WRITE);

  const std::string chunk(16384, 'x');
  std::size_t sent = 0;
  int lastError = 0;
  for (int attempt = 0; attempt < 100000; ++attempt) {
    const int n = wsa_->send(s, chunk.data(), static_cast<int>(chunk.size()), 0);
    if (n == ws::SOCKET_ERROR) {
      lastError = wsa_->WSAGetLastError();
      break;
    }
    sent += static_cast<std::size_t>(n);
  }
  ASSERT_EQ(lastError, ws::WSAEWOULDBLOCK);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_WRITE), 1) << "FD_WRITE while the buffers are full";

  EXPECT_EQ(peer.ReceiveExactly(sent).size(), sent);
  Expect(s, ws::FD_WRITE);
  EXPECT_EQ(Count(s, ws::FD_WRITE), 2);
}

TEST_F(AsyncSelectTest, DataAndAGracefulCloseArriveInOrder) {
  PeerListener listener;
  const ws::SOCKET s = ConnectSelected(listener.Port());
  PeerSocket peer = listener.Accept();
  Expect(s, ws::FD_CONNECT);

  ASSERT_TRUE(peer.SendAll("last words"));
  peer.Close();
  EXPECT_EQ(Expect(s, ws::FD_CLOSE).Error(), 0);
  const int read = window_.IndexOf(SocketEvent(s, ws::FD_READ));
  ASSERT_GE(read, 0) << "no FD_READ for the data before the close";
  EXPECT_LT(read, window_.IndexOf(SocketEvent(s, ws::FD_CLOSE)));

  char buffer[64];
  ASSERT_EQ(wsa_->recv(s, buffer, sizeof buffer, 0), 10);
  EXPECT_EQ(std::string(buffer, 10), "last words");
  EXPECT_EQ(wsa_->recv(s, buffer, sizeof buffer, 0), 0);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_CLOSE), 1);
}

TEST_F(AsyncSelectTest, APeerResetGivesCloseWithConnectionReset) {
  PeerListener listener;
  const ws::SOCKET s = ConnectSelected(listener.Port());
  PeerSocket peer = listener.Accept();
  Expect(s, ws::FD_CONNECT);

  peer.ResetAndClose();
  EXPECT_EQ(Expect(s, ws::FD_CLOSE).Error(), ws::WSAECONNRESET);
  char buffer[16];
  EXPECT_EQ(wsa_->recv(s, buffer, sizeof buffer, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(wsa_->WSAGetLastError(), ws::WSAECONNRESET);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_CLOSE), 1);
}

TEST_F(AsyncSelectTest, AcceptIsReenabledByAcceptAndTheNewSocketInheritsTheSelection) {
  const ws::SOCKET listener = NewSocket();
  const ws::sockaddr_in local = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(listener, reinterpret_cast<const ws::sockaddr*>(&local), sizeof local), 0);
  ASSERT_EQ(wsa_->listen(listener, 5), 0);
  ASSERT_EQ(wsa_->WSAAsyncSelect(listener, window_.Handle(), kSocketMessage,
                                 ws::FD_ACCEPT | ws::FD_READ | ws::FD_WRITE | ws::FD_CLOSE),
            0);
  const int port = BoundPort(listener);

  PeerSocket first = PeerConnect(port);
  ASSERT_TRUE(first.Valid());
  EXPECT_EQ(Expect(listener, ws::FD_ACCEPT).Error(), 0);
  PeerSocket second = PeerConnect(port);
  ASSERT_TRUE(second.Valid());
  Barrier();
  EXPECT_EQ(Count(listener, ws::FD_ACCEPT), 1) << "FD_ACCEPT repeated before accept";

  ws::sockaddr_in peerAddress{};
  int length = sizeof peerAddress;
  const ws::SOCKET accepted =
      wsa_->accept(listener, reinterpret_cast<ws::sockaddr*>(&peerAddress), &length);
  ASSERT_NE(accepted, ws::INVALID_SOCKET);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(PortOf(peerAddress), first.LocalPort());
  // The second connection still waits, so accept brings FD_ACCEPT back.
  Expect(listener, ws::FD_ACCEPT);

  // The accepted socket reports to the listener's window and message.
  Expect(accepted, ws::FD_WRITE);
  ASSERT_TRUE(first.SendAll("ping"));
  Expect(accepted, ws::FD_READ);
  char buffer[8];
  ASSERT_EQ(wsa_->recv(accepted, buffer, sizeof buffer, 0), 4);
  EXPECT_EQ(std::string(buffer, 4), "ping");
  first.Close();
  EXPECT_EQ(Expect(accepted, ws::FD_CLOSE).Error(), 0);
  EXPECT_EQ(wsa_->closesocket(accepted), 0);
}

TEST_F(AsyncSelectTest, AnEmptySelectionStopsAllNotifications) {
  PeerListener listener;
  const ws::SOCKET s = ConnectSelected(listener.Port());
  PeerSocket peer = listener.Accept();
  Expect(s, ws::FD_CONNECT);
  Expect(s, ws::FD_WRITE);

  ASSERT_EQ(wsa_->WSAAsyncSelect(s, window_.Handle(), 0, 0), 0);
  const std::size_t before = window_.History().size();
  ASSERT_TRUE(peer.SendAll("unseen"));
  peer.Close();
  Barrier();
  for (std::size_t i = before; i < window_.History().size(); ++i)
    EXPECT_NE(window_.History()[i].wParam, s) << "event " << window_.History()[i].Event();

  // Still non-blocking, and the data is there to read.
  char buffer[16];
  ASSERT_EQ(wsa_->recv(s, buffer, sizeof buffer, 0), 6);
  EXPECT_EQ(wsa_->recv(s, buffer, sizeof buffer, 0), 0);
}

TEST_F(AsyncSelectTest, NothingIsPostedForAClosedHandleEvenWhenANewSocketOpensAtOnce) {
  PeerListener listener;
  const ws::SOCKET old = ConnectSelected(listener.Port());
  PeerSocket oldPeer = listener.Accept();
  Expect(old, ws::FD_WRITE);
  ASSERT_TRUE(oldPeer.SendAll("pending"));
  Expect(old, ws::FD_READ);
  // Every notification of `old` is armed off now, so nothing can be on its
  // way for it when it closes.
  window_.Pump();
  const std::size_t closedAt = window_.History().size();
  Close(old);

  // The new socket most likely reuses the descriptor number of the old one.
  const ws::SOCKET fresh = ConnectSelected(listener.Port());
  EXPECT_NE(fresh, old);
  PeerSocket freshPeer = listener.Accept();
  // Activity on the old connection after its close (the close itself reset
  // it, since data was left unread) must not surface under any handle.
  oldPeer.SendAll("more");
  oldPeer.ResetAndClose();
  Expect(fresh, ws::FD_CONNECT);
  Expect(fresh, ws::FD_WRITE);
  ASSERT_TRUE(freshPeer.SendAll("x"));
  Expect(fresh, ws::FD_READ);
  Barrier();
  for (std::size_t i = closedAt; i < window_.History().size(); ++i)
    EXPECT_NE(window_.History()[i].wParam, old) << "event " << window_.History()[i].Event();
  EXPECT_EQ(Count(fresh, ws::FD_CLOSE), 0);
}

}  // namespace
}  // namespace wsock_test
