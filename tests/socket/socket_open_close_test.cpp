// Opening and closing: the state machine, its events and its refusals, against
// real loopback peers.
#include <gtest/gtest.h>

#include <memory>

#include "socket_test_support.h"
#include "support/case_names.h"

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
  EXPECT_EQ(log.lines, (std::vector<std::string>{"state Closed>Opened", "state Opened>Connecting",
                                                 "state Connecting>Connected", "connected 10061",
                                                 "state Connected>Closed", "closed 0"}));
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
}

TEST(SocketConnectTest, SecondConnectIsRefusedWhileTheFirstGoesOn) {
  Listener listener;
  TAsyncSocket socket(nullptr);
  StartConnect(socket, listener.PortText());
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "Connect: Socket already in use");
  EXPECT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));
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
  net::TSocketLingerOnOff lingerAtClose = net::wsLingerNoSet;
  socket.OnChangeState = [&](net::TCustomAsyncSocket* s, net::TSocketState, net::TSocketState to) {
    if (to == net::wsClosed) lingerAtClose = s->LingerOnOff();
  };
  socket.Abort();
  EXPECT_EQ(lingerAtClose, net::wsLingerOff);
  EXPECT_EQ(socket.LingerOnOff(), net::wsLingerOn) << "the close restored the default";
  EXPECT_EQ(peer.ReadToEnd(), Peer::End::Closed) << "drained, not reset";

  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  socket.Close();
  EXPECT_EQ(lingerAtClose, net::wsLingerOn);
}

// An owner that opens the socket again from the handler that hears of the
// end: the close that follows the handler must not take the new connection.
class SocketReopenTest : public ::testing::TestWithParam<bool> {};

TEST_P(SocketReopenTest, ConnectFromTheHandlerOfAFailedConnectSurvives) {
  const bool fromClosedEvent = GetParam();
  Listener listener;
  TAsyncSocket socket(nullptr);
  int closes = 0;
  const auto reconnect = [&](net::TCustomAsyncSocket* s) {
    if (s->State() != net::wsClosed) s->Close();
    StartConnect(socket, listener.PortText());
  };
  socket.OnSessionConnected = [&](net::TCustomAsyncSocket* s, std::uint16_t error) {
    if (error != 0 && !fromClosedEvent) reconnect(s);
  };
  if (fromClosedEvent) {
    socket.OnSessionClosed = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
      if (++closes == 1) reconnect(s);
    };
  }
  StartConnect(socket, support::RefusingPortText());
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));
  Peer peer = listener.Accept();
  ASSERT_TRUE(peer.Valid());
  if (fromClosedEvent) {
    // The new connection reports its own end.
    peer.Close();
    EXPECT_TRUE(PumpUntil([&] { return closes == 2; }));
  }
}

INSTANTIATE_TEST_SUITE_P(FromConnectedOrClosedEvent, SocketReopenTest, ::testing::Bool(),
                         support::FlagNames("FromConnectedEvent", "FromClosedEvent"));

TEST(SocketListenTest, UdpListenEndsConnected) {
  EventLog log;
  TAsyncSocket socket(nullptr);
  log.Attach(socket);
  ListenAnywhere(socket, "udp");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"state Closed>Bound", "state Bound>Listening",
                                                 "state Listening>Connected", "connected 0"}));
  EXPECT_NE(socket.GetBoundPort(), "0");
}

TEST(SocketListenTest, RefusedListensLeaveNoHandleBehind) {
  TAsyncSocket socket(nullptr);
  EXPECT_EQ(MessageOf([&] { socket.Listen(); }),
            "Error 10022 in function listen: port not assigned\r\nInvalid argument");

  TAsyncSocket first(nullptr);
  ListenAnywhere(first);
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
  server.OnSessionAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t error) {
    EXPECT_EQ(error, 0);
    served.Dup(s->Accept());
  };
  ListenAnywhere(server);
  ASSERT_EQ(server.State(), net::wsListening);

  ASSERT_EQ(ConnectAndWait(client, server.GetBoundPort()), 0);
  ASSERT_TRUE(PumpUntil([&] { return served.State() == net::wsConnected; }));
  EXPECT_EQ(servedLog.lines.front(), "state Closed>Connected");
  EXPECT_EQ(servedLog.Count("connected "), 0) << "Dup raises no session event";
  EXPECT_EQ(served.GetPeerAddr(), "127.0.0.1");

  std::string atServed;
  served.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    atServed += s->ReceiveStr();
  };
  client.SendStr("ping");
  ASSERT_TRUE(PumpUntil([&] { return atServed == "ping"; }));

  // The client closing reaches the adopted end as a close notification.
  client.Close();
  ASSERT_TRUE(PumpUntil([&] { return served.State() == net::wsClosed; }));
  EXPECT_EQ(servedLog.Count("closed "), 1);
  EXPECT_EQ(MessageOf([&] { client.Accept(); }),
            "Error 10022 in function not a listening socket\r\nInvalid argument");
}

TEST(SocketListenTest, OwnerDestroysItsSocketsAndTheLibraryGoesWithThem) {
  auto owner = std::make_unique<platform::TComponent>(nullptr);
  ListenAnywhere(*new TAsyncSocket(owner.get()));
  EXPECT_EQ(TAsyncSocket::LiveSocketCount(), 1);
  owner.reset();
  EXPECT_EQ(TAsyncSocket::LiveSocketCount(), 0);
  EXPECT_FALSE(net::SocketLibraryLoaded());
}

}  // namespace
