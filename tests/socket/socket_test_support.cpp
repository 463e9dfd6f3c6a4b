// The socket test helpers.
#include "socket_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/message_processing.h"
#include "platform/window_messages.h"

namespace sockettest {
namespace {

// Installed on the thread that runs the tests before any of them starts.
[[maybe_unused]] const bool kPeersServeMessages = [] {
  support::ServeWhileWaiting(win::MessageQueueDescriptor(), [] { platform::ProcessMessages(); });
  return true;
}();

}  // namespace

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  platform::ProcessMessages();
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    platform::ProcessMessagesWaiting(static_cast<int>(std::min<long long>(left.count(), 50)));
  }
  return true;
}

void StartConnect(net::TCustomAsyncSocket& socket, const std::string& port) {
  socket.SetProto("tcp");
  socket.SetPort(port);
  socket.SetAddr("127.0.0.1");
  socket.Connect();
}

int ConnectAndWait(net::TCustomAsyncSocket& socket, const std::string& port) {
  int result = -1;
  auto previous = socket.OnSessionConnected;
  socket.OnSessionConnected = [&](net::TCustomAsyncSocket* sender, std::uint16_t error) {
    result = error;
    if (previous) previous(sender, error);
  };
  StartConnect(socket, port);
  PumpUntil([&] { return result != -1; });
  socket.OnSessionConnected = previous;
  return result;
}

void ConnectPeer(net::TCustomAsyncSocket& socket, Listener& listener, Peer& peer) {
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  peer = listener.Accept();
  ASSERT_TRUE(peer.Valid());
}

void Deliver(net::TCustomAsyncSocket& socket, ws::SOCKET handle, long events, long error) {
  net::TCustomAsyncSocket::WindowProc(socket.WindowHandle(), net::WM_ASYNCSELECT, handle,
                                      ws::WSAMAKESELECTREPLY(events, error));
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::Exception& e) {
    return e.Message();
  }
  return "no exception";
}

void EventLog::Attach(net::TCustomAsyncSocket& socket) {
  static const char* const kStates[] = {"Invalid",   "Opened",    "Bound",     "Connecting",
                                        "Connected", "Accepting", "Listening", "Closed"};
  socket.OnChangeState = [this](net::TCustomAsyncSocket*, net::TSocketState from,
                                net::TSocketState to) {
    lines.push_back(std::string("state ") + kStates[from] + ">" + kStates[to]);
  };
  const auto recorder = [this](const char* what) {
    return [this, what](net::TCustomAsyncSocket*, std::uint16_t error) {
      lines.push_back(what + std::to_string(error));
    };
  };
  socket.OnSessionConnected = recorder("connected ");
  socket.OnSessionClosed = recorder("closed ");
  socket.OnDataSent = recorder("sent ");
}

bool EventLog::Has(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int EventLog::Count(const std::string& prefix) const {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.rfind(prefix, 0) == 0;
  }));
}

}  // namespace sockettest
