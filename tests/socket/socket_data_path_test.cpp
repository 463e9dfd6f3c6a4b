// The send queue and the read path: chunking, ordering, OnDataSent from the
// message loop, reading without a handler, and the order of read and close.
#include <gtest/gtest.h>

#include <thread>

#include "platform/message_processing.h"
#include "socket_test_support.h"

namespace {

using net::TAsyncSocket;
using namespace sockettest;

// Opens the queue up for inspection and lets a test hold the network back.
class InspectableSocket : public TAsyncSocket {
 public:
  using TAsyncSocket::TAsyncSocket;
  bool networkFull = false;

  std::vector<int> ChunkFill() const {
    std::vector<int> fill;
    for (const auto& chunk : sendQueue_) fill.push_back(chunk->WritePos());
    return fill;
  }
  void Drain() { TryToSend(); }

 protected:
  int RawSend(const void* data, int len) override {
    return networkFull ? 0 : TAsyncSocket::RawSend(data, len);
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
  // Data handlers that collect what Receive and ReceiveStr give.
  void CollectWithReceive() {
    socket.OnDataAvailable = [this](net::TCustomAsyncSocket* s, std::uint16_t) {
      char buffer[2048];
      const int n = s->Receive(buffer, sizeof buffer);
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    };
  }
  void CollectWithReceiveStr() {
    socket.OnDataAvailable = [this](net::TCustomAsyncSocket* s, std::uint16_t) {
      received += s->ReceiveStr();
    };
  }

  Listener listener;
  InspectableSocket socket{nullptr};
  Peer peer;
  std::string received;
};

TEST(SendBufferTest, AppendPeekAndConsumeKeepTheInvariant) {
  EXPECT_EQ(net::TBuffer(0).Capacity(), 1514);
  net::TBuffer chunk(8);
  EXPECT_EQ(chunk.Append("abcdefghij", 10), 8);
  EXPECT_EQ(chunk.Append("x", 1), 0);
  int unsent = 0;
  ASSERT_NE(chunk.PeekUnsent(unsent), nullptr);
  EXPECT_EQ(unsent, 8);
  EXPECT_EQ(chunk.Consume(3), 3);
  EXPECT_EQ(std::string(chunk.PeekUnsent(unsent), 5), "defgh");
  EXPECT_EQ(chunk.Append("x", 1), 0) << "no compaction: the tail is full";
  EXPECT_EQ(chunk.Consume(100), 5);
  EXPECT_EQ(chunk.PeekUnsent(unsent), nullptr);
  EXPECT_EQ(unsent, 0);
  EXPECT_EQ(chunk.WritePos(), 0) << "drained chunks start over";
  EXPECT_EQ(chunk.Consume(1), 0);
  EXPECT_EQ(chunk.Append("yz", 2), 2);
}

TEST_F(DataPathTest, FourThousandBytesFillThreeChunksInOrder) {
  const std::string data = Pattern(4000, 1);
  socket.networkFull = true;
  EXPECT_EQ(socket.Send(data.data(), 4000), 4000);
  EXPECT_EQ(socket.ChunkFill(), (std::vector<int>{1514, 1514, 972}));
  EXPECT_FALSE(socket.AllSent());

  socket.networkFull = false;
  socket.Drain();
  EXPECT_EQ(socket.ChunkFill(), (std::vector<int>{0})) << "two chunks freed, the last kept";
  EXPECT_TRUE(socket.AllSent());
  EXPECT_EQ(peer.Receive(4000), data);
}

TEST_F(DataPathTest, DataSentArrivesFromTheMessageLoopAfterSendReturns) {
  int sent = 0;
  socket.OnDataSent = [&](net::TCustomAsyncSocket*, std::uint16_t error) {
    EXPECT_EQ(error, 0);
    ++sent;
  };
  const std::string data = Pattern(4000, 2);
  EXPECT_EQ(socket.SendStr(data), 4000);
  EXPECT_EQ(sent, 0);
  EXPECT_EQ(socket.ChunkFill(), (std::vector<int>{0}));
  ASSERT_TRUE(PumpUntil([&] { return sent > 0; }));
  EXPECT_EQ(peer.Receive(4000), data);

  // An empty send on a connection whose queue has its drained chunk.
  sent = 0;
  EXPECT_EQ(socket.Send(nullptr, 0), 0);
  ASSERT_TRUE(PumpUntil([&] { return sent == 1; }));
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
  EXPECT_TRUE(socket.AllSent());
}

TEST(SocketSendTest, SendWhileConnectingIsRefusedAndTheConnectGoesOn) {
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
  EXPECT_EQ(MessageOf([&] { socket.SendStr("late"); }),
            "Error 10057 in function Send\r\nSocket is not connected");
}

TEST_F(DataPathTest, WithoutAHandlerArrivingDataIsReadAway) {
  peer.Send(Pattern(5000, 7));
  // Everything the peer wrote has reached our side and been read away.
  ASSERT_TRUE(PumpUntil([&] { return peer.OutputQueue() == 0 && socket.RcvdCount() == 0; }));
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
  EXPECT_TRUE(events.empty());
  ASSERT_EQ(socket.Resume(), 0);
  TAsyncSocket::WindowProc(socket.WindowHandle(), net::WM_ASYNCSELECT, socket.SocketHandle(),
                           ws::FD_READ | ws::FD_CLOSE);
  // The close offers the handler one more read, which finds the end.
  const std::vector<std::string> expected = {"data 0 hello", "data 0 ", "closed 0"};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(socket.State(), net::wsClosed);
  // What the library queued before the close is for a handle now gone.
  platform::ProcessMessages();
  EXPECT_EQ(events, expected);
}

TEST_F(DataPathTest, PeerCloseDeliversPendingDataThenClosesOnce) {
  CollectWithReceive();
  int closed = 0;
  socket.OnSessionClosed = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    ++closed;
    s->Close();  // as the telnet connection does
  };
  const std::string data = Pattern(10000, 9);
  peer.Send(data);
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsClosed; }));
  EXPECT_EQ(received, data);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(socket.ReadCount(), 0) << "the close reset the counter";
}

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
  std::thread writer([&] {
    peer.Send(data);
    peer.ShutdownSend();
  });
  socket.WaitUntilClosed();
  writer.join();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsClosed; }));
  EXPECT_EQ(received, data);
}

}  // namespace
