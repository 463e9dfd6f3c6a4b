// What the server receives back for each TELNET command it sends, byte for
// byte, and what the owner is told and given meanwhile.
#include "connection_fixture.h"

namespace telnet_test {
namespace {

struct WireCase {
  const char* name;
  std::string fromServer;
  std::string reply;                 // exactly what the server gets back
  std::string data;                  // what the owner is given
  std::vector<std::string> notices;  // owner events (data aside) and trace texts
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class Wire : public ConnectionTest, public testing::WithParamInterface<WireCase> {};

TEST_P(Wire, RepliesDeliversAndNotifies) {
  const WireCase& c = GetParam();
  Open();
  // Starting from true, each ECHO notice shows whether LocalEcho changed.
  conn.SetLocalEcho(true);
  events.clear();
  EXPECT_EQ(Hex(Exchange(c.fromServer)), Hex(c.reply));
  EXPECT_EQ(Hex(received), Hex(c.data + "<1>"));
  std::erase_if(events, [](const std::string& e) { return e.rfind("data ", 0) == 0; });
  EXPECT_EQ(events, c.notices);
}

const std::string kTermTypeVT100 = Bytes({255, 250, 24, 0}) + "VT100" + Bytes({255, 240});
const std::string kLocation = Bytes({255, 251, 23, 255, 250, 23}) + "VANTREL" + Bytes({255, 240});

std::string EveryByteButIac() {
  std::string bytes;
  for (int b = 0; b < 255; ++b) bytes += static_cast<char>(b);
  return bytes;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, Wire, testing::Values(
  WireCase{"WillEchoThenWontEcho", Bytes({255, 251, 1, 255, 252, 1}), Bytes({255, 253, 1}), "",
           {"local-echo false", "local-echo true"}},
  WireCase{"DoAndDontEchoOnlyNotify", Bytes({255, 253, 1, 255, 254, 1}), "", "",
           {"local-echo true", "local-echo true"}},
  WireCase{"WillBinaryAndSuppressGoAhead", Bytes({255, 251, 0, 255, 251, 3}),
           Bytes({255, 253, 0, 255, 253, 3}), "", {}},
  WireCase{"DoLocationTerminalTypeEndOfRecord", Bytes({255, 253, 23, 255, 253, 24, 255, 253, 25}),
           kLocation + Bytes({255, 251, 24, 255, 251, 25}), "", {"send-location"}},
  WireCase{"KnownOptionsOtherwiseUnanswered",
           Bytes({255, 252, 0, 255, 253, 0, 255, 254, 0, 255, 252, 3, 255, 253, 3, 255, 254, 3,
                  255, 251, 23, 255, 252, 23, 255, 254, 23, 255, 251, 24, 255, 252, 24,
                  255, 254, 24, 255, 251, 25, 255, 252, 25, 255, 254, 25}), "", "", {}},
  WireCase{"UnknownOptionsRefused", Bytes({255, 253, 31, 255, 251, 5, 255, 252, 5, 255, 254, 5}),
           Bytes({255, 252, 31, 255, 254, 5, 255, 252, 5, 255, 252, 5}), "", {}},
  WireCase{"RepeatedRequestAnsweredAgain",
           Bytes({255, 251, 3, 255, 251, 3, 255, 253, 24, 255, 253, 24}),
           Bytes({255, 253, 3, 255, 253, 3, 255, 251, 24, 255, 251, 24}), "", {}},
  WireCase{"VerbTakesAnyByteAsOption", Bytes({255, 251, 255, 'A'}), Bytes({255, 254, 255}), "A",
           {}},
  WireCase{"TerminalTypeSend", Bytes({255, 250, 24, 1, 255, 240}), kTermTypeVT100, "",
           {"terminal-type"}},
  WireCase{"SubnegotiationEndsAtBare240", Bytes({255, 250, 24, 1, 240, 'z'}), kTermTypeVT100, "z",
           {"terminal-type"}},
  WireCase{"OtherSubnegotiationsIgnored",
           Bytes({255, 250, 240, 255, 250, 24, 240, 255, 250, 24, 0, 'X', 255, 240,
                  255, 250, 23, 1, 255, 240}), "", "", {}},
  WireCase{"NoCommandsInsideSubnegotiation", Bytes({255, 250, 255, 251, 1, 255, 255, 240, 'k'}),
           "", "k", {}},
  WireCase{"DoubledIacIsOneDataByte", Bytes({'a', 255, 255, 'b'}), "", Bytes({'a', 255, 'b'}), {}},
  WireCase{"NopAndGoAheadDeliverNothing", Bytes({'a', 255, 241, 'b', 255, 249, 'c'}), "", "abc",
           {"trace Unknown F1 '\xF1'\r\n", "trace Unknown F9 '\xF9'\r\n"}},
  WireCase{"OtherBytesAfterIacDropped", Bytes({255, 'A', 255, 244, 255, 240}), "", "",
           {"trace Unknown 41 'A'\r\n", "trace Unknown F4 '\xF4'\r\n",
            "trace Unknown F0 '\xF0'\r\n"}},
  WireCase{"EndOfRecord", Bytes({'x', 255, 239, 'y'}), "", "xy",
           {"trace TNCH_EOR\r\n", "end-of-record"}},
  // CR, LF, NUL and 128 to 254 unchanged; 244 to 248 are data, traced by name.
  WireCase{"EveryOtherByteIsData", EveryByteButIac(), "", EveryByteButIac(),
           {"trace TNCH_IP\r\n", "trace TNCH_AO\r\n", "trace TNCH_AYT\r\n",
            "trace TNCH_EC\r\n", "trace TNCH_EL\r\n"}}),
  [](const testing::TestParamInfo<WireCase>& info) { return info.param.name; });
// clang-format on

TEST_F(ConnectionTest, HandlersMayChangeTheTextsWhichGoOutAsTheyAre) {
  conn.OnTermType = [](telnet::TTelnetConnection* sender) { sender->SetTermType(""); };
  conn.OnSendLoc = [](telnet::TTelnetConnection* sender) {
    sender->SetLocation(Bytes({'a', 255, 'b'}));
  };
  Open();
  EXPECT_EQ(
      Hex(Exchange(Bytes({255, 250, 24, 1, 255, 240, 255, 253, 23}))),
      Hex(Bytes({255, 250, 24, 0, 255, 240, 255, 251, 23, 255, 250, 23, 'a', 255, 'b', 255, 240})));
}

// A session that ends inside a TELNET command leaves nothing behind: the next
// session's negotiation is answered and its data arrive as they are.
struct CutOffCase {
  const char* name;
  std::string tail;  // the last bytes of the first session
};

void PrintTo(const CutOffCase& cut, std::ostream* out) { *out << cut.name; }

class CutOffAtSessionEnd : public ConnectionTest,
                           public testing::WithParamInterface<CutOffCase> {};

TEST_P(CutOffAtSessionEnd, NextSessionStartsAfresh) {
  const auto& parser = conn.Parser();
  Open();
  ASSERT_TRUE(peer.Send(GetParam().tail));
  ASSERT_TRUE(PumpUntil([&] {
    return parser.AfterIAC() || parser.PendingVerb() != 0 || parser.InSubnegotiation();
  }));
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return closedEvents > 0; }));
  Open();
  EXPECT_EQ(Hex(Exchange(Bytes({255, 251, 1}) + "ab")), Hex(Bytes({255, 253, 1})));
  EXPECT_EQ(received, "ab<1>");
}

INSTANTIATE_TEST_SUITE_P(
    Telnet, CutOffAtSessionEnd,
    testing::Values(CutOffCase{"LoneIac", Bytes({255})},
                    CutOffCase{"VerbWithoutOption", Bytes({255, 251})},
                    CutOffCase{"OpenSubnegotiation", Bytes({255, 250})},
                    CutOffCase{"SubnegotiationWithText", Bytes({255, 250, 24, 1})},
                    CutOffCase{"IacInsideSubnegotiation", Bytes({255, 250, 24, 255})}),
    [](const testing::TestParamInfo<CutOffCase>& info) { return info.param.name; });

TEST_F(ConnectionTest, EndlessSubnegotiationIsBoundedAndStillEnds) {
  const auto& parser = conn.Parser();
  Open();
  // The closing IAC SE empties the kept text, so its bound is checked while
  // the subnegotiation is still open.
  ASSERT_TRUE(peer.Send(Bytes({255, 250, 24, 1}) + std::string(1 << 20, 'x')));
  ASSERT_TRUE(PumpUntil([&] {
    return parser.SubnegotiationText().size() >= telnet::TelnetParser::kSubnegotiationTextLimit;
  }));
  EXPECT_TRUE(parser.InSubnegotiation());
  EXPECT_EQ(parser.SubnegotiationText().size(), telnet::TelnetParser::kSubnegotiationTextLimit);
  EXPECT_EQ(parser.SubnegotiationText().substr(0, 2), Bytes({24, 1}));
  EXPECT_EQ(Hex(Exchange(Bytes({255, 240}))), Hex(kTermTypeVT100));
  EXPECT_EQ(received, "<1>");
}

TEST_F(ConnectionTest, WithoutDataHandlerDataIsDroppedButNegotiationAnswered) {
  conn.OnDataAvailable = nullptr;
  Open();
  // The NOP's trace line tells us the client has parsed up to the end.
  ASSERT_TRUE(peer.Send("before" + Bytes({255, 251, 3}) + "after" + Bytes({255, 241})));
  ASSERT_TRUE(PumpUntil([&] { return traceNumbers.size() == 1; }));
  EXPECT_EQ(conn.PendingDataCount(), 0);
  conn.OnDataAvailable = [this](auto*, const char* buffer, int len) { RecordData(buffer, len); };
  EXPECT_EQ(Hex(Exchange(Bytes({255, 251, 0}))), Hex(Bytes({255, 253, 3, 255, 253, 0})));
  EXPECT_EQ(received, "<1>");
}

TEST_F(ConnectionTest, RepliesAndEndOfRecordComeBeforeTheDataOfTheSameRead) {
  bool replyOnWireAtDelivery = false;
  conn.OnDataAvailable = [&](auto*, const char* buffer, int len) {
    // The client is held up here, so the reply can reach us only if it was
    // sent before this delivery.
    ServePeerWaits(false);
    replyOnWireAtDelivery = peer.ReadUntil(Bytes({255, 253, 1}), support::milliseconds(2000)) &&
                            peer.Received() == Bytes({255, 253, 1});
    ServePeerWaits(true);
    RecordData(buffer, len);
  };
  Open();
  ASSERT_TRUE(peer.Send("ab" + Bytes({255, 251, 1}) + "cd" + Bytes({255, 239}) + "ef"));
  ASSERT_TRUE(WaitForData("ef"));
  EXPECT_TRUE(replyOnWireAtDelivery);
  EXPECT_EQ(events, (std::vector<std::string>{"connected 0", "local-echo false",
                                              "trace TNCH_EOR\r\n", "end-of-record", "data 6"}));
  EXPECT_EQ(received, "abcdef");
}

TEST_F(ConnectionTest, TraceLinesAreNumberedAcrossTheProgram) {
  Open();
  ASSERT_TRUE(peer.Send(Bytes({255, 241, 244})));
  ASSERT_TRUE(PumpUntil([&] { return traceNumbers.size() == 2; }));
  peer.Close();
  Open();
  ASSERT_TRUE(peer.Send(Bytes({255, 239})));
  ASSERT_TRUE(PumpUntil([&] { return traceNumbers.size() == 3; }));
  EXPECT_EQ(traceNumbers, (std::vector<std::string>{"0001 ", "0002 ", "0003 "}));
  // At least four digits: a fifth appears when the count needs it.
  while (telnet::TraceCounter() < 0xFFFF) telnet::DebugTrace("x\r\n");
  telnet::DebugTrace("y\r\n");
  EXPECT_EQ(traceNumbers.back(), "10000 ");
  EXPECT_EQ(events.back(), "trace y\r\n");
}

}  // namespace
}  // namespace telnet_test
