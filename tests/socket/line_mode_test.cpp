// Line mode and the synchronous wait with a real peer on loopback: lines cut
// across reads, partial reads of a line, keyboard editing and its echo, line
// mode switched while bytes are held, a handler that reads nothing, and the
// wait for a flag.
#include <gtest/gtest.h>

#include "platform/message_processing.h"
#include "socket_test_support.h"

namespace {

using namespace sockettest;

class LineModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnectPeer(socket, listener, peer);
    socket.SetLineMode(true);
    InstallReader();
  }
  // Each call notes RcvdCount, then reads at most `readSize` bytes.
  void InstallReader() {
    socket.OnDataAvailable = [this](net::TCustomAsyncSocket* s, std::uint16_t) {
      counts.push_back(s->RcvdCount());
      if (readSize == 0) return;
      std::string block(static_cast<std::size_t>(readSize), '\0');
      const int n = s->Receive(block.data(), readSize);
      if (n <= 0) return;
      reads.push_back(block.substr(0, static_cast<std::size_t>(n)));
      taken += n;
    };
  }
  // Sends `bytes` and waits until the socket has read them off the network
  // (its ReadCount also counts what the owner read out of the line buffer).
  void Feed(const std::string& bytes) {
    sent += static_cast<int>(bytes.size());
    ASSERT_TRUE(peer.Send(bytes));
    ASSERT_TRUE(PumpUntil([&] { return socket.ReadCount() - taken >= sent; }));
  }

  Listener listener;
  net::TAsyncSocket socket{nullptr};
  Peer peer;
  int readSize = 100;
  int sent = 0;
  int taken = 0;
  std::vector<int> counts;
  std::vector<std::string> reads;
};

struct LineCase {
  const char* name;
  std::vector<std::string> chunks;  // each arrives in a read of its own
  bool edit;
  bool echo;
  int readSize;
  std::vector<std::string> lines;  // what the owner's reads returned
  std::string echoed;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class LineCutTest : public LineModeTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineCutTest, DeliversWhatTheOwnerReads) {
  const LineCase& c = GetParam();
  socket.SetLineEdit(c.edit);
  socket.SetLineEcho(c.echo);
  readSize = c.readSize;
  for (const std::string& chunk : c.chunks) Feed(chunk);
  EXPECT_EQ(reads, c.lines);
  if (c.echo) {
    EXPECT_EQ(peer.Receive(c.echoed.size()), c.echoed);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineCutTest,
    ::testing::Values(
        LineCase{
            "TwoLinesInOneRead", {"one\r\ntwo\r\n"}, false, false, 100, {"one\r\n", "two\r\n"}, ""},
        LineCase{"TerminatorSplit", {"abc\r", "\n"}, false, false, 100, {"abc\r\n"}, ""},
        LineCase{"LineInPieces", {"01234567\r\nx"}, false, false, 4, {"0123", "4567", "\r\n"}, ""},
        LineCase{"EchoWithoutEdit", {"hi\r\n"}, false, true, 100, {"hi\r\n"}, "hi\r\n"},
        LineCase{"Backspace", {"ab\bc\r\n"}, true, true, 100, {"ac\r\n"}, "ab\b \bc\r\n"},
        LineCase{"BackspaceOverHeldBytes", {"ab", "\b\bz\r\n"}, true, false, 100, {"z\r\n"}, ""},
        LineCase{"TabAfterThree", {"abc\t|\r\n"}, true, false, 100, {"abc     |\r\n"}, ""},
        LineCase{
            "TabAtEight", {"abcdefgh\t|\r\n"}, true, false, 100, {"abcdefgh        |\r\n"}, ""},
        LineCase{"BackspaceOnEmpty", {"\bx\r\n"}, true, true, 100, {"x\r\n"}, "x\r\n"},
        LineCase{"BackspacesEraseTheLine", {"abcd\b\b\b\b\r\n"}, true, false, 100, {"\r\n"}, ""},
        LineCase{
            "BackspacesEraseTheHeldLine", {"abcd", "\b\b\b\b\r\n"}, true, false, 100, {"\r\n"}, ""},
        LineCase{"BackspacesEraseTheLineByteByByte",
                 {"a", "b", "c", "d", "\b", "\b", "\b", "\b", "\r", "\n"},
                 true,
                 false,
                 100,
                 {"\r\n"},
                 ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LineModeTest, CountsTheUnreadRestOfTheLine) {
  readSize = 4;
  Feed("01234567\r\n");
  EXPECT_EQ(counts, (std::vector<int>{10, 6, 2}));
}

TEST_F(LineModeTest, EmptyTerminatorPassesDataThrough) {
  socket.SetLineEnd("");
  ASSERT_TRUE(peer.Send("raw"));
  ASSERT_TRUE(PumpUntil([&] { return !reads.empty(); }));
  EXPECT_EQ(reads, (std::vector<std::string>{"raw"}));
}

TEST_F(LineModeTest, PartialLineIsDeliveredJustBeforeTheClose) {
  std::vector<std::string> order;
  socket.OnSessionClosed = [&](net::TCustomAsyncSocket*, std::uint16_t) {
    order.push_back("closed");
  };
  Feed("tail");
  EXPECT_TRUE(reads.empty());
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return !order.empty(); }));
  EXPECT_EQ(reads, (std::vector<std::string>{"tail"}));
}

TEST_F(LineModeTest, HandlerThatReadsNothingIsNotCalledAgainAndAgain) {
  readSize = 0;
  Feed("one\r\ntwo\r\n");
  EXPECT_EQ(counts, (std::vector<int>{5})) << "the line stays, offered once";
  readSize = 100;
  Feed("three\r\n");
  EXPECT_EQ(reads, (std::vector<std::string>{"one\r\n", "two\r\n", "three\r\n"}));
}

TEST_F(LineModeTest, SwitchedOffWithoutReadingThenRawReadsGetEverythingInOrder) {
  std::string raw;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    auto* line = static_cast<net::TAsyncSocket*>(s);
    if (line->LineMode()) {
      line->SetLineMode(false);  // and leaves the line unread
      return;
    }
    raw += s->ReceiveStr();
  };
  ASSERT_TRUE(peer.Send("one\r\ntwo"));
  ASSERT_TRUE(PumpUntil([&] { return raw == "one\r\ntwo"; })) << raw;
  ASSERT_TRUE(peer.Send("!"));
  ASSERT_TRUE(PumpUntil([&] { return raw == "one\r\ntwo!"; })) << raw;
}

TEST_F(LineModeTest, SwitchedOnAgainDeliversTheHeldLinesOnly) {
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    static_cast<net::TAsyncSocket*>(s)->SetLineMode(false);
  };
  Feed("a\r\nb\r\nc");
  socket.OnDataAvailable = nullptr;  // nothing is read while line mode is off
  InstallReader();
  socket.SetLineMode(true);
  ASSERT_TRUE(PumpUntil([&] { return reads.size() == 2; }));
  EXPECT_EQ(reads, (std::vector<std::string>{"a\r\n", "b\r\n"}));
  EXPECT_EQ(socket.LineBufferCount(), 1);
}

TEST_F(LineModeTest, SwitchedOnAgainAfterReadingPastTheLineWaitsForTheNextTerminator) {
  reads.clear();
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    auto* line = static_cast<net::TAsyncSocket*>(s);
    const auto take = [&](int most) {
      std::string block(static_cast<std::size_t>(most), '\0');
      const int n = s->Receive(block.data(), most);
      if (n > 0) reads.push_back(block.substr(0, static_cast<std::size_t>(n)));
    };
    if (!reads.empty()) return take(100);
    take(2);
    line->SetLineMode(false);
    take(7);  // the rest of the line and one byte past its end
    line->SetLineMode(true);
  };
  ASSERT_TRUE(peer.Send("abcdef\r\nxyz"));
  ASSERT_TRUE(PumpUntil([&] { return reads.size() >= 2; }));
  ASSERT_TRUE(peer.Send("\r\n"));
  ASSERT_TRUE(PumpUntil([&] { return reads.size() >= 3; }));
  EXPECT_EQ(reads, (std::vector<std::string>{"ab", "cdef\r\nx", "yz\r\n"}));
}

TEST(SyncWaitTest, FlagSetOrApplicationEnding) {
  net::TAsyncSocket socket(nullptr);
  bool done = true;
  EXPECT_EQ(socket.WaitForFlag(done), 0) << "set already: no waiting";

  // Set by an event handled during the wait.
  socket.OnDnsLookupDone = [&](net::TCustomAsyncSocket*, std::uint16_t) { done = true; };
  EXPECT_EQ(socket.StartAndWait([&] { socket.DnsLookup("127.0.0.1"); }, done), 0);

  socket.SetWaitTimeout(30);
  EXPECT_EQ(socket.StartAndWait(nullptr, done), net::kWaitGaveUp);

  socket.SetWaitTimeout(10000);
  win::PostQuitMessage(0);
  EXPECT_EQ(socket.StartAndWait(nullptr, done), net::kWaitGaveUp);
  EXPECT_TRUE(platform::ApplicationTerminating()) << "ended by the quit, not the time-out";
  platform::SetApplicationTerminating(false);
}

TEST(SyncWaitTest, SocketWhoseThreadTookAQuitDoesNotWait) {
  net::TAsyncSocket socket(nullptr);
  socket.SetMultiThreaded(true);
  win::PostQuitMessage(0);
  socket.PumpMessages();
  ASSERT_TRUE(socket.Terminated());
  ASSERT_FALSE(platform::ApplicationTerminating());

  // The connection's event would end any wait that lets a message through.
  Listener listener;
  bool done = false;
  socket.OnSessionConnected = [&](net::TCustomAsyncSocket*, std::uint16_t) { done = true; };
  socket.SetWaitTimeout(10000);
  EXPECT_EQ(socket.StartAndWait([&] { StartConnect(socket, listener.PortText()); }, done),
            net::kWaitGaveUp);
  EXPECT_FALSE(done) << "gave up before handling anything";
  EXPECT_TRUE(PumpUntil([&] { return done; }));
}

TEST(SocketReadLoopTest, HandlerThatReadsNothingIsOfferedTheDataOnce) {
  Listener listener;
  net::TAsyncSocket socket(nullptr);
  Peer peer;
  ConnectPeer(socket, listener, peer);
  int calls = 0;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    // Reads only to end what would otherwise never end.
    if (++calls > 100) s->ReceiveStr();
  };
  ASSERT_TRUE(peer.Send("abc"));
  ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(socket.ReceiveStr(), "abc") << "the data stays for the owner's next read";
}

}  // namespace
