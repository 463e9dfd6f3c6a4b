// Windows results of the plain socket calls: handles, address records,
// options, blocking modes, and how ends of connections read.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

#include "select_fixture.h"

namespace wsock_test {
namespace {

const ws::sockaddr* AsAddress(const ws::sockaddr_in& address) {
  return reinterpret_cast<const ws::sockaddr*>(&address);
}

// A blocking library socket connected to a POSIX peer.
struct ConnectedPair {
  ws::SOCKET socket = ws::INVALID_SOCKET;
  PeerSocket peer;
};

class SocketCalls : public SelectTest {
 protected:
  ConnectedPair Connected(PeerListener& listener) {
    ConnectedPair pair;
    pair.socket = NewSocket();
    const ws::sockaddr_in address = LoopbackAddress(listener.Port());
    EXPECT_EQ(wsa_->connect(pair.socket, AsAddress(address), sizeof address), 0) << LastError();
    pair.peer = listener.Accept();
    return pair;
  }
  int LastError() const { return wsa_->WSAGetLastError(); }
};

TEST_F(SocketCalls, HandlesAreNeverReusedAndStaleOnesAreNotSockets) {
  std::set<ws::SOCKET> seen;
  for (int i = 0; i < 50; ++i) {
    const ws::SOCKET s = wsa_->socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    ASSERT_NE(s, ws::INVALID_SOCKET);
    EXPECT_NE(s, 0u);
    EXPECT_TRUE(seen.insert(s).second) << "handle " << s << " handed out twice";
    ASSERT_EQ(wsa_->closesocket(s), 0);
  }
  for (ws::SOCKET stale : {*seen.begin(), ws::INVALID_SOCKET}) {
    EXPECT_EQ(wsa_->closesocket(stale), ws::SOCKET_ERROR);
    EXPECT_EQ(LastError(), ws::WSAENOTSOCK);
    EXPECT_EQ(wsa_->send(stale, "x", 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(LastError(), ws::WSAENOTSOCK);
  }
}

TEST_F(SocketCalls, AddressRecordsAndFamiliesAreChecked) {
  EXPECT_EQ(wsa_->socket(23, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(LastError(), ws::WSAEAFNOSUPPORT);
  EXPECT_EQ(wsa_->socket(ws::AF_INET, 9, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(LastError(), ws::WSAESOCKTNOSUPPORT);

  const ws::SOCKET s = NewSocket();
  ws::sockaddr_in address = LoopbackAddress(0);
  EXPECT_EQ(wsa_->bind(s, AsAddress(address), 8), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEFAULT);
  address.sin_family = 23;
  EXPECT_EQ(wsa_->bind(s, AsAddress(address), sizeof address), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEAFNOSUPPORT);

  ws::sockaddr_in name{};
  int length = sizeof name;
  EXPECT_EQ(wsa_->getsockname(s, reinterpret_cast<ws::sockaddr*>(&name), &length),
            ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEINVAL) << "an unbound socket has no name";
  EXPECT_EQ(wsa_->listen(s, 5), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEINVAL) << "listen needs a bound socket";

  address = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(s, AsAddress(address), sizeof address), 0);
  ASSERT_EQ(wsa_->getsockname(s, reinterpret_cast<ws::sockaddr*>(&name), &length), 0);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(name.sin_family, ws::AF_INET);
  EXPECT_GT(PortOf(name), 0);
  EXPECT_STREQ(wsa_->inet_ntoa(name.sin_addr), "127.0.0.1");
  EXPECT_EQ(wsa_->getpeername(s, reinterpret_cast<ws::sockaddr*>(&name), &length),
            ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAENOTCONN);
}

TEST_F(SocketCalls, SendingOrReceivingWithoutAConnectionIsNotConnected) {
  const ws::SOCKET s = NewSocket();
  char buffer[4];
  EXPECT_EQ(wsa_->send(s, "x", 1, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAENOTCONN);
  EXPECT_EQ(wsa_->recv(s, buffer, sizeof buffer, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAENOTCONN);
}

TEST_F(SocketCalls, ANonBlockingConnectAnswersWouldBlockThenAlreadyOrConnected) {
  PeerListener listener;
  const ws::SOCKET s = NewSocket();
  ws::u_long on = 1;
  ASSERT_EQ(wsa_->ioctlsocket(s, ws::FIONBIO, &on), 0);
  const ws::sockaddr_in address = LoopbackAddress(listener.Port());
  EXPECT_EQ(wsa_->connect(s, AsAddress(address), sizeof address), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEWOULDBLOCK);
  EXPECT_EQ(wsa_->connect(s, AsAddress(address), sizeof address), ws::SOCKET_ERROR);
  EXPECT_TRUE(LastError() == ws::WSAEALREADY || LastError() == ws::WSAEISCONN) << LastError();

  const ws::sockaddr_in nowhere = LoopbackAddress(0);
  const ws::SOCKET other = NewSocket();
  EXPECT_EQ(wsa_->connect(other, AsAddress(nowhere), sizeof nowhere), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEADDRNOTAVAIL);
}

TEST_F(SocketCalls, AGracefulEndReadsAsZeroAndAResetAsConnectionReset) {
  PeerListener listener;
  ConnectedPair graceful = Connected(listener);
  ASSERT_TRUE(graceful.peer.SendAll("bye"));
  graceful.peer.Close();
  char buffer[16];
  ASSERT_EQ(wsa_->recv(graceful.socket, buffer, sizeof buffer, 0), 3);
  EXPECT_EQ(wsa_->recv(graceful.socket, buffer, sizeof buffer, 0), 0);

  ConnectedPair reset = Connected(listener);
  reset.peer.ResetAndClose();
  EXPECT_EQ(wsa_->recv(reset.socket, buffer, sizeof buffer, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAECONNRESET);
}

TEST_F(SocketCalls, SendingIntoAResetConnectionFailsWithoutABrokenPipeSignal) {
  // SIGPIPE keeps its default action here: a send that raised it would end
  // the test program.
  PeerListener listener;
  ConnectedPair pair = Connected(listener);
  pair.peer.ResetAndClose();
  int result = 0;
  for (int attempt = 0; attempt < 1000 && result != ws::SOCKET_ERROR; ++attempt)
    result = wsa_->send(pair.socket, "data", 4, 0);
  ASSERT_EQ(result, ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAECONNRESET);
  EXPECT_EQ(wsa_->send(pair.socket, "data", 4, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAECONNRESET);

  ConnectedPair shut = Connected(listener);
  ASSERT_EQ(wsa_->shutdown(shut.socket, ws::SD_SEND), 0);
  EXPECT_EQ(wsa_->send(shut.socket, "data", 4, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAESHUTDOWN);
  EXPECT_EQ(shut.peer.WaitForEnd(), 0);
  EXPECT_EQ(wsa_->shutdown(shut.socket, 7), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEINVAL);
}

TEST_F(SocketCalls, LingerOnWithZeroSecondsResetsAtCloseAndTheDefaultClosesGracefully) {
  PeerListener listener;
  ConnectedPair lingering = Connected(listener);
  const ws::linger abortive{1, 0};
  ASSERT_EQ(wsa_->setsockopt(lingering.socket, ws::SOL_SOCKET, ws::SO_LINGER,
                             reinterpret_cast<const char*>(&abortive), sizeof abortive),
            0);
  Close(lingering.socket);
  EXPECT_EQ(lingering.peer.WaitForEnd(), ECONNRESET);

  ConnectedPair plain = Connected(listener);
  Close(plain.socket);
  EXPECT_EQ(plain.peer.WaitForEnd(), 0);
}

TEST_F(SocketCalls, OptionsUseWindowsNumbers) {
  const ws::SOCKET s = NewSocket();
  const int allBits = -1;
  const char* value = reinterpret_cast<const char*>(&allBits);
  for (int option : {ws::SO_KEEPALIVE, ws::SO_REUSEADDR, ws::SO_BROADCAST, ws::SO_DONTLINGER})
    EXPECT_EQ(wsa_->setsockopt(s, ws::SOL_SOCKET, option, value, sizeof allBits), 0) << option;
  EXPECT_EQ(wsa_->setsockopt(s, ws::IPPROTO_TCP, ws::TCP_NODELAY, value, sizeof allBits), 0);
  EXPECT_EQ(wsa_->setsockopt(s, ws::SOL_SOCKET, 0x7777, value, sizeof allBits), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAENOPROTOOPT);
  EXPECT_EQ(wsa_->setsockopt(s, 0x1234, ws::SO_KEEPALIVE, value, sizeof allBits), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEINVAL);
  EXPECT_EQ(wsa_->setsockopt(s, ws::SOL_SOCKET, ws::SO_LINGER, value, 2), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEFAULT);
}

TEST_F(SocketCalls, IoctlCountsWaitingBytesAndSwitchesBlocking) {
  PeerListener listener;
  ConnectedPair pair = Connected(listener);
  ws::u_long mode = 1;
  ASSERT_EQ(wsa_->ioctlsocket(pair.socket, ws::FIONBIO, &mode), 0);
  char buffer[16];
  EXPECT_EQ(wsa_->recv(pair.socket, buffer, sizeof buffer, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEWOULDBLOCK);

  ASSERT_EQ(wsa_->WSAAsyncSelect(pair.socket, window_.Handle(), kSocketMessage, ws::FD_READ), 0);
  ASSERT_TRUE(pair.peer.SendAll("12345"));
  Expect(pair.socket, ws::FD_READ);
  ws::u_long waiting = 0;
  ASSERT_EQ(wsa_->ioctlsocket(pair.socket, ws::FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 5u);

  mode = 0;
  EXPECT_EQ(wsa_->ioctlsocket(pair.socket, ws::FIONBIO, &mode), ws::SOCKET_ERROR)
      << "a selected socket stays non-blocking";
  EXPECT_EQ(LastError(), ws::WSAEINVAL);
  ASSERT_EQ(wsa_->WSAAsyncSelect(pair.socket, window_.Handle(), 0, 0), 0);
  EXPECT_EQ(wsa_->ioctlsocket(pair.socket, ws::FIONBIO, &mode), 0);
  EXPECT_EQ(wsa_->ioctlsocket(pair.socket, 0x12345, &mode), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEINVAL);
}

TEST_F(SocketCalls, DatagramsCarryTheirSenderAndTooLongOnesAreReported) {
  const ws::SOCKET s = NewSocket(ws::SOCK_DGRAM);
  const ws::sockaddr_in local = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(s, AsAddress(local), sizeof local), 0);
  ASSERT_EQ(wsa_->WSAAsyncSelect(s, window_.Handle(), kSocketMessage, ws::FD_READ), 0);
  PeerSocket peer = PeerDatagramSocket();

  ASSERT_TRUE(PeerSendDatagram(peer, BoundPort(s), "hello"));
  Expect(s, ws::FD_READ);
  char buffer[16];
  ws::sockaddr_in from{};
  int fromLength = sizeof from;
  ASSERT_EQ(wsa_->recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<ws::sockaddr*>(&from),
                           &fromLength),
            5);
  EXPECT_EQ(PortOf(from), peer.LocalPort());
  EXPECT_EQ(from.sin_family, ws::AF_INET);

  ASSERT_TRUE(PeerSendDatagram(peer, BoundPort(s), std::string(100, 'z')));
  Expect(s, ws::FD_READ);
  EXPECT_EQ(wsa_->recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEMSGSIZE);

  const ws::sockaddr_in to = LoopbackAddress(peer.LocalPort());
  ASSERT_EQ(wsa_->sendto(s, "reply", 5, 0, AsAddress(to), sizeof to), 5);
  EXPECT_EQ(PeerReceiveDatagram(peer), "reply");
  EXPECT_EQ(wsa_->send(s, "x", 1, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAENOTCONN) << "a datagram socket without a peer";
}

}  // namespace
}  // namespace wsock_test
