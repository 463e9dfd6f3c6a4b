// What the socket stand-in's tests share: the library as the program sees it
// (loaded at run time from the executable's folder and looked up by name), a
// hidden window that records what is posted to it, and a fixture for
// WSAAsyncSelect tests. Files that use it include no system socket header
// (those define AF_INET, SOL_SOCKET, ... as macros); the POSIX side of a test
// is the shared loopback peer.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/loopback_peer.h"
#include "wsock/wsock_api.h"

namespace wsock_test {

using support::Listener;
using support::Peer;

struct WsockLibrary {
  void* module = nullptr;
  std::string path;
#define WSOCK_TEST_SLOT(name) ws::PFN_##name name = nullptr;
  WS_FOR_EACH_EXPORT(WSOCK_TEST_SLOT)
#undef WSOCK_TEST_SLOT
};

// Loaded once per process; a missing library or export ends the test run.
const WsockLibrary& Wsa();
extern const char* const kExportNames[30];

// WSAStartup(1.1) for the lifetime of a test, balanced by WSACleanup.
class StartedLibrary {
 public:
  StartedLibrary();
  ~StartedLibrary();
  StartedLibrary(const StartedLibrary&) = delete;
  StartedLibrary& operator=(const StartedLibrary&) = delete;
  const WsockLibrary* operator->() const { return &Wsa(); }
};

// 127.0.0.1:port as the Windows address record and back; the port a library
// socket is bound to, or -1.
ws::sockaddr_in LoopbackAddress(int port);
int PortOf(const ws::sockaddr_in& address);
int BoundPort(ws::SOCKET s);
inline const ws::sockaddr* AsAddress(const ws::sockaddr_in& address) {
  return reinterpret_cast<const ws::sockaddr*>(&address);
}

inline constexpr win::UINT kSocketMessage = 1025;
inline constexpr win::UINT kHostByNameMessage = 1026;
inline constexpr win::UINT kMarkerMessage = 1030;

struct Notification {
  win::UINT message = 0;
  win::WPARAM wParam = 0;
  win::LPARAM lParam = 0;
  int Event() const { return ws::WSAGETSELECTEVENT(lParam); }
  int Error() const { return ws::WSAGETSELECTERROR(lParam); }
};

using NotificationMatch = std::function<bool(const Notification&)>;
// A select notification of `socket` for `event`.
NotificationMatch SocketEvent(ws::SOCKET socket, long event);

class NotificationWindow {
 public:
  NotificationWindow();
  ~NotificationWindow();
  NotificationWindow(const NotificationWindow&) = delete;
  NotificationWindow& operator=(const NotificationWindow&) = delete;

  win::HWND Handle() const { return window_; }
  // Dispatches messages until a recorded one, not yet waited for, matches;
  // nothing when the deadline passes first.
  std::optional<Notification> WaitFor(
      const NotificationMatch& match,
      std::chrono::milliseconds deadline = std::chrono::seconds(10));
  void Pump();  // dispatches what is queued now
  const std::vector<Notification>& History() const { return history_; }
  int Count(const NotificationMatch& match) const;
  int IndexOf(const NotificationMatch& match) const;  // first in History(), or -1

 private:
  static win::LRESULT Procedure(win::HWND window, win::UINT message, win::WPARAM wParam,
                                win::LPARAM lParam);
  win::HWND window_ = nullptr;
  std::vector<Notification> history_;
  std::vector<bool> waitedFor_;
};

// What the system itself holds for the only descriptor of this process bound
// to loopback `port` (nothing when there is none), so a test can tell that a
// Windows number reached the system as the right setting.
struct SystemSocketView {
  bool keepAlive = false, reuseAddress = false, broadcast = false;
  bool lingerOn = false, nonBlocking = false, noDelay = false;
  int lingerSeconds = 0;
};
std::optional<SystemSocketView> ViewSocketOnPort(int port);

inline constexpr long kClientEvents =
    ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE;

// A started library, a recording window and a "marker" datagram socket.
// Barrier() proves that the library has looked at every socket since
// the call began, so a test can say that a notification did NOT come without
// waiting for a fixed time.
class SelectTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  ws::SOCKET NewSocket(int type = ws::SOCK_STREAM);
  // A stream socket selected for `events`, connecting to 127.0.0.1:port; the
  // connect must answer "would block".
  ws::SOCKET ConnectSelected(int port, long events = kClientEvents);
  // A selected socket connected to a peer of `listener`, its FD_CONNECT seen.
  ws::SOCKET Connected(Listener& listener, Peer& peer);
  // The socket's next notification of `event`; a failure when none comes.
  Notification Expect(ws::SOCKET s, long event);
  int Count(ws::SOCKET s, long event) const { return window_.Count(SocketEvent(s, event)); }
  // What one recv of at most `size` bytes gives, or "<error N>".
  std::string Recv(ws::SOCKET s, int size = 64);
  int LastError() const { return wsa_->WSAGetLastError(); }
  void Barrier();
  void Close(ws::SOCKET s);

  StartedLibrary wsa_;
  NotificationWindow window_;

 private:
  void MarkerRoundTrip();

  std::vector<ws::SOCKET> open_;
  ws::SOCKET marker_ = ws::INVALID_SOCKET;
  int markerPort_ = 0;
  Peer markerPeer_;
};

}  // namespace wsock_test
