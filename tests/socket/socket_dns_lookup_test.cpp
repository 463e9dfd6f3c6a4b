// Asynchronous host lookups through the hidden window.
#include <gtest/gtest.h>

#include "socket/async_socket.h"
#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

struct LookupLog {
  std::vector<int> errors;
  void Attach(TAsyncSocket& socket) {
    socket.OnDnsLookupDone = [this](net::TCustomAsyncSocket*, std::uint16_t error) {
      errors.push_back(error);
    };
  }
};

TEST(SocketDnsLookupTest, DottedAddressCompletesInsideTheCall) {
  TAsyncSocket socket(nullptr);
  LookupLog log;
  log.Attach(socket);
  socket.DnsLookup("127.000.000.001");
  EXPECT_EQ(log.errors, std::vector<int>{0});
  EXPECT_EQ(socket.DnsResult(), "127.0.0.1");
  EXPECT_TRUE(socket.DnsResultList().empty());
  EXPECT_EQ(socket.LookupHandle(), 0u);
}

TEST(SocketDnsLookupTest, NameLookupCompletesThroughTheWindow) {
  TAsyncSocket socket(nullptr);
  LookupLog log;
  log.Attach(socket);
  socket.DnsLookup("localhost");
  EXPECT_TRUE(log.errors.empty());
  ASSERT_TRUE(PumpUntil([&] { return !log.errors.empty(); }));
  EXPECT_EQ(log.errors, std::vector<int>{0});
  ASSERT_FALSE(socket.DnsResultList().empty());
  EXPECT_EQ(socket.DnsResult(), socket.DnsResultList().front());
  EXPECT_EQ(socket.DnsResult().rfind("127.", 0), 0u);
}

TEST(SocketDnsLookupTest, SecondLookupSupersedesTheFirstSilently) {
  TAsyncSocket socket(nullptr);
  LookupLog log;
  log.Attach(socket);
  socket.DnsLookup("no-such-host.invalid");
  socket.DnsLookup("localhost");
  ASSERT_TRUE(PumpUntil([&] { return !log.errors.empty(); }));
  PumpUntil([] { return false; }, 200ms);  // a late first completion would show now
  EXPECT_EQ(log.errors, std::vector<int>{0});
  EXPECT_EQ(socket.DnsResult().rfind("127.", 0), 0u);
}

TEST(SocketDnsLookupTest, UnknownHostReportsTheResolverError) {
  TAsyncSocket socket(nullptr);
  LookupLog log;
  log.Attach(socket);
  socket.DnsLookup("no-such-host.invalid");
  ASSERT_TRUE(PumpUntil([&] { return !log.errors.empty(); }));
  ASSERT_EQ(log.errors.size(), 1u);
  EXPECT_GE(log.errors.front(), 11001);
  EXPECT_LE(log.errors.front(), 11004);
  EXPECT_TRUE(socket.DnsResult().empty());
  EXPECT_TRUE(socket.DnsResultList().empty());
}

TEST(SocketDnsLookupTest, CancelFiresInterruptedOnlyWhenALookupIsPending) {
  TAsyncSocket socket(nullptr);
  LookupLog log;
  log.Attach(socket);
  socket.CancelDnsLookup();
  EXPECT_TRUE(log.errors.empty());

  // A cancel can only win while the lookup is still running; one that comes
  // too late is refused, so try until one is early enough.
  bool cancelled = false;
  for (int attempt = 0; attempt < 50 && !cancelled; ++attempt) {
    socket.DnsLookup("localhost");
    ASSERT_NE(socket.LookupHandle(), 0u);
    try {
      socket.CancelDnsLookup();
      cancelled = true;
    } catch (const net::ESocketException& e) {
      EXPECT_EQ(e.Message().rfind("Error 10022 in function WSACancelAsyncRequest", 0), 0u);
    }
    EXPECT_EQ(socket.LookupHandle(), 0u);
  }
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(log.errors, std::vector<int>{10004});
  PumpUntil([] { return false; }, 200ms);
  EXPECT_EQ(log.errors, std::vector<int>{10004}) << "cancelled or refused, no lookup reports";
}

TEST(SocketDnsLookupTest, EmptyNameIsRefusedWithInvalidArgument) {
  TAsyncSocket socket(nullptr);
  LookupLog log;
  log.Attach(socket);
  EXPECT_THROW(socket.DnsLookup(""), net::ESocketException);
  EXPECT_TRUE(log.errors.empty());
  int errors = 0;
  socket.OnError = [&](net::TCustomAsyncSocket*) { ++errors; };
  socket.DnsLookupAddr("");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(log.errors, std::vector<int>{10022});
}

TEST(SocketDnsLookupTest, AddressLookupGivesOneName) {
  TAsyncSocket socket(nullptr);
  LookupLog log;
  log.Attach(socket);
  socket.DnsLookupAddr("127.0.0.1");
  ASSERT_TRUE(PumpUntil([&] { return !log.errors.empty(); }));
  EXPECT_EQ(log.errors, std::vector<int>{0});
  ASSERT_EQ(socket.DnsResultList().size(), 1u);
  EXPECT_EQ(socket.DnsResult(), socket.DnsResultList().front());
  EXPECT_FALSE(socket.DnsResult().empty());
}

TEST(SocketDnsLookupTest, DestroyingTheSocketCancelsWithoutAnEvent) {
  LookupLog log;
  {
    TAsyncSocket socket(nullptr);
    log.Attach(socket);
    socket.DnsLookup("localhost");
  }
  PumpUntil([] { return false; }, 200ms);
  EXPECT_TRUE(log.errors.empty());
}

}  // namespace
