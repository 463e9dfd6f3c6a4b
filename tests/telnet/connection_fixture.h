// A telnet connection wired to a loopback peer, with every event it raises and
// every trace line recorded in order. The peer serves the connection's message
// queue whenever it waits, so the connection keeps working meanwhile.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/message_processing.h"
#include "platform/system.h"
#include "platform/window_messages.h"
#include "support/loopback_peer.h"
#include "telnet/telnet_connection.h"
#include "telnet/telnet_module_state.h"

namespace telnet_test {

using support::Peer;

inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// "FF FB 01" for the bytes 255 251 1: makes wire mismatches readable.
inline std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
  }
  return out;
}

inline void ServePeerWaits(bool on) {
  if (on) {
    support::ServeWhileWaiting(win::MessageQueueDescriptor(), [] { platform::ProcessMessages(); });
  } else {
    support::ServeWhileWaiting(-1, nullptr);
  }
}

inline bool PumpUntil(const std::function<bool()>& done) {
  const auto end = support::Clock::now() + support::kDeadline;
  for (platform::ProcessMessages(); !done(); platform::ProcessMessagesWaiting(50)) {
    if (support::Clock::now() >= end) return false;
  }
  return true;
}

class ConnectionTest : public testing::Test {
 protected:
  ConnectionTest() {
    telnet::ResetTelnetModuleStateForTesting();
    ServePeerWaits(true);
    // DebugTrace writes the number, then the text. The session's own trace
    // lines (after the host) take no number; they are kept apart.
    platform::SetDebugOutputSink([this](const std::string& piece) {
      if (nextTraceIsNumber && piece.rfind("127.0.0.1: ", 0) == 0) {
        sessionTrace.push_back(piece);
      } else if (nextTraceIsNumber) {
        traceNumbers.push_back(piece);
      } else {
        events.push_back("trace " + piece);
      }
      if (piece.rfind("127.0.0.1: ", 0) != 0) nextTraceIsNumber = !nextTraceIsNumber;
    });
    conn.SetHost("127.0.0.1");
    conn.SetPort(listener.PortText());
    conn.OnSessionConnected = [this](auto*, std::uint16_t error) {
      events.push_back("connected " + std::to_string(error));
    };
    conn.OnSessionClosed = [this](auto*, std::uint16_t error) {
      events.push_back("closed " + std::to_string(error));
      closedEvents++;
    };
    conn.OnDataAvailable = [this](auto*, const char* buffer, int len) { RecordData(buffer, len); };
    conn.OnDisplay = [this](auto*, const std::string& text) { displays.push_back(text); };
    conn.OnEndOfRecord = [this](auto*) { events.push_back("end-of-record"); };
    conn.OnSendLoc = [this](auto*) { events.push_back("send-location"); };
    conn.OnTermType = [this](auto*) { events.push_back("terminal-type"); };
    conn.OnLocalEcho = [this](telnet::TTelnetConnection* sender) {
      events.push_back(sender->LocalEcho() ? "local-echo true" : "local-echo false");
    };
  }

  ~ConnectionTest() override {
    platform::SetDebugOutputSink(nullptr);
    ServePeerWaits(false);
  }

  void RecordData(const char* buffer, int len) {
    events.push_back("data " + std::to_string(len));
    deliveries.push_back(len);
    EXPECT_GT(len, 0);
    EXPECT_EQ(buffer[len], '\0') << "no NUL after the data";
    received.append(buffer, static_cast<std::size_t>(len));
  }

  // Connects and takes the connection on the peer's side.
  void Open() {
    conn.Connect();
    ASSERT_TRUE(PumpUntil([this] { return conn.IsConnected(); })) << "no connection";
    peer = listener.Accept();
    ASSERT_TRUE(peer.Valid()) << "peer saw no connection";
  }

  bool WaitForData(const std::string& tail) {
    return PumpUntil([&] {
      return received.size() >= tail.size() &&
             received.compare(received.size() - tail.size(), tail.size(), tail) == 0;
    });
  }

  // Sends `serverBytes` followed by a data mark; once the client has delivered
  // the mark and then sent a mark of its own, everything it had to answer is
  // on the wire. Returns what the client sent before its mark.
  std::string Exchange(const std::string& serverBytes) {
    const std::string mark = "<" + std::to_string(++exchanges) + ">";
    EXPECT_TRUE(peer.Send(serverBytes + mark));
    EXPECT_TRUE(WaitForData(mark)) << "mark " << mark << " never delivered";
    const std::string end = "#END" + std::to_string(exchanges) + "#";
    EXPECT_EQ(conn.SendStr(end), static_cast<int>(end.size()));
    EXPECT_TRUE(peer.ReadUntil(end)) << "client mark never arrived";
    const std::string sent = peer.Take();
    return sent.substr(0, sent.find(end));
  }

  std::vector<std::string> events;  // owner events and trace texts, in order
  std::vector<std::string> traceNumbers;
  std::vector<std::string> sessionTrace;  // the session's unnumbered lines
  bool nextTraceIsNumber = true;
  std::vector<std::string> displays;
  std::vector<int> deliveries;
  std::string received;
  int closedEvents = 0;
  int exchanges = 0;

  support::Listener listener;
  Peer peer;
  telnet::TTelnetConnection conn{nullptr};
};

}  // namespace telnet_test
