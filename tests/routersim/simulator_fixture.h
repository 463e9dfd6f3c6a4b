// Shared ground of the simulator tests: a temporary folder with a small data
// file whose answers the tests know byte for byte, a started simulator, and
// the steps every session begins with.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "routersim_process.h"
#include "test_client.h"

namespace routersim_test {

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

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "routersim-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

class SimulatorTest : public ::testing::Test {
 protected:
  // Starts the simulator on a free port with the test data file and a record
  // path; `args` come after those and may override them.
  void start(std::vector<std::string> args = {}) {
    write_file(dir_.file("commands.txt"), kTestCommands);
    std::vector<std::string> all = {"--listen", "127.0.0.1",      "--port",
                                    "0",        "--commands",     dir_.file("commands.txt"),
                                    "--record", dir_.file("wire")};
    all.insert(all.end(), args.begin(), args.end());
    sim_ = std::make_unique<RoutersimProcess>(all);
    ASSERT_TRUE(sim_->wait_ready()) << "the simulator did not print its ready line";
  }

  std::unique_ptr<TestClient> connect() {
    auto client = std::make_unique<TestClient>(sim_->address(), sim_->port());
    EXPECT_TRUE(client->connected()) << "connect failed, errno " << client->connect_error();
    return client;
  }

  // Opening negotiation, wake-up and log-in as a client that agrees to all;
  // afterwards the client has taken everything up to the prompt.
  void log_in(TestClient& client, const std::string& prompt = "MT128-NET% ") {
    ASSERT_TRUE(client.read_at_least(kOpening.size()));
    ASSERT_EQ(client.take(), kOpening);
    ASSERT_TRUE(client.send(kAgree));
    ASSERT_TRUE(client.read_at_least(kAskTerminalType.size()));
    ASSERT_EQ(client.take(), kAskTerminalType);
    ASSERT_TRUE(client.send("\r"));
    ASSERT_TRUE(client.read_until("login: "));
    ASSERT_EQ(client.take(), "\r\nlogin: ");
    ASSERT_TRUE(client.send("admin\r"));
    ASSERT_TRUE(client.read_until(prompt));
    ASSERT_EQ(client.take(), "admin\r\n\r\n" + prompt);
  }

  // Everything client number `n` (1 = first accepted) sent, once its session is over.
  std::string record_of_closed_session(int n) {
    EXPECT_TRUE(sim_->wait_for_line("session " + std::to_string(n) + " closed"));
    return read_file(dir_.file("wire." + std::to_string(n)));
  }

  TempDir dir_;
  std::unique_ptr<RoutersimProcess> sim_;
};

}  // namespace routersim_test
