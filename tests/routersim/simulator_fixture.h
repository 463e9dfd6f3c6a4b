// Shared ground of the simulator tests: a temporary folder with a small data
// file whose answers the tests know byte for byte, a started simulator, and
// the steps every session begins with.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "routersim_process.h"
#include "support/loopback_peer.h"
#include "support/temp_folder.h"

namespace routersim_test {

using support::Peer;

// IAC WILL ECHO, IAC WILL SUPPRESS-GO-AHEAD, IAC DO TERMINAL-TYPE.
inline const std::string kOpening = "\xff\xfb\x01\xff\xfb\x03\xff\xfd\x18";
// IAC SB TERMINAL-TYPE SEND IAC SE.
inline const std::string kAskTerminalType = "\xff\xfa\x18\x01\xff\xf0";
// What a client that agrees to the opening answers.
inline const std::string kAgree = "\xff\xfd\x01\xff\xfd\x03\xff\xfb\x18";

// "ソフト!" in Shift-JIS: its first character's trail byte is 0x5C.
inline const std::string kKatakanaLine = "\x83\x5c\x83\x74\x83\x67!";

inline const std::string kTestCommands =
    "@# data file of the simulator tests\n"
    "@command SHOW | SH\n"
    "alpha line\n"
    "{MODEL} beta\n"
    "\n" +
    kKatakanaLine +
    "\n"
    "\n"
    "@command SHOW VERSION\n"
    "version of {MODEL}\r\n"
    "@unknown\n"
    "No such command: {COMMAND}\n";

// The wire bytes of the answer to SHOW from kTestCommands (model MT128-NET),
// from the blank line after the echo up to the prompt.
inline const std::string kShowBody =
    "\r\nalpha line\r\nMT128-NET beta\r\n\r\n" + kKatakanaLine + "\r\n";

// Reads until `needle` came and takes everything received so far.
inline std::string take_until(Peer& client, const std::string& needle) {
  EXPECT_TRUE(client.ReadUntil(needle)) << "no " << needle << " in " << client.Received();
  return client.Take();
}

// Sends `line` and CR, and returns all up to the next MT128-NET prompt.
inline std::string command(Peer& client, const std::string& line) {
  EXPECT_TRUE(client.Send(line + "\r"));
  return take_until(client, "MT128-NET% ");
}

class SimulatorTest : public ::testing::Test {
 protected:
  // Starts the simulator on a free port with the test data file and a record
  // path; `args` come after those and may override them.
  void start(std::vector<std::string> args = {}) {
    support::WriteWholeFile(dir_.File("commands.txt"), kTestCommands);
    std::vector<std::string> all = {"--listen", "127.0.0.1",      "--port",
                                    "0",        "--commands",     dir_.File("commands.txt"),
                                    "--record", dir_.File("wire")};
    all.insert(all.end(), args.begin(), args.end());
    sim_ = std::make_unique<RoutersimProcess>(all);
    ASSERT_TRUE(sim_->wait_ready()) << "the simulator did not print its ready line";
  }

  Peer connect() {
    Peer client = Peer::Connect(sim_->port(), sim_->address());
    EXPECT_TRUE(client.Valid()) << "connect failed, errno " << client.ConnectError();
    return client;
  }

  // Opening negotiation, wake-up and log-in as a client that agrees to all;
  // afterwards the client has taken everything up to the prompt.
  void log_in(Peer& client, const std::string& prompt = "MT128-NET% ") {
    ASSERT_TRUE(client.ReadAtLeast(kOpening.size()));
    ASSERT_EQ(client.Take(), kOpening);
    ASSERT_TRUE(client.Send(kAgree));
    ASSERT_TRUE(client.ReadAtLeast(kAskTerminalType.size()));
    ASSERT_EQ(client.Take(), kAskTerminalType);
    ASSERT_TRUE(client.Send("\r"));
    ASSERT_EQ(take_until(client, "login: "), "\r\nlogin: ");
    ASSERT_TRUE(client.Send("admin\r"));
    ASSERT_EQ(take_until(client, prompt), "admin\r\n\r\n" + prompt);
  }

  // Everything client number `n` (1 = first accepted) sent, once its session is over.
  std::string record_of_closed_session(int n) {
    EXPECT_TRUE(sim_->wait_for_line("session " + std::to_string(n) + " closed"));
    return support::ReadWholeFile(dir_.File("wire." + std::to_string(n)));
  }

  support::TempFolder dir_;
  std::unique_ptr<RoutersimProcess> sim_;
};

}  // namespace routersim_test
