// The SOCKS layer against a scripted proxy on loopback: the exact bytes of
// every request, each refusal code, replies arriving whole or byte by byte,
// destination data behind the reply, and the order of the owner's events.
#include <gtest/gtest.h>

#include "socket_test_support.h"
#include "support/case_names.h"

namespace {

using namespace sockettest;
using net::TAsyncSocket;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int v : values) out += static_cast<char>(v);
  return out;
}

// A proxy whose answers the test writes. The socket's reads are counted, so
// an answer sent byte by byte arrives in as many reads.
class ScriptedProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    socket.OnSocksConnected = [this](net::TCustomAsyncSocket*, std::uint16_t e) {
      events.push_back("socks-connected " + std::to_string(e));
    };
    socket.OnSocksAuthState = [this](net::TCustomAsyncSocket*, net::TSocksAuthState s) {
      events.push_back("auth " + std::to_string(s));
    };
    socket.OnSocksError = [this](net::TCustomAsyncSocket*, std::int32_t e, const std::string& m) {
      events.push_back("error " + std::to_string(e) + " " + m);
    };
    socket.OnSessionConnected = [this](net::TCustomAsyncSocket*, std::uint16_t e) {
      events.push_back("connected " + std::to_string(e));
    };
    socket.OnSessionClosed = [this](net::TCustomAsyncSocket*, std::uint16_t e) {
      events.push_back("closed " + std::to_string(e));
    };
  }

  // Connects to "host" port 23 through the proxy at `level`.
  void Start(const std::string& level, const std::string& addr = "host") {
    socket.SetSocksServer(" 127.0.0.1 ");
    socket.SetSocksPort(listener.PortText());
    socket.SetSocksLevel(level);
    socket.SetProto("tcp");
    socket.SetPort("23");
    socket.SetAddr(addr);
    socket.Connect();
    proxy = listener.Accept();
    ASSERT_TRUE(proxy.Valid());
  }
  void Answer(const std::string& bytes, bool oneByOne = false) {
    if (!oneByOne) {
      ASSERT_TRUE(proxy.Send(bytes));
      return;
    }
    for (const char b : bytes) {
      if (Ended()) return;  // failed before the reply was complete
      const int before = socket.ReadCount();
      ASSERT_TRUE(proxy.Send(std::string(1, b)));
      ASSERT_TRUE(PumpUntil([&] { return socket.ReadCount() > before || Ended(); }));
    }
  }
  bool Ended() const { return !events.empty() && events.back().rfind("closed", 0) == 0; }
  bool Has(const std::string& line) const {
    return std::find(events.begin(), events.end(), line) != events.end();
  }

  Listener listener;
  TAsyncSocket socket{nullptr};
  Peer proxy;
  std::vector<std::string> events;
};

TEST_F(ScriptedProxyTest, LevelAndFieldChecksAndResetAfterClose) {
  EXPECT_EQ(socket.SocksLevel(), "5");
  socket.SetSocksLevel("4a");
  EXPECT_EQ(socket.SocksLevel(), "4A");
  for (const char* bad : {"6", "4B", "", " 5"}) {
    EXPECT_EQ(MessageOf([&] { socket.SetSocksLevel(bad); }),
              "Invalid socks level. Must be 4, 4A or 5.");
  }
  socket.SetSocksServer("   ");
  EXPECT_EQ(ConnectAndWait(socket, listener.PortText()), 0) << "blanks only: no proxy";
  EXPECT_EQ(MessageOf([&] { socket.SetSocksLevel("5"); }),
            "Can't change socks level if not closed");
  EXPECT_EQ(MessageOf([&] { socket.SetSocksServer("x"); }),
            "Can't change socks server if not closed");
  socket.Close();

  // Too long for its length byte: refused before any connection is made.
  socket.SetSocksServer("127.0.0.1");
  socket.SetSocksPort(listener.PortText());
  socket.SetSocksUsercode(std::string(256, 'u'));
  socket.SetPort("23");
  socket.SetAddr("host");
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "SOCKS user code is longer than 255 bytes");
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);

  socket.SetSocksUsercode("");
  Start("4A");
  socket.Close();
  EXPECT_EQ(socket.SocksServer(), "");
  EXPECT_EQ(socket.SocksLevel(), "5");
}

struct RequestCase {
  const char* level;
  const char* user;
  const char* addr;
  bool authenticate;
  std::string expected;  // first bytes the proxy receives
};

// Failure lines name the case instead of dumping its bytes.
void PrintTo(const RequestCase& c, std::ostream* os) {
  *os << "SOCKS " << c.level << " to " << c.addr << (c.authenticate ? " with credentials" : "");
}

class SocksRequestTest : public ScriptedProxyTest,
                         public ::testing::WithParamInterface<RequestCase> {};

TEST_P(SocksRequestTest, SendsTheProtocolsBytes) {
  const RequestCase& c = GetParam();
  socket.SetSocksUsercode(c.user);
  socket.SetSocksAuthentication(c.authenticate ? net::socksAuthenticateUsercode
                                               : net::socksNoAuthentication);
  Start(c.level, c.addr);
  EXPECT_EQ(proxy.Receive(c.expected.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Requests, SocksRequestTest,
                         ::testing::Values(RequestCase{"4", "", "127.0.0.1", false,
                                                       Bytes({4, 1, 0, 23, 127, 0, 0, 1, 0})},
                                           RequestCase{"4A", "u", "host", false,
                                                       Bytes({4, 1, 0, 23, 0, 0, 0, 1, 'u', 0, 'h',
                                                              'o', 's', 't', 0})},
                                           RequestCase{"5", "", "host", false, Bytes({5, 1, 0})},
                                           RequestCase{"5", "", "host", true, Bytes({5, 1, 2})}),
                         [](const ::testing::TestParamInfo<RequestCase>& info) {
                           const RequestCase& c = info.param;
                           return "Socks" + std::string(c.level) + (*c.user ? "WithUser" : "") +
                                  (c.authenticate ? "OfferingCredentials" : "");
                         });

TEST_F(ScriptedProxyTest, Socks5RequestAndEmptyCredentials) {
  Start("5", "10.0.0.1");
  EXPECT_EQ(proxy.Receive(3), Bytes({5, 1, 0}));
  Answer(Bytes({5, 2}));  // credentials though none were offered
  EXPECT_EQ(proxy.Receive(3), Bytes({1, 0, 0}));
  Answer(Bytes({1, 0}), true);
  EXPECT_EQ(proxy.Receive(15), Bytes({5, 1, 0, 3, 8}) + "10.0.0.1" + Bytes({0, 23}));
  EXPECT_EQ(events, (std::vector<std::string>{"socks-connected 0", "auth 0", "auth 1"}));
}

struct RefusalCase {
  const char* level;
  std::string reply;
  int code;
  const char* text;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << "SOCKS " << c.level << " reply " << support::HexName(c.reply);
}

class SocksRefusalTest : public ScriptedProxyTest,
                         public ::testing::WithParamInterface<std::tuple<RefusalCase, bool>> {};

TEST_P(SocksRefusalTest, FailsWithTheCodeAndClosesOnce) {
  const auto& [c, oneByOne] = GetParam();
  Start(c.level, "127.0.0.1");
  proxy.Receive(c.level[0] == '4' ? 9 : 3);
  std::string reply = c.reply;
  if (c.level[0] == '5' && reply.size() > 2) {
    Answer(reply.substr(0, 2));  // method reply first
    proxy.Receive(7 + 9);
    reply = reply.substr(2);
  }
  Answer(reply, oneByOne);
  ASSERT_TRUE(PumpUntil([&] { return Ended(); }));
  const std::string code = std::to_string(c.code);
  EXPECT_EQ(events, (std::vector<std::string>{"socks-connected 0", "error " + code + " " + c.text,
                                              "connected " + code, "closed " + code}));
  EXPECT_EQ(socket.State(), net::wsClosed);
}

const RefusalCase kRefusals[] = {
    {"4", Bytes({0, 91, 0, 0, 0, 0, 0, 0}), 20016, "request rejected or failed"},
    {"4", Bytes({0, 92, 0, 0, 0, 0, 0, 0}), 20008, "connection refused"},
    {"4", Bytes({0, 93, 0, 0, 0, 0, 0, 0}), 20015, "authentification failed"},
    {"4", Bytes({0, 0, 0, 0, 0, 0, 0, 0}), 20012, "unassigned error #0"},
    {"4", Bytes({4, 90, 0, 0, 0, 0, 0, 0}), 20002, "socks version error"},
    {"5", Bytes({4, 0}), 20002, "socks version error"},
    {"5", Bytes({5, 0xFF}), 20003, "authentification method not acceptable"},
    {"5", Bytes({5, 0, 5, 1}), 20004, "general SOCKS server failure"},
    {"5", Bytes({5, 0, 5, 2}), 20005, "connection not allowed by ruleset"},
    {"5", Bytes({5, 0, 5, 3}), 20006, "network unreachable"},
    {"5", Bytes({5, 0, 5, 4}), 20007, "host unreachable"},
    {"5", Bytes({5, 0, 5, 5}), 20008, "connection refused"},
    {"5", Bytes({5, 0, 5, 6}), 20009, "time to live expired"},
    {"5", Bytes({5, 0, 5, 7}), 20010, "command not supported"},
    {"5", Bytes({5, 0, 5, 8}), 20011, "address type not supported"},
    {"5", Bytes({5, 0, 5, 9}), 20012, "unassigned error #9"},
    {"5", Bytes({5, 0, 6, 0}), 20002, "socks version error"},
    {"5", Bytes({5, 0, 5, 0, 0, 5, 0}), 20011, "address type not supported"},
};

std::string RefusalName(const ::testing::TestParamInfo<std::tuple<RefusalCase, bool>>& info) {
  const RefusalCase& c = std::get<0>(info.param);
  return "Socks" + std::string(c.level) + "_" + support::HexName(c.reply) + "_" +
         support::CaseName(c.text) + (std::get<1>(info.param) ? "_ByteByByte" : "_Whole");
}

INSTANTIATE_TEST_SUITE_P(Replies, SocksRefusalTest,
                         ::testing::Combine(::testing::ValuesIn(kRefusals), ::testing::Bool()),
                         RefusalName);

TEST_F(ScriptedProxyTest, GrantedReplyByteByByteThenLeftoverDataBeforeTheNetwork) {
  std::string data;
  std::vector<int> counts;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    counts.push_back(s->RcvdCount());
    char block[3];
    const int n = s->Receive(block, 3);
    if (n > 0) data.append(block, static_cast<std::size_t>(n));
  };
  Start("5");
  proxy.Receive(3);
  Answer(Bytes({5, 0}));
  proxy.Receive(11);
  const std::string reply = Bytes({5, 0, 0, 3, 2, 'b', 'n', 0, 80});
  Answer(reply.substr(0, reply.size() - 1), true);
  EXPECT_FALSE(Has("connected 0")) << "not before the last byte";
  Answer(reply.substr(reply.size() - 1) + "hello");
  ASSERT_TRUE(PumpUntil([&] { return data == "hello"; }));
  EXPECT_EQ(counts, (std::vector<int>{5, 2}));
  ASSERT_TRUE(proxy.Send("!"));
  ASSERT_TRUE(PumpUntil([&] { return data == "hello!"; }));
}

// Destination bytes that came behind the grant and were never read belong to
// that connection only: the next one, direct, must not read them first.
class LeftoverAfterCloseTest : public ScriptedProxyTest,
                               public ::testing::WithParamInterface<bool> {};

TEST_P(LeftoverAfterCloseTest, NextConnectionReadsOnlyItsOwnData) {
  const bool reopenFromClosedEvent = GetParam();
  bool reading = false;
  std::string data;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    if (reading) data += s->ReceiveStr();
  };
  Start("5");
  proxy.Receive(3);
  Answer(Bytes({5, 0}));
  proxy.Receive(11);
  Answer(Bytes({5, 0, 0, 1, 1, 2, 3, 4, 0, 80}) + "stale");
  ASSERT_TRUE(PumpUntil([&] { return Has("connected 0"); }));
  ASSERT_EQ(socket.RcvdCount(), 5) << "held behind the grant, unread";

  Listener direct;
  if (reopenFromClosedEvent) {
    socket.OnSessionClosed = [&](net::TCustomAsyncSocket*, std::uint16_t) {
      socket.SetSocksServer("");
      StartConnect(socket, direct.PortText());
    };
    socket.Close();
  } else {
    socket.OnSessionClosed = nullptr;  // nothing but the close's own reset
    socket.Close();
    StartConnect(socket, direct.PortText());
  }
  Peer router = direct.Accept();
  ASSERT_TRUE(router.Valid());
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));
  reading = true;
  ASSERT_TRUE(router.Send("fresh"));
  ASSERT_TRUE(PumpUntil([&] { return data.size() >= 5; }));
  EXPECT_EQ(data, "fresh");
}

INSTANTIATE_TEST_SUITE_P(Close, LeftoverAfterCloseTest, ::testing::Bool(),
                         support::FlagNames("ConnectedAfterClose", "ReopenedFromClosedEvent"));

// A proxy that resets the connection before it answered: the owner hears a
// failed connection, then the close, not the close alone.
TEST_F(ScriptedProxyTest, ResetDuringHandshakeIsAFailedConnection) {
  Start("5");
  EXPECT_EQ(proxy.Receive(3), Bytes({5, 1, 0}));
  proxy.ResetAndClose();
  ASSERT_TRUE(PumpUntil([&] { return Ended(); }));
  EXPECT_EQ(events, (std::vector<std::string>{"socks-connected 0",
                                              "error 10054 connection closed by the SOCKS server",
                                              "connected 10054", "closed 10054"}));
}

TEST_F(ScriptedProxyTest, CredentialsAcceptedInTwoReadsGiveTheEventsInOrder) {
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t e) {
    events.push_back("data " + std::to_string(e) + " " + s->ReceiveStr());
  };
  socket.SetSocksAuthentication(net::socksAuthenticateUsercode);
  socket.SetSocksUsercode("alice");
  socket.SetSocksPassword("pw");
  Start("5");
  proxy.Receive(3);
  Answer(Bytes({5, 2}));
  EXPECT_EQ(proxy.Receive(10), Bytes({1, 5}) + "alice" + Bytes({2}) + "pw");
  Answer(Bytes({1}), true);
  Answer(Bytes({0}), true);
  proxy.Receive(11);
  Answer(Bytes({5, 0, 0, 1, 1, 2, 3, 4, 0, 80}));
  ASSERT_TRUE(PumpUntil([&] { return Has("data 0 "); }));
  EXPECT_EQ(events, (std::vector<std::string>{"socks-connected 0", "auth 0", "auth 1",
                                              "connected 0", "data 0 "}));
}

TEST_F(ScriptedProxyTest, RejectedOrInterruptedCredentialsAreReportedOnce) {
  socket.SetSocksAuthentication(net::socksAuthenticateUsercode);
  Start("5");
  proxy.Receive(3);
  Answer(Bytes({5, 2}));
  proxy.Receive(3);
  Answer(Bytes({1, 0, 0}));  // one byte too many
  ASSERT_TRUE(PumpUntil([&] { return Ended(); }));
  EXPECT_EQ(events, (std::vector<std::string>{"socks-connected 0", "auth 0", "auth 2",
                                              "error 20001 too much data availaible",
                                              "connected 20001", "closed 20001"}));

  events.clear();
  Start("5");
  proxy.Receive(3);
  Answer(Bytes({5, 2}));
  proxy.Receive(3);
  proxy.Close();  // holds the credentials and goes away
  ASSERT_TRUE(PumpUntil([&] { return Ended(); }));
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(events.begin() + 1, events.begin() + 3),
            (std::vector<std::string>{"auth 0", "auth 2"}));
  EXPECT_EQ(events[events.size() - 2], "connected 10054");
  EXPECT_EQ(std::count(events.begin(), events.end(), "auth 2"), 1);
}

TEST_F(ScriptedProxyTest, LineModeWaitsForTheGrantAndCutsTheFirstBytesToo) {
  std::vector<std::string> lines;
  socket.SetLineMode(true);
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    const std::string line = s->ReceiveStr();
    if (!line.empty()) lines.push_back(line);
  };
  Start("4A");
  EXPECT_EQ(proxy.Receive(14).size(), 14u);
  ASSERT_TRUE(proxy.Send(Bytes({0, 90, 0, 0, 0, 0, 0, 0}) + "one\r\ntw"));
  ASSERT_TRUE(PumpUntil([&] { return !lines.empty(); }));
  ASSERT_TRUE(proxy.Send("o\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return lines.size() == 2; }));
  EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "two\r\n"}));
}

}  // namespace
