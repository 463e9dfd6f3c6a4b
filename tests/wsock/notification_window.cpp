// The recording window.
#include "notification_window.h"

#include "support/deadline.h"
#include "support/test_window.h"

namespace wsock_test {

NotificationMatch SocketEvent(ws::SOCKET socket, long event) {
  return [socket, event](const Notification& n) {
    return n.message == kSocketMessage && n.wParam == socket && n.Event() == event;
  };
}

NotificationWindow::NotificationWindow() {
  window_ = support::NewTestWindow("WsockTestNotificationWindow", &NotificationWindow::Procedure);
  win::SetWindowLong(window_, 0, reinterpret_cast<win::LONG_PTR>(this));
}

NotificationWindow::~NotificationWindow() {
  win::SetWindowLong(window_, 0, 0);
  win::DestroyWindow(window_);
}

win::LRESULT NotificationWindow::Procedure(win::HWND window, win::UINT message, win::WPARAM wParam,
                                           win::LPARAM lParam) {
  auto* self = reinterpret_cast<NotificationWindow*>(win::GetWindowLong(window, 0));
  if (self == nullptr || message < win::WM_USER)
    return win::DefWindowProc(window, message, wParam, lParam);
  self->history_.push_back(Notification{message, wParam, lParam});
  self->waitedFor_.push_back(false);
  return 0;
}

void NotificationWindow::Pump() {
  win::MSG message;
  while (win::PeekMessage(&message, nullptr, 0, 0, win::PM_REMOVE)) {
    win::TranslateMessage(&message);
    win::DispatchMessage(&message);
  }
}

std::optional<Notification> NotificationWindow::WaitFor(const NotificationMatch& match,
                                                        std::chrono::milliseconds deadline) {
  const auto end = support::Clock::now() + deadline;
  for (;;) {
    Pump();
    for (std::size_t i = 0; i < history_.size(); ++i) {
      if (!waitedFor_[i] && match(history_[i])) {
        waitedFor_[i] = true;
        return history_[i];
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - support::Clock::now());
    if (left.count() <= 0) return std::nullopt;
    support::Readable(win::MessageQueueDescriptor(), left);
  }
}

int NotificationWindow::Count(const NotificationMatch& match) const {
  int count = 0;
  for (const Notification& n : history_) count += match(n) ? 1 : 0;
  return count;
}

int NotificationWindow::IndexOf(const NotificationMatch& match) const {
  for (std::size_t i = 0; i < history_.size(); ++i)
    if (match(history_[i])) return static_cast<int>(i);
  return -1;
}

}  // namespace wsock_test
