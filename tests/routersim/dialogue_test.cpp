// The simulator's normal behaviour on the wire: negotiation, log-in, commands,
// the data file, and the record of what the client sent.
#include <algorithm>
#include <filesystem>

#include "simulator_fixture.h"

namespace routersim_test {
namespace {

using DialogueTest = SimulatorTest;

TEST_F(DialogueTest, OpensWithNegotiationAndAnswersOnlyChangesOfOptionState) {
  ASSERT_NO_FATAL_FAILURE(start());
  Peer client = connect();
  ASSERT_TRUE(client.ReadAtLeast(kOpening.size()));
  EXPECT_EQ(client.Take(), kOpening);

  // Agreeing to its offers gets no reply; agreeing to TERMINAL-TYPE gets the SEND.
  ASSERT_TRUE(client.Send(kAgree));
  ASSERT_TRUE(client.ReadAtLeast(kAskTerminalType.size()));
  EXPECT_EQ(client.Take(), kAskTerminalType);

  // Repeating the same answers (as a client with no memory does) must not
  // start a ping-pong, nor ask for the terminal type again. The CR after them
  // proves nothing came before its answer.
  ASSERT_TRUE(client.Send(kAgree + kAgree + "\r"));
  EXPECT_EQ(take_until(client, "login: "), "\r\nlogin: ");

  // The client's own requests: DO 31 refused, WILL 5 refused, DO BINARY
  // accepted; asked again, the accepted one is already in force.
  ASSERT_TRUE(client.Send(std::string("\xff\xfd\x1f\xff\xfb\x05\xff\xfd\x00\xff\xfd\x00\r", 13)));
  EXPECT_EQ(take_until(client, "login: "),
            std::string("\xff\xfc\x1f\xff\xfe\x05\xff\xfb\x00", 9) + "\r\nlogin: ");

  ASSERT_TRUE(client.Send(std::string("\xff\xfa\x18\x00VT100\xff\xf0", 11)));
  EXPECT_TRUE(sim_->wait_for_line("session 1 terminal-type VT100"));

  // DONT ECHO: acknowledged once, and the router stops echoing.
  ASSERT_TRUE(
      client.Send("\xff\xfe\x01\xff\xfe\x01"
                  "admin\r"));
  EXPECT_EQ(take_until(client, "MT128-NET% "), "\xff\xfc\x01\r\nMT128-NET% ");
}

TEST_F(DialogueTest, RecordsExactlyWhatTheClientSent) {
  ASSERT_NO_FATAL_FAILURE(start());
  Peer client = connect();
  ASSERT_NO_FATAL_FAILURE(log_in(client));
  const std::string tail("sh\xff\xff\x01\r\0exit\r", 12);
  ASSERT_TRUE(client.Send(tail));
  EXPECT_EQ(client.ReadToEnd(), Peer::End::Closed);
  client.Close();
  EXPECT_EQ(record_of_closed_session(1), kAgree + "\r" + "admin\r" + tail);
}

TEST_F(DialogueTest, LogInRefusesOtherNamesAndEachModelShowsItsPrompt) {
  for (std::string model : {"MT128-NET", "MN128-SOHO", "MN128-SOHO-SL10", "MN128-SOHO-SL11"}) {
    SCOPED_TRACE(model);
    ASSERT_NO_FATAL_FAILURE(start({"--model", model}));
    Peer client = connect();
    ASSERT_TRUE(client.Send("\r"));
    take_until(client, "login: ");
    ASSERT_TRUE(client.Send("guest\r"));
    EXPECT_EQ(take_until(client, "login: "), "guest\r\nLogin incorrect\r\n\r\nlogin: ");
    ASSERT_TRUE(client.Send("\r"));
    EXPECT_EQ(take_until(client, "login: "), "\r\nlogin: ");
    ASSERT_TRUE(client.Send("admin\r"));
    EXPECT_EQ(take_until(client, "% "), "admin\r\n\r\n" + model + "% ");
    ASSERT_TRUE(client.Send("show version\r"));
    EXPECT_EQ(take_until(client, model + "% "),
              "show version\r\n\r\nversion of " + model + "\r\n" + model + "% ");
    EXPECT_EQ(sim_->stop(), 0);
  }
}

TEST_F(DialogueTest, MatchesCommandsWhateverTheCaseBlanksAndLineEnd) {
  ASSERT_NO_FATAL_FAILURE(start());
  Peer client = connect();
  ASSERT_NO_FATAL_FAILURE(log_in(client));
  // CR LF and CR NUL are one line end each: no empty line (and no second
  // prompt) may follow, so each answer starts right after the previous prompt.
  for (std::string typed : {"  sH   ", "SHOW", "Show"}) {
    for (std::string end :
         {std::string("\r"), std::string("\r\n"), std::string("\r\0", 2), std::string("\n")}) {
      SCOPED_TRACE(typed + " / line end of " + std::to_string(end.size()) + " bytes");
      ASSERT_TRUE(client.Send(typed + end));
      EXPECT_EQ(take_until(client, "MT128-NET% "), typed + "\r\n" + kShowBody + "MT128-NET% ");
    }
  }
  EXPECT_EQ(command(client, "show   version"),
            "show   version\r\n\r\nversion of MT128-NET\r\nMT128-NET% ");
  EXPECT_EQ(command(client, "  frob  it "),
            "  frob  it \r\n\r\nNo such command: frob  it\r\nMT128-NET% ");
  EXPECT_EQ(command(client, ""), "\r\nMT128-NET% ");
  // Backspace takes back a typed byte, on the line and on the screen.
  EXPECT_EQ(command(client, "shx\x7fow"), "shx\b \bow\r\n" + kShowBody + "MT128-NET% ");
}

TEST_F(DialogueTest, ExitAndQuitEndTheSession) {
  ASSERT_NO_FATAL_FAILURE(start());
  for (std::string leave : {"exit", "QUIT"}) {
    Peer client = connect();
    ASSERT_TRUE(client.Send("\radmin\r" + leave + "\r"));
    EXPECT_EQ(client.ReadToEnd(), Peer::End::Closed);
    EXPECT_EQ(client.Take(), kOpening + "\r\nlogin: admin\r\n\r\nMT128-NET% " + leave + "\r\n");
  }
}

// The data file that ships with the program, found beside the executable, and
// the copy built into it, which answers when the file is missing.
TEST(ShippedCommands, AnswerTheUsualScreensWithShiftJisAndNoPercent) {
  support::TempFolder dir;
  const std::string lone = dir.File("vantrel-routersim");
  std::filesystem::copy_file(RoutersimProcess::default_executable(), lone);
  auto answers = [](RoutersimProcess& sim) {
    EXPECT_TRUE(sim.wait_ready());
    std::string all;
    Peer client = Peer::Connect(sim.port(), sim.address());
    EXPECT_TRUE(client.Send("\radmin\r"));
    take_until(client, "MT128-NET% ");
    for (std::string line : {"SHOW", "SHOW STATUS", "SHOW CONFIG", "SHOW LOG", "SHOW ISDN",
                             "SHOW IP ROUTE", "SHOW VERSION", "HELP"}) {
      const std::string answer = command(client, line);
      EXPECT_GT(std::count(answer.begin(), answer.end(), '\n'), 5) << line;
      EXPECT_EQ(answer.find("Unknown command"), std::string::npos) << line;
      all += answer.substr(0, answer.size() - 11);  // the prompt is the only "%"
    }
    EXPECT_NE(command(client, "NO SUCH THING").find("Unknown command"), std::string::npos);
    return all;
  };
  RoutersimProcess beside({"--port", "0"});
  RoutersimProcess builtin({"--port", "0"}, lone);
  const std::string screens = answers(beside);
  EXPECT_EQ(answers(builtin), screens);
  EXPECT_EQ(screens.find('%'), std::string::npos);
  // "状態" (state) in Shift-JIS.
  EXPECT_NE(screens.find("\x8f\xf3\x91\xd4"), std::string::npos);
}

}  // namespace
}  // namespace routersim_test
