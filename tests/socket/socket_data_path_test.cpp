// The send queue and the read path: chunking, ordering, OnDataSent from the
// message loop, reading without a handler, and the order of read and close.
#include <gtest/gtest.h>

#include <thread>

#include "socket/async_socket.h"
#include "socket_test_support.h"

// After our headers: the system socket header's macros would clash with them.
#include <sys/socket.h>

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

struct Connected {
  PosixListener listener;
  int peer = -1;
  void Open(TAsyncSocket& socket) {
    ASSERT_EQ(ConnectAndWait(socket, listener.PortText()), 0);
    peer = listener.AcceptPumping();
    ASSERT_GE(peer, 0);
  }
  ~Connected() { CloseFd(peer); }
};

TEST(SendBufferTest, AppendPeekAndConsumeKeepTheInvariant) {
  net::TBuffer defaulted(0);
  EXPECT_EQ(defaulted.Capacity(), 1514);
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

TEST(SocketSendTest, FourThousandBytesFillThreeChunksInOrder) {
  InspectableSocket socket(nullptr);
  Connected link;
  link.Open(socket);
  const std::string data = Pattern(4000, 1);
  socket.networkFull = true;
  EXPECT_EQ(socket.Send(data.data(), 4000), 4000);
  EXPECT_EQ(socket.ChunkFill(), (std::vector<int>{1514, 1514, 972}));
  EXPECT_FALSE(socket.AllSent());

  socket.networkFull = false;
  socket.Drain();
  EXPECT_EQ(socket.ChunkFill(), (std::vector<int>{0})) << "two chunks freed, the last kept";
  EXPECT_TRUE(socket.AllSent());
  EXPECT_EQ(ReadPumping(link.peer, 4000), data);
}

TEST(SocketSendTest, DataSentArrivesFromTheMessageLoopAfterSendReturns) {
  InspectableSocket socket(nullptr);
  Connected link;
  link.Open(socket);
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
  EXPECT_EQ(ReadPumping(link.peer, 4000), data);

  // An empty send on a connection whose queue has its drained chunk.
  sent = 0;
  EXPECT_EQ(socket.Send(nullptr, 0), 0);
  ASSERT_TRUE(PumpUntil([&] { return sent == 1; }));
}

TEST(SocketSendTest, SecondSendQueuesBehindTheFirst) {
  TAsyncSocket socket(nullptr);
  Connected link;
  link.Open(socket);
  int sent = 0;
  socket.OnDataSent = [&](net::TCustomAsyncSocket*, std::uint16_t) { ++sent; };
  // More than the kernel buffers of both ends hold while the peer is not
  // reading, so the first Send cannot finish at once.
  const std::string first = Pattern(24 << 20, 3);
  const std::string second = Pattern(100000, 5);
  EXPECT_EQ(socket.SendStr(first), static_cast<int>(first.size()));
  ASSERT_FALSE(socket.AllSent());
  EXPECT_EQ(socket.SendStr(second), static_cast<int>(second.size()));

  const std::string received = ReadPumping(link.peer, first.size() + second.size(), 20000ms);
  ASSERT_EQ(received.size(), first.size() + second.size());
  EXPECT_TRUE(received == first + second);
  ASSERT_TRUE(PumpUntil([&] { return sent > 0; }));
  EXPECT_TRUE(socket.AllSent());
}

TEST(SocketSendTest, SendWhileConnectingIsRefusedAndTheConnectGoesOn) {
  PosixListener listener;
  TAsyncSocket socket(nullptr);
  int errors = 0;
  socket.OnError = [&](net::TCustomAsyncSocket*) { ++errors; };
  socket.SetPort(listener.PortText());
  socket.SetAddr("127.0.0.1");
  socket.Connect();
  ASSERT_EQ(socket.State(), net::wsConnecting);
  EXPECT_EQ(socket.SendStr("early"), -1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(socket.LastError(), 10057);
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsConnected; }));

  socket.OnError = nullptr;
  socket.Close();
  try {
    socket.SendStr("late");
    FAIL() << "no exception";
  } catch (const net::ESocketException& e) {
    EXPECT_EQ(e.Message(), "Error 10057 in function Send\r\nSocket is not connected");
  }
}

TEST(SocketReceiveTest, WithoutAHandlerArrivingDataIsReadAway) {
  TAsyncSocket socket(nullptr);
  Connected link;
  link.Open(socket);
  WriteAll(link.peer, Pattern(5000, 7));
  // Everything the peer wrote has reached our side and been read away.
  ASSERT_TRUE(
      PumpUntil([&] { return PeerOutputQueue(link.peer) == 0 && socket.RcvdCount() == 0; }));
  WriteAll(link.peer, "tail");
  std::string received;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    received += s->ReceiveStr();
  };
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= 4; }));
  EXPECT_EQ(received, "tail");
  EXPECT_EQ(socket.ReadCount(), 0) << "ReceiveStr does not count";
}

TEST(SocketReceiveTest, ReadAndCloseInOneNotificationDeliverDataFirst) {
  TAsyncSocket socket(nullptr);
  Connected link;
  link.Open(socket);
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
  WriteAll(link.peer, "hello");
  ASSERT_TRUE(PumpUntil([&] { return socket.RcvdCount() == 5; }));
  EXPECT_TRUE(events.empty());
  ASSERT_EQ(socket.Resume(), 0);
  TAsyncSocket::WindowProc(socket.WindowHandle(), net::WM_ASYNCSELECT, socket.SocketHandle(),
                           ws::FD_READ | ws::FD_CLOSE);
  // The close offers the handler one more read, which finds the end.
  const std::vector<std::string> expected = {"data 0 hello", "data 0 ", "closed 0"};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(socket.State(), net::wsClosed);
  PumpUntil([] { return false; }, 100ms);  // what the library queued meanwhile is ignored
  EXPECT_EQ(events, expected);
}

TEST(SocketReceiveTest, PeerCloseDeliversPendingDataThenClosesOnce) {
  TAsyncSocket socket(nullptr);
  Connected link;
  link.Open(socket);
  std::string received;
  int closed = 0;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    char buffer[2048];
    const int n = s->Receive(buffer, sizeof buffer);
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
  };
  socket.OnSessionClosed = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    ++closed;
    s->Close();  // as the telnet connection does
  };
  const std::string data = Pattern(10000, 9);
  WriteAll(link.peer, data);
  CloseFd(link.peer);
  link.peer = -1;
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsClosed; }));
  EXPECT_EQ(received, data);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(socket.ReadCount(), 0) << "the close reset the counter";
}

TEST(SocketSendTest, FlushReturnsOnceEverythingLeft) {
  TAsyncSocket socket(nullptr);
  Connected link;
  link.Open(socket);
  const std::string data = Pattern(24 << 20, 11);
  EXPECT_EQ(socket.SendStr(data), static_cast<int>(data.size()));
  ASSERT_FALSE(socket.AllSent()) << "the peer is not reading yet";
  // Flush blocks this thread, so the peer reads on its own.
  std::string received;
  std::thread reader([&] {
    char chunk[65536];
    while (received.size() < data.size()) {
      const ssize_t n = ::recv(link.peer, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      received.append(chunk, static_cast<std::size_t>(n));
    }
  });
  socket.Flush();
  EXPECT_TRUE(socket.AllSent());
  reader.join();
  EXPECT_TRUE(received == data);
}

TEST(SocketReceiveTest, WaitUntilClosedDeliversDataUntilThePeerEnds) {
  TAsyncSocket socket(nullptr);
  Connected link;
  link.Open(socket);
  std::string received;
  socket.OnDataAvailable = [&](net::TCustomAsyncSocket* s, std::uint16_t) {
    received += s->ReceiveStr();
  };
  const std::string data = Pattern(3000, 13);
  std::thread writer([&] {
    WriteAll(link.peer, data);
    ::shutdown(link.peer, SHUT_WR);
  });
  socket.WaitUntilClosed();
  writer.join();
  ASSERT_TRUE(PumpUntil([&] { return socket.State() == net::wsClosed; }));
  EXPECT_EQ(received, data);
}

}  // namespace
