// What the connection answers to the server's negotiation, byte for byte as
// the server receives it, and what it does not answer.
#include <algorithm>
#include <optional>

#include "connection_fixture.h"

namespace telnet_test {
namespace {

struct WireCase {
  const char* name;
  std::string fromServer;
  std::string expectedReply;
  // The LocalEcho value afterwards; empty when the case must leave it alone.
  std::optional<bool> localEchoAfter;
  int localEchoEvents;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class NegotiationOnWire : public ConnectionTest, public testing::WithParamInterface<WireCase> {};

TEST_P(NegotiationOnWire, ServerReceivesExactlyTheReply) {
  const WireCase& c = GetParam();
  Open();
  const bool before = c.localEchoAfter ? !*c.localEchoAfter : true;
  conn.SetLocalEcho(before);
  EXPECT_EQ(Hex(Exchange(c.fromServer)), Hex(c.expectedReply));
  EXPECT_EQ(conn.LocalEcho(), c.localEchoAfter.value_or(before));
  EXPECT_EQ(localEchoEvents, c.localEchoEvents);
}

const std::string kTermTypeVT100 = Bytes({255, 250, 24, 0, 'V', 'T', '1', '0', '0', 255, 240});
const std::string kLocationVantrel =
    Bytes({255, 250, 23, 'V', 'A', 'N', 'T', 'R', 'E', 'L', 255, 240});

INSTANTIATE_TEST_SUITE_P(
    Table, NegotiationOnWire,
    testing::Values(
        WireCase{"WillEcho", Bytes({255, 251, 1}), Bytes({255, 253, 1}), false, 1},
        WireCase{"WontEcho", Bytes({255, 252, 1}), "", true, 1},
        WireCase{"DoEcho", Bytes({255, 253, 1}), "", std::nullopt, 1},
        WireCase{"DoBinary", Bytes({255, 253, 0}), "", std::nullopt, 0},
        WireCase{"DontSuppressGoAhead", Bytes({255, 254, 3}), "", std::nullopt, 0},
        WireCase{"DoTerminalType", Bytes({255, 253, 24}), Bytes({255, 251, 24}), std::nullopt, 0},
        WireCase{"WillTerminalType", Bytes({255, 251, 24}), "", std::nullopt, 0},
        WireCase{"DoSendLocation", Bytes({255, 253, 23}),
                 Bytes({255, 251, 23}) + kLocationVantrel, std::nullopt, 0},
        WireCase{"DoUnknown", Bytes({255, 253, 31}), Bytes({255, 252, 31}), std::nullopt, 0},
        WireCase{"WillUnknown", Bytes({255, 251, 5}), Bytes({255, 254, 5}), std::nullopt, 0},
        WireCase{"WontUnknown", Bytes({255, 252, 5}), Bytes({255, 252, 5}), std::nullopt, 0},
        WireCase{"DontUnknown", Bytes({255, 254, 5}), Bytes({255, 252, 5}), std::nullopt, 0},
        WireCase{"TerminalTypeSend", Bytes({255, 253, 24, 255, 250, 24, 1, 255, 240}),
                 Bytes({255, 251, 24}) + kTermTypeVT100, std::nullopt, 0},
        WireCase{"EmptySubnegotiation", Bytes({255, 250, 240}), "", std::nullopt, 0},
        WireCase{"OneByteSubnegotiation", Bytes({255, 250, 24, 240}), "", std::nullopt, 0}),
    [](const testing::TestParamInfo<WireCase>& info) { return info.param.name; });

using Negotiation = ConnectionTest;

TEST_F(Negotiation, HandlersRaisedBeforeTheirMessageAndMayChangeTheText) {
  conn.OnTermType = [this](telnet::TTelnetConnection* sender) {
    events.push_back("terminal-type");
    sender->SetTermType("ANSI");
  };
  conn.OnSendLoc = [this](telnet::TTelnetConnection* sender) {
    events.push_back("send-location");
    sender->SetLocation("DESK");
  };
  Open();
  EXPECT_EQ(Hex(Exchange(Bytes({255, 250, 24, 1, 255, 240}))),
            Hex(Bytes({255, 250, 24, 0, 'A', 'N', 'S', 'I', 255, 240})));
  EXPECT_EQ(Hex(Exchange(Bytes({255, 253, 23}))),
            Hex(Bytes({255, 251, 23, 255, 250, 23, 'D', 'E', 'S', 'K', 255, 240})));
  EXPECT_EQ(std::count(events.begin(), events.end(), "terminal-type"), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), "send-location"), 1);
}

TEST_F(Negotiation, EmptyTermTypeAndByte255InTextsGoOutAsTheyAre) {
  conn.SetTermType("");
  conn.SetLocation(Bytes({'a', 255, 'b'}));
  Open();
  EXPECT_EQ(Hex(Exchange(Bytes({255, 250, 24, 1, 255, 240}))),
            Hex(Bytes({255, 250, 24, 0, 255, 240})));
  EXPECT_EQ(Hex(Exchange(Bytes({255, 253, 23}))),
            Hex(Bytes({255, 251, 23, 255, 250, 23, 'a', 255, 'b', 255, 240})));
}

TEST_F(Negotiation, CommandSplitAcrossReadsIsAnsweredWhole) {
  Open();
  auto& parser = telnet::SharedTelnetParser();
  peer.Send(Bytes({255}));
  ASSERT_TRUE(PumpUntil([&] { return parser.AfterIAC(); }));
  peer.Send(Bytes({251}));
  ASSERT_TRUE(PumpUntil([&] { return parser.PendingVerb() == 251; }));
  EXPECT_EQ(Hex(Exchange(Bytes({1}))), Hex(Bytes({255, 253, 1})));
  EXPECT_FALSE(conn.LocalEcho());
  EXPECT_EQ(received, "<1>");
}

TEST_F(Negotiation, EndlessSubnegotiationIsBoundedAndStillEnds) {
  Open();
  peer.Send(Bytes({255, 250, 24, 1}));
  ASSERT_TRUE(peer.SendWhilePumping(std::string(1 << 20, 'x')));
  EXPECT_EQ(Hex(Exchange(Bytes({255, 240}))), Hex(kTermTypeVT100));
  EXPECT_LE(telnet::SharedTelnetParser().SubnegotiationText().size(),
            telnet::TelnetParser::kSubnegotiationTextLimit);
  EXPECT_EQ(received, "<1>");
}

TEST_F(Negotiation, WithoutDataHandlerDataIsDroppedButNegotiationAnswered) {
  conn.OnDataAvailable = nullptr;
  Open();
  // The NOP's trace line tells us the client has parsed up to the end.
  peer.Send("before" + Bytes({255, 251, 3}) + "after" + Bytes({255, 241}));
  ASSERT_TRUE(PumpUntil([&] { return tracePieces.size() == 2; }));
  EXPECT_EQ(conn.PendingDataCount(), 0);
  conn.OnDataAvailable = [this](telnet::TTelnetConnection*, const char* buffer, int len) {
    RecordData(buffer, len);
  };
  EXPECT_EQ(Hex(Exchange(Bytes({255, 251, 0}))), Hex(Bytes({255, 253, 3, 255, 253, 0})));
  EXPECT_EQ(received, "<1>");
}

TEST_F(Negotiation, RepliesAndEndOfRecordComeBeforeTheDataOfTheSameRead) {
  bool replyOnWireAtDelivery = false;
  conn.OnDataAvailable = [&](telnet::TTelnetConnection*, const char* buffer, int len) {
    // The client is held up here, so the reply can reach us only if it was
    // sent before this delivery.
    bool ok = false;
    const std::string before = peer.ReadUntil(Bytes({255, 253, 1}), ok, 2s);
    replyOnWireAtDelivery = ok && before.empty();
    RecordData(buffer, len);
  };
  Open();
  peer.Send("ab" + Bytes({255, 251, 1}) + "cd" + Bytes({255, 239}) + "ef");
  ASSERT_TRUE(WaitForData("ef"));
  EXPECT_TRUE(replyOnWireAtDelivery);
  EXPECT_EQ(events, (std::vector<std::string>{"connected 0", "local-echo false",
                                              "end-of-record", "data 6"}));
  EXPECT_EQ(received, "abcdef");
}

}  // namespace
}  // namespace telnet_test
