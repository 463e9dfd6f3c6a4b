// A router played by the test itself, for what the simulator can't be told to
// do: hang up or reset at a chosen byte, or hand over a whole burst in one
// write. It listens on the test's own loopback address at the router port 23,
// plays the log-in of an MT128-NET (a CR, "login: ", "admin" and CR, the
// prompt), reads the command line and hands the connection to the test's
// script. Sessions are served one after another until the router goes.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "support/loopback_peer.h"

namespace e2e {

inline const char kScriptedPrompt[] = "MT128-NET% ";

class ScriptedRouter {
 public:
  // Runs after the command line has been read; `command` is without its CR.
  using Script = std::function<void(support::Peer& peer, const std::string& command)>;

  ScriptedRouter(const std::string& address, Script script)
      : listener_(0, address, 23), script_(std::move(script)), thread_([this] { Serve(); }) {}
  ~ScriptedRouter() {
    stop_ = true;
    thread_.join();
  }
  ScriptedRouter(const ScriptedRouter&) = delete;
  ScriptedRouter& operator=(const ScriptedRouter&) = delete;

  bool Ready() const { return listener_.Port() == 23; }
  // Sessions that got as far as the command.
  int Commands() const { return commands_; }

 private:
  void Serve() {
    while (!stop_) {
      support::Peer peer = listener_.Accept(std::chrono::milliseconds(50));
      if (!peer.Valid()) continue;
      if (!peer.ReadUntil("\r")) continue;
      peer.Take();
      peer.Send("\r\nlogin: ");
      if (!peer.ReadUntil("admin\r")) continue;
      peer.Take();
      peer.Send(std::string("\r\n") + kScriptedPrompt);
      if (!peer.ReadUntil("\r")) continue;
      std::string command = peer.Take();
      command.resize(command.find('\r'));
      ++commands_;
      script_(peer, command);
    }
  }

  support::Listener listener_;
  Script script_;
  std::atomic<bool> stop_{false};
  std::atomic<int> commands_{0};
  std::thread thread_;
};

}  // namespace e2e
