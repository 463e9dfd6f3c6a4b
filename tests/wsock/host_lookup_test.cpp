// Host, service and protocol look-ups: the asynchronous ones that fill the
// caller's buffer and post their completion, and the blocking ones with their
// per-thread records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "wsock_fixture.h"

namespace wsock_test {
namespace {

const std::string kLoopback("\x7F\x00\x00\x01", 4);
constexpr char kUntouched = 0x5A;

class HostLookupTest : public ::testing::Test {
 protected:
  // Starts a lookup of `name` into the first `length` bytes of `buffer`.
  ws::HANDLE ByName(const char* name, char* buffer, int length) {
    const ws::HANDLE task =
        wsa_->WSAAsyncGetHostByName(window_.Handle(), kHostByNameMessage, name, buffer, length);
    EXPECT_NE(task, 0u);
    return task;
  }
  // The completion's lParam: error in the high half, length in the low.
  win::LPARAM Completion(ws::HANDLE task) {
    auto found = window_.WaitFor([task](const Notification& n) {
      return n.message == kHostByNameMessage && n.wParam == task;
    });
    if (!found) ADD_FAILURE() << "lookup " << task << " did not complete";
    return found ? found->lParam : ws::WSAMAKESELECTREPLY(0, 0xFFFF);
  }

  StartedLibrary wsa_;
  NotificationWindow window_;
};

bool Untouched(const char* begin, const char* end) {
  return std::all_of(begin, end, [](char c) { return c == kUntouched; });
}

TEST_F(HostLookupTest, LocalhostIsLaidOutInsideTheCallersBufferAndAnUnknownHostIsNotFound) {
  alignas(8) char buffer[ws::MAXGETHOSTSTRUCT + 1];
  std::memset(buffer, kUntouched, sizeof buffer);
  const win::LPARAM done = Completion(ByName("localhost", buffer, sizeof buffer));
  ASSERT_EQ(ws::WSAGETASYNCERROR(done), 0);
  const int used = ws::WSAGETASYNCBUFLEN(done);
  ASSERT_GT(used, 0);
  ASSERT_LE(used, static_cast<int>(sizeof buffer));
  EXPECT_TRUE(Untouched(buffer + used, buffer + sizeof buffer));
  // The record and everything it points to lies in the bytes it says it used.
  const auto inside = [&](const void* p, std::size_t size) {
    return static_cast<const char*>(p) >= buffer &&
           static_cast<const char*>(p) + size <= buffer + used;
  };
  ws::hostent entry;
  std::memcpy(&entry, buffer, sizeof entry);
  EXPECT_EQ(entry.h_addrtype, ws::AF_INET);
  EXPECT_EQ(entry.h_length, 4);
  EXPECT_TRUE(inside(entry.h_name, std::strlen(entry.h_name) + 1));
  EXPECT_TRUE(inside(entry.h_aliases, sizeof(char*)));
  std::vector<std::string> addresses;
  for (char** slot = entry.h_addr_list; inside(slot, sizeof(char*)) && *slot != nullptr; ++slot) {
    EXPECT_TRUE(inside(*slot, 4));
    addresses.emplace_back(*slot, 4);
  }
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), kLoopback), addresses.end());

  EXPECT_EQ(ws::WSAGETASYNCERROR(Completion(ByName("no-such-router.invalid", buffer, used))),
            ws::WSAHOST_NOT_FOUND);
}

TEST_F(HostLookupTest, ATooSmallBufferIsLeftAloneAndTheNeededLengthReported) {
  alignas(8) char buffer[256];
  std::memset(buffer, kUntouched, sizeof buffer);
  const int tooSmall = 40;
  const win::LPARAM done = Completion(ByName("localhost", buffer, tooSmall));
  EXPECT_EQ(ws::WSAGETASYNCERROR(done), ws::WSAENOBUFS);
  const int needed = ws::WSAGETASYNCBUFLEN(done);
  EXPECT_GT(needed, tooSmall);
  EXPECT_TRUE(Untouched(buffer, buffer + sizeof buffer));
  ASSERT_LE(needed, static_cast<int>(sizeof buffer));
  EXPECT_EQ(ws::WSAGETASYNCERROR(Completion(ByName("localhost", buffer, needed))), 0);
}

TEST_F(HostLookupTest, ACancelledLookupNeverPostsNorWritesAndCancelsOnlyOnce) {
  // Lookups complete in the order asked for: those queued ahead keep the
  // worker busy while the cancel arrives, and the one asked after proves
  // that the cancelled one has been passed. Should the worker still win the
  // race, that lookup must have completed normally, and the test tries again.
  // On a loaded machine a few quick lookups ahead were not always enough.
  alignas(8) static char ahead[16][ws::MAXGETHOSTSTRUCT];
  alignas(8) static char cancelledBuffer[ws::MAXGETHOSTSTRUCT];
  std::vector<ws::HANDLE> handles;
  ws::HANDLE cancelled = 0;
  for (int attempt = 0; attempt < 20 && cancelled == 0; ++attempt) {
    for (auto& buffer : ahead) handles.push_back(ByName("localhost", buffer, sizeof buffer));
    std::memset(cancelledBuffer, kUntouched, sizeof cancelledBuffer);
    const ws::HANDLE candidate = ByName("localhost", cancelledBuffer, sizeof cancelledBuffer);
    handles.push_back(candidate);
    if (wsa_->WSACancelAsyncRequest(candidate) == 0) {
      cancelled = candidate;
    } else {
      EXPECT_EQ(wsa_->WSAGetLastError(), ws::WSAEINVAL);
      EXPECT_EQ(ws::WSAGETASYNCERROR(Completion(candidate)), 0);
    }
  }
  ASSERT_NE(cancelled, 0u) << "no cancel ever came before the lookup finished";

  alignas(8) char lastBuffer[ws::MAXGETHOSTSTRUCT];
  const ws::HANDLE last = ByName("localhost", lastBuffer, sizeof lastBuffer);
  EXPECT_EQ(ws::WSAGETASYNCERROR(Completion(last)), 0);
  window_.Pump();
  EXPECT_EQ(window_.Count([cancelled](const Notification& n) { return n.wParam == cancelled; }), 0);
  EXPECT_TRUE(Untouched(cancelledBuffer, cancelledBuffer + sizeof cancelledBuffer));

  // Handles are distinct and never 0.
  handles.push_back(last);
  std::sort(handles.begin(), handles.end());
  EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end());
  EXPECT_NE(handles.front(), 0u);

  // Cancelled, finished and unknown tasks cannot be cancelled.
  for (ws::HANDLE task : {cancelled, last, ws::HANDLE{987654}}) {
    EXPECT_EQ(wsa_->WSACancelAsyncRequest(task), ws::SOCKET_ERROR);
    EXPECT_EQ(wsa_->WSAGetLastError(), ws::WSAEINVAL);
  }
}

TEST_F(HostLookupTest, BlockingLookupsGiveEachThreadItsOwnRecord) {
  ws::hostent* mine = wsa_->gethostbyname("localhost");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(std::string(mine->h_addr_list[0], 4), kLoopback);
  std::thread([&] {
    ws::hostent* theirs = wsa_->gethostbyname("127.0.0.2");
    ASSERT_NE(theirs, nullptr);
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(std::string(theirs->h_addr_list[0], 4), std::string("\x7F\x00\x00\x02", 4));
  }).join();
  EXPECT_EQ(std::string(mine->h_addr_list[0], 4), kLoopback);
  EXPECT_EQ(wsa_->gethostbyname("no-such-router.invalid"), nullptr);
  EXPECT_EQ(wsa_->WSAGetLastError(), ws::WSAHOST_NOT_FOUND);

  ws::servent* telnet = wsa_->getservbyname("telnet", "tcp");
  ASSERT_NE(telnet, nullptr);
  EXPECT_EQ(wsa_->ntohs(static_cast<ws::u_short>(telnet->s_port)), 23);
  ASSERT_NE(wsa_->getprotobyname("udp"), nullptr);
  EXPECT_EQ(wsa_->getprotobyname("udp")->p_proto, 17);
  EXPECT_EQ(wsa_->getservbyname("no-such-service", "tcp"), nullptr);
  EXPECT_EQ(wsa_->WSAGetLastError(), ws::WSANO_DATA);
  EXPECT_EQ(wsa_->getprotobyname("no-such-protocol"), nullptr);
  EXPECT_EQ(wsa_->WSAGetLastError(), ws::WSANO_DATA);
}

}  // namespace
}  // namespace wsock_test
