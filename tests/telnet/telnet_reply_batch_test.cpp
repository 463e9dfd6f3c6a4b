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

// An owner that takes the replies along: those to one read or several wait
// for its next send and leave in that one send ahead of its bytes, or alone
// when it flushes them; it is told once per read that left some waiting.
struct WaitingCase {
  const char* name;
  std::vector<std::string> reads;
  std::string ownerLine;  // empty: the owner flushes instead
  std::string wire;
};

void PrintTo(const WaitingCase& c, std::ostream* os) { *os << c.name; }

class RepliesWaitingFor : public ConnectionTest,
                          public testing::WithParamInterface<WaitingCase> {};

TEST_P(RepliesWaitingFor, TheOwnersNextSend) {
  const WaitingCase& c = GetParam();
  int sends = 0;
  conn.Socket()->OnDataSent = [&sends](net::TCustomAsyncSocket*, std::uint16_t) { ++sends; };
  Open();
  ASSERT_TRUE(PumpUntil([&] { return sends >= 1; }));
  sends = 0;
  int told = 0;
  conn.OnRepliesWaiting = [&told](telnet::TTelnetConnection*) { ++told; };
  for (std::size_t i = 0; i < c.reads.size(); ++i) {
    const std::string mark = "<" + std::to_string(i) + ">";
    ASSERT_TRUE(peer.Send(c.reads[i] + mark));
    ASSERT_TRUE(WaitForData(mark));
  }
  platform::ProcessMessages();
  EXPECT_EQ(sends, 0);
  EXPECT_EQ(told, static_cast<int>(c.reads.size()));
  if (c.ownerLine.empty()) {
    conn.FlushReplies();
  } else {
    EXPECT_EQ(conn.SendStr(c.ownerLine), static_cast<int>(c.ownerLine.size()));
  }
  EXPECT_FALSE(conn.RepliesWaiting());
  ASSERT_TRUE(peer.ReadUntil(c.wire)) << Hex(peer.Received());
  ASSERT_TRUE(PumpUntil([&] { return sends >= 1; }));
  platform::ProcessMessages();
  EXPECT_EQ(sends, 1);
  EXPECT_EQ(Hex(peer.Take()), Hex(c.wire));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, RepliesWaitingFor, testing::Values(
  WaitingCase{"OneReadThenALine", {Bytes({255, 251, 1})}, "admin\r",
              Bytes({255, 253, 1}) + "admin\r"},
  WaitingCase{"TwoReadsThenALine", {Bytes({255, 251, 1}), Bytes({255, 253, 24})}, "admin\r",
              Bytes({255, 253, 1, 255, 251, 24}) + "admin\r"},
  WaitingCase{"FlushedAlone", {Bytes({255, 251, 1, 255, 251, 3})}, "",
              Bytes({255, 253, 1, 255, 253, 3})}),
  [](const testing::TestParamInfo<WaitingCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(ConnectionTest, TheTerminalTypeRequestIsAwaitedFromOurAgreementUntilItComes) {
  Open();
  EXPECT_FALSE(conn.TerminalTypeRequestAwaited());
  Exchange(Bytes({255, 253, 24}));
  EXPECT_TRUE(conn.TerminalTypeRequestAwaited());
  Exchange(Bytes({255, 250, 24, 1, 255, 240}));
  EXPECT_FALSE(conn.TerminalTypeRequestAwaited());
}

// A peer that reads nothing: once 64 KiB of ours waits to leave, reading
// waits too, and the owner's call reads on only when the queue has gone
// down. Bytes the peer sent before hanging up still arrive, all of them.
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
  // More than one block of the connection's reads.
  const std::string last = "-last" + std::string(3 * 2048, 'y');
  ASSERT_TRUE(peer.Send(last));
  peer.ShutdownSend();
  ASSERT_TRUE(PumpUntil([this] { return closedEvents > 0; }));
  EXPECT_EQ(received, "first" + last);
  EXPECT_FALSE(conn.ReadingHeldBack());
}

TEST_F(ConnectionTest, SessionSendsWithoutWaitingToFillASegment) {
  Open();
  EXPECT_EQ(NoDelayOfConnectionTo(listener.Port()), 1);
}

}  // namespace
}  // namespace telnet_test
