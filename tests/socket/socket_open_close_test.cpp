// Opening and closing: the state machine, its events and its refusals, against
// real loopback peers.
#include <gtest/gtest.h>

#include <memory>

#include "socket/async_socket.h"
#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

std::string Message(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::Exception& e) {
    return e.Message();
  }
  return "no exception";
}

TEST(SocketConnectTest, RefusedConnectionPassesThroughConnectedToClosed) {
  RefusingPort refusing;
  EventLog log;
  TAsyncSocket socket(nullptr);
  log.Attach(socket);
  socket.SetPort(refusing.PortText());
  socket.SetAddr("127.0.0.1");
  socket.Connect();
  ASSERT_TRUE(PumpUntil([&] { return log.Has("closed 0"); }));
  const std::vector<std::string> expected = {
      "state Closed>Opened", "state Opened>Connecting", "state Connecting>Connected",
      "connected 10061",     "state Connected>Closed",  "closed 0"};
  EXPECT_EQ(log.lines, expected);
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
}

TEST(SocketConnectTest, SecondConnectIsRefusedWhileTheFirstGoesOn) {
  PosixListener listener;
  TAsyncSocket socket(nullptr);
  socket.SetPort(listener.PortText());
  socket.SetAddr("127.0.0.1");
  socket.Connect();
  EXPECT_EQ(Message([&] { socket.Connect(); }), "Connect: Socket already in use");
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));
  const int peer = listener.AcceptPumping();
  ASSERT_GE(peer, 0);
  socket.SendStr("first");
  EXPECT_EQ(ReadPumping(peer, 5), "first");
  CloseFd(peer);
}

TEST(SocketConnectTest, CloseForgetsPortAndAddressAsAssigned) {
  PosixListener listener;
  TAsyncSocket socket(nullptr);
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  socket.Close();
  EXPECT_EQ(socket.Port(), listener.PortText()) << "the text stays";
  EXPECT_EQ(socket.Proto(), "tcp");
  EXPECT_EQ(Message([&] { socket.Connect(); }), "Connect: No Port Specified");
  socket.SetPort(listener.PortText());
  EXPECT_EQ(Message([&] { socket.Connect(); }), "Connect: No IP Address Specified");
}

TEST(SocketConnectTest, CloseOnAClosedSocketFiresNothing) {
  EventLog log;
  TAsyncSocket socket(nullptr);
  log.Attach(socket);
  socket.Close();
  socket.Abort();
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(socket.State(), net::wsClosed);
}

TEST(SocketConnectTest, WithOnErrorAFailureNotifiesOnceAndReturnsQuietly) {
  EventLog log;
  TAsyncSocket socket(nullptr);
  log.Attach(socket);
  int errors = 0;
  socket.OnError = [&](net::TCustomAsyncSocket* sender) {
    EXPECT_EQ(sender, &socket);
    ++errors;
  };
  socket.SetAddr("127.0.0.1");
  EXPECT_NO_THROW(socket.Connect());
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(socket.State(), net::wsClosed);
  EXPECT_TRUE(log.lines.empty());

  // A reported socket error keeps its code for the handler to read.
  EXPECT_EQ(socket.Accept(), ws::INVALID_SOCKET);
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(socket.LastError(), 10022);
}

TEST(SocketConnectTest, AbortTurnsLingerOffForTheCloseOnly) {
  PosixListener listener;
  TAsyncSocket socket(nullptr);
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  const int peer = listener.AcceptPumping();
  ASSERT_GE(peer, 0);
  EXPECT_EQ(socket.LingerOnOff(), net::wsLingerOn);

  net::TSocketLingerOnOff lingerAtClose = net::wsLingerNoSet;
  socket.OnChangeState = [&](net::TCustomAsyncSocket* s, net::TSocketState, net::TSocketState to) {
    if (to == net::wsClosed) lingerAtClose = s->LingerOnOff();
  };
  socket.Abort();
  EXPECT_EQ(lingerAtClose, net::wsLingerOff);
  EXPECT_EQ(socket.LingerOnOff(), net::wsLingerOn) << "the close restored the default";
  EXPECT_TRUE(PeerClosedPumping(peer));
  CloseFd(peer);

  lingerAtClose = net::wsLingerNoSet;
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  socket.Close();
  EXPECT_EQ(lingerAtClose, net::wsLingerOn);
}

TEST(SocketListenTest, UdpListenEndsConnected) {
  EventLog log;
  TAsyncSocket socket(nullptr);
  log.Attach(socket);
  socket.SetProto("udp");
  socket.SetPort("0");
  socket.SetAddr("127.0.0.1");
  socket.Listen();
  const std::vector<std::string> expected = {"state Closed>Bound", "state Bound>Listening",
                                             "state Listening>Connected", "connected 0"};
  EXPECT_EQ(log.lines, expected);
  EXPECT_EQ(socket.State(), net::wsConnected);
  EXPECT_NE(socket.GetBoundPort(), "error");
  EXPECT_NE(socket.GetBoundPort(), "0");
}

TEST(SocketListenTest, ListenWithoutPortSetsInvalidArgument) {
  TAsyncSocket socket(nullptr);
  EXPECT_EQ(Message([&] { socket.Listen(); }),
            "Error 10022 in function listen: port not assigned\r\nInvalid argument");
  EXPECT_EQ(socket.LastError(), 10022);
}

TEST(SocketListenTest, BindFailureLeavesNoHandleBehind) {
  TAsyncSocket first(nullptr);
  first.SetPort("0");
  first.SetAddr("127.0.0.1");
  first.Listen();
  ASSERT_EQ(first.State(), net::wsListening);

  TAsyncSocket second(nullptr);
  second.SetPort(first.GetBoundPort());
  second.SetAddr("127.0.0.1");
  EXPECT_EQ(Message([&] { second.Listen(); }).rfind("Error 10048 in function Bind", 0), 0u);
  EXPECT_EQ(second.SocketHandle(), ws::INVALID_SOCKET);
  EXPECT_EQ(second.State(), net::wsClosed);
}

TEST(SocketListenTest, ListenAcceptAndDupConnectTwoObjects) {
  EventLog servedLog;
  TAsyncSocket server(nullptr);
  TAsyncSocket served(nullptr);
  TAsyncSocket client(nullptr);
  servedLog.Attach(served);
  int available = 0;
  server.OnSessionAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t error) {
    EXPECT_EQ(error, 0);
    ++available;
    served.Dup(s->Accept());
  };
  server.SetPort("0");
  server.SetAddr("127.0.0.1");
  server.Listen();
  ASSERT_EQ(server.State(), net::wsListening);
  const std::string port = server.GetBoundPort();

  ASSERT_EQ(ConnectAndWait(client, port), 0);
  ASSERT_TRUE(PumpUntil([&] { return served.State() == net::wsConnected; }));
  EXPECT_EQ(available, 1);
  ASSERT_FALSE(servedLog.lines.empty());
  EXPECT_EQ(servedLog.lines.front(), "state Closed>Connected");
  EXPECT_FALSE(servedLog.Has("connected 0")) << "Dup raises no session event";
  EXPECT_EQ(served.GetPeerAddr(), "127.0.0.1");
  EXPECT_EQ(client.GetPeerAddr(), "127.0.0.1");
  EXPECT_EQ(client.GetPeerAddr(), served.GetPeerAddr());

  std::string atServed;
  served.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    atServed += s->ReceiveStr();
  };
  std::string atClient;
  client.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    char buffer[64];
    const int n = s->Receive(buffer, sizeof buffer);
    if (n > 0) atClient.append(buffer, static_cast<std::size_t>(n));
  };
  client.SendStr("ping");
  ASSERT_TRUE(PumpUntil([&] { return atServed == "ping"; }));
  served.SendStr("pong");
  ASSERT_TRUE(PumpUntil([&] { return atClient == "pong"; }));
  EXPECT_EQ(client.ReadCount(), 4);

  // The client closing reaches the adopted end as a close notification.
  int servedClosed = -1;
  served.OnSessionClosed = [&](net::TCustomAsyncSocket*, std::uint16_t error) {
    servedClosed = error;
  };
  client.Close();
  ASSERT_TRUE(PumpUntil([&] { return served.State() == net::wsClosed; }));
  EXPECT_NE(servedClosed, -1);

  EXPECT_EQ(Message([&] { client.Accept(); }),
            "Error 10022 in function not a listening socket\r\nInvalid argument");
}

TEST(SocketListenTest, OwnerDestroysItsSocketsAndTheLibraryGoesWithThem) {
  auto owner = std::make_unique<platform::TComponent>(nullptr);
  auto* socket = new TAsyncSocket(owner.get());
  socket->SetPort("0");
  socket->SetAddr("127.0.0.1");
  socket->Listen();
  ASSERT_EQ(socket->State(), net::wsListening);
  EXPECT_EQ(TAsyncSocket::LiveSocketCount(), 1);
  owner.reset();
  EXPECT_EQ(TAsyncSocket::LiveSocketCount(), 0);
  EXPECT_FALSE(net::SocketLibraryLoaded());
}

}  // namespace
