// Start-up and clean-up, calls made without them, and the per-thread error.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>
#include <utility>

#include "wsock_fixture.h"

namespace wsock_test {
namespace {

TEST(StartupTest, CallsBeforeStartupFailWithNotInitialised) {
  const WsockLibrary& wsa = Wsa();
  char buffer[ws::MAXGETHOSTSTRUCT];
  const std::pair<const char*, std::function<bool()>> calls[] = {
      {"socket", [&] { return wsa.socket(ws::AF_INET, ws::SOCK_STREAM, 0) == ws::INVALID_SOCKET; }},
      {"closesocket", [&] { return wsa.closesocket(0x100) == ws::SOCKET_ERROR; }},
      {"send", [&] { return wsa.send(0x100, "x", 1, 0) == ws::SOCKET_ERROR; }},
      {"WSAAsyncSelect",
       [&] { return wsa.WSAAsyncSelect(0x100, nullptr, 0, 0) == ws::SOCKET_ERROR; }},
      {"gethostbyname", [&] { return wsa.gethostbyname("localhost") == nullptr; }},
      {"getservbyname", [&] { return wsa.getservbyname("telnet", "tcp") == nullptr; }},
      {"WSAAsyncGetHostByName",
       [&] { return wsa.WSAAsyncGetHostByName(nullptr, 1026, "localhost", buffer, 64) == 0; }},
      {"WSACancelAsyncRequest", [&] { return wsa.WSACancelAsyncRequest(1) == ws::SOCKET_ERROR; }},
      {"WSACleanup", [&] { return wsa.WSACleanup() == ws::SOCKET_ERROR; }},
  };
  for (const auto& [call, fails] : calls) {
    wsa.WSASetLastError(0);
    EXPECT_TRUE(fails()) << call;
    EXPECT_EQ(wsa.WSAGetLastError(), ws::WSANOTINITIALISED) << call;
  }
  // Pure conversions need no start-up.
  EXPECT_EQ(wsa.htons(0x1234), wsa.ntohs(0x1234));
  EXPECT_NE(wsa.inet_addr("10.0.0.1"), ws::INADDR_NONE);
}

TEST(StartupTest, StartupGrantsVersionOneOneAndIsCountedAndTheLastCleanupClosesWhatIsOpen) {
  const WsockLibrary& wsa = Wsa();
  ws::WSAData data;
  EXPECT_EQ(wsa.WSAStartup(0x0000, &data), ws::WSAVERNOTSUPPORTED);
  std::memset(&data, 0xFF, sizeof data);
  ASSERT_EQ(wsa.WSAStartup(0x0202, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(data.wHighVersion, 0x0101);
  EXPECT_LE(std::strlen(data.szDescription), static_cast<std::size_t>(ws::WSADESCRIPTION_LEN));
  EXPECT_LE(std::strlen(data.szSystemStatus), static_cast<std::size_t>(ws::WSASYS_STATUS_LEN));
  ASSERT_EQ(wsa.WSAStartup(0x0101, &data), 0);
  const ws::SOCKET kept = wsa.socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  ASSERT_NE(kept, ws::INVALID_SOCKET);

  ASSERT_EQ(wsa.WSACleanup(), 0);
  const ws::SOCKET another = wsa.socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  EXPECT_NE(another, ws::INVALID_SOCKET) << "one start-up is still in force";
  EXPECT_EQ(wsa.closesocket(another), 0);

  ASSERT_EQ(wsa.WSACleanup(), 0);
  EXPECT_EQ(wsa.socket(ws::AF_INET, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(wsa.WSAGetLastError(), ws::WSANOTINITIALISED);

  ASSERT_EQ(wsa.WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(wsa.closesocket(kept), ws::SOCKET_ERROR) << "the last clean-up closed it";
  EXPECT_EQ(wsa.WSAGetLastError(), ws::WSAENOTSOCK);
  EXPECT_EQ(wsa.WSACleanup(), 0);
}

TEST(StartupTest, TheLastErrorBelongsToTheThread) {
  const WsockLibrary& wsa = Wsa();
  wsa.WSASetLastError(ws::WSAEWOULDBLOCK);
  int seenThere = -1;
  std::thread([&] {
    seenThere = wsa.WSAGetLastError();
    wsa.WSASetLastError(ws::WSAECONNRESET);
  }).join();
  EXPECT_EQ(seenThere, 0);
  EXPECT_EQ(wsa.WSAGetLastError(), ws::WSAEWOULDBLOCK);
}

}  // namespace
}  // namespace wsock_test
