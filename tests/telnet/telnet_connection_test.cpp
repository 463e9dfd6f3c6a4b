// The connection's session life and data path against a loopback peer: what
// the owner receives, what goes out, how sessions end and begin again.
#include <algorithm>
#include <stdexcept>

#include "connection_fixture.h"

namespace telnet_test {
namespace {

using Session = ConnectionTest;

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
  EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST_F(Session, SocketDestroyedElsewhereIsForgotten) {
  delete conn.Socket();
  EXPECT_EQ(conn.Socket(), nullptr);
  EXPECT_NO_THROW(conn.Connect());
  EXPECT_NO_THROW(conn.Close());
  EXPECT_FALSE(conn.IsConnected());
  EXPECT_EQ(conn.Send("x", 1), -1);
  EXPECT_EQ(conn.SendStr("x"), -1);
  EXPECT_EQ(conn.SendStr(""), -1);
  EXPECT_TRUE(events.empty());
}

TEST_F(Session, DataArrivesUnchangedWithoutCommands) {
  Open();
  std::string plain;
  for (int b = 0; b < 255; ++b) plain += static_cast<char>(b);
  peer.Send(plain + Bytes({255, 255}) + "\r\n" + std::string(1, '\0'));
  const std::string expected = plain + Bytes({255}) + "\r\n" + std::string(1, '\0');
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= expected.size(); }));
  EXPECT_EQ(Hex(received), Hex(expected));
  EXPECT_EQ(badDeliveries, 0);
  // 244 to 248 are data, each traced by name on the way.
  std::vector<std::string> texts;
  for (std::size_t i = 1; i < tracePieces.size(); i += 2) texts.push_back(tracePieces[i]);
  EXPECT_EQ(texts, (std::vector<std::string>{"TNCH_IP\r\n", "TNCH_AO\r\n", "TNCH_AYT\r\n",
                                             "TNCH_EC\r\n", "TNCH_EL\r\n"}));
}

TEST_F(Session, LargeBurstIsReadInBlocksOfAtMost2048) {
  Open();
  std::string burst;
  for (int i = 0; i < 100000; ++i) burst += static_cast<char>('0' + i % 10);
  ASSERT_TRUE(peer.SendWhilePumping(burst));
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= burst.size(); }));
  EXPECT_EQ(received.size(), burst.size());
  EXPECT_TRUE(received == burst);
  EXPECT_GE(deliveries.size(), burst.size() / 2048);
  EXPECT_LE(*std::max_element(deliveries.begin(), deliveries.end()), 2048);
  EXPECT_EQ(badDeliveries, 0);
}

TEST_F(Session, NopAndGoAheadDeliverNothing) {
  Open();
  peer.Send(Bytes({255, 241, 255, 249}));
  ASSERT_TRUE(PumpUntil([&] { return tracePieces.size() == 4; }));
  EXPECT_TRUE(deliveries.empty());
  EXPECT_EQ(Hex(Exchange("a" + Bytes({255, 241}) + "b" + Bytes({255, 249}) + "c")), "");
  EXPECT_EQ(received, "abc<1>");
}

TEST_F(Session, TraceLinesAreNumberedAcrossTheProgram) {
  Open();
  peer.Send(Bytes({255, 241, 244, 255, 239}));
  ASSERT_TRUE(PumpUntil([&] { return tracePieces.size() == 6; }));
  EXPECT_EQ(tracePieces, (std::vector<std::string>{"0001 ", "Unknown F1 '\xF1'\r\n", "0002 ",
                                                   "TNCH_IP\r\n", "0003 ", "TNCH_EOR\r\n"}));
  EXPECT_EQ(telnet::TraceCounter(), 3);
  // At least four digits: a fifth appears when the count needs it.
  while (telnet::TraceCounter() < 0xFFFF) telnet::DebugTrace("x\r\n");
  tracePieces.clear();
  telnet::DebugTrace("y\r\n");
  EXPECT_EQ(tracePieces, (std::vector<std::string>{"10000 ", "y\r\n"}));
}

TEST_F(Session, RemoteCloseIsDisplayedWithoutDataEvent) {
  Open();
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return closedEvents > 0; }));
  EXPECT_EQ(displays, std::vector<std::string>{"\r\n**** Remote has closed ****\r\n"});
  EXPECT_TRUE(deliveries.empty());
  EXPECT_EQ(closedEvents, 1);
  EXPECT_FALSE(conn.IsConnected());
  EXPECT_EQ(conn.Socket()->State(), net::wsClosed);
}

TEST_F(Session, ResetByPeerIsDisplayedAsReadError) {
  Open();
  peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return !displays.empty(); }));
  EXPECT_EQ(displays.front(), "\r\n**** ERROR: 10054 ****\r\n");
  EXPECT_TRUE(deliveries.empty());
}

TEST_F(Session, CloseAndReconnectRaiseSessionClosedBeforeReturning) {
  Open();
  conn.Connect();  // still open: closes first, then opens anew
  EXPECT_EQ(closedEvents, 1);
  EXPECT_EQ(events.back(), "closed 0");
  EXPECT_TRUE(peer.WaitForEof());
  ASSERT_TRUE(PumpUntil([&] { return conn.IsConnected(); }));
  ASSERT_TRUE(peer.Accept());
  conn.Close();
  EXPECT_EQ(closedEvents, 2);
  EXPECT_FALSE(conn.IsConnected());
  EXPECT_TRUE(peer.WaitForEof());
}

TEST_F(Session, ParserStateCarriesIntoTheNextSession) {
  Open();
  peer.Send(Bytes({255, 251}));
  ASSERT_TRUE(PumpUntil([] { return telnet::SharedTelnetParser().PendingVerb() == 251; }));
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return closedEvents > 0; }));
  Open();
  EXPECT_EQ(Hex(Exchange(Bytes({1}))), Hex(Bytes({255, 253, 1})));
  EXPECT_EQ(received, "<1>");
}

TEST_F(Session, OwnerDataGoesOutUnchanged) {
  Open();
  EXPECT_EQ(conn.SendStr(""), 0);
  const std::string raw = "a" + Bytes({255}) + "b\r\n" + std::string(1, '\0') + "c";
  EXPECT_EQ(conn.SendStr(raw), static_cast<int>(raw.size()));
  EXPECT_EQ(conn.Send("zz", 1), 1);
  EXPECT_EQ(conn.SendStr("|"), 1);
  bool ok = false;
  EXPECT_EQ(Hex(peer.ReadUntilPumping("|", ok)), Hex(raw + "z"));
  EXPECT_TRUE(ok);
}

TEST_F(Session, ThrowingDataHandlerLosesOnlyItsOwnDelivery) {
  bool fail = true;
  conn.OnDataAvailable = [&](telnet::TTelnetConnection*, const char* buffer, int len) {
    RecordData(buffer, len);
    if (fail) {
      fail = false;
      throw std::runtime_error("owner failed");
    }
  };
  Open();
  peer.Send("first");
  ASSERT_TRUE(WaitForData("first"));
  EXPECT_EQ(conn.PendingDataCount(), 0);
  EXPECT_TRUE(conn.IsConnected());
  EXPECT_EQ(Hex(Exchange("second")), "");
  EXPECT_EQ(received, "firstsecond<1>");
}

TEST_F(Session, RefusedConnectionIsReportedInSessionConnected) {
  RefusingPort refusing;
  conn.SetPort(refusing.PortText());
  conn.Connect();
  EXPECT_TRUE(PumpUntil([&] { return connectedEvents > 0; }));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), "connected 10061");
  EXPECT_TRUE(PumpUntil([&] { return conn.Socket()->State() == net::wsClosed; }));
}

TEST_F(Session, BadPortReachesTheCaller) {
  conn.SetPort("no-such-service-name");
  EXPECT_THROW(conn.Connect(), net::ESocketException);
}

}  // namespace
}  // namespace telnet_test
