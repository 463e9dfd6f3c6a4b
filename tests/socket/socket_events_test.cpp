// Dispatch of the hidden window's messages: exceptions from handlers, stale
// and paused notifications, state-change reporting, pumping.
#include <gtest/gtest.h>

#include "socket_test_support.h"
#include "support/case_names.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

// An exception from OnSessionConnected aborts the connection, unless an
// OnBgException handler (whose own exception is swallowed) clears CanClose.
class SocketBackgroundExceptionTest : public ::testing::TestWithParam<bool> {};

TEST_P(SocketBackgroundExceptionTest, HandlerExceptionAbortsUnlessCanCloseIsCleared) {
  const bool keep = GetParam();
  Listener listener;
  TAsyncSocket socket(nullptr);
  bool thrown = false;
  socket.OnSessionConnected = [&](net::TCustomAsyncSocket*, std::uint16_t) {
    thrown = true;
    throw net::ESocketException("handler failed");
  };
  std::string seen = "none";
  if (keep) {
    socket.OnBgException = [&](net::TCustomAsyncSocket* sender, const std::exception& e,
                               bool& canClose) {
      EXPECT_EQ(sender, &socket);
      EXPECT_TRUE(canClose);
      seen = e.what();
      canClose = false;
      throw net::ESocketException("swallowed as well");
    };
  }
  StartConnect(socket, listener.PortText());
  ASSERT_TRUE(PumpUntil([&] { return thrown; }));
  EXPECT_EQ(seen, keep ? "handler failed" : "none");
  EXPECT_EQ(socket.State(), keep ? net::wsConnected : net::wsClosed);
  EXPECT_EQ(socket.SocketHandle() == ws::INVALID_SOCKET, !keep);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutClearing, SocketBackgroundExceptionTest, ::testing::Bool(),
                         support::FlagNames("Aborts", "CanCloseCleared"));

TEST(SocketReadLoopTest, DataHandlerExceptionIsSwallowedAndDataOfferedAgain) {
  Listener listener;
  TAsyncSocket socket(nullptr);
  Peer peer;
  ConnectPeer(socket, listener, peer);
  int calls = 0;
  std::string received;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    if (++calls == 1) {
      char first = 0;
      if (s->Receive(&first, 1) == 1) received += first;
      throw net::ESocketException("fails after one byte");
    }
    received += s->ReceiveStr();
  };
  bool background = false;
  socket.OnBgException = [&](net::TCustomAsyncSocket*, const std::exception&, bool&) {
    background = true;
  };
  peer.Send("abcdef");
  // The read re-armed the notification, so the rest is offered again.
  ASSERT_TRUE(PumpUntil([&] { return received == "abcdef"; }));
  EXPECT_EQ(socket.State(), net::wsConnected);
  EXPECT_FALSE(background);
}

TEST(SocketNotificationTest, StaleHandleAndPausedNotificationsAreIgnored) {
  EventLog log;  // outlives the socket, whose last close it may hear
  Listener listener;
  TAsyncSocket socket(nullptr);
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  log.Attach(socket);

  Deliver(socket, socket.SocketHandle() + 1000, ws::FD_CLOSE);
  ASSERT_EQ(socket.Pause(), 0);
  Deliver(socket, socket.SocketHandle(), ws::FD_CLOSE);
  EXPECT_EQ(socket.State(), net::wsConnected);
  EXPECT_TRUE(log.lines.empty());

  ASSERT_EQ(socket.Resume(), 0);
  Deliver(socket, socket.SocketHandle(), ws::FD_CLOSE, 10053);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"closed 10053", "state Connected>Closed"}));
}

TEST(SocketNotificationTest, CloseWhileConnectingChangesNothing) {
  Listener listener;
  TAsyncSocket socket(nullptr);
  StartConnect(socket, listener.PortText());
  ASSERT_EQ(socket.State(), net::wsConnecting);
  Deliver(socket, socket.SocketHandle(), ws::FD_CLOSE);
  EXPECT_EQ(socket.State(), net::wsConnecting);
  EXPECT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));
}

TEST(SocketNotificationTest, ReportedResetClosesTheHandleWithoutSessionEventOrReset) {
  EventLog log;  // outlives the socket, whose last close it may hear
  struct Reporting : TAsyncSocket {
    using TAsyncSocket::TAsyncSocket;
    void Report() { net::winsock::WSASetLastError(10054), ReportSocketError("test"); }
  };
  Listener listener;
  Reporting socket(nullptr);
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  log.Attach(socket);
  socket.OnError = [](net::TCustomAsyncSocket*) {};
  socket.Report();
  EXPECT_EQ(log.lines, std::vector<std::string>{"state Connected>Closed"});
  EXPECT_EQ(socket.LastError(), 10054);
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "no exception") << "Port and Addr still count";
}

TEST(SocketPumpTest, MultiThreadedPumpServesTheOwnQueueAndNotesQuit) {
  TAsyncSocket socket(nullptr);
  socket.SetMultiThreaded(true);
  int looked = 0;
  socket.OnDnsLookupDone = [&](net::TCustomAsyncSocket*, std::uint16_t) { ++looked; };
  // A lookup message for no pending lookup is dispatched and ignored.
  win::PostMessage(socket.WindowHandle(), net::WM_ASYNCGETHOSTBYNAME, 77, 0);
  win::PostQuitMessage(0);
  socket.PumpMessages();
  EXPECT_TRUE(socket.Terminated());
  EXPECT_EQ(looked, 0);
  EXPECT_FALSE(socket.ProcessOneMessage());
}

}  // namespace
