// The WSAAsyncSelect test fixture.
#include "select_fixture.h"

#include <algorithm>

namespace wsock_test {

void SelectTest::SetUp() {
  marker_ = NewSocket(ws::SOCK_DGRAM);
  const ws::sockaddr_in any = LoopbackAddress(0);
  ASSERT_EQ(wsa_->bind(marker_, AsAddress(any), sizeof any), 0);
  markerPort_ = BoundPort(marker_);
  ASSERT_GT(markerPort_, 0);
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
  if (!found) {
    ADD_FAILURE() << "no notification of event " << event << " for socket " << s;
    return Notification{};
  }
  return *found;
}

int SelectTest::Count(ws::SOCKET s, long event) const {
  return window_.Count(SocketEvent(s, event));
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
  ASSERT_TRUE(arrived.has_value()) << "the notification helper did not come round";
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
