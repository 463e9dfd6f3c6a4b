// How a SOCKS handshake ends, seen by the socket's owner: grants with every
// kind of bound address, every way the proxy can fail or vanish half way
// (with and without an OnSessionClosed handler), the owner's own Close in the
// middle, and what a refused or failed Connect leaves behind.
#include <gtest/gtest.h>

#include "socket_test_support.h"

namespace {

using namespace sockettest;

std::string Octets(std::initializer_list<int> values) {
  std::string out;
  for (const int v : values) out.push_back(static_cast<char>(v));
  return out;
}

const char kProxyGone[] = "connection closed by the SOCKS server";

// The owner of a socket that goes through a scripted proxy; it hears the
// SOCKS events, OnSessionConnected and, unless told otherwise,
// OnSessionClosed, each as one line.
class HandshakeTest : public ::testing::Test {
 public:
  void Listen(bool sessionClosedHandler = true) {
    const auto line = [this](const std::string& what) {
      return [this, what](net::TCustomAsyncSocket*, std::uint16_t e) {
        events.push_back(what + std::to_string(e));
      };
    };
    socket.OnSocksConnected = line("socks-connected ");
    socket.OnSessionConnected = line("connected ");
    if (sessionClosedHandler) socket.OnSessionClosed = line("closed ");
    socket.OnSocksAuthState = [this](net::TCustomAsyncSocket*, net::TSocksAuthState s) {
      events.push_back("auth " + std::to_string(s));
    };
    socket.OnSocksError = [this](net::TCustomAsyncSocket*, std::int32_t e, const std::string& m) {
      events.push_back("error " + std::to_string(e) + " " + m);
    };
  }

  void Aim(const std::string& level, const std::string& addr, const std::string& proxyPort) {
    socket.SetSocksServer("127.0.0.1");
    socket.SetSocksPort(proxyPort);
    socket.SetSocksLevel(level);
    socket.SetProto("tcp");
    socket.SetPort("23");
    socket.SetAddr(addr);
  }

  // Connects to `addr` port 23 through the proxy; the proxy takes the call.
  void Begin(const std::string& level, const std::string& addr = "host") {
    Aim(level, addr, proxyListener.PortText());
    socket.Connect();
    proxy = proxyListener.Accept();
    ASSERT_TRUE(proxy.Valid());
  }

  // Sends `bytes` one at a time, each in a read of its own.
  void Trickle(const std::string& bytes) {
    for (const char b : bytes) {
      const int readBefore = socket.ReadCount();
      ASSERT_TRUE(proxy.Send(std::string(1, b)));
      ASSERT_TRUE(PumpUntil([&] { return socket.ReadCount() > readBefore; }));
    }
  }

  // SOCKS 5 with credentials offered, up to the point where the proxy holds them.
  void UpToCredentials() {
    socket.SetSocksAuthentication(net::socksAuthenticateUsercode);
    socket.SetSocksUsercode("al");
    socket.SetSocksPassword("pw");
    Begin("5");
    ASSERT_EQ(proxy.Receive(3), Octets({5, 1, 2}));
    ASSERT_TRUE(proxy.Send(Octets({5, 2})));
    ASSERT_EQ(proxy.Receive(7), Octets({1, 2, 'a', 'l', 2, 'p', 'w'}));
  }

  bool Told() const {
    return std::any_of(events.begin(), events.end(),
                       [](const std::string& e) { return e.rfind("connected ", 0) == 0; });
  }
  bool Finished() const { return Told() && socket.State() == net::wsClosed; }

  Listener proxyListener;
  net::TAsyncSocket socket{nullptr};
  Peer proxy;
  std::vector<std::string> events;
};

// A grant whose bound address is IPv6 (type 4, 16 bytes), arriving whole or
// byte by byte, with the destination's first bytes behind it in the same read.
class Ipv6GrantTest : public HandshakeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Ipv6GrantTest, GrantsAndHandsOverTheBytesBehindTheReply) {
  Listen();
  std::string data;
  std::vector<int> waiting;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    waiting.push_back(s->RcvdCount());
    data += s->ReceiveStr();
  };
  Begin("5");
  ASSERT_EQ(proxy.Receive(3), Octets({5, 1, 0}));
  ASSERT_TRUE(proxy.Send(Octets({5, 0})));
  ASSERT_EQ(proxy.Receive(11), Octets({5, 1, 0, 3, 4, 'h', 'o', 's', 't', 0, 23}));

  // 05 00 00 04, the bound address ::1, port 1080.
  const std::string reply =
      Octets({5, 0, 0, 4}) + std::string(15, '\0') + Octets({1}) + Octets({0x04, 0x38});
  ASSERT_EQ(reply.size(), 22u);
  const std::string head = reply.substr(0, reply.size() - 1);
  if (GetParam()) {
    Trickle(head);
  } else {
    ASSERT_TRUE(proxy.Send(head));
  }
  ASSERT_TRUE(proxy.Send(reply.substr(reply.size() - 1) + "login: "));
  ASSERT_TRUE(PumpUntil([&] { return data == "login: "; })) << data;
  EXPECT_EQ(events, (std::vector<std::string>{"socks-connected 0", "connected 0"}));
  ASSERT_FALSE(waiting.empty());
  EXPECT_EQ(waiting.front(), 7) << "the leftover bytes count as waiting";
  EXPECT_EQ(socket.State(), net::wsConnected);
}

INSTANTIATE_TEST_SUITE_P(Arrival, Ipv6GrantTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ByteByByte" : "Whole"; });

// The proxy goes away before the handshake is over. Whatever the phase and
// however it goes, the owner is told once, as a failed connection with the
// reason, whether it handles OnSessionClosed or not.
enum class Phase { Method, Credentials, Reply };
enum class Loss { Reset, HangUp, CloseNotice };

struct LossCase {
  Phase phase;
  Loss loss;
  bool closedHandler;
};

std::string LossCaseName(const ::testing::TestParamInfo<LossCase>& info) {
  static const char* const kPhases[] = {"Method", "Credentials", "Reply"};
  static const char* const kLosses[] = {"Reset", "HangUp", "CloseNotice"};
  return std::string(kPhases[static_cast<int>(info.param.phase)]) +
         kLosses[static_cast<int>(info.param.loss)] +
         (info.param.closedHandler ? "WithClosedHandler" : "WithoutClosedHandler");
}

class ProxyLossTest : public HandshakeTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(ProxyLossTest, ReachesTheOwnerOnceAsAFailedConnection) {
  const LossCase& c = GetParam();
  Listen(c.closedHandler);
  std::vector<std::string> expected{"socks-connected 0"};
  switch (c.phase) {
    case Phase::Method:
      Begin("5");
      ASSERT_EQ(proxy.Receive(3), Octets({5, 1, 0}));
      break;
    case Phase::Credentials:
      UpToCredentials();
      expected.push_back("auth 0");
      expected.push_back("auth 2");
      break;
    case Phase::Reply:
      Begin("4A");
      ASSERT_EQ(proxy.Receive(14).size(), 14u);
      break;
  }
  // A hang-up and a reset read as the proxy's end; the notice of a close the
  // network gives without anything left to read carries its own code.
  std::uint16_t code = ws::WSAECONNRESET;
  switch (c.loss) {
    case Loss::Reset:
      proxy.ResetAndClose();
      break;
    case Loss::HangUp:
      proxy.Close();
      break;
    case Loss::CloseNotice:
      code = ws::WSAECONNABORTED;
      Deliver(socket, socket.SocketHandle(), ws::FD_CLOSE, code);
      break;
  }
  ASSERT_TRUE(PumpUntil([&] { return Finished(); })) << ::testing::PrintToString(events);
  const std::string text = std::to_string(code);
  expected.push_back("error " + text + " " + kProxyGone);
  expected.push_back("connected " + text);
  if (c.closedHandler) expected.push_back("closed " + text);
  EXPECT_EQ(events, expected);
}

std::vector<LossCase> AllLossCases() {
  std::vector<LossCase> cases;
  for (const Phase phase : {Phase::Method, Phase::Credentials, Phase::Reply}) {
    for (const Loss loss : {Loss::Reset, Loss::HangUp, Loss::CloseNotice}) {
      for (const bool handler : {false, true}) cases.push_back({phase, loss, handler});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Endings, ProxyLossTest, ::testing::ValuesIn(AllLossCases()), LossCaseName);

// The owner's own Close while the proxy holds the credentials: the
// credentials count as turned down when the owner hears of the close, and
// the connection is not reported as failed (the owner ended it).
class CloseWithCredentialsTest : public HandshakeTest,
                                 public ::testing::WithParamInterface<bool> {};

TEST_P(CloseWithCredentialsTest, RejectsThemOnlyWhereTheCloseIsHeard) {
  const bool closedHandler = GetParam();
  Listen(closedHandler);
  UpToCredentials();
  socket.Close();
  EXPECT_EQ(socket.State(), net::wsClosed);
  std::vector<std::string> expected{"socks-connected 0", "auth 0"};
  if (closedHandler) {
    expected.push_back("auth 2");
    expected.push_back("closed 0");
  }
  EXPECT_EQ(events, expected);
}

INSTANTIATE_TEST_SUITE_P(Owners, CloseWithCredentialsTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? "WithClosedHandler" : "WithoutClosedHandler";
});

TEST_F(HandshakeTest, ProxyChoosingNoAuthenticationOverOfferedCredentialsGetsTheRequest) {
  Listen();
  socket.SetSocksAuthentication(net::socksAuthenticateUsercode);
  socket.SetSocksUsercode("al");
  Begin("5");
  ASSERT_EQ(proxy.Receive(3), Octets({5, 1, 2}));
  ASSERT_TRUE(proxy.Send(Octets({5, 0})));
  EXPECT_EQ(proxy.Receive(11), Octets({5, 1, 0, 3, 4, 'h', 'o', 's', 't', 0, 23}));
  EXPECT_EQ(events, (std::vector<std::string>{"socks-connected 0", "auth 3"}));
}

// Failures after the proxy was called: the owner's events in order.
struct FailureCase {
  const char* name;
  std::function<void(HandshakeTest&)> drive;
  std::vector<std::string> events;
};

class HandshakeFailureTest : public HandshakeTest,
                             public ::testing::WithParamInterface<FailureCase> {};

TEST_P(HandshakeFailureTest, EndsWithTheseEvents) {
  Listen();
  GetParam().drive(*this);
  ASSERT_TRUE(PumpUntil([&] { return Finished(); })) << ::testing::PrintToString(events);
  EXPECT_EQ(events, GetParam().events);
  EXPECT_EQ(socket.SocksServer(), "") << "the proxy is off again after the failure";
}

const FailureCase kFailures[] = {
    {"CredentialsTurnedDown",
     [](HandshakeTest& t) {
       t.UpToCredentials();
       ASSERT_TRUE(t.proxy.Send(Octets({1, 1})));
     },
     {"socks-connected 0", "auth 0", "auth 2", "error 20015 socks authentication failed",
      "connected 20015", "closed 20015"}},
    {"Socks4DestinationThatDoesNotResolve",
     [](HandshakeTest& t) { t.Begin("4", "999.1.1.1"); },
     {"socks-connected 0",
      "error 20017 ESocketException SocketResolveHost: '999.1.1.1' Invalid IP address.",
      "connected 20017", "closed 20017"}},
    {"ProxyPortRefusing",
     [](HandshakeTest& t) {
       t.Aim("5", "host", support::RefusingPortText());
       t.socket.Connect();
     },
     {"socks-connected 10061", "connected 10061", "closed 0"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, HandshakeFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// Refused before anything is opened: the message, and no handle.
struct RefusalCase {
  const char* name;
  std::function<void(net::TAsyncSocket&)> attempt;
  const char* message;
};

class RefusedAtOnceTest : public HandshakeTest,
                          public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedAtOnceTest, OpensNothing) {
  Aim("4A", "host", proxyListener.PortText());
  EXPECT_EQ(MessageOf([&] { GetParam().attempt(socket); }), GetParam().message);
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
  EXPECT_EQ(socket.State(), net::wsClosed);
  EXPECT_EQ(socket.SocksPhase(), net::socksPassThrough);
}

const RefusalCase kRefusedAtOnce[] = {
    {"Listen", [](net::TAsyncSocket& s) { s.Listen(); },
     "listening is not supported thru socks server"},
    {"Udp",
     [](net::TAsyncSocket& s) {
       s.SetProto("udp");
       s.Connect();
     },
     "tcp is the only protocol supported thru socks server"},
    {"NulInSocks4UserCode",
     [](net::TAsyncSocket& s) {
       s.SetSocksUsercode(std::string("a\0evil.example", 14));
       s.Connect();
     },
     "SOCKS user code holds a NUL byte"},
    {"NulInSocks4aHostName",
     [](net::TAsyncSocket& s) {
       s.SetAddr(std::string("router\0evil", 11));
       s.Connect();
     },
     "destination host name holds a NUL byte"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RefusedAtOnceTest, ::testing::ValuesIn(kRefusedAtOnce),
                         [](const auto& info) { return std::string(info.param.name); });

// A Connect through the proxy that fails leaves the address and port it was
// given: with the proxy turned off, the next Connect reaches the destination,
// not the proxy.
struct FailedConnectCase {
  const char* name;
  bool withAddr;        // false: Addr is missing, which the plain socket refuses
  const char* badPort;  // a Port that does not resolve, or nullptr
  bool quietly = false;  // an OnError handler takes the failure: no exception
};

class FailedConnectTest : public HandshakeTest,
                          public ::testing::WithParamInterface<FailedConnectCase> {};

TEST_P(FailedConnectTest, LeavesTheAddressItWasGiven) {
  const FailedConnectCase& c = GetParam();
  Listener router(0, "127.0.0.1");
  Listener otherProxy(0, "127.0.0.2");
  socket.SetSocksServer("127.0.0.2");
  socket.SetSocksPort(otherProxy.PortText());
  socket.SetPort(c.badPort != nullptr ? c.badPort : router.PortText());
  if (c.withAddr) socket.SetAddr("127.0.0.1");
  int errors = 0;
  if (c.quietly) socket.OnError = [&](net::TCustomAsyncSocket*) { ++errors; };
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }) == "no exception", c.quietly);
  EXPECT_EQ(errors, c.quietly ? 1 : 0);
  socket.OnError = nullptr;
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);

  // The proxy off, and only what was missing or wrong given again.
  socket.SetSocksServer("");
  if (c.badPort != nullptr) socket.SetPort(router.PortText());
  if (!c.withAddr) socket.SetAddr("127.0.0.1");
  Listen();
  socket.Connect();
  Peer reached = router.Accept();
  EXPECT_TRUE(reached.Valid()) << "the destination was not called";
  ASSERT_TRUE(PumpUntil([&] { return Told(); }));
  EXPECT_EQ(events, (std::vector<std::string>{"connected 0"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedConnectTest,
                         ::testing::Values(FailedConnectCase{"PortNotResolved", true, "no-such"},
                                           FailedConnectCase{"AddrMissing", false, nullptr},
                                           FailedConnectCase{"AddrMissingQuietly", false, nullptr,
                                                             true}),
                         [](const auto& info) { return std::string(info.param.name); });

// An owner that closes and connects elsewhere from the failed connection
// keeps that new connection, and hears nothing more of the old one.
class ReconnectFromFailureTest : public HandshakeTest,
                                 public ::testing::WithParamInterface<bool> {};

TEST_P(ReconnectFromFailureTest, KeepsTheNewConnection) {
  const bool refusal = GetParam();  // else the proxy's end noticed with nothing to read
  Listen();
  Listener router;
  socket.OnSessionConnected = [&](net::TCustomAsyncSocket*, std::uint16_t e) {
    events.push_back("connected " + std::to_string(e));
    if (e == 0) return;
    socket.Close();
    socket.SetPort(router.PortText());
    socket.SetAddr("127.0.0.1");
    socket.Connect();
  };
  Begin("4", "127.0.0.1");
  ASSERT_EQ(proxy.Receive(9).size(), 9u);
  std::vector<std::string> expected{"socks-connected 0"};
  if (refusal) {
    ASSERT_TRUE(proxy.Send(Octets({0, 91, 0, 0, 0, 0, 0, 0})));
    expected.push_back("error 20016 request rejected or failed");
    expected.push_back("connected 20016");
  } else {
    Deliver(socket, socket.SocketHandle(), ws::FD_CLOSE, ws::WSAECONNABORTED);
    expected.push_back("error 10053 " + std::string(kProxyGone));
    expected.push_back("connected 10053");
  }
  Peer reached = router.Accept();
  ASSERT_TRUE(reached.Valid());
  ASSERT_TRUE(PumpUntil([&] { return events.back() == "connected 0"; }))
      << ::testing::PrintToString(events);
  EXPECT_EQ(socket.State(), net::wsConnected);
  if (refusal) expected.push_back("closed 0");  // the owner's own Close
  expected.push_back("connected 0");
  EXPECT_EQ(events, expected);
}

INSTANTIATE_TEST_SUITE_P(Failures, ReconnectFromFailureTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Refusal" : "CloseNotice"; });

}  // namespace
