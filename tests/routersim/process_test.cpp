// The simulator as a process: its command line, its ready line, the address
// it binds, many clients, and how it ends.
#include <signal.h>

#include <sstream>

#include "simulator_fixture.h"

namespace routersim_test {
namespace {

using ProcessTest = SimulatorTest;

TEST_F(ProcessTest, ReadyLineNamesTheChosenPortAndAClosedInputEndsIt) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(sim_->lines().front(), "listening on 127.0.0.1:" + std::to_string(sim_->port()));
  EXPECT_NE(sim_->port(), 0);
  sim_->close_stdin();
  EXPECT_EQ(sim_->wait_exit(), 0);
}

TEST_F(ProcessTest, BindsOnlyTheAddressItIsGiven) {
  RoutersimProcess sim({"--listen", "127.0.0.61", "--port", "0"});
  ASSERT_TRUE(sim.wait_ready());
  EXPECT_EQ(sim.address(), "127.0.0.61");
  EXPECT_TRUE(Peer::Connect(sim.port(), "127.0.0.61").Valid());
  EXPECT_EQ(Peer::Connect(sim.port(), "127.0.0.62").ConnectError(), ECONNREFUSED);
}

TEST_F(ProcessTest, ARangeOfAddressesIsARouterEach) {
  RoutersimProcess sim({"--listen", "127.0.0.66-68", "--port", "0"});
  ASSERT_TRUE(sim.wait_ready());
  ASSERT_TRUE(sim.wait_for_line("listening on 127.0.0.68:"));
  for (const char* address : {"127.0.0.66", "127.0.0.67", "127.0.0.68"}) {
    const std::string line = *sim.wait_for_line(std::string("listening on ") + address + ":");
    const int port = std::stoi(line.substr(line.rfind(':') + 1));
    EXPECT_TRUE(Peer::Connect(port, address).Valid()) << address;
    EXPECT_EQ(Peer::Connect(port, "127.0.0.69").ConnectError(), ECONNREFUSED) << address;
  }
  // Which router a session belongs to is on its open line.
  EXPECT_TRUE(sim.wait_for_line(" on 127.0.0.67:"));
  for (const char* bad : {"127.0.0.9-8", "127.0.0.1-x", "127.0.0.1-127.2.0.1", "a-b"}) {
    RoutersimProcess refused({"--listen", bad, "--port", "0"});
    EXPECT_EQ(refused.wait_exit(), 2) << bad;
  }
}

TEST_F(ProcessTest, ServesClientsSideBySideAndOneAfterAnother) {
  ASSERT_NO_FATAL_FAILURE(start());
  // Side by side: every client is half way through its log-in before any finishes.
  std::vector<Peer> clients;
  for (int i = 1; i <= 3; ++i) {
    clients.push_back(connect());
    ASSERT_TRUE(clients.back().Send("\r"));
    ASSERT_TRUE(clients.back().ReadUntil("login: "));
  }
  const std::vector<std::string> commands = {"show", "show version", "what"};
  const std::vector<std::string> answers = {kShowBody, "\r\nversion of MT128-NET\r\n",
                                            "\r\nNo such command: what\r\n"};
  for (std::size_t i = 0; i < clients.size(); ++i) {
    ASSERT_TRUE(clients[i].Send("admin\r"));
    take_until(clients[i], "MT128-NET% ");
  }
  for (std::size_t i = 0; i < clients.size(); ++i) {
    EXPECT_EQ(command(clients[i], commands[i]), commands[i] + "\r\n" + answers[i] + "MT128-NET% ");
  }
  // One after another, while the first three are still open.
  for (int i = 4; i <= 6; ++i) {
    Peer client = connect();
    ASSERT_TRUE(client.Send("\radmin\rexit\r"));
    EXPECT_EQ(client.ReadToEnd(), Peer::End::Closed);
    client.Close();
    EXPECT_EQ(record_of_closed_session(i), "\radmin\rexit\r");
  }
  // Clients not hung up at each accept: a closed one no longer counts, even
  // before its session has noticed.
  for (const char* line : {"session 3 connected 3", "session 4 connected 4", "session 6 connected 4"})
    EXPECT_TRUE(sim_->wait_for_line(line)) << line;
}

TEST_F(ProcessTest, SigtermAndSigintEndItCleanlyWithSessionsOpen) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    ASSERT_NO_FATAL_FAILURE(start({"--delay", "600000"}));
    Peer idle = connect();
    Peer busy = connect();
    ASSERT_TRUE(busy.Send("\radmin\rshow\r"));
    ASSERT_TRUE(busy.ReadUntil("show\r\n"));  // now inside the long delay
    EXPECT_EQ(sim_->signal_and_wait(signal_number), 0);
    EXPECT_EQ(idle.ReadToEnd(), Peer::End::Closed);
    EXPECT_NE(busy.ReadToEnd(), Peer::End::Timeout);
  }
}

TEST(RoutersimCommandLine, HelpDescribesEveryOptionAndBadInputFails) {
  RoutersimProcess help({"--help"});
  EXPECT_EQ(help.wait_exit(), 0);
  std::string text;
  for (const auto& line : help.lines()) text += line + "\n";
  std::istringstream options(
      "--listen --port --model --commands --record --quiet --watch-stdin --no-negotiation "
      "--send-hex --delay --login-delay --trickle --trickle-gap --silent --no-login --no-prompt "
      "--close-at-login --close-in-output --reset-in-output --nul-in-output --iac-in-output "
      "--percent-in-output --split-commands --split-gap --answer-bytes --answer-hex "
      "--endless-sb --sb-limit --coalesce --trickle-piece --reset-after-prompt SIGTERM login:");
  for (std::string option; options >> option;) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }

  for (std::vector<std::string> bad : {std::vector<std::string>{"--model", "XR-9"},
                                       {"--port", "70000"},
                                       {"--frobnicate"},
                                       {"--delay"},
                                       {"--answer-bytes", "1"},
                                       {"--trickle-piece", "0"},
                                       {"--send-hex", "fff"},
                                       {"--commands", "/nonexistent/commands.txt"}}) {
    RoutersimProcess sim(bad);
    EXPECT_EQ(sim.wait_exit(), 2) << bad.front();
    EXPECT_TRUE(sim.lines().empty()) << bad.front();
  }
}

TEST(RoutersimCommandLine, VersionAnswersAndALoneDoubleDashIsIgnored) {
  RoutersimProcess version({"--version", "--port", "0"});
  EXPECT_EQ(version.wait_exit(), 0);
  ASSERT_EQ(version.lines().size(), 1u);
  EXPECT_EQ(version.lines().front().rfind("vantrel-routersim 1.", 0), 0u)
      << version.lines().front();

  RoutersimProcess sim({"--", "--listen", "127.0.0.63", "--", "--port", "0"});
  EXPECT_TRUE(sim.wait_ready());
}

TEST(RoutersimCommandLine, RejectsAMalformedDataFile) {
  support::TempFolder dir;
  support::WriteWholeFile(dir.File("bad.txt"), "an answer line before any command\n");
  RoutersimProcess sim({"--port", "0", "--commands", dir.File("bad.txt")});
  EXPECT_EQ(sim.wait_exit(), 2);
}

}  // namespace
}  // namespace routersim_test
