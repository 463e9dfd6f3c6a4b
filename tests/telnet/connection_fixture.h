// A telnet connection wired to a loopback peer, with every event it raises
// recorded in order, and the trace output captured.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "loopback_peer.h"
#include "platform/system.h"
#include "telnet/telnet_connection.h"
#include "telnet/telnet_module_state.h"

namespace telnet_test {

class ConnectionTest : public testing::Test {
protected:
  void SetUp() override {
    telnet::ResetTelnetModuleStateForTesting();
    platform::SetDebugOutputSink([this](const std::string& piece) { tracePieces.push_back(piece); });
    conn.SetHost("127.0.0.1");
    conn.SetPort(peer.PortText());
    conn.OnSessionConnected = [this](telnet::TTelnetConnection*, std::uint16_t error) {
      events.push_back("connected " + std::to_string(error));
      connectedEvents++;
    };
    conn.OnSessionClosed = [this](telnet::TTelnetConnection*, std::uint16_t error) {
      events.push_back("closed " + std::to_string(error));
      closedEvents++;
    };
    conn.OnDataAvailable = [this](telnet::TTelnetConnection*, const char* buffer, int len) {
      RecordData(buffer, len);
    };
    conn.OnDisplay = [this](telnet::TTelnetConnection*, const std::string& text) {
      events.push_back("display");
      displays.push_back(text);
    };
    conn.OnEndOfRecord = [this](telnet::TTelnetConnection*) { events.push_back("end-of-record"); };
    conn.OnSendLoc = [this](telnet::TTelnetConnection*) { events.push_back("send-location"); };
    conn.OnTermType = [this](telnet::TTelnetConnection*) { events.push_back("terminal-type"); };
    conn.OnLocalEcho = [this](telnet::TTelnetConnection* sender) {
      events.push_back(sender->LocalEcho() ? "local-echo true" : "local-echo false");
      localEchoEvents++;
    };
  }

  void TearDown() override { platform::SetDebugOutputSink(nullptr); }

  void RecordData(const char* buffer, int len) {
    events.push_back("data " + std::to_string(len));
    deliveries.push_back(len);
    if (len <= 0 || buffer[len] != '\0') badDeliveries++;
    received.append(buffer, static_cast<std::size_t>(len));
  }

  // Connects and takes the connection on the peer's side.
  void Open() {
    conn.Connect();
    ASSERT_TRUE(PumpUntil([this] { return conn.IsConnected(); })) << "no connection";
    ASSERT_TRUE(peer.Accept()) << "peer saw no connection";
  }

  // Waits until the data seen so far ends with `tail`.
  bool WaitForData(const std::string& tail) {
    return PumpUntil([&] {
      return received.size() >= tail.size() &&
             received.compare(received.size() - tail.size(), tail.size(), tail) == 0;
    });
  }

  // Sends `serverBytes` followed by a data byte that marks their end; once the
  // client has delivered the mark, everything it had to answer is on the wire.
  // Returns the client's bytes up to that point.
  std::string Exchange(const std::string& serverBytes) {
    const std::string mark = "<" + std::to_string(++exchanges) + ">";
    peer.Send(serverBytes + mark);
    EXPECT_TRUE(WaitForData(mark)) << "mark " << mark << " never delivered";
    const std::string end = "#END" + std::to_string(exchanges) + "#";
    EXPECT_EQ(conn.SendStr(end), static_cast<int>(end.size()));
    bool ok = false;
    std::string reply = peer.ReadUntilPumping(end, ok);
    EXPECT_TRUE(ok) << "client marker never arrived";
    return reply;
  }

  // The trace lines as written: number piece, then text piece.
  std::vector<std::string> tracePieces;
  std::vector<std::string> events;
  std::vector<std::string> displays;
  std::vector<int> deliveries;
  std::string received;
  int badDeliveries = 0;
  int connectedEvents = 0;
  int closedEvents = 0;
  int localEchoEvents = 0;
  int exchanges = 0;

  LoopbackPeer peer;
  telnet::TTelnetConnection conn{nullptr};
};

}  // namespace telnet_test
