// WSAAsyncSelect notifications against real loopback peers: what is posted,
// in which order, and what is not posted until re-enabled.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "wsock_fixture.h"

namespace wsock_test {
namespace {

class AsyncSelectTest : public SelectTest {
 protected:
  // No notification for `s` among those recorded from `from` on.
  void ExpectNoneSince(std::size_t from, ws::SOCKET s) {
    for (std::size_t i = from; i < window_.History().size(); ++i)
      EXPECT_NE(window_.History()[i].wParam, s) << "event " << window_.History()[i].Event();
  }
};

TEST_F(AsyncSelectTest, ConnectToAListenerGivesConnectThenWriteOnce) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  EXPECT_EQ(Expect(s, ws::FD_WRITE).Error(), 0);
  EXPECT_LT(window_.IndexOf(SocketEvent(s, ws::FD_CONNECT)),
            window_.IndexOf(SocketEvent(s, ws::FD_WRITE)));

  // Writable all along, yet a successful send does not bring FD_WRITE back.
  ASSERT_EQ(wsa_->send(s, "hello", 5, 0), 5);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_CONNECT), 1);
  EXPECT_EQ(Count(s, ws::FD_WRITE), 1);
  EXPECT_EQ(peer.Receive(5), "hello");
}

TEST_F(AsyncSelectTest, ConnectToAClosedPortGivesConnectRefusedAndNothingElse) {
  const ws::SOCKET s = ConnectSelected(support::RefusingPort());
  EXPECT_EQ(Expect(s, ws::FD_CONNECT).Error(), ws::WSAECONNREFUSED);
  Barrier();
  EXPECT_EQ(window_.Count([s](const Notification& n) { return n.wParam == s; }), 1);
}

TEST_F(AsyncSelectTest, ReadIsRepostedOnlyAfterRecvAndOnlyWhileDataRemains) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  ASSERT_TRUE(peer.Send("abc"));
  EXPECT_EQ(Expect(s, ws::FD_READ).Error(), 0);
  ASSERT_TRUE(peer.Send("def"));
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_READ), 1) << "FD_READ repeated before any recv";

  // A partial read leaves data: FD_READ comes again.
  EXPECT_EQ(Recv(s, 2), "ab");
  Expect(s, ws::FD_READ);
  EXPECT_EQ(Recv(s), "cdef");

  // Everything read: no more FD_READ until new data arrives.
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_READ), 2);
  ASSERT_TRUE(peer.Send("g"));
  Expect(s, ws::FD_READ);
}

TEST_F(AsyncSelectTest, DataReadAwayBeforeItsNoticeIsWorkedOutIsNotTakenForAClose) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  // The owner reads each byte as soon as it lands, racing the look that saw
  // it arrive: finding nothing left to read must not count as the
  // peer closing. Many rounds, because each gives the race one chance.
  for (int round = 0; round < 3000; ++round) {
    ASSERT_TRUE(peer.Send("x"));
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got.empty() && std::chrono::steady_clock::now() < deadline) {
      char byte = 0;
      if (wsa_->recv(s, &byte, 1, 0) == 1) got = std::string(1, byte);
    }
    ASSERT_EQ(got, "x") << "round " << round;
  }
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_CLOSE), 0);
  EXPECT_EQ(wsa_->send(s, "still here", 10, 0), 10);
}

TEST_F(AsyncSelectTest, WriteComesBackOnlyAfterASendWouldBlock) {
  Listener listener(4096);
  const ws::SOCKET s = ConnectSelected(listener.Port());
  const int small = 4096;
  ASSERT_EQ(wsa_->setsockopt(s, ws::SOL_SOCKET, ws::SO_SNDBUF,
                             reinterpret_cast<const char*>(&small), sizeof small),
            0);
  Peer peer = listener.Accept();
  Expect(s, ws::FD_WRITE);

  const std::string chunk(16384, 'x');
  std::size_t sent = 0;
  int n = 0;
  for (int attempt = 0; attempt < 100000 && n != ws::SOCKET_ERROR; ++attempt) {
    n = wsa_->send(s, chunk.data(), static_cast<int>(chunk.size()), 0);
    if (n > 0) sent += static_cast<std::size_t>(n);
  }
  ASSERT_EQ(LastError(), ws::WSAEWOULDBLOCK);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_WRITE), 1) << "FD_WRITE while the buffers are full";

  EXPECT_EQ(peer.Receive(sent).size(), sent);
  Expect(s, ws::FD_WRITE);
  EXPECT_EQ(Count(s, ws::FD_WRITE), 2);
}

TEST_F(AsyncSelectTest, APeerResetWhileSendsWaitGivesCloseAndNoWrite) {
  Listener listener(4096);
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  const int small = 4096;
  ASSERT_EQ(wsa_->setsockopt(s, ws::SOL_SOCKET, ws::SO_SNDBUF,
                             reinterpret_cast<const char*>(&small), sizeof small),
            0);
  Expect(s, ws::FD_WRITE);
  const std::string chunk(16384, 'x');
  int n = 0;
  for (int attempt = 0; attempt < 100000 && n != ws::SOCKET_ERROR; ++attempt) {
    n = wsa_->send(s, chunk.data(), static_cast<int>(chunk.size()), 0);
  }
  ASSERT_EQ(LastError(), ws::WSAEWOULDBLOCK);
  // The buffers empty into the void: space returns, but for a dead connection.
  peer.ResetAndClose();
  EXPECT_EQ(Expect(s, ws::FD_CLOSE).Error(), ws::WSAECONNRESET);
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_WRITE), 1);
  EXPECT_EQ(Count(s, ws::FD_CLOSE), 1);
}

TEST_F(AsyncSelectTest, DataAndAGracefulCloseArriveInOrder) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  ASSERT_TRUE(peer.Send("last words"));
  peer.Close();
  EXPECT_EQ(Expect(s, ws::FD_CLOSE).Error(), 0);
  const int read = window_.IndexOf(SocketEvent(s, ws::FD_READ));
  ASSERT_GE(read, 0) << "no FD_READ for the data before the close";
  EXPECT_LT(read, window_.IndexOf(SocketEvent(s, ws::FD_CLOSE)));

  EXPECT_EQ(Recv(s), "last words");
  EXPECT_EQ(Recv(s), "");
  Barrier();
  EXPECT_EQ(Count(s, ws::FD_CLOSE), 1);
}

TEST_F(AsyncSelectTest, APeerResetGivesCloseWithConnectionResetEvenToAnOwnerReadingMeanwhile) {
  Listener listener;
  // The owner's read may take the reset from the system just when the helper
  // looks; neither may then take the end for a graceful one. Many rounds,
  // because each gives the race one chance.
  for (int round = 0; round < 300; ++round) {
    Peer peer;
    const ws::SOCKET s = Connected(listener, peer);
    std::thread resetter([&] { peer.ResetAndClose(); });
    std::string read;
    do read = Recv(s);
    while (read == "<error 10035>");
    resetter.join();
    ASSERT_EQ(read, "<error 10054>") << "round " << round;
    ASSERT_EQ(Expect(s, ws::FD_CLOSE).Error(), ws::WSAECONNRESET) << "round " << round;
    Close(s);
  }
}

TEST_F(AsyncSelectTest, OurOwnShutdownOfReceivingIsNoClose) {
  Listener listener;
  for (int round = 0; round < 300; ++round) {
    Peer peer;
    const ws::SOCKET s = Connected(listener, peer);
    ASSERT_EQ(wsa_->shutdown(s, ws::SD_RECEIVE), 0);
    Barrier();
    ASSERT_EQ(Count(s, ws::FD_CLOSE), 0) << "round " << round;
    Close(s);
  }
}

TEST_F(AsyncSelectTest, AcceptIsReenabledByAcceptAndTheNewSocketInheritsTheSelection) {
  const ws::SOCKET listener = NewSocket();
  const ws::sockaddr_in local = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(listener, AsAddress(local), sizeof local), 0);
  ASSERT_EQ(wsa_->listen(listener, 5), 0);
  ASSERT_EQ(wsa_->WSAAsyncSelect(listener, window_.Handle(), kSocketMessage,
                                 ws::FD_ACCEPT | ws::FD_READ | ws::FD_WRITE | ws::FD_CLOSE),
            0);
  Peer first = Peer::Connect(BoundPort(listener));
  ASSERT_TRUE(first.Valid());
  EXPECT_EQ(Expect(listener, ws::FD_ACCEPT).Error(), 0);
  Peer second = Peer::Connect(BoundPort(listener));
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
  ASSERT_TRUE(first.Send("ping"));
  Expect(accepted, ws::FD_READ);
  EXPECT_EQ(Recv(accepted), "ping");
  first.Close();
  EXPECT_EQ(Expect(accepted, ws::FD_CLOSE).Error(), 0);
  EXPECT_EQ(wsa_->closesocket(accepted), 0);
}

TEST_F(AsyncSelectTest, AnEmptySelectionStopsAllNotifications) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  Expect(s, ws::FD_WRITE);

  ASSERT_EQ(wsa_->WSAAsyncSelect(s, window_.Handle(), 0, 0), 0);
  const std::size_t before = window_.History().size();
  ASSERT_TRUE(peer.Send("unseen"));
  peer.Close();
  Barrier();
  ExpectNoneSince(before, s);
  // Still non-blocking, and the data is there to read.
  EXPECT_EQ(Recv(s), "unseen");
  EXPECT_EQ(Recv(s), "");
}

TEST_F(AsyncSelectTest, NothingIsPostedForAClosedHandleEvenWhenANewSocketOpensAtOnce) {
  Listener listener;
  Peer oldPeer;
  const ws::SOCKET old = Connected(listener, oldPeer);
  Expect(old, ws::FD_WRITE);
  ASSERT_TRUE(oldPeer.Send("pending"));
  Expect(old, ws::FD_READ);
  // Every notification of `old` is armed off now, so nothing can be on its
  // way for it when it closes.
  window_.Pump();
  const std::size_t closedAt = window_.History().size();
  Close(old);

  // The new socket most likely reuses the descriptor number of the old one.
  Peer freshPeer;
  const ws::SOCKET fresh = Connected(listener, freshPeer);
  EXPECT_NE(fresh, old);
  // Activity on the old connection after its close (the close itself reset
  // it, since data was left unread) must not surface under any handle.
  oldPeer.Send("more");
  oldPeer.ResetAndClose();
  Expect(fresh, ws::FD_WRITE);
  ASSERT_TRUE(freshPeer.Send("x"));
  Expect(fresh, ws::FD_READ);
  Barrier();
  ExpectNoneSince(closedAt, old);
  EXPECT_EQ(Count(fresh, ws::FD_CLOSE), 0);
}

}  // namespace
}  // namespace wsock_test
