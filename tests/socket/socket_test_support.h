// Shared pieces of the socket tests: bounded waits that keep the message queue
// flowing, connecting to a loopback peer, and an event recorder. The shared
// loopback peers dispatch this thread's messages while they wait, since the
// socket on the other end only moves when they are.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "socket/async_socket.h"
#include "support/loopback_peer.h"

namespace sockettest {

using namespace std::chrono_literals;
using support::Listener;
using support::Peer;

// Processes messages until `done` holds or the deadline passes; true when it
// held. Blocks for the next message in between, never spins.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = 10000ms);

// Sets tcp, `port` and 127.0.0.1 and calls Connect.
void StartConnect(net::TCustomAsyncSocket& socket, const std::string& port);
// StartConnect, then waits for OnSessionConnected: the error it reported, or
// -1 at the deadline.
int ConnectAndWait(net::TCustomAsyncSocket& socket, const std::string& port);
// ConnectAndWait to `listener`, whose end is accepted into `peer`.
void ConnectPeer(net::TCustomAsyncSocket& socket, Listener& listener, Peer& peer);

// Hands the socket's window a network notification, as the library would.
void Deliver(net::TCustomAsyncSocket& socket, ws::SOCKET handle, long events, long error = 0);

// The message of the platform exception `action` raises, or "no exception".
std::string MessageOf(const std::function<void()>& action);

// Records the events of a socket as short lines ("state Closed>Opened",
// "connected 0", "closed 0", "sent 0").
struct EventLog {
  std::vector<std::string> lines;
  void Attach(net::TCustomAsyncSocket& socket);
  bool Has(const std::string& line) const;
  int Count(const std::string& prefix) const;
};

}  // namespace sockettest
