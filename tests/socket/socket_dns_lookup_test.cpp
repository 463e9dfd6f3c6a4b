// Asynchronous host lookups through the hidden window. The stand-in completes
// lookups in the order they were asked for, so a lookup asked afterwards and
// waited for proves that an earlier one would have reported by then.
#include <gtest/gtest.h>

#include <memory>

#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

// Lets a lookup of another socket run its course.
void LookupBarrier() {
  TAsyncSocket other(nullptr);
  bool done = false;
  other.OnDnsLookupDone = [&](net::TCustomAsyncSocket*, std::uint16_t) { done = true; };
  other.DnsLookup("localhost");
  EXPECT_TRUE(PumpUntil([&] { return done; }));
}

class SocketDnsLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    socket.OnDnsLookupDone = [this](net::TCustomAsyncSocket*, std::uint16_t error) {
      errors.push_back(error);
    };
  }
  bool WaitForReport() {
    return PumpUntil([&] { return !errors.empty(); });
  }

  TAsyncSocket socket{nullptr};
  std::vector<int> errors;
};

TEST_F(SocketDnsLookupTest, DottedAddressCompletesInsideTheCall) {
  socket.DnsLookup("127.000.000.001");
  EXPECT_EQ(errors, std::vector<int>{0});
  EXPECT_EQ(socket.DnsResult(), "127.0.0.1");
  EXPECT_TRUE(socket.DnsResultList().empty());
  EXPECT_EQ(socket.LookupHandle(), 0u);
}

TEST_F(SocketDnsLookupTest, SecondLookupSupersedesTheFirstSilently) {
  socket.DnsLookup("no-such-host.invalid");
  socket.DnsLookup("localhost");
  EXPECT_TRUE(errors.empty()) << "a name completes through the window";
  ASSERT_TRUE(WaitForReport());
  LookupBarrier();
  EXPECT_EQ(errors, std::vector<int>{0});
  ASSERT_FALSE(socket.DnsResultList().empty());
  EXPECT_EQ(socket.DnsResult(), socket.DnsResultList().front());
  EXPECT_EQ(socket.DnsResult().rfind("127.", 0), 0u);
}

TEST_F(SocketDnsLookupTest, UnknownHostReportsTheResolverError) {
  socket.DnsLookup("no-such-host.invalid");
  ASSERT_TRUE(WaitForReport());
  EXPECT_GE(errors.front(), 11001);
  EXPECT_LE(errors.front(), 11004);
  EXPECT_TRUE(socket.DnsResult().empty());
  EXPECT_TRUE(socket.DnsResultList().empty());
}

TEST_F(SocketDnsLookupTest, AddressLookupGivesOneName) {
  socket.DnsLookupAddr("127.0.0.1");
  ASSERT_TRUE(WaitForReport());
  EXPECT_EQ(errors, std::vector<int>{0});
  EXPECT_EQ(socket.DnsResultList(), std::vector<std::string>{socket.DnsResult()});
  EXPECT_FALSE(socket.DnsResult().empty());
}

TEST_F(SocketDnsLookupTest, CancelFiresInterruptedOnlyWhenALookupIsPending) {
  socket.CancelDnsLookup();
  EXPECT_TRUE(errors.empty());

  // A cancel can only win while the lookup is still waiting. Lookups run one
  // after another, so other sockets' lookups queued ahead give it the time;
  // one that still comes too late is refused, and the next attempt follows.
  std::vector<std::unique_ptr<TAsyncSocket>> ahead;
  for (int i = 0; i < 16; ++i) ahead.push_back(std::make_unique<TAsyncSocket>(nullptr));
  bool cancelled = false;
  for (int attempt = 0; attempt < 50 && !cancelled; ++attempt) {
    for (auto& other : ahead) other->DnsLookup("localhost");
    socket.DnsLookup("localhost");
    const std::string refusal = MessageOf([&] { socket.CancelDnsLookup(); });
    cancelled = refusal == "no exception";
    if (!cancelled) {
      EXPECT_EQ(refusal.rfind("Error 10022 in function WSACancelAsyncRequest", 0), 0u);
    }
    EXPECT_EQ(socket.LookupHandle(), 0u);
  }
  ASSERT_TRUE(cancelled);
  LookupBarrier();
  EXPECT_EQ(errors, std::vector<int>{10004}) << "cancelled or refused, no lookup reports";
}

TEST_F(SocketDnsLookupTest, EmptyNameIsRefusedWithInvalidArgument) {
  EXPECT_EQ(MessageOf([&] { socket.DnsLookup(""); }), "DNS lookup: invalid host name.");
  EXPECT_TRUE(errors.empty());
  int reported = 0;
  socket.OnError = [&](net::TCustomAsyncSocket*) { ++reported; };
  socket.DnsLookupAddr("");
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(errors, std::vector<int>{10022});
}

TEST(SocketDnsLookupEndTest, DestroyingTheSocketCancelsWithoutAnEvent) {
  int reports = 0;
  {
    TAsyncSocket socket(nullptr);
    socket.OnDnsLookupDone = [&](net::TCustomAsyncSocket*, std::uint16_t) { ++reports; };
    socket.DnsLookup("localhost");
  }
  LookupBarrier();
  EXPECT_EQ(reports, 0);
}

}  // namespace
