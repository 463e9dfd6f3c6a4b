// The late-bound socket library: nothing loads before a socket call, the
// failure texts name the file and the reason, and the library comes and goes
// with the socket objects.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "platform/files.h"
#include "socket/async_socket.h"
#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

std::string ConnectFailure(TAsyncSocket& socket) {
  socket.SetPort("23");
  socket.SetAddr("127.0.0.1");
  try {
    socket.Connect();
  } catch (const net::ESocketException& e) {
    return e.Message();
  }
  return "no exception";
}

class SocketLoaderTest : public ::testing::Test {
 protected:
  void TearDown() override { net::SetSocketLibraryPath(""); }
};

TEST(SocketErrorTextTest, KnownAndUnknownCodes) {
  EXPECT_EQ(net::SocketErrorText(10035), "Operation would block");
  EXPECT_EQ(net::SocketErrorText(1), "Not a WinSock error");
  EXPECT_EQ(net::SocketErrorText(0), "No Error");
  EXPECT_EQ(net::SocketErrorText(10061), "Connection refused");
  EXPECT_EQ(net::SocketErrorText(11004), "No Data");
  EXPECT_EQ(net::SocketErrorText(10072), "Not a WinSock error");
}

TEST_F(SocketLoaderTest, SocketsThatNeverConnectNeverLoadTheLibrary) {
  {
    TAsyncSocket first(nullptr);
    TAsyncSocket second(nullptr);
    first.SetAddr("127.0.0.1");
    first.SetPort("23");
    first.Close();
    second.Abort();
    EXPECT_EQ(TAsyncSocket::LiveSocketCount(), 2);
  }
  EXPECT_FALSE(net::SocketLibraryLoaded());
  EXPECT_EQ(TAsyncSocket::LiveSocketCount(), 0);
}

TEST_F(SocketLoaderTest, LastSocketGoneUnloadsAndNextCallLoadsAgain) {
  PosixListener listener;
  auto keeper = std::make_unique<TAsyncSocket>(nullptr);
  {
    TAsyncSocket socket(nullptr);
    ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
    EXPECT_TRUE(net::SocketLibraryLoaded());
    CloseFd(listener.AcceptPumping());
  }
  EXPECT_TRUE(net::SocketLibraryLoaded()) << "another socket still lives";
  keeper.reset();
  EXPECT_FALSE(net::SocketLibraryLoaded());

  // Loaded and started afresh: the new connection works end to end.
  TAsyncSocket socket(nullptr);
  ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
  const int peer = listener.AcceptPumping();
  ASSERT_GE(peer, 0);
  socket.SendStr("again");
  EXPECT_EQ(ReadPumping(peer, 5), "again");
  CloseFd(peer);
}

TEST_F(SocketLoaderTest, MissingLibraryNamesFileAndSystemError) {
  net::SetSocketLibraryPath(platform::ProgramDirectory() + "libno_such_socket_library.so");
  TAsyncSocket socket(nullptr);
  EXPECT_EQ(ConnectFailure(socket), "connect: Unable to load libno_such_socket_library.so Error #" +
                                        std::to_string(ENOENT));
  EXPECT_FALSE(net::SocketLibraryLoaded());
}

TEST_F(SocketLoaderTest, MissingExportNamesProcedureAndFile) {
  net::SetSocketLibraryPath(platform::ProgramDirectory() + "libsocket_test_partial_wsock.so");
  TAsyncSocket socket(nullptr);
  // The protocol is resolved first, so its lookup is the first missing export.
  EXPECT_EQ(ConnectFailure(socket),
            "connect: Procedure getprotobyname not found in libsocket_test_partial_wsock.so "
            "Error #" +
                std::to_string(ESRCH));
  EXPECT_TRUE(net::SocketLibraryLoaded());
  EXPECT_THROW(net::LoadSocketProc("socket"), net::ESocketException);
  EXPECT_NE(net::LoadSocketProc("WSAStartup"), nullptr);
}

TEST_F(SocketLoaderTest, RefusedStartupKeepsLibraryLoadedAndDoesNotRetry) {
  net::SetSocketLibraryPath(platform::ProgramDirectory() + "libsocket_test_refusing_wsock.so");
  TAsyncSocket socket(nullptr);
  EXPECT_EQ(ConnectFailure(socket),
            "connect: libsocket_test_refusing_wsock.so: WSAStartup error #10092");
  EXPECT_TRUE(net::SocketLibraryLoaded());
  // Start-up is not repeated; the next failure is the missing export.
  EXPECT_THROW(
      {
        try {
          net::LoadSocketProc("getprotobyname");
        } catch (const net::ESocketException& e) {
          EXPECT_NE(e.Message().find("Procedure getprotobyname not found"), std::string::npos);
          throw;
        }
      },
      net::ESocketException);
}

}  // namespace
