// The late-bound socket library: nothing loads before a socket call, the
// failure texts name the file and the reason, and the library comes and goes
// with the socket objects.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "platform/files.h"
#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

class SocketLoaderTest : public ::testing::Test {
 protected:
  void TearDown() override { net::SetSocketLibraryPath(""); }

  // What Connect raises with the library `file` from the tests' folder.
  std::string ConnectFailureWith(const std::string& file) {
    net::SetSocketLibraryPath(platform::ProgramDirectory() + file);
    return MessageOf([&] { StartConnect(socket_, "23"); });
  }

  TAsyncSocket socket_{nullptr};  // keeps the library loaded while it lives
};

TEST(SocketErrorTextTest, KnownAndUnknownCodes) {
  EXPECT_EQ(net::SocketErrorText(10035), "Operation would block");
  EXPECT_EQ(net::SocketErrorText(1), "Not a WinSock error");
  EXPECT_EQ(net::SocketErrorText(11004), "No Data");
}

TEST(SocketLibraryLifeTest, SocketsThatNeverConnectNeverLoadTheLibrary) {
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

TEST(SocketLibraryLifeTest, LastSocketGoneUnloadsAndNextCallLoadsAgain) {
  Listener listener;
  auto keeper = std::make_unique<TAsyncSocket>(nullptr);
  {
    TAsyncSocket socket(nullptr);
    Peer first;
    ConnectPeer(socket, listener, first);
    EXPECT_TRUE(net::SocketLibraryLoaded());
  }
  EXPECT_TRUE(net::SocketLibraryLoaded()) << "another socket still lives";
  keeper.reset();
  EXPECT_FALSE(net::SocketLibraryLoaded());

  // Loaded and started afresh: the new connection works end to end.
  TAsyncSocket socket(nullptr);
  Peer peer;
  ConnectPeer(socket, listener, peer);
  socket.SendStr("again");
  EXPECT_EQ(peer.Receive(5), "again");
}

TEST_F(SocketLoaderTest, MissingLibraryNamesFileAndSystemError) {
  EXPECT_EQ(ConnectFailureWith("libno_such_socket_library.so"),
            "connect: Unable to load libno_such_socket_library.so Error #" + std::to_string(ENOENT));
  EXPECT_FALSE(net::SocketLibraryLoaded());
}

TEST_F(SocketLoaderTest, MissingExportNamesProcedureAndFile) {
  // The protocol is resolved first, so its lookup is the first missing export.
  EXPECT_EQ(ConnectFailureWith("libsocket_test_partial_wsock.so"),
            "connect: Procedure getprotobyname not found in libsocket_test_partial_wsock.so "
            "Error #" + std::to_string(ESRCH));
  EXPECT_TRUE(net::SocketLibraryLoaded());
  EXPECT_THROW(net::LoadSocketProc("socket"), net::ESocketException);
  EXPECT_NE(net::LoadSocketProc("WSAStartup"), nullptr);
}

TEST_F(SocketLoaderTest, RefusedStartupKeepsLibraryLoadedAndDoesNotRetry) {
  EXPECT_EQ(ConnectFailureWith("libsocket_test_refusing_wsock.so"),
            "connect: libsocket_test_refusing_wsock.so: WSAStartup error #10092");
  EXPECT_TRUE(net::SocketLibraryLoaded());
  // Start-up is not repeated; the next failure is the missing export.
  EXPECT_EQ(MessageOf([] { net::LoadSocketProc("getprotobyname"); }).rfind(
                "Procedure getprotobyname not found", 0),
            0u);
}

}  // namespace
