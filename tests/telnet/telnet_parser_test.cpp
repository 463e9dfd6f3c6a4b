// Golden tests of the receive parser: bytes from the server in, the log of
// what the parser asked for out. Runs of data bytes are merged into one line.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "telnet/telnet_codes.h"
#include "telnet/telnet_parser.h"

namespace telnet {
namespace {

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
  }
  return out;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x" + Hex(std::string(1, static_cast<char>(c)));
    }
  }
  return out;
}

class EventLog : public TelnetParserEvents {
public:
  std::vector<std::string> lines;
  std::string data;  // every data byte, in order
  std::string termType = "VT100";
  std::string location = "VANTREL";
  bool throwOnEcho = false;

  void SendToServer(const std::string& bytes) override { Add("send " + Hex(bytes)); }
  void DataByte(std::uint8_t b) override {
    data += static_cast<char>(b);
    const std::string one = Hex(std::string(1, static_cast<char>(b)));
    if (!lines.empty() && lines.back().rfind("data ", 0) == 0) {
      lines.back() += " " + one;
    } else {
      lines.push_back("data " + one);
    }
  }
  void EndOfRecord() override { Add("end-of-record"); }
  void EchoNegotiated(std::optional<bool> localEcho) override {
    Add(!localEcho ? "echo unchanged" : *localEcho ? "echo local=true" : "echo local=false");
    if (throwOnEcho) throw std::runtime_error("handler failed");
  }
  std::string LocationRequested() override {
    Add("location?");
    return location;
  }
  std::string TerminalTypeRequested() override {
    Add("terminal-type?");
    return termType;
  }
  void Trace(const std::string& text) override { Add("trace " + Escaped(text)); }

private:
  void Add(std::string line) { lines.push_back(std::move(line)); }
};

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

std::vector<std::string> Feed(TelnetParser& parser, EventLog& log, const std::string& input) {
  parser.Parse(reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), log);
  return log.lines;
}

std::vector<std::string> Feed(const std::string& input) {
  TelnetParser parser;
  EventLog log;
  return Feed(parser, log, input);
}

using Log = std::vector<std::string>;

struct GoldenCase {
  const char* name;
  std::string input;
  Log expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class ParserGolden : public testing::TestWithParam<GoldenCase> {};

TEST_P(ParserGolden, ProducesExpectedEvents) {
  const GoldenCase& c = GetParam();
  EXPECT_EQ(Feed(c.input), c.expected);
}

// Option negotiation, one case per cell of the table that matters on the wire.
INSTANTIATE_TEST_SUITE_P(
    Negotiation, ParserGolden,
    testing::Values(
        GoldenCase{"WillEcho", Bytes({255, 251, 1}), {"send FF FD 01", "echo local=false"}},
        GoldenCase{"WontEcho", Bytes({255, 252, 1}), {"echo local=true"}},
        GoldenCase{"DoEcho", Bytes({255, 253, 1}), {"echo unchanged"}},
        GoldenCase{"DontEcho", Bytes({255, 254, 1}), {"echo unchanged"}},
        GoldenCase{"WillBinary", Bytes({255, 251, 0}), {"send FF FD 00"}},
        GoldenCase{"BinaryOthers", Bytes({255, 252, 0, 255, 253, 0, 255, 254, 0}), {}},
        GoldenCase{"WillSuppressGoAhead", Bytes({255, 251, 3}), {"send FF FD 03"}},
        GoldenCase{"SuppressGoAheadOthers", Bytes({255, 252, 3, 255, 253, 3, 255, 254, 3}), {}},
        GoldenCase{"DoSendLocation",
                   Bytes({255, 253, 23}),
                   {"send FF FB 17", "location?",
                    "send FF FA 17 56 41 4E 54 52 45 4C FF F0"}},
        GoldenCase{"SendLocationOthers", Bytes({255, 251, 23, 255, 252, 23, 255, 254, 23}), {}},
        GoldenCase{"DoTerminalType", Bytes({255, 253, 24}), {"send FF FB 18"}},
        GoldenCase{"TerminalTypeOthers", Bytes({255, 251, 24, 255, 252, 24, 255, 254, 24}), {}},
        GoldenCase{"DoEndOfRecord", Bytes({255, 253, 25}), {"send FF FB 19"}},
        GoldenCase{"EndOfRecordOthers", Bytes({255, 251, 25, 255, 252, 25, 255, 254, 25}), {}},
        GoldenCase{"UnknownOptions",
                   Bytes({255, 251, 5, 255, 252, 5, 255, 253, 31, 255, 254, 5}),
                   {"send FF FE 05", "send FF FC 05", "send FF FC 1F", "send FF FC 05"}},
        GoldenCase{"RepeatedRequestAnsweredAgain",
                   Bytes({255, 251, 3, 255, 251, 3}),
                   {"send FF FD 03", "send FF FD 03"}},
        // Whatever follows the verb is the option, even IAC.
        GoldenCase{"VerbTakesIacAsOption",
                   Bytes({255, 251, 255, 'A'}),
                   {"send FF FE FF", "data 41"}}),
    [](const testing::TestParamInfo<GoldenCase>& info) { return info.param.name; });

// Commands other than negotiation, and the data path.
INSTANTIATE_TEST_SUITE_P(
    Commands, ParserGolden,
    testing::Values(
        GoldenCase{"DoubledIacIsOneDataByte", Bytes({'a', 255, 255, 'b'}), {"data 61 FF 62"}},
        GoldenCase{"Nop", Bytes({255, 241}), {"trace Unknown F1 '\\xF1'\\x0D\\x0A"}},
        GoldenCase{"GoAhead", Bytes({255, 249}), {"trace Unknown F9 '\\xF9'\\x0D\\x0A"}},
        GoldenCase{"IacThenLetter", Bytes({255, 'A', 'B'}),
                   {"trace Unknown 41 'A'\\x0D\\x0A", "data 42"}},
        GoldenCase{"IacThenInterruptIsNotData", Bytes({255, 244}),
                   {"trace Unknown F4 '\\xF4'\\x0D\\x0A"}},
        GoldenCase{"LoneSubnegotiationEnd", Bytes({255, 240}),
                   {"trace Unknown F0 '\\xF0'\\x0D\\x0A"}},
        GoldenCase{"EndOfRecord", Bytes({'x', 255, 239, 'y'}),
                   {"data 78", "trace TNCH_EOR\\x0D\\x0A", "end-of-record", "data 79"}},
        GoldenCase{"ControlCharactersAsData",
                   Bytes({244, 245, 246, 247, 248}),
                   {"trace TNCH_IP\\x0D\\x0A", "data F4", "trace TNCH_AO\\x0D\\x0A", "data F5",
                    "trace TNCH_AYT\\x0D\\x0A", "data F6", "trace TNCH_EC\\x0D\\x0A", "data F7",
                    "trace TNCH_EL\\x0D\\x0A", "data F8"}},
        GoldenCase{"LineEndsAndNulUnchanged", Bytes({'\r', '\n', 0, '\r', 0}),
                   {"data 0D 0A 00 0D 00"}}),
    [](const testing::TestParamInfo<GoldenCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Subnegotiation, ParserGolden,
    testing::Values(
        GoldenCase{"TerminalTypeSend",
                   Bytes({255, 250, 24, 1, 255, 240, 'z'}),
                   {"terminal-type?", "send FF FA 18 00 56 54 31 30 30 FF F0", "data 7A"}},
        // The first 240 ends it, with or without IAC in front.
        GoldenCase{"EndsWithoutIac", Bytes({255, 250, 24, 1, 240}),
                   {"terminal-type?", "send FF FA 18 00 56 54 31 30 30 FF F0"}},
        GoldenCase{"Empty", Bytes({255, 250, 240}), {}},
        GoldenCase{"OneByte", Bytes({255, 250, 24, 240}), {}},
        GoldenCase{"TerminalTypeIsIgnored", Bytes({255, 250, 24, 0, 'X', 255, 240}), {}},
        GoldenCase{"LocationFromServerIgnored", Bytes({255, 250, 23, 1, 255, 240}), {}},
        // Commands inside a subnegotiation are collected, not acted on.
        GoldenCase{"NoCommandsInside", Bytes({255, 250, 255, 251, 1, 255, 255, 240, 'k'}),
                   {"data 6B"}}),
    [](const testing::TestParamInfo<GoldenCase>& info) { return info.param.name; });

TEST(TelnetParser, EveryNonIacByteIsDataUnchanged) {
  std::string input;
  for (int b = 0; b < 255; ++b) input += static_cast<char>(b);
  TelnetParser parser;
  EventLog log;
  Feed(parser, log, input);
  EXPECT_EQ(log.data, input);
  EXPECT_FALSE(parser.AfterIAC());
}

TEST(TelnetParser, StatePersistsAcrossCalls) {
  TelnetParser parser;
  EventLog log;
  Feed(parser, log, Bytes({'a', 255}));
  EXPECT_TRUE(parser.AfterIAC());
  Feed(parser, log, Bytes({251}));
  EXPECT_EQ(parser.PendingVerb(), cmd::WILL);
  Feed(parser, log, Bytes({1, 'b', 255, 250, 24}));
  EXPECT_TRUE(parser.InSubnegotiation());
  Feed(parser, log, Bytes({1, 255}));
  EXPECT_EQ(parser.SubnegotiationText(), Bytes({24, 1, 255}));
  Feed(parser, log, Bytes({240}));
  EXPECT_EQ(log.lines, (Log{"data 61", "send FF FD 01", "echo local=false", "data 62",
                            "terminal-type?", "send FF FA 18 00 56 54 31 30 30 FF F0"}));
  EXPECT_FALSE(parser.InSubnegotiation());
  EXPECT_EQ(parser.SubnegotiationText(), "");
}

TEST(TelnetParser, TerminalTypeAndLocationTextsSentAsGiven) {
  TelnetParser parser;
  EventLog log;
  log.termType = "";
  log.location = Bytes({'a', 255, 'b'});
  Feed(parser, log, Bytes({255, 250, 24, 1, 255, 240, 255, 253, 23}));
  EXPECT_EQ(log.lines, (Log{"terminal-type?", "send FF FA 18 00 FF F0", "send FF FB 17",
                            "location?", "send FF FA 17 61 FF 62 FF F0"}));
}

TEST(TelnetParser, EndlessSubnegotiationIsBounded) {
  TelnetParser parser;
  EventLog log;
  std::string flood(1 << 20, 'x');
  Feed(parser, log, Bytes({255, 250, 24, 1}) + flood);
  EXPECT_TRUE(parser.InSubnegotiation());
  EXPECT_LE(parser.SubnegotiationText().size(), TelnetParser::kSubnegotiationTextLimit);
  EXPECT_EQ(parser.SubnegotiationText().substr(0, 2), Bytes({24, 1}));
  EXPECT_TRUE(log.lines.empty());
  // It still ends at 240, and what was kept still decides the answer.
  Feed(parser, log, Bytes({255, 240, 'd'}));
  EXPECT_EQ(log.lines, (Log{"terminal-type?", "send FF FA 18 00 56 54 31 30 30 FF F0", "data 64"}));
}

TEST(TelnetParser, ThrowingHandlerLeavesParserReadyForNextByte) {
  TelnetParser parser;
  EventLog log;
  log.throwOnEcho = true;
  EXPECT_THROW(Feed(parser, log, Bytes({255, 251, 1})), std::runtime_error);
  EXPECT_EQ(parser.PendingVerb(), 0);
  log.throwOnEcho = false;
  log.lines.clear();
  Feed(parser, log, Bytes({'A'}));
  EXPECT_EQ(log.lines, Log{"data 41"});
}

TEST(TelnetParser, ResetReturnsToIdle) {
  TelnetParser parser;
  EventLog log;
  Feed(parser, log, Bytes({255, 250, 24, 1}));
  parser.Reset();
  EXPECT_FALSE(parser.InSubnegotiation());
  EXPECT_EQ(parser.SubnegotiationText(), "");
  log.lines.clear();
  Feed(parser, log, Bytes({240}));
  EXPECT_EQ(log.lines, Log{"data F0"});
}

}  // namespace
}  // namespace telnet
