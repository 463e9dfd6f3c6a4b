// The send queue and the read path: chunking, ordering, OnDataSent from the
// message loop, lost connections, reading without a handler, and the order of
// read and close.
#include <gtest/gtest.h>

#include <thread>

#include "platform/message_processing.h"
#include "socket_test_support.h"
#include "support/case_names.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

// Opens the queue up for inspection, lets a test hold the network back, and
// notes the size of every read.
class InspectableSocket : public TAsyncSocket {
 public:
  using TAsyncSocket::TAsyncSocket;
  bool networkFull = false;
  std::vector<int> readSizes;

  std::vector<int> ChunkFill() const {
    std::vector<int> fill;
    for (const auto& chunk : sendQueue_) fill.push_back(chunk->WritePos());
    return fill;
  }

 protected:
  int RawSend(const void* data, int len) override {
    return networkFull ? 0 : TAsyncSocket::RawSend(data, len);
  }
  int RawReceive(void* buffer, int size, int flags) override {
    readSizes.push_back(size);
    return TAsyncSocket::RawReceive(buffer, size, flags);
  }
};

std::string Pattern(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 251);
  return bytes;
}

// More than the kernel buffers of both ends hold while the peer is not
// reading, so a Send of it cannot finish at once.
const std::string& MoreThanBuffersHold() {
  static const std::string bytes = Pattern(24 << 20, 3);
  return bytes;
}

// A connected socket and its peer, with what the socket's handlers saw.
class DataPathTest : public ::testing::Test {
 protected:
  void SetUp() override { ConnectPeer(socket, listener, peer); }
  void CollectWithReceiveStr() {
    socket.OnDataAvailable = [this](net::TCustomAsyncSocket* s, std::uint16_t) {
      received += s->ReceiveStr();
    };
  }

  EventLog log;  // outlives the socket, whose last close it may hear
  Listener listener;
  InspectableSocket socket{nullptr};
  Peer peer;
  std::string received;
};

TEST(SendBufferTest, AppendPeekAndConsumeKeepTheInvariant) {
  EXPECT_EQ(net::TBuffer(0).Capacity(), 1514);
  net::TBuffer chunk(8);
  EXPECT_EQ(chunk.Append("abcdefghij", 10), 8);
  EXPECT_EQ(chunk.Consume(3), 3);
  int unsent = 0;
  EXPECT_EQ(std::string(chunk.PeekUnsent(unsent), 5), "defgh");
  EXPECT_EQ(chunk.Append("x", 1), 0) << "no compaction: the tail is full";
  EXPECT_EQ(chunk.Consume(100), 5);
  EXPECT_EQ(chunk.PeekUnsent(unsent), nullptr);
  EXPECT_EQ(unsent, 0);
  EXPECT_EQ(chunk.WritePos(), 0) << "drained chunks start over";
  EXPECT_EQ(chunk.Consume(1), 0);
  EXPECT_EQ(chunk.Append("yz", 2), 2);
}

TEST_F(DataPathTest, FourThousandBytesFillThreeChunksAndDataSentFollowsFromTheLoop) {
  int sent = 0;
  socket.OnDataSent = [&](net::TCustomAsyncSocket*, std::uint16_t error) {
    EXPECT_EQ(error, 0);
    ++sent;
  };
  const std::string data = Pattern(4000, 1);
  socket.networkFull = true;
  EXPECT_EQ(socket.Send(data.data(), 4000), 4000);
  EXPECT_EQ(socket.ChunkFill(), (std::vector<int>{1514, 1514, 972}));
  EXPECT_FALSE(socket.AllSent());

  // An empty send pushes the queue out and, with the drained chunk kept,
  // still announces it: later, from the message loop.
  socket.networkFull = false;
  EXPECT_EQ(socket.Send(nullptr, 0), 0);
  EXPECT_EQ(socket.ChunkFill(), (std::vector<int>{0})) << "two chunks freed, the last kept";
  EXPECT_EQ(sent, 0);
  ASSERT_TRUE(PumpUntil([&] { return sent > 0; }));
  EXPECT_EQ(peer.Receive(4000), data);
}

TEST_F(DataPathTest, SecondSendQueuesBehindTheFirst) {
  int sent = 0;
  socket.OnDataSent = [&](net::TCustomAsyncSocket*, std::uint16_t) { ++sent; };
  const std::string second = Pattern(100000, 5);
  EXPECT_EQ(socket.SendStr(MoreThanBuffersHold()), static_cast<int>(MoreThanBuffersHold().size()));
  ASSERT_FALSE(socket.AllSent());
  EXPECT_EQ(socket.SendStr(second), static_cast<int>(second.size()));

  const std::string all = peer.Receive(MoreThanBuffersHold().size() + second.size(), 30000ms);
  EXPECT_TRUE(all == MoreThanBuffersHold() + second);
  ASSERT_TRUE(PumpUntil([&] { return sent > 0; }));
}

TEST(SocketSendTest, SendRefusedUnlessConnectedAndTheConnectGoesOn) {
  EventLog log;
  Listener listener;
  TAsyncSocket socket(nullptr);
  int errors = 0;
  socket.OnError = [&](net::TCustomAsyncSocket*) { ++errors; };
  StartConnect(socket, listener.PortText());
  ASSERT_EQ(socket.State(), net::wsConnecting);
  EXPECT_EQ(socket.SendStr("early"), -1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(socket.LastError(), 10057);
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));

  socket.OnError = nullptr;
  socket.Close();
  log.Attach(socket);
  EXPECT_EQ(MessageOf([&] { socket.SendStr("late"); }),
            "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(log.lines, std::vector<std::string>{"state Closed>Closed"});
}

TEST_F(DataPathTest, ConnectionLostInSendClosesOnceWithTheReasonAndNothingSent) {
  log.Attach(socket);
  // Held back so that only the Send can find the connection gone.
  ASSERT_EQ(socket.Pause(), 0);
  peer.ResetAndClose();
  char byte = 0;
  ASSERT_TRUE(
      PumpUntil([&] { return socket.Receive(&byte, 1) == -1 && socket.LastError() != 10035; }));
  EXPECT_EQ(socket.SendStr("lost"), 4);
  platform::ProcessMessages();
  EXPECT_EQ(log.lines, (std::vector<std::string>{"state Connected>Closed", "closed 10054"}));
}

TEST_F(DataPathTest, WithoutAHandlerArrivingDataIsReadAwayInPiecesOf1024) {
  peer.Send(Pattern(5000, 7));
  // Everything the peer wrote has reached our side and been read away.
  ASSERT_TRUE(PumpUntil([&] { return peer.OutputQueue() == 0 && socket.RcvdCount() == 0; }));
  ASSERT_GE(socket.readSizes.size(), 5u);
  EXPECT_EQ(socket.readSizes, std::vector<int>(socket.readSizes.size(), 1024));
  peer.Send("tail");
  CollectWithReceiveStr();
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 4; }));
  EXPECT_EQ(received, "tail");
  EXPECT_EQ(socket.ReadCount(), 0) << "ReceiveStr does not count";
}

TEST_F(DataPathTest, ReadAndCloseInOneNotificationDeliverDataFirst) {
  std::vector<std::string> events;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t error) {
    char buffer[16];
    const int n = s->Receive(buffer, sizeof buffer);
    events.push_back("data " + std::to_string(error) + " " +
                     std::string(buffer, static_cast<std::size_t>(std::max(n, 0))));
  };
  socket.OnSessionClosed = [&](net::TCustomAsyncSocket*, std::uint16_t error) {
    events.push_back("closed " + std::to_string(error));
  };
  // Hold notifications back until the bytes are there, then deliver both bits
  // in one message, ahead of anything the library queues on Resume.
  ASSERT_EQ(socket.Pause(), 0);
  peer.Send("hello");
  ASSERT_TRUE(PumpUntil([&] { return socket.RcvdCount() == 5; }));
  ASSERT_EQ(socket.Resume(), 0);
  Deliver(socket, socket.SocketHandle(), ws::FD_READ | ws::FD_CLOSE);
  // The close offers the handler one more read, which finds the end.
  EXPECT_EQ(events, (std::vector<std::string>{"data 0 hello", "data 0 ", "closed 0"}));
  EXPECT_EQ(socket.State(), net::wsClosed);
}

TEST_F(DataPathTest, ASlowReaderGetsEverythingSentBeforeTheClose) {
  // A reader that takes its time per read needs longer than one slice of
  // reading for what waited when the peer's end was seen; none of it may be
  // lost to the close.
  socket.OnDataAvailable = [this](net::TCustomAsyncSocket* s, std::uint16_t) {
    char buffer[512];
    const int n = s->Receive(buffer, sizeof buffer);
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    const auto busyUntil = std::chrono::steady_clock::now() + 1ms;
    while (std::chrono::steady_clock::now() < busyUntil) {
    }
  };
  int closes = 0;
  socket.OnSessionClosed = [&](net::TCustomAsyncSocket*, std::uint16_t) { ++closes; };
  ASSERT_EQ(socket.Pause(), 0);
  const std::string data = Pattern(48000, 5);
  peer.Send(data);
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return socket.RcvdCount() == static_cast<int>(data.size()); }));
  ASSERT_EQ(socket.Resume(), 0);
  Deliver(socket, socket.SocketHandle(), ws::FD_READ | ws::FD_CLOSE);
  EXPECT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(socket.State(), net::wsClosed);
}

// However the handlers end the connection on the way out, by closing when
// they read its end or by sending into a reset one, its end is told once.
class SocketEndTest : public DataPathTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SocketEndTest, PeerEndDeliversPendingDataAndIsToldOnce) {
  const bool reset = GetParam();
  log.Attach(socket);
  socket.OnDataAvailable = [this](net::TCustomAsyncSocket* s, std::uint16_t) {
    char buffer[2048];
    const int n = s->Receive(buffer, sizeof buffer);
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    if (n == 0) s->Close();
  };
  const auto logClosed = socket.OnSessionClosed;
  socket.OnSessionClosed = [&](net::TCustomAsyncSocket* s, std::uint16_t error) {
    logClosed(s, error);
    if (s->State() == net::wsConnected) s->SendStr("bye");
  };
  const std::string data = Pattern(10000, 9);
  peer.Send(data);
  if (reset) {
    peer.ResetAndClose();
  } else {
    peer.Close();
  }
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsClosed; }));
  platform::ProcessMessages();
  if (!reset) {
    EXPECT_EQ(received, data);
  }
  EXPECT_EQ(log.Count("closed "), 1);
  EXPECT_EQ(socket.ReadCount(), 0) << "the close reset the counter";
}

INSTANTIATE_TEST_SUITE_P(ClosedOrReset, SocketEndTest, ::testing::Bool(),
                         support::FlagNames("Closed", "Reset"));

TEST_F(DataPathTest, FlushReturnsOnceEverythingLeft) {
  EXPECT_EQ(socket.SendStr(MoreThanBuffersHold()), static_cast<int>(MoreThanBuffersHold().size()));
  ASSERT_FALSE(socket.AllSent()) << "the peer is not reading yet";
  // Flush blocks this thread, so the peer reads on its own.
  std::thread reader([&] { peer.ReadAtLeast(MoreThanBuffersHold().size(), 30000ms); });
  socket.Flush();
  EXPECT_TRUE(socket.AllSent());
  reader.join();
  EXPECT_TRUE(peer.Received() == MoreThanBuffersHold());
}

TEST_F(DataPathTest, WaitUntilClosedDeliversDataUntilThePeerEnds) {
  CollectWithReceiveStr();
  const std::string data = Pattern(3000, 13);
  peer.Send(data);
  peer.ShutdownSend();
  socket.WaitUntilClosed();
  EXPECT_EQ(received, data);
  EXPECT_TRUE(PumpUntil([&] { return socket.State() == net::wsClosed; }));
}

}  // namespace
