// Opening and closing: the state machine, its events and its refusals, against
// real loopback peers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

// A socket listening on a port of the system's choice on 127.0.0.1.
void ListenAnywhere(TAsyncSocket& socket, const char* proto = "tcp") {
  socket.SetProto(proto);
  socket.SetPort("0");
  socket.SetAddr("127.0.0.1");
  socket.Listen();
}

TEST(SocketConnectTest, RefusedConnectionPassesThroughConnectedToClosed) {
  EventLog log;
  TAsyncSocket socket(nullptr);
  log.Attach(socket);
  StartConnect(socket, support::RefusingPortText());
  ASSERT_TRUE(PumpUntil([&] { return log.Has("closed 0"); }));
  const std::vector<std::string> expected = {
      "state Closed>Opened", "state Opened>Connecting", "state Connecting>Connected",
      "connected 10061",     "state Connected>Closed",  "closed 0"};
  EXPECT_EQ(log.lines, expected);
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
}

TEST(SocketConnectTest, SecondConnectIsRefusedWhileTheFirstGoesOn) {
  Listener listener;
  TAsyncSocket socket(nullptr);
  StartConnect(socket, listener.PortText());
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "Connect: Socket already in use");
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));
  Peer peer = listener.Accept();
  socket.SendStr("first");
  EXPECT_EQ(peer.Receive(5), "first");
}

TEST(SocketConnectTest, CloseForgetsPortAndAddressAsAssignedAndASecondCloseFiresNothing) {
  Listener listener;
  EventLog log;
  TAsyncSocket socket(nullptr);
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  socket.Close();
  log.Attach(socket);
  socket.Close();
  socket.Abort();
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(socket.Port(), listener.PortText()) << "the text stays";
  EXPECT_EQ(socket.Proto(), "tcp");
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "Connect: No Port Specified");
  socket.SetPort(listener.PortText());
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "Connect: No IP Address Specified");
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
  Listener listener;
  TAsyncSocket socket(nullptr);
  Peer peer;
  ConnectPeer(socket, listener, peer);
  EXPECT_EQ(socket.LingerOnOff(), net::wsLingerOn);

  net::TSocketLingerOnOff lingerAtClose = net::wsLingerNoSet;
  socket.OnChangeState = [&](net::TCustomAsyncSocket* s, net::TSocketState, net::TSocketState to) {
    if (to == net::wsClosed) lingerAtClose = s->LingerOnOff();
  };
  socket.Abort();
  EXPECT_EQ(lingerAtClose, net::wsLingerOff);
  EXPECT_EQ(socket.LingerOnOff(), net::wsLingerOn) << "the close restored the default";
  EXPECT_EQ(peer.ReadToEnd(), Peer::End::Closed);

  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  socket.Close();
  EXPECT_EQ(lingerAtClose, net::wsLingerOn);
}

TEST(SocketListenTest, UdpListenEndsConnected) {
  EventLog log;
  TAsyncSocket socket(nullptr);
  log.Attach(socket);
  ListenAnywhere(socket, "udp");
  const std::vector<std::string> expected = {"state Closed>Bound", "state Bound>Listening",
                                             "state Listening>Connected", "connected 0"};
  EXPECT_EQ(log.lines, expected);
  EXPECT_NE(socket.GetBoundPort(), "error");
  EXPECT_NE(socket.GetBoundPort(), "0");
}

TEST(SocketListenTest, RefusedListensLeaveNoHandleBehind) {
  TAsyncSocket socket(nullptr);
  EXPECT_EQ(MessageOf([&] { socket.Listen(); }),
            "Error 10022 in function listen: port not assigned\r\nInvalid argument");
  EXPECT_EQ(socket.LastError(), 10022);

  TAsyncSocket first(nullptr);
  ListenAnywhere(first);
  ASSERT_EQ(first.State(), net::wsListening);
  socket.SetPort(first.GetBoundPort());
  socket.SetAddr("127.0.0.1");
  EXPECT_EQ(MessageOf([&] { socket.Listen(); }).rfind("Error 10048 in function Bind", 0), 0u);
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
  EXPECT_EQ(socket.State(), net::wsClosed);
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
  ListenAnywhere(server);
  ASSERT_EQ(server.State(), net::wsListening);

  ASSERT_EQ(ConnectAndWait(client, server.GetBoundPort()), 0);
  ASSERT_TRUE(PumpUntil([&] { return served.State() == net::wsConnected; }));
  EXPECT_EQ(available, 1);
  ASSERT_FALSE(servedLog.lines.empty());
  EXPECT_EQ(servedLog.lines.front(), "state Closed>Connected");
  EXPECT_FALSE(servedLog.Has("connected 0")) << "Dup raises no session event";
  EXPECT_EQ(served.GetPeerAddr(), "127.0.0.1");
  EXPECT_EQ(client.GetPeerAddr(), "127.0.0.1");

  std::string atServed, atClient;
  served.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    atServed += s->ReceiveStr();
  };
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
  client.Close();
  ASSERT_TRUE(PumpUntil([&] { return served.State() == net::wsClosed; }));
  EXPECT_TRUE(std::any_of(servedLog.lines.begin(), servedLog.lines.end(),
                          [](const std::string& line) { return line.rfind("closed ", 0) == 0; }));
  EXPECT_EQ(MessageOf([&] { client.Accept(); }),
            "Error 10022 in function not a listening socket\r\nInvalid argument");
}

TEST(SocketListenTest, OwnerDestroysItsSocketsAndTheLibraryGoesWithThem) {
  auto owner = std::make_unique<platform::TComponent>(nullptr);
  auto* socket = new TAsyncSocket(owner.get());
  ListenAnywhere(*socket);
  ASSERT_EQ(socket->State(), net::wsListening);
  EXPECT_EQ(TAsyncSocket::LiveSocketCount(), 1);
  owner.reset();
  EXPECT_EQ(TAsyncSocket::LiveSocketCount(), 0);
  EXPECT_FALSE(net::SocketLibraryLoaded());
}

}  // namespace
