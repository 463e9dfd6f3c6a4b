// Notifications are worked out on the thread that owns the selecting window:
// no thread of the library's own, a window of another thread hears its
// sockets there (re-armed from any thread), and a socket that waits for its
// recv leaves the queue's descriptor quiet.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "support/deadline.h"
#include "support/test_window.h"
#include "wsock_fixture.h"

namespace wsock_test {
namespace {

class OwnerThreadTest : public SelectTest {
 protected:
  // A test window of `procedure` that hears FD_READ of `s` from now on.
  win::HWND ReaderWindow(ws::SOCKET s, const char* className, win::WNDPROC procedure) {
    const win::HWND reader = support::NewTestWindow(className, procedure);
    EXPECT_EQ(wsa_->WSAAsyncSelect(s, reader, kSocketMessage, ws::FD_READ), 0);
    return reader;
  }
  static bool QueueReadable() { return support::Readable(win::MessageQueueDescriptor()); }
  // Dispatches what comes, sleeping while nothing does, until `done`.
  bool PumpUntil(const std::function<bool()>& done) {
    return support::WaitUntil([&] {
      window_.Pump();
      if (!done()) support::Readable(win::MessageQueueDescriptor(), std::chrono::milliseconds(100));
      return done();
    });
  }
};

int ThreadsOfThisProcess() {
  int count = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

TEST_F(OwnerThreadTest, TheNotificationsNeedNoThreadOfTheirOwn) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  ASSERT_TRUE(peer.Send("abc"));
  Expect(s, ws::FD_READ);
  EXPECT_EQ(Recv(s), "abc");
  peer.Close();
  Expect(s, ws::FD_CLOSE);
  EXPECT_EQ(ThreadsOfThisProcess(), 1);
}

TEST_F(OwnerThreadTest, ASocketWaitingForItsRecvLeavesTheQueueQuiet) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  Expect(s, ws::FD_WRITE);
  ASSERT_TRUE(peer.Send("abc"));
  Expect(s, ws::FD_READ);
  window_.Pump();
  // Bytes wait, but FD_READ is disarmed: nothing may wake the thread (a
  // descriptor that stayed readable would make every wait spin).
  EXPECT_FALSE(QueueReadable());
  EXPECT_EQ(Recv(s, 1), "a");
  Expect(s, ws::FD_READ);
  EXPECT_EQ(Recv(s), "bc");
  window_.Pump();
  EXPECT_FALSE(QueueReadable());
  ASSERT_TRUE(peer.Send("d"));
  EXPECT_TRUE(support::Readable(win::MessageQueueDescriptor(), support::kDeadline));
  Expect(s, ws::FD_READ);
}

TEST_F(OwnerThreadTest, AWindowOfAnotherThreadHearsItsSocketThereReArmedFromHere) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);

  std::promise<win::HWND> windowMade;
  std::promise<bool> firstRead;
  std::promise<bool> secondRead;
  std::thread other([&] {
    NotificationWindow window;
    windowMade.set_value(window.Handle());
    firstRead.set_value(window.WaitFor(SocketEvent(s, ws::FD_READ)).has_value());
    secondRead.set_value(window.WaitFor(SocketEvent(s, ws::FD_READ)).has_value());
  });
  const win::HWND otherWindow = windowMade.get_future().get();
  ASSERT_EQ(wsa_->WSAAsyncSelect(s, otherWindow, kSocketMessage, ws::FD_READ | ws::FD_CLOSE), 0);
  const std::size_t seenHere = window_.History().size();

  ASSERT_TRUE(peer.Send("abc"));
  auto first = firstRead.get_future();
  EXPECT_TRUE(first.get());
  // Nothing for the socket here, and this thread's queue is not woken by it.
  Barrier();
  for (std::size_t i = seenHere; i < window_.History().size(); ++i)
    EXPECT_NE(window_.History()[i].wParam, s);
  EXPECT_FALSE(QueueReadable());

  // A recv on this thread re-arms FD_READ for the other one, which sleeps in
  // its wait meanwhile.
  EXPECT_EQ(Recv(s), "abc");
  ASSERT_TRUE(peer.Send("d"));
  EXPECT_TRUE(secondRead.get_future().get());  // its wait has a deadline of its own
  other.join();
  EXPECT_EQ(Recv(s), "d");
}

TEST_F(OwnerThreadTest, BytesReadAheadComeOutInOrderCountedAndPeekedBeforeNewOnes) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  ASSERT_TRUE(peer.Send("abcdef"));
  Expect(s, ws::FD_READ);
  EXPECT_EQ(Recv(s, 2), "ab");
  ws::u_long waiting = 0;
  ASSERT_EQ(wsa_->ioctlsocket(s, ws::FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 4u);
  char peeked[16] = {};
  ASSERT_EQ(wsa_->recv(s, peeked, sizeof peeked, ws::MSG_PEEK), 4);
  EXPECT_EQ(std::string(peeked, 4), "cdef");

  // What arrives meanwhile is counted too, and comes after what was read ahead.
  ASSERT_TRUE(peer.Send("gh"));
  EXPECT_TRUE(support::WaitUntil([&] {
    return wsa_->ioctlsocket(s, ws::FIONREAD, &waiting) == 0 && waiting == 6;
  }));
  std::string all;
  while (all.size() < 6) {
    const std::string piece = Recv(s, 64);
    if (piece.empty() || piece[0] == '<') break;
    all += piece;
  }
  EXPECT_EQ(all, "cdefgh");
  EXPECT_EQ(Recv(s), "<error " + std::to_string(ws::WSAEWOULDBLOCK) + ">");
}

TEST_F(OwnerThreadTest, BytesCountedAsWaitingAreReceivedEvenRightAfterAShortRead) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  ASSERT_TRUE(peer.Send("ab"));
  Expect(s, ws::FD_READ);
  EXPECT_EQ(Recv(s), "ab");  // took all there was
  ASSERT_TRUE(peer.Send("cd"));
  ws::u_long waiting = 0;
  EXPECT_TRUE(support::WaitUntil([&] {
    return wsa_->ioctlsocket(s, ws::FIONREAD, &waiting) == 0 && waiting == 2;
  }));
  EXPECT_EQ(Recv(s), "cd");
}

// A window whose procedure takes one byte for each FD_READ, as a reader that
// takes only what it can handle does.
std::string bytewise;
ws::SOCKET bytewiseSocket = ws::INVALID_SOCKET;
int bytewiseNotices = 0;

win::LRESULT BytewiseReader(win::HWND window, win::UINT message, win::WPARAM wParam,
                            win::LPARAM lParam) {
  if (message != kSocketMessage || ws::WSAGETSELECTEVENT(lParam) != ws::FD_READ)
    return win::DefWindowProc(window, message, wParam, lParam);
  ++bytewiseNotices;
  char byte = 0;
  if (Wsa().recv(bytewiseSocket, &byte, 1, 0) == 1) bytewise += byte;
  return 0;
}

TEST_F(OwnerThreadTest, BytesAHandlerLeavesReadAheadBringFdReadAgainAfterIt) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  bytewise.clear();
  bytewiseNotices = 0;
  bytewiseSocket = s;
  const win::HWND reader = ReaderWindow(s, "BytewiseReader", BytewiseReader);
  ASSERT_TRUE(peer.Send("0123456789"));
  EXPECT_TRUE(PumpUntil([] { return bytewise.size() >= 10; }));
  EXPECT_EQ(bytewise, "0123456789");
  EXPECT_EQ(bytewiseNotices, 10);
  win::DestroyWindow(reader);
}

// A window procedure that, in its first FD_READ, takes what there is, then
// has the peer send more while it still runs: bytes counted as waiting are
// handed out at once; a receive right after a read that emptied what the
// system held does not ask the system again, and what came meanwhile comes
// with the next FD_READ.
struct LateArrivals {
  ws::SOCKET socket = ws::INVALID_SOCKET;
  Peer* peer = nullptr;
  std::string taken;
  std::string countedThenReceived;
  int rightAfterTheLastSend = 0;  // what the receive right after "ef" answered
  int notices = 0;
} late;

void TakeAll() {
  char buffer[64];
  for (int n; (n = Wsa().recv(late.socket, buffer, sizeof buffer, 0)) > 0;)
    late.taken.append(buffer, static_cast<std::size_t>(n));
}

win::LRESULT LateArrivalsReader(win::HWND window, win::UINT message, win::WPARAM wParam,
                                win::LPARAM lParam) {
  if (message != kSocketMessage || ws::WSAGETSELECTEVENT(lParam) != ws::FD_READ)
    return win::DefWindowProc(window, message, wParam, lParam);
  if (++late.notices > 1) {
    TakeAll();
    return 0;
  }
  char first[64];
  const int n = Wsa().recv(late.socket, first, sizeof first, 0);  // all there is
  late.taken.append(first, static_cast<std::size_t>(std::max(n, 0)));
  late.peer->Send("cd");
  ws::u_long waiting = 0;
  if (support::WaitUntil([&waiting] {
        return Wsa().ioctlsocket(late.socket, ws::FIONREAD, &waiting) == 0 && waiting == 2;
      })) {
    char buffer[8];
    const int n = Wsa().recv(late.socket, buffer, sizeof buffer, 0);
    late.countedThenReceived.assign(buffer, static_cast<std::size_t>(std::max(n, 0)));
  }
  late.peer->Send("ef");
  char buffer[8];
  late.rightAfterTheLastSend = Wsa().recv(late.socket, buffer, sizeof buffer, 0);
  if (late.rightAfterTheLastSend == ws::SOCKET_ERROR)
    late.rightAfterTheLastSend = -Wsa().WSAGetLastError();
  return 0;
}

TEST_F(OwnerThreadTest, BytesArrivingWhileAHandlerReadsAreCountedReceivedOrAnnounced) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  late = LateArrivals{};
  late.socket = s;
  late.peer = &peer;
  const win::HWND reader = ReaderWindow(s, "LateArrivalsReader", LateArrivalsReader);
  ASSERT_TRUE(peer.Send("ab"));
  EXPECT_TRUE(PumpUntil([] { return late.taken.size() >= 4; }));
  EXPECT_EQ(late.countedThenReceived, "cd");
  // The system was emptied by the read before: no asking again in this
  // handler; "ef" comes with the next FD_READ.
  EXPECT_EQ(late.rightAfterTheLastSend, -ws::WSAEWOULDBLOCK);
  EXPECT_EQ(late.notices, 2);
  EXPECT_EQ(late.taken, "abef");
  win::DestroyWindow(reader);
}


// The shortcut "no asking the system again right after a read that emptied
// it" holds only where an FD_READ will announce what comes next, and only
// after a read that really emptied it. A handler reads what waits, has the
// peer send more, looks first where the row says so, and receives once.
struct ShortcutCase {
  const char* name;
  long events;         // what the reader window is selected for
  std::size_t before;  // bytes waiting before the handler runs
  bool peekFirst;      // a peek between the peer's second send and the receive
};

struct Shortcut {
  ws::SOCKET socket = ws::INVALID_SOCKET;
  Peer* peer = nullptr;
  const ShortcutCase* row = nullptr;
  std::size_t taken = 0;
  std::string afterSend;  // what the receive after the second send gave
} shortcut;

win::LRESULT ShortcutReader(win::HWND window, win::UINT message, win::WPARAM wParam,
                            win::LPARAM lParam) {
  if (message != kMarkerMessage) return win::DefWindowProc(window, message, wParam, lParam);
  static char buffer[128 << 10];
  for (int n; shortcut.taken < shortcut.row->before &&
              (n = Wsa().recv(shortcut.socket, buffer, sizeof buffer, 0)) > 0;)
    shortcut.taken += static_cast<std::size_t>(n);
  shortcut.peer->Send("late");
  if (shortcut.row->peekFirst) Wsa().recv(shortcut.socket, buffer, 8, ws::MSG_PEEK);
  const int n = Wsa().recv(shortcut.socket, buffer, sizeof buffer, 0);
  shortcut.afterSend = n > 0 ? std::string(buffer, static_cast<std::size_t>(n))
                             : "<error " + std::to_string(Wsa().WSAGetLastError()) + ">";
  return 0;
}

class ReceiveShortcut : public OwnerThreadTest,
                        public ::testing::WithParamInterface<ShortcutCase> {};

TEST_P(ReceiveShortcut, TakesOnlyAnEmptyingReadInAHandlerOfFdReadAsNothingMore) {
  Listener listener;
  Peer peer;
  const ws::SOCKET s = Connected(listener, peer);
  shortcut = Shortcut{s, &peer, &GetParam(), 0, ""};
  ASSERT_TRUE(peer.Send(std::string(GetParam().before, 'x')));
  ws::u_long waiting = 0;
  ASSERT_TRUE(support::WaitUntil([&] {
    return wsa_->ioctlsocket(s, ws::FIONREAD, &waiting) == 0 && waiting == GetParam().before;
  }));
  const win::HWND reader = support::NewTestWindow("ShortcutReader", ShortcutReader);
  ASSERT_EQ(wsa_->WSAAsyncSelect(s, reader, kSocketMessage, GetParam().events), 0);
  win::PostMessage(reader, kMarkerMessage, 0, 0);
  EXPECT_TRUE(PumpUntil([] { return !shortcut.afterSend.empty(); }));
  EXPECT_EQ(shortcut.taken, GetParam().before);
  // Selected for FD_READ and not looked at since, "late" comes with the next FD_READ.
  const bool announced = GetParam().events == ws::FD_READ && !GetParam().peekFirst;
  EXPECT_EQ(shortcut.afterSend,
            announced ? "<error " + std::to_string(ws::WSAEWOULDBLOCK) + ">" : "late");
  win::DestroyWindow(reader);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReceiveShortcut,
    ::testing::Values(ShortcutCase{"FullReadAheadLeftMore", ws::FD_READ, (64 << 10) + 100, false},
                      ShortcutCase{"NotSelectedForRead", ws::FD_WRITE, 2, false},
                      ShortcutCase{"PeekFoundMore", ws::FD_READ, 2, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace wsock_test
