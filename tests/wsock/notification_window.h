// A hidden window that records the messages posted to it, and waits for them
// with a deadline by watching the thread's message-queue descriptor.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "wsock/wsock_api.h"

namespace wsock_test {

inline constexpr win::UINT kSocketMessage = 1025;
inline constexpr win::UINT kHostByNameMessage = 1026;
inline constexpr win::UINT kHostByAddrMessage = 1027;
inline constexpr win::UINT kMarkerMessage = 1030;

struct Notification {
  win::UINT message = 0;
  win::WPARAM wParam = 0;
  win::LPARAM lParam = 0;

  int Event() const { return ws::WSAGETSELECTEVENT(lParam); }
  int Error() const { return ws::WSAGETSELECTERROR(lParam); }
};

using NotificationMatch = std::function<bool(const Notification&)>;

// Matches a select notification of `socket` for `event`.
NotificationMatch SocketEvent(ws::SOCKET socket, long event);

class NotificationWindow {
 public:
  NotificationWindow();
  ~NotificationWindow();
  NotificationWindow(const NotificationWindow&) = delete;
  NotificationWindow& operator=(const NotificationWindow&) = delete;

  win::HWND Handle() const { return window_; }

  // Dispatches messages until a recorded one, not yet waited for, matches;
  // that one is returned. Nothing when the deadline passes first.
  std::optional<Notification> WaitFor(const NotificationMatch& match,
                                      std::chrono::milliseconds deadline = std::chrono::seconds(10));
  // Dispatches what is queued now.
  void Pump();

  // Everything received so far, in arrival order.
  const std::vector<Notification>& History() const { return history_; }
  int Count(const NotificationMatch& match) const;
  // Position in History() of the first match, or -1.
  int IndexOf(const NotificationMatch& match) const;

 private:
  static win::LRESULT Procedure(win::HWND window, win::UINT message, win::WPARAM wParam,
                                win::LPARAM lParam);

  win::HWND window_ = nullptr;
  std::vector<Notification> history_;
  std::vector<bool> waitedFor_;
};

}  // namespace wsock_test
