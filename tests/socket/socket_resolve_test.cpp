// Address, port and protocol texts: their setters and the blocking resolvers.
#include <gtest/gtest.h>

#include <cstring>

#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

std::uint32_t NetworkOrder(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  const unsigned char bytes[4] = {a, b, c, d};
  std::uint32_t address = 0;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

TEST(ParseDecimalTest, DigitsAfterBlanksUpToTheFirstOtherCharacter) {
  EXPECT_EQ(net::ParseDecimal("  42abc"), 42);
  EXPECT_EQ(net::ParseDecimal(""), 0);
  EXPECT_EQ(net::ParseDecimal("-5"), 0);
  EXPECT_EQ(net::ParseDecimal("\t7"), 0) << "only the blank is skipped";
  EXPECT_EQ(net::ParseDecimal("2147483647"), 2147483647);
  EXPECT_THROW(net::ParseDecimal("2147483648"), net::EIntOverflow);
  EXPECT_THROW(net::ParseDecimal("99999999999999999999999"), net::EIntOverflow);
  EXPECT_TRUE(net::IsDecimalDigit('0'));
  EXPECT_FALSE(net::IsDecimalDigit('a'));
}

TEST(SocketResolveHostTest, DottedAddressesAndTheirFailures) {
  EXPECT_EQ(net::SocketResolveHost(" 127.0.0.1 "), NetworkOrder(127, 0, 0, 1));
  EXPECT_EQ(net::SocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(MessageOf([] { net::SocketResolveHost("10.0.0.300"); }),
            "SocketResolveHost: '10.0.0.300' Invalid IP address.");
  // A leading digit makes it an address, even when it is meant as a name.
  EXPECT_EQ(MessageOf([] { net::SocketResolveHost("1host.example"); }),
            "SocketResolveHost: '1host.example' Invalid IP address.");
  EXPECT_EQ(MessageOf([] { net::SocketResolveHost(""); }), "SocketResolveHost: '' Invalid Hostname.");
  const std::string tooLong(257, 'a');
  EXPECT_EQ(MessageOf([&] { net::SocketResolveHost(tooLong); }),
            "SocketResolveHost: '" + tooLong + "' Invalid Hostname.");
}

TEST(SocketResolveHostTest, NamesAskTheResolver) {
  EXPECT_EQ(net::SocketResolveHost("localhost") & 0xFF, 127u);
  EXPECT_EQ(MessageOf([] { net::SocketResolveHost("no-such-host.invalid"); }),
            "SocketResolveHost: Cannot convert host address 'no-such-host.invalid'");
}

TEST(SocketResolvePortTest, NumbersServicesAndLimits) {
  EXPECT_EQ(net::SocketResolvePort("23", "tcp"), 23);
  EXPECT_EQ(net::SocketResolvePort("65535", ""), 65535);
  EXPECT_EQ(net::SocketResolvePort("telnet", " tcp "), 23);
  EXPECT_THROW(net::SocketResolvePort("70000", "tcp"), net::ERangeError);
  EXPECT_EQ(MessageOf([] { net::SocketResolvePort("", "tcp"); }), "SocketResolvePort: Invalid Port.");
  EXPECT_EQ(MessageOf([] { net::SocketResolvePort(std::string(32, '1'), "tcp"); }),
            "SocketResolvePort: Invalid Port.");
  EXPECT_EQ(MessageOf([] { net::SocketResolvePort("nosuchservice", "tcp"); }),
            "SocketResolvePort: Cannot convert port 'nosuchservice'");
}

TEST(SocketResolveProtoTest, NumbersAndNames) {
  EXPECT_EQ(net::SocketResolveProto("17"), 17);
  EXPECT_EQ(net::SocketResolveProto(" udp "), 17);
  EXPECT_EQ(net::SocketResolveProto("tcp"), 6);
  EXPECT_EQ(MessageOf([] { net::SocketResolveProto(""); }), "SocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(MessageOf([] { net::SocketResolveProto(" nosuchproto "); }),
            "SocketResolveProto: Cannot convert protocol 'nosuchproto'");
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
  EXPECT_EQ(socket.Port(), listener.PortText());
}

TEST(SocketAddressPropertiesTest, ConnectReportsWhatIsMissingOrUnresolvable) {
  TAsyncSocket socket(nullptr);
  socket.SetPort("23");
  socket.SetAddr("");
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "Connect: No IP Address Specified");
  socket.SetAddr("127.0.0.1");
  socket.SetProto("");
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "Connect: No Protocol Specified");
  socket.SetProto("tcp");
  socket.SetPort("70000");
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }), "connect: Range check error");
  socket.SetPort("23");
  socket.SetAddr("10.0.0.300");
  EXPECT_EQ(MessageOf([&] { socket.Connect(); }),
            "connect: SocketResolveHost: '10.0.0.300' Invalid IP address.");
  EXPECT_EQ(socket.State(), net::wsClosed);
  EXPECT_EQ(socket.SocketHandle(), ws::INVALID_SOCKET);
}

}  // namespace
