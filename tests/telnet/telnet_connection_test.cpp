// The connection's session life and data path against a loopback peer: what
// the owner receives, what goes out, how sessions end and begin again.
#include <algorithm>
#include <stdexcept>
#include <utility>

#include "connection_fixture.h"

namespace telnet_test {
namespace {

TEST(TelnetConnectionDefaults, PropertiesAndTheOwnedSocket) {
  platform::TComponent owner(nullptr);
  auto* conn = new telnet::TTelnetConnection(&owner);
  EXPECT_EQ(conn->Port(), "23");
  EXPECT_EQ(conn->Host(), "");
  EXPECT_EQ(conn->Location(), "VANTREL");
  EXPECT_EQ(conn->TermType(), "VT100");
  EXPECT_FALSE(conn->LocalEcho());
  EXPECT_FALSE(conn->IsConnected());
  net::TAsyncSocket* socket = conn->Socket();
  ASSERT_NE(socket, nullptr);
  EXPECT_EQ(socket->Owner(), conn);
  EXPECT_TRUE(socket->OnSessionConnected && socket->OnSessionClosed && socket->OnDataAvailable);
  EXPECT_FALSE(socket->OnDataSent || socket->OnChangeState || socket->OnError ||
               socket->OnBgException || socket->OnDnsLookupDone || socket->OnSessionAvailable);
}

TEST_F(ConnectionTest, SocketDestroyedElsewhereIsForgotten) {
  delete conn.Socket();
  EXPECT_EQ(conn.Socket(), nullptr);
  EXPECT_NO_THROW(conn.Connect());
  EXPECT_NO_THROW(conn.Close());
  EXPECT_FALSE(conn.IsConnected());
  EXPECT_EQ(conn.Send("x", 1), -1);
  EXPECT_EQ(conn.SendStr("x"), -1);
  EXPECT_TRUE(events.empty());
}

TEST_F(ConnectionTest, LargeBurstIsReadInBlocksOfAtMost2048) {
  Open();
  std::string burst;
  for (int i = 0; i < 100000; ++i) burst += static_cast<char>('0' + i % 10);
  ASSERT_TRUE(peer.Send(burst));
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= burst.size(); }));
  EXPECT_TRUE(received == burst);
  EXPECT_LE(*std::max_element(deliveries.begin(), deliveries.end()), 2048);
}

TEST_F(ConnectionTest, PeerEndIsDisplayedAndDeliversNothing) {
  Open();
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return closedEvents == 1; }));
  EXPECT_EQ(displays, std::vector<std::string>{"\r\n**** Remote has closed ****\r\n"});
  EXPECT_EQ(conn.Socket()->State(), net::wsClosed);
  Open();
  peer.ResetAndClose();
  ASSERT_TRUE(PumpUntil([&] { return displays.size() >= 2; }));
  EXPECT_EQ(displays[1], "\r\n**** ERROR: 10054 ****\r\n");
  EXPECT_TRUE(deliveries.empty());
}

TEST_F(ConnectionTest, CloseAndReconnectRaiseSessionClosedBeforeReturning) {
  Open();
  conn.Connect();  // still open: closes first, then opens anew
  EXPECT_EQ(events.back(), "closed 0");
  EXPECT_EQ(peer.ReadToEnd(), Peer::End::Closed);
  ASSERT_TRUE(PumpUntil([&] { return conn.IsConnected(); }));
  peer = listener.Accept();
  conn.Close();
  EXPECT_EQ(closedEvents, 2);
  EXPECT_FALSE(conn.IsConnected());
  EXPECT_EQ(peer.ReadToEnd(), Peer::End::Closed);
}

TEST_F(ConnectionTest, OwnerDataGoesOutUnchanged) {
  Open();
  EXPECT_EQ(conn.SendStr(""), 0);
  const std::string raw = Bytes({'a', 255, 'b', '\r', '\n', 0, 'c'});
  EXPECT_EQ(conn.SendStr(raw), static_cast<int>(raw.size()));
  EXPECT_EQ(conn.Send("zz", 1), 1);
  EXPECT_EQ(conn.SendStr("|"), 1);
  ASSERT_TRUE(peer.ReadUntil("|"));
  EXPECT_EQ(Hex(peer.Take()), Hex(raw + "z|"));
}

// The bound counts the bytes still queued: a send that brings them to the
// limit exactly goes, one byte more is refused and ends the connection.
TEST_F(ConnectionTest, SendBacklogIsBoundedAtExactlyOneMebibyte) {
  support::Listener tight(4096);  // a peer that reads nothing and holds little
  conn.SetPort(tight.PortText());
  conn.Connect();
  ASSERT_TRUE(PumpUntil([this] { return conn.IsConnected(); }));
  const Peer silent = tight.Accept();
  ASSERT_TRUE(silent.Valid());
  net::TAsyncSocket& socket = *conn.Socket();
  const std::string block(64 * 1024, 'b');
  for (int i = 0; i < 256 && socket.QueuedSendBytes() == 0; ++i) {
    ASSERT_EQ(conn.SendStr(block), static_cast<int>(block.size()));
  }
  ASSERT_GT(socket.QueuedSendBytes(), 0u) << "the system took everything";

  const std::size_t limit = telnet::TTelnetConnection::kSendBacklogLimit;
  ASSERT_EQ(limit, std::size_t{1} << 20);
  const std::string toLimit(limit - socket.QueuedSendBytes(), 'c');
  EXPECT_EQ(conn.SendStr(toLimit), static_cast<int>(toLimit.size()));
  EXPECT_FALSE(conn.SendBacklogExceeded());
  const std::string pastLimit(limit - socket.QueuedSendBytes() + 1, 'd');
  EXPECT_EQ(conn.SendStr(pastLimit), -1);
  EXPECT_TRUE(conn.SendBacklogExceeded());
  EXPECT_FALSE(conn.IsConnected());
}

TEST_F(ConnectionTest, ThrowingHandlersLoseOnlyTheirOwnWork) {
  bool failData = true;
  conn.OnDataAvailable = [&](auto*, const char* buffer, int len) {
    RecordData(buffer, len);
    if (std::exchange(failData, false)) throw std::runtime_error("owner failed");
  };
  conn.OnLocalEcho = [](auto*) { throw std::runtime_error("owner failed"); };
  Open();
  ASSERT_TRUE(peer.Send("first"));
  ASSERT_TRUE(WaitForData("first"));
  EXPECT_EQ(conn.PendingDataCount(), 0);
  // The reply is out before the handler fails, and the parser is past the command.
  ASSERT_TRUE(peer.Send(Bytes({255, 251, 1})));
  ASSERT_TRUE(peer.ReadUntil(Bytes({255, 253, 1})));
  peer.Take();
  EXPECT_EQ(Hex(Exchange("A")), "");
  EXPECT_EQ(received, "firstA<1>");
  EXPECT_TRUE(conn.IsConnected());
}

TEST_F(ConnectionTest, ConnectFailuresReachTheOwner) {
  conn.SetPort(support::RefusingPortText());
  conn.Connect();
  ASSERT_TRUE(PumpUntil([&] { return !events.empty(); }));
  EXPECT_EQ(events.front(), "connected 10061");
  conn.SetPort("no-such-service-name");
  EXPECT_THROW(conn.Connect(), net::ESocketException);
}

}  // namespace
}  // namespace telnet_test
