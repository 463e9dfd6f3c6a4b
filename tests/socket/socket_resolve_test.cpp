// Address, port and protocol texts: their setters and the blocking resolvers.
#include <gtest/gtest.h>

#include <cstring>

#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

TEST(ParseDecimalTest, DigitsAfterBlanksUpToTheFirstOtherCharacter) {
  EXPECT_EQ(net::ParseDecimal("  42abc"), 42);
  EXPECT_EQ(net::ParseDecimal("-5"), 0);
  EXPECT_EQ(net::ParseDecimal("\t7"), 0) << "only the blank is skipped";
  EXPECT_EQ(net::ParseDecimal("2147483647"), 2147483647);
  EXPECT_THROW(net::ParseDecimal("2147483648"), net::EIntOverflow);
  EXPECT_THROW(net::ParseDecimal("99999999999999999999999"), net::EIntOverflow);
}

TEST(SocketResolveTest, NumbersAndNames) {
  const unsigned char loopback[4] = {127, 0, 0, 1};
  std::uint32_t expected = 0;
  std::memcpy(&expected, loopback, sizeof expected);
  EXPECT_EQ(net::SocketResolveHost(" 127.0.0.1 "), expected);
  EXPECT_EQ(net::SocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(net::SocketResolveHost("localhost") & 0xFF, 127u);
  EXPECT_EQ(net::SocketResolvePort("23", "tcp"), 23);
  EXPECT_EQ(net::SocketResolvePort("65535", ""), 65535);
  EXPECT_EQ(net::SocketResolvePort("telnet", " tcp "), 23);
  EXPECT_EQ(net::SocketResolveProto("17"), 17);
  EXPECT_EQ(net::SocketResolveProto(" udp "), 17);
}

TEST(SocketResolveTest, RefusalsQuoteTheTextAsPassed) {
  const std::string tooLong(257, 'a');
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[] { net::SocketResolveHost("10.0.0.300"); },
       "SocketResolveHost: '10.0.0.300' Invalid IP address."},
      // A leading digit makes it an address, even when it is meant as a name.
      {[] { net::SocketResolveHost("1host.example"); },
       "SocketResolveHost: '1host.example' Invalid IP address."},
      {[] { net::SocketResolveHost(""); }, "SocketResolveHost: '' Invalid Hostname."},
      {[&] { net::SocketResolveHost(tooLong); },
       "SocketResolveHost: '" + tooLong + "' Invalid Hostname."},
      {[] { net::SocketResolveHost(" no-such-host.invalid"); },
       "SocketResolveHost: Cannot convert host address ' no-such-host.invalid'"},
      {[] { net::SocketResolvePort("70000", "tcp"); }, "Range check error"},
      {[] { net::SocketResolvePort("", "tcp"); }, "SocketResolvePort: Invalid Port."},
      {[] { net::SocketResolvePort(std::string(32, '1'), "tcp"); },
       "SocketResolvePort: Invalid Port."},
      {[] { net::SocketResolvePort("nosuchservice ", "tcp"); },
       "SocketResolvePort: Cannot convert port 'nosuchservice '"},
      {[] { net::SocketResolveProto(""); }, "SocketResolveProto: Invalid Protocol."},
      {[] { net::SocketResolveProto(" nosuchproto "); },
       "SocketResolveProto: Cannot convert protocol 'nosuchproto'"},
  };
  for (const auto& [action, message] : cases) EXPECT_EQ(MessageOf(action), message);
}

TEST(SocketAddressPropertiesTest, SettersTrimAndRefuseWhileOpen) {
  Listener listener;
  TAsyncSocket socket(nullptr);
  socket.SetAddr("  192.168.0.1\t ");
  EXPECT_EQ(socket.Addr(), "192.168.0.1");
  socket.SetLocalPort(" 0 ");
  EXPECT_EQ(socket.LocalPort(), " 0 ") << "the local port is kept as given";
  socket.SetLocalPort("0");

  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  EXPECT_NO_THROW(socket.SetAddr("127.0.0.1")) << "the stored value again changes nothing";
  EXPECT_EQ(MessageOf([&] { socket.SetAddr("127.0.0.2"); }), "Cannot change Addr if not closed");
  EXPECT_EQ(MessageOf([&] { socket.SetPort("24"); }), "Cannot change Port if not closed");
  EXPECT_EQ(MessageOf([&] { socket.SetProto("udp"); }), "Cannot change Proto if not closed");
  EXPECT_EQ(MessageOf([&] { socket.SetLocalPort("0"); }), "Cannot change LocalPort if not closed");
  EXPECT_EQ(socket.Addr(), "127.0.0.1");
}

TEST(SocketAddressPropertiesTest, ConnectReportsWhatIsMissingOrUnresolvable) {
  TAsyncSocket socket(nullptr);
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { socket.SetPort("23"); }, "Connect: No IP Address Specified"},
      {[&] { socket.SetAddr("127.0.0.1"), socket.SetProto(""); }, "Connect: No Protocol Specified"},
      {[&] { socket.SetProto("tcp"), socket.SetPort("70000"); }, "connect: Range check error"},
      {[&] { socket.SetPort("23"), socket.SetAddr("10.0.0.300"); },
       "connect: SocketResolveHost: '10.0.0.300' Invalid IP address."},
  };
  for (const auto& [change, message] : cases) {
    change();
    EXPECT_EQ(MessageOf([&] { socket.Connect(); }), message);
  }
  EXPECT_EQ(socket.State(), net::wsClosed);
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
}

}  // namespace
