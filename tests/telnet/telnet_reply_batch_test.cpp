// The replies to one read leave in one send, in the order the requests came,
// and the session does not wait to fill segments.
#include "connection_fixture.h"
#include "tcp_probe.h"

namespace telnet_test {
namespace {

struct BatchCase {
  const char* name;
  std::string fromServer;
  int sends;  // the connection's sends for the replies
};

void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.name; }

class ReplyBatch : public ConnectionTest, public testing::WithParamInterface<BatchCase> {
 protected:
  // Counts the connection's sends from here on: each send that goes out at
  // once is followed by one sent-notice of the socket.
  void CountSends() {
    conn.Socket()->OnDataSent = [this](net::TCustomAsyncSocket*, std::uint16_t) { ++sends; };
  }
  int sends = 0;
};

const std::string kWillEchoReply = Bytes({255, 253, 1});

TEST_P(ReplyBatch, OneSendPerRead) {
  const BatchCase& c = GetParam();
  // The socket's first notice says it can be sent to, once connected; on a
  // busy machine it may come after the connection is reported.
  CountSends();
  Open();
  ASSERT_TRUE(PumpUntil([this] { return sends >= 1; }));
  sends = 0;
  // The fixture's own mark is one more send.
  const std::string sent = Exchange(c.fromServer);
  ASSERT_TRUE(PumpUntil([&] { return sends >= c.sends + 1; }));
  platform::ProcessMessages();
  EXPECT_EQ(sends, c.sends + 1) << Hex(sent);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, ReplyBatch, testing::Values(
  BatchCase{"NoRequests", "plain text", 0},
  BatchCase{"OneRequest", Bytes({255, 251, 1}), 1},
  BatchCase{"ManyRequestsAndSubnegotiation",
            Bytes({255, 251, 1, 255, 251, 3, 255, 253, 24, 255, 253, 31, 255, 253, 23,
                   255, 250, 24, 1, 255, 240}), 1},
  BatchCase{"RequestsBetweenData", "a" + Bytes({255, 251, 1}) + "b" + Bytes({255, 251, 3}) + "c",
            1}),
  [](const testing::TestParamInfo<BatchCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ConnectionTest, OwnerSendDuringARequestFollowsTheRepliesBeforeIt) {
  Open();
  conn.OnSendLoc = [this](telnet::TTelnetConnection* sender) {
    events.push_back("send-location");
    sender->SendStr("L");
  };
  const std::string sent = Exchange(Bytes({255, 251, 1, 255, 253, 23, 255, 251, 3}));
  EXPECT_EQ(Hex(sent), Hex(kWillEchoReply + Bytes({255, 251, 23}) + "L" + Bytes({255, 250, 23}) +
                           "VANTREL" + Bytes({255, 240, 255, 253, 3})));
}

// A peer that reads nothing: once 64 KiB of ours waits to leave, reading
// waits too, and the owner's call reads on only when the queue has gone
// down. Bytes the peer sent before hanging up still arrive.
TEST_F(ConnectionTest, ReadingWaitsForOurSendingAndTheLastBytesStillArrive) {
  Open();
  const std::string chunk(64 << 10, 'x');
  while (conn.Socket()->QueuedSendBytes() < telnet::TTelnetConnection::kReadHoldBackBacklog) {
    ASSERT_EQ(conn.SendStr(chunk), static_cast<int>(chunk.size()));
    platform::ProcessMessages();
  }
  ASSERT_TRUE(peer.Send("first"));
  ASSERT_TRUE(PumpUntil([this] { return conn.ReadingHeldBack(); }));
  conn.ReadOnIfAnswersLeft();
  platform::ProcessMessages();
  EXPECT_TRUE(conn.ReadingHeldBack());
  EXPECT_EQ(received, "");
  ASSERT_TRUE(peer.Send("-last"));
  peer.ShutdownSend();
  ASSERT_TRUE(PumpUntil([this] { return closedEvents > 0; }));
  EXPECT_EQ(received, "first-last");
  EXPECT_FALSE(conn.ReadingHeldBack());
}

TEST_F(ConnectionTest, SessionSendsWithoutWaitingToFillASegment) {
  Open();
  EXPECT_EQ(NoDelayOfConnectionTo(listener.Port()), 1);
}

}  // namespace
}  // namespace telnet_test
