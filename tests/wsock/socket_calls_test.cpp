// Windows results of the plain socket calls: handles, address records,
// options, blocking modes, and how ends of connections read.
#include <gtest/gtest.h>

#include <string>

#include "wsock_fixture.h"

namespace wsock_test {
namespace {

class SocketCalls : public SelectTest {
 protected:
  // A blocking library socket connected to a peer of `listener`.
  ws::SOCKET BlockingConnected(Listener& listener, Peer& peer) {
    const ws::SOCKET s = NewSocket();
    const ws::sockaddr_in address = LoopbackAddress(listener.Port());
    EXPECT_EQ(wsa_->connect(s, AsAddress(address), sizeof address), 0) << LastError();
    peer = listener.Accept();
    return s;
  }
  // The error of a call that must fail.
  int Failure(int result) {
    EXPECT_EQ(result, ws::SOCKET_ERROR);
    return LastError();
  }
  int SetOption(ws::SOCKET s, int level, int option, int value, int length = sizeof(int)) {
    return wsa_->setsockopt(s, level, option, reinterpret_cast<const char*>(&value), length);
  }
};

TEST_F(SocketCalls, AddressRecordsFamiliesAndStatesAreChecked) {
  EXPECT_EQ(Failure(wsa_->closesocket(ws::INVALID_SOCKET)), ws::WSAENOTSOCK);
  EXPECT_EQ(Failure(wsa_->send(ws::INVALID_SOCKET, "x", 1, 0)), ws::WSAENOTSOCK);
  EXPECT_EQ(wsa_->socket(23, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(LastError(), ws::WSAEAFNOSUPPORT);
  EXPECT_EQ(wsa_->socket(ws::AF_INET, 9, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(LastError(), ws::WSAESOCKTNOSUPPORT);

  const ws::SOCKET s = NewSocket();
  ws::sockaddr_in address = LoopbackAddress(0);
  EXPECT_EQ(Failure(wsa_->bind(s, AsAddress(address), 8)), ws::WSAEFAULT);
  address.sin_family = 23;
  EXPECT_EQ(Failure(wsa_->bind(s, AsAddress(address), sizeof address)), ws::WSAEAFNOSUPPORT);
  ws::sockaddr_in name{};
  auto* nameRecord = reinterpret_cast<ws::sockaddr*>(&name);
  int length = sizeof name;
  EXPECT_EQ(Failure(wsa_->getsockname(s, nameRecord, &length)), ws::WSAEINVAL) << "not bound";
  EXPECT_EQ(Failure(wsa_->listen(s, 5)), ws::WSAEINVAL) << "listen needs a bound socket";
  char buffer[4];
  EXPECT_EQ(Failure(wsa_->send(s, "x", 1, 0)), ws::WSAENOTCONN);
  EXPECT_EQ(Failure(wsa_->recv(s, buffer, sizeof buffer, 0)), ws::WSAENOTCONN);

  address = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(s, AsAddress(address), sizeof address), 0);
  ASSERT_EQ(wsa_->getsockname(s, nameRecord, &length), 0);
  EXPECT_EQ(length, 16);
  EXPECT_EQ(name.sin_family, ws::AF_INET);
  EXPECT_STREQ(wsa_->inet_ntoa(name.sin_addr), "127.0.0.1");
  EXPECT_EQ(Failure(wsa_->getpeername(s, nameRecord, &length)), ws::WSAENOTCONN);
  const ws::SOCKET other = NewSocket();
  EXPECT_EQ(Failure(wsa_->bind(other, AsAddress(name), sizeof name)), ws::WSAEADDRINUSE);
  EXPECT_EQ(Failure(wsa_->connect(other, AsAddress(address), sizeof address)),
            ws::WSAEADDRNOTAVAIL);
}

TEST_F(SocketCalls, ANonBlockingConnectAnswersWouldBlockThenAlreadyOrConnected) {
  Listener listener;
  const ws::SOCKET s = NewSocket();
  ws::u_long on = 1;
  ASSERT_EQ(wsa_->ioctlsocket(s, ws::FIONBIO, &on), 0);
  const ws::sockaddr_in address = LoopbackAddress(listener.Port());
  EXPECT_EQ(Failure(wsa_->connect(s, AsAddress(address), sizeof address)), ws::WSAEWOULDBLOCK);
  const int again = Failure(wsa_->connect(s, AsAddress(address), sizeof address));
  EXPECT_TRUE(again == ws::WSAEALREADY || again == ws::WSAEISCONN) << again;
}

TEST_F(SocketCalls, SendingAfterAResetOrAShutdownFailsAsOnWindows) {
  Listener listener;
  // SIGPIPE keeps its default action here: a send that raised it would end
  // the test program.
  Peer reset;
  const ws::SOCKET isReset = BlockingConnected(listener, reset);
  reset.ResetAndClose();
  int result = 0;
  for (int attempt = 0; attempt < 1000 && result != ws::SOCKET_ERROR; ++attempt)
    result = wsa_->send(isReset, "data", 4, 0);
  EXPECT_EQ(Failure(result), ws::WSAECONNRESET);
  EXPECT_EQ(Failure(wsa_->send(isReset, "data", 4, 0)), ws::WSAECONNRESET);
  EXPECT_EQ(Recv(isReset), "<error 10054>");

  Peer shut;
  const ws::SOCKET isShut = BlockingConnected(listener, shut);
  ASSERT_EQ(wsa_->shutdown(isShut, ws::SD_SEND), 0);
  EXPECT_EQ(Failure(wsa_->send(isShut, "data", 4, 0)), ws::WSAESHUTDOWN);
  EXPECT_EQ(shut.ReadToEnd(), Peer::End::Closed);
  EXPECT_EQ(Failure(wsa_->shutdown(isShut, 7)), ws::WSAEINVAL);
}

TEST_F(SocketCalls, LingerOnWithZeroSecondsResetsAtCloseAndTheDefaultClosesGracefully) {
  Listener listener;
  Peer lingeringPeer;
  const ws::SOCKET lingering = BlockingConnected(listener, lingeringPeer);
  const ws::linger abortive{1, 0};
  ASSERT_EQ(wsa_->setsockopt(lingering, ws::SOL_SOCKET, ws::SO_LINGER,
                             reinterpret_cast<const char*>(&abortive), sizeof abortive),
            0);
  Close(lingering);
  EXPECT_EQ(lingeringPeer.ReadToEnd(), Peer::End::Reset);

  Peer plainPeer;
  Close(BlockingConnected(listener, plainPeer));
  EXPECT_EQ(plainPeer.ReadToEnd(), Peer::End::Closed);
}

TEST_F(SocketCalls, WindowsOptionNumbersReachTheSystemAsTheRightSettings) {
  const ws::SOCKET s = NewSocket();
  const ws::sockaddr_in local = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(s, AsAddress(local), sizeof local), 0);
  const auto system = [&] { return ViewSocketOnPort(BoundPort(s)).value_or(SystemSocketView{}); };
  const struct {
    int option;
    bool SystemSocketView::*setting;
  } flags[] = {{ws::SO_KEEPALIVE, &SystemSocketView::keepAlive},
               {ws::SO_REUSEADDR, &SystemSocketView::reuseAddress},
               {ws::SO_BROADCAST, &SystemSocketView::broadcast}};
  // Streams carry short interactive exchanges: small segments go out at once.
  EXPECT_TRUE(system().noDelay);
  for (const auto& flag : flags) {
    EXPECT_FALSE(system().*flag.setting) << flag.option;
    EXPECT_EQ(SetOption(s, ws::SOL_SOCKET, flag.option, -1), 0) << flag.option;
    EXPECT_TRUE(system().*flag.setting) << flag.option;
  }
  // Windows' linger record is two 16-bit fields.
  const ws::linger lingering{1, 7};
  ASSERT_EQ(wsa_->setsockopt(s, ws::SOL_SOCKET, ws::SO_LINGER,
                             reinterpret_cast<const char*>(&lingering), sizeof lingering),
            0);
  EXPECT_TRUE(system().lingerOn);
  EXPECT_EQ(system().lingerSeconds, 7);
  EXPECT_EQ(SetOption(s, ws::SOL_SOCKET, ws::SO_DONTLINGER, 1), 0);
  EXPECT_FALSE(system().lingerOn);

  ws::u_long mode = 1;
  ASSERT_EQ(wsa_->ioctlsocket(s, ws::FIONBIO, &mode), 0);
  EXPECT_TRUE(system().nonBlocking);
  mode = 0;
  ASSERT_EQ(wsa_->ioctlsocket(s, ws::FIONBIO, &mode), 0);
  EXPECT_FALSE(system().nonBlocking);

  // Our own option: taken by a stream, with a boolean's size like the others.
  EXPECT_EQ(SetOption(s, ws::IPPROTO_TCP, ws::TCP_ACK_EACH_RECEIVE, 1), 0);
  EXPECT_EQ(SetOption(s, ws::IPPROTO_TCP, ws::TCP_ACK_EACH_RECEIVE, 0), 0);
  EXPECT_EQ(Failure(SetOption(s, ws::IPPROTO_TCP, ws::TCP_ACK_EACH_RECEIVE, 1, 0)),
            ws::WSAEFAULT);
  EXPECT_EQ(Failure(SetOption(NewSocket(ws::SOCK_DGRAM), ws::IPPROTO_TCP,
                              ws::TCP_ACK_EACH_RECEIVE, 1)),
            ws::WSAENOPROTOOPT);

  EXPECT_EQ(Failure(SetOption(s, ws::SOL_SOCKET, 0x7777, -1)), ws::WSAENOPROTOOPT);
  EXPECT_EQ(Failure(SetOption(s, 0x1234, ws::SO_KEEPALIVE, -1)), ws::WSAEINVAL);
  EXPECT_EQ(Failure(SetOption(s, ws::SOL_SOCKET, ws::SO_LINGER, -1, 2)), ws::WSAEFAULT);
  EXPECT_EQ(Failure(wsa_->ioctlsocket(s, 0x12345, &mode)), ws::WSAEINVAL);
}

TEST_F(SocketCalls, IoctlCountsWaitingBytesAndASelectedSocketStaysNonBlocking) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = BlockingConnected(listener, peer);
  ASSERT_EQ(wsa_->WSAAsyncSelect(s, window_.Handle(), kSocketMessage, ws::FD_READ), 0);
  EXPECT_EQ(Recv(s), "<error 10035>");
  ASSERT_TRUE(peer.Send("12345"));
  Expect(s, ws::FD_READ);
  ws::u_long waiting = 0;
  ASSERT_EQ(wsa_->ioctlsocket(s, ws::FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 5u);
  ws::u_long mode = 0;
  EXPECT_EQ(Failure(wsa_->ioctlsocket(s, ws::FIONBIO, &mode)), ws::WSAEINVAL);
}

TEST_F(SocketCalls, DatagramsCarryTheirSenderAndTooLongOnesAreReported) {
  const ws::SOCKET s = NewSocket(ws::SOCK_DGRAM);
  const ws::sockaddr_in local = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(s, AsAddress(local), sizeof local), 0);
  ASSERT_EQ(wsa_->WSAAsyncSelect(s, window_.Handle(), kSocketMessage, ws::FD_READ), 0);
  Peer peer = Peer::Datagram();

  ASSERT_TRUE(peer.SendTo(BoundPort(s), "hello"));
  Expect(s, ws::FD_READ);
  char buffer[16];
  ws::sockaddr_in from{};
  int fromLength = sizeof from;
  ASSERT_EQ(wsa_->recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<ws::sockaddr*>(&from),
                           &fromLength),
            5);
  EXPECT_EQ(PortOf(from), peer.LocalPort());

  ASSERT_TRUE(peer.SendTo(BoundPort(s), std::string(100, 'z')));
  Expect(s, ws::FD_READ);
  EXPECT_EQ(Failure(wsa_->recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr)),
            ws::WSAEMSGSIZE);

  const ws::sockaddr_in to = LoopbackAddress(peer.LocalPort());
  ASSERT_EQ(wsa_->sendto(s, "reply", 5, 0, AsAddress(to), sizeof to), 5);
  EXPECT_EQ(peer.ReceiveSome(), "reply");
  EXPECT_EQ(Failure(wsa_->send(s, "x", 1, 0)), ws::WSAENOTCONN) << "no peer for a datagram";
}

}  // namespace
}  // namespace wsock_test
