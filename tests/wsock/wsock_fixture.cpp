// Loads the library the way the program's loader does (from the executable's
// folder, with local symbol scope, every entry point fetched by name), and the
// recording window and select fixture built on it.
#include "wsock_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"
#include "support/test_window.h"

namespace wsock_test {

#define WSOCK_TEST_NAME(name) #name,
const char* const kExportNames[30] = {WS_FOR_EACH_EXPORT(WSOCK_TEST_NAME)};
#undef WSOCK_TEST_NAME

namespace {

[[noreturn]] void GiveUp(const std::string& what) {
  std::fprintf(stderr, "wsock tests: %s\n", what.c_str());
  std::abort();
}

template <typename Function>
void Fetch(const WsockLibrary& library, const char* name, Function* out) {
  void* address = platform::GetProcAddress(library.module, name);
  if (address == nullptr) GiveUp(std::string("no export ") + name);
  *out = reinterpret_cast<Function>(address);
}

WsockLibrary Load() {
  WsockLibrary library;
  library.path = platform::ProgramDirectory() + ws::kLibraryFileName;
  library.module = platform::LoadLibrary(library.path);
  if (library.module == nullptr)
    GiveUp("cannot load " + library.path + ": " + platform::LastLoaderMessage());
#define WSOCK_TEST_FETCH(name) Fetch(library, #name, &library.name);
  WS_FOR_EACH_EXPORT(WSOCK_TEST_FETCH)
#undef WSOCK_TEST_FETCH
  return library;
}

}  // namespace

const WsockLibrary& Wsa() {
  static const WsockLibrary library = Load();
  return library;
}

StartedLibrary::StartedLibrary() {
  ws::WSAData data{};
  if (Wsa().WSAStartup(0x0101, &data) != 0) GiveUp("WSAStartup failed");
}

StartedLibrary::~StartedLibrary() { Wsa().WSACleanup(); }

ws::sockaddr_in LoopbackAddress(int port) {
  ws::sockaddr_in address{};
  address.sin_family = ws::AF_INET;
  const unsigned char bytes[6] = {
      static_cast<unsigned char>(port >> 8), static_cast<unsigned char>(port & 0xFF), 127, 0, 0, 1};
  std::memcpy(&address.sin_port, bytes, 2);
  std::memcpy(&address.sin_addr.s_addr, bytes + 2, 4);
  return address;
}

int PortOf(const ws::sockaddr_in& address) {
  unsigned char bytes[2];
  std::memcpy(bytes, &address.sin_port, sizeof bytes);
  return bytes[0] << 8 | bytes[1];
}

int BoundPort(ws::SOCKET s) {
  ws::sockaddr_in address{};
  int length = sizeof address;
  if (Wsa().getsockname(s, reinterpret_cast<ws::sockaddr*>(&address), &length) != 0) return -1;
  return PortOf(address);
}

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
  while (win::PeekMessage(&message, nullptr, 0, 0, win::PM_REMOVE)) win::DispatchMessage(&message);
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
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - support::Clock::now());
    if (left.count() <= 0) return std::nullopt;
    support::Readable(win::MessageQueueDescriptor(), left);
  }
}

int NotificationWindow::Count(const NotificationMatch& match) const {
  return static_cast<int>(std::count_if(history_.begin(), history_.end(), match));
}

int NotificationWindow::IndexOf(const NotificationMatch& match) const {
  const auto found = std::find_if(history_.begin(), history_.end(), match);
  return found == history_.end() ? -1 : static_cast<int>(found - history_.begin());
}

void SelectTest::SetUp() {
  marker_ = NewSocket(ws::SOCK_DGRAM);
  const ws::sockaddr_in any = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(marker_, AsAddress(any), sizeof any), 0);
  markerPort_ = BoundPort(marker_);
  ASSERT_EQ(wsa_->WSAAsyncSelect(marker_, window_.Handle(), kMarkerMessage, ws::FD_READ), 0);
  markerPeer_ = Peer::Datagram();
}

void SelectTest::TearDown() {
  for (ws::SOCKET s : open_) wsa_->closesocket(s);
  open_.clear();
}

ws::SOCKET SelectTest::NewSocket(int type) {
  const ws::SOCKET s = wsa_->socket(ws::AF_INET, type, 0);
  EXPECT_NE(s, ws::INVALID_SOCKET) << LastError();
  if (s != ws::INVALID_SOCKET) open_.push_back(s);
  return s;
}

ws::SOCKET SelectTest::Connected(Listener& listener, Peer& peer) {
  const ws::SOCKET s = ConnectSelected(listener.Port());
  peer = listener.Accept();
  EXPECT_EQ(Expect(s, ws::FD_CONNECT).Error(), 0);
  return s;
}

ws::SOCKET SelectTest::ConnectSelected(int port, long events) {
  const ws::SOCKET s = NewSocket();
  EXPECT_EQ(wsa_->WSAAsyncSelect(s, window_.Handle(), kSocketMessage, events), 0);
  const ws::sockaddr_in address = LoopbackAddress(port);
  EXPECT_EQ(wsa_->connect(s, AsAddress(address), sizeof address), ws::SOCKET_ERROR);
  EXPECT_EQ(LastError(), ws::WSAEWOULDBLOCK);
  return s;
}

Notification SelectTest::Expect(ws::SOCKET s, long event) {
  auto found = window_.WaitFor(SocketEvent(s, event));
  if (!found) ADD_FAILURE() << "no notification of event " << event << " for socket " << s;
  return found.value_or(Notification{});
}

std::string SelectTest::Recv(ws::SOCKET s, int size) {
  std::string buffer(static_cast<std::size_t>(size), '\0');
  const int n = wsa_->recv(s, buffer.data(), size, 0);
  if (n < 0) return "<error " + std::to_string(LastError()) + ">";
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

void SelectTest::MarkerRoundTrip() {
  ASSERT_TRUE(markerPeer_.SendTo(markerPort_, "mark"));
  const ws::SOCKET marker = marker_;
  const auto arrived = window_.WaitFor([marker](const Notification& n) {
    return n.message == kMarkerMessage && n.wParam == marker;
  });
  ASSERT_TRUE(arrived.has_value()) << "the notifications did not come round";
  ASSERT_EQ(Recv(marker_, 16), "mark");
}

void SelectTest::Barrier() {
  // One round trip may be posted in the very pass that is still handling an
  // earlier condition; the second one comes strictly after that pass.
  MarkerRoundTrip();
  MarkerRoundTrip();
}

void SelectTest::Close(ws::SOCKET s) {
  EXPECT_EQ(wsa_->closesocket(s), 0);
  open_.erase(std::remove(open_.begin(), open_.end(), s), open_.end());
}

}  // namespace wsock_test
