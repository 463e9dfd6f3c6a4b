// The late-bound socket library: nothing loads before a socket call, the
// failure texts name the file and the reason, and the library comes and goes
// with the socket objects.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <ostream>
#include <string>

#include "platform/files.h"
#include "socket_test_support.h"
#include "support/case_names.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

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
  }
  EXPECT_TRUE(net::SocketLibraryLoaded()) << "another socket still lives";
  keeper.reset();
  EXPECT_FALSE(net::SocketLibraryLoaded());

  // Loaded and started afresh.
  TAsyncSocket socket(nullptr);
  Peer peer;
  ConnectPeer(socket, listener, peer);
  EXPECT_TRUE(net::SocketLibraryLoaded());
}

struct LoaderFailure {
  const char* file;
  std::string connect;  // what Connect raises
  std::string again;    // what the next entry-point request raises
};

// Names the case by its library in test listings instead of dumping its bytes.
void PrintTo(const LoaderFailure& c, std::ostream* os) { *os << c.file; }

class SocketLoaderTest : public ::testing::TestWithParam<LoaderFailure> {
 protected:
  // The resolvers load the library without any socket object to unload it.
  void SetUp() override { net::UnloadSocketLibrary(); }
  void TearDown() override { net::SetSocketLibraryPath(""); }
};

TEST_P(SocketLoaderTest, FailureNamesTheFileAndTheReason) {
  const LoaderFailure& c = GetParam();
  TAsyncSocket socket(nullptr);  // keeps the library loaded while it lives
  net::SetSocketLibraryPath(platform::ProgramDirectory() + c.file);
  EXPECT_EQ(MessageOf([&] { StartConnect(socket, "23"); }), "connect: " + c.connect);
  EXPECT_EQ(MessageOf([] { net::LoadSocketProc("getprotobyname"); }), c.again);
}

const std::string kNoExport = " Error #" + std::to_string(ESRCH);
const std::string kMissing =
    "Unable to load libno_such_socket_library.so Error #" + std::to_string(ENOENT);

INSTANTIATE_TEST_SUITE_P(
    Libraries, SocketLoaderTest,
    ::testing::Values(
        LoaderFailure{"libno_such_socket_library.so", kMissing, kMissing},
        // The protocol is resolved first, so its lookup is the first missing export.
        LoaderFailure{
            "libsocket_test_partial_wsock.so",
            "Procedure getprotobyname not found in libsocket_test_partial_wsock.so" + kNoExport,
            "Procedure getprotobyname not found in libsocket_test_partial_wsock.so" + kNoExport},
        // Start-up is not repeated: the library stays loaded after a refusal.
        LoaderFailure{
            "libsocket_test_refusing_wsock.so",
            "libsocket_test_refusing_wsock.so: WSAStartup error #10092",
            "Procedure getprotobyname not found in libsocket_test_refusing_wsock.so" + kNoExport}),
    [](const ::testing::TestParamInfo<LoaderFailure>& info) {
      std::string_view file = info.param.file;
      file.remove_prefix(3);  // lib
      file.remove_suffix(3);  // .so
      return support::CaseName(file);
    });

}  // namespace
