// Dispatch of the hidden window's messages: exceptions from handlers, stale
// and paused notifications, state-change reporting.
#include <gtest/gtest.h>

#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

void Deliver(TAsyncSocket& socket, ws::SOCKET handle, long events, long error = 0) {
  TAsyncSocket::WindowProc(socket.WindowHandle(), net::WM_ASYNCSELECT, handle,
                           ws::WSAMAKESELECTREPLY(events, error));
}

TEST(SocketBackgroundExceptionTest, HandlerExceptionAbortsTheConnection) {
  EventLog log;  // outlives the socket, whose last close it may hear
  Listener listener;
  TAsyncSocket socket(nullptr);
  log.Attach(socket);
  socket.OnSessionConnected = [](net::TCustomAsyncSocket*, std::uint16_t) {
    throw net::ESocketException("handler failed");
  };
  StartConnect(socket, listener.PortText());
  ASSERT_TRUE(PumpUntil([&] { return log.Has("state Connected>Closed"); }));
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
}

TEST(SocketBackgroundExceptionTest, ClearingCanCloseKeepsTheConnection) {
  Listener listener;
  TAsyncSocket socket(nullptr);
  bool thrown = false;
  socket.OnSessionConnected = [&](net::TCustomAsyncSocket*, std::uint16_t) {
    thrown = true;
    throw std::runtime_error("not ours");
  };
  std::string seen;
  socket.OnBgException = [&](net::TCustomAsyncSocket* sender, const std::exception& e,
                             bool& canClose) {
    EXPECT_EQ(sender, &socket);
    EXPECT_TRUE(canClose);
    seen = e.what();
    canClose = false;
    throw net::ESocketException("swallowed as well");
  };
  StartConnect(socket, listener.PortText());
  ASSERT_TRUE(PumpUntil([&] { return thrown; }));
  EXPECT_EQ(seen, "not ours");
  EXPECT_EQ(socket.State(), net::wsConnected);
  Peer peer = listener.Accept();
  socket.SendStr("still here");
  EXPECT_EQ(peer.Receive(10), "still here");
}

TEST(SocketBackgroundExceptionTest, DataHandlerExceptionIsSwallowedAndDataOfferedAgain) {
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
  EXPECT_TRUE(socket.Paused());
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
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));
}

TEST(SocketNotificationTest, LostConnectionReportClosesAndReportsSameState) {
  EventLog log;  // outlives the socket, whose last close it may hear
  // A reset reported twice: the second time the state "changes" from closed
  // to closed and is still announced.
  class Reporting : public TAsyncSocket {
   public:
    using TAsyncSocket::TAsyncSocket;
    void Report(int code) {
      net::winsock::WSASetLastError(code);
      ReportSocketError("test");
    }
  };
  Listener listener;
  Reporting socket(nullptr);
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  log.Attach(socket);
  int errors = 0;
  socket.OnError = [&](net::TCustomAsyncSocket*) { ++errors; };
  socket.Report(10054);
  socket.Report(10054);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"state Connected>Closed", "state Closed>Closed"}));
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(socket.LastError(), 10054);
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
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
