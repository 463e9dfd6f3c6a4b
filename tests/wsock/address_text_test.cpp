// Dotted address text, byte order, the translation of the system's error
// numbers, and the built-in services and protocols tables that stand in for
// missing system databases.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "wsock/error_codes.h"
#include "wsock/known_services.h"
#include "wsock_fixture.h"

namespace wsock_test {
namespace {

// The address a.b.c.d as inet_addr returns it: network order in memory.
ws::u_long Address(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  const unsigned char bytes[4] = {a, b, c, d};
  ws::u_long value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

TEST(AddressTextTest, InetAddrTakesEveryWindowsForm) {
  const WsockLibrary& wsa = Wsa();
  const struct {
    const char* text;
    ws::u_long expected;
  } accepted[] = {
      {"192.168.0.1", Address(192, 168, 0, 1)},
      {"10.1.258", Address(10, 1, 1, 2)},            // a.b.c: c fills 16 bits
      {"10.65538", Address(10, 1, 0, 2)},            // a.b: b fills 24 bits
      {"3232235521", Address(192, 168, 0, 1)},       // a: all 32 bits
      {"0xC0.0250.0.0x1", Address(192, 168, 0, 1)},  // hexadecimal and octal parts
      {"0", Address(0, 0, 0, 0)},
      {"1.2.3.4 trailing", Address(1, 2, 3, 4)},  // white space ends the address
  };
  for (const auto& form : accepted) EXPECT_EQ(wsa.inet_addr(form.text), form.expected) << form.text;

  // The broadcast address reads as INADDR_NONE's value, as on Windows.
  EXPECT_EQ(wsa.inet_addr("255.255.255.255"), ws::INADDR_NONE);
  for (const char* invalid :
       {"", "256.1.1.1", "1.2.3.4.5", "1..2", "1.2.3.", "08.1.1.1", "0x", "1.2.3.4x", "router",
        "4294967296", "1.16777216", "1.2.65536", "-1.2.3.4"})
    EXPECT_EQ(wsa.inet_addr(invalid), ws::INADDR_NONE) << '"' << invalid << '"';
  EXPECT_EQ(wsa.inet_addr(nullptr), ws::INADDR_NONE);
}

TEST(AddressTextTest, InetNtoaWritesAPerThreadBufferAndPortsAreInNetworkOrder) {
  const WsockLibrary& wsa = Wsa();
  char* mine = wsa.inet_ntoa(ws::in_addr{Address(192, 168, 0, 1)});
  EXPECT_STREQ(mine, "192.168.0.1");
  std::thread([&] {
    char* theirs = wsa.inet_ntoa(ws::in_addr{Address(255, 255, 255, 255)});
    EXPECT_STREQ(theirs, "255.255.255.255");
    EXPECT_NE(theirs, mine);
  }).join();
  EXPECT_STREQ(mine, "192.168.0.1");

  const ws::u_short port = wsa.htons(0x1723);
  EXPECT_EQ(std::memcmp(&port, "\x17\x23", 2), 0);
  EXPECT_EQ(wsa.ntohs(port), 0x1723);
}

TEST(ErrorCodesTest, SystemErrorsBecomeTheWindowsSocketsNumbers) {
  const std::pair<int, int> mapping[] = {
      {EWOULDBLOCK, 10035}, {EINPROGRESS, 10036},  {EALREADY, 10037},     {EACCES, 10013},
      {EFAULT, 10014},      {EINVAL, 10022},       {EMFILE, 10024},       {EBADF, 10038},
      {ENOTSOCK, 10038},    {EMSGSIZE, 10040},     {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
      {ENETDOWN, 10050},    {ENETUNREACH, 10051},  {ECONNABORTED, 10053}, {ECONNRESET, 10054},
      {ENOBUFS, 10055},     {EISCONN, 10056},      {ENOTCONN, 10057},     {ESHUTDOWN, 10058},
      {ETIMEDOUT, 10060},   {ECONNREFUSED, 10061}, {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065}};
  for (const auto& [system, windows] : mapping)
    EXPECT_EQ(wsock::FromErrno(system), windows) << system;
  EXPECT_EQ(wsock::AbortiveCloseError(ECONNRESET), ws::WSAECONNRESET);
  EXPECT_EQ(wsock::AbortiveCloseError(ETIMEDOUT), ws::WSAECONNABORTED);
}

TEST(KnownServicesTest, CommonServicesAndProtocolsAreBuiltIn) {
  const struct {
    const char* name;
    const char* protocol;
    int port;
  } services[] = {
      {"telnet", "tcp", 23}, {"domain", "udp", 53}, {"TELNET", nullptr, 23}, {"www", "TCP", 80}};
  for (const auto& expected : services) {
    const wsock::KnownService* found = wsock::FindKnownService(expected.name, expected.protocol);
    ASSERT_NE(found, nullptr) << expected.name;
    EXPECT_EQ(found->port, expected.port) << expected.name;
  }
  EXPECT_EQ(wsock::FindKnownService("telnet", "udp"), nullptr);
  EXPECT_EQ(wsock::FindKnownService("no-such-service", nullptr), nullptr);
  ASSERT_NE(wsock::FindKnownProtocol("UDP"), nullptr);
  EXPECT_EQ(wsock::FindKnownProtocol("UDP")->number, 17);
  EXPECT_EQ(wsock::FindKnownProtocol("no-such-protocol"), nullptr);
}

}  // namespace
}  // namespace wsock_test
