// Every fault mode of the simulator, each asserted on the wire.
#include "simulator_fixture.h"

namespace routersim_test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class FaultTest : public SimulatorTest {
 protected:
  Peer logged_in(std::vector<std::string> args) {
    start(std::move(args));
    if (HasFatalFailure()) return Peer();
    Peer client = connect();
    log_in(client);
    return client;
  }

  // kShowBody with `wire` in the middle of each non-empty line; the middle of
  // the katakana line is after its second character, never inside one.
  static std::string show_body_with(const std::string& wire) {
    return "\r\nalpha" + wire + " line\r\nMT128-N" + wire + "ET beta\r\n\r\n" +
           kKatakanaLine.substr(0, 4) + wire + kKatakanaLine.substr(4) + "\r\n";
  }
};

TEST_F(FaultTest, AnswersChangedOnTheWire) {
  struct Case {
    std::vector<std::string> args;
    std::string answer;
  };
  for (const Case& c : {Case{{"--trickle"}, kShowBody},
                        Case{{"--nul-in-output"}, show_body_with(std::string(1, '\0'))},
                        Case{{"--iac-in-output"}, show_body_with("\xff\xff")},
                        Case{{"--percent-in-output"}, show_body_with("%")},
                        Case{{"--answer-hex", "ff f1 41 0d 0a ff f9"},
                             "\r\n\xff\xf1"
                             "A\r\n\xff\xf9"}}) {
    SCOPED_TRACE(c.args.front());
    Peer client = logged_in(c.args);
    ASSERT_TRUE(client.Valid());
    const int before = client.Reads();
    EXPECT_EQ(command(client, "show"), "show\r\n" + c.answer + "MT128-NET% ");
    // Trickled, the same bytes come in many pieces.
    if (c.args.front() == "--trickle") {
      EXPECT_GE(client.Reads() - before, 10);
    }
  }
}

TEST_F(FaultTest, DelaysComeAfterTheEchoAndBeforeTheAnswer) {
  Peer client = logged_in({"--delay", "300", "--login-delay", "200"});
  ASSERT_TRUE(client.Valid());
  auto sent = Clock::now();
  ASSERT_TRUE(client.Send("show\r"));
  ASSERT_TRUE(client.ReadUntil("show\r\n"));
  EXPECT_EQ(take_until(client, "MT128-NET% "), "show\r\n" + kShowBody + "MT128-NET% ");
  EXPECT_GE(Clock::now() - sent, milliseconds(300));

  Peer second = connect();
  ASSERT_TRUE(second.ReadAtLeast(kOpening.size()));
  sent = Clock::now();
  ASSERT_TRUE(second.Send("\r"));
  ASSERT_TRUE(second.ReadUntil("login: "));
  EXPECT_GE(Clock::now() - sent, milliseconds(200));
}

TEST_F(FaultTest, SplitCommandsArriveInPiecesAndStillWhole) {
  ASSERT_NO_FATAL_FAILURE(start({"--split-commands", "--split-gap", "10"}));
  Peer client = connect();
  ASSERT_TRUE(client.ReadAtLeast(kOpening.size()));
  EXPECT_EQ(client.Take(), kOpening);
  EXPECT_GT(client.Reads(), 1);
  const int before = client.Reads();
  ASSERT_TRUE(client.Send(kAgree));
  ASSERT_TRUE(client.ReadAtLeast(kAskTerminalType.size()));
  EXPECT_EQ(client.Take(), kAskTerminalType);
  EXPECT_GT(client.Reads() - before, 1);
}

TEST_F(FaultTest, SilentAndNoLoginSayNothingButStillListen) {
  // The event is printed after the line has been handled, so an answer would
  // already be waiting in our socket.
  ASSERT_NO_FATAL_FAILURE(start({"--silent"}));
  Peer silent = connect();
  ASSERT_TRUE(silent.Send(kAgree + "\radmin\rshow\r"));
  ASSERT_TRUE(sim_->wait_for_line("session 1 line show"));
  silent.ReadPending();
  EXPECT_EQ(silent.Received(), "");
  silent.Close();
  EXPECT_EQ(record_of_closed_session(1), kAgree + "\radmin\rshow\r");

  ASSERT_NO_FATAL_FAILURE(start({"--no-login"}));
  Peer unanswered = connect();
  ASSERT_TRUE(unanswered.Send("\radmin\rshow\r"));
  ASSERT_TRUE(sim_->wait_for_line("session 1 line show"));
  unanswered.ReadPending();
  EXPECT_EQ(unanswered.Received(), kOpening);
}

TEST_F(FaultTest, NoNegotiationAndExtraRawBytesAtTheStart) {
  ASSERT_NO_FATAL_FAILURE(start({"--no-negotiation", "--send-hex", "ff fd 17 ff f1"}));
  Peer client = connect();
  ASSERT_TRUE(client.Send("\r"));
  EXPECT_EQ(take_until(client, "login: "), "\xff\xfd\x17\xff\xf1\r\nlogin: ");
}

TEST_F(FaultTest, NoPromptAfterTheAnswer) {
  Peer client = logged_in({"--no-prompt"});
  ASSERT_TRUE(client.Valid());
  ASSERT_TRUE(client.Send("show\r"));
  ASSERT_TRUE(sim_->wait_for_line("session 1 line show"));
  client.ReadPending();
  EXPECT_EQ(client.Take(), "show\r\n" + kShowBody);
}

TEST_F(FaultTest, CloseAtLoginEndsTheSessionAfterTheEchoOfTheName) {
  ASSERT_NO_FATAL_FAILURE(start({"--close-at-login"}));
  Peer client = connect();
  ASSERT_TRUE(client.Send(kAgree + "\r"));
  take_until(client, "login: ");
  ASSERT_TRUE(client.Send("admin\r"));
  EXPECT_EQ(client.ReadToEnd(), Peer::End::Closed);
  EXPECT_EQ(client.Take(), "admin\r\n");
}

TEST_F(FaultTest, CloseOrResetInTheOutputCutsTheAnswer) {
  const std::string full = "show\r\n" + kShowBody;
  Peer closing = logged_in({"--close-in-output"});
  ASSERT_TRUE(closing.Send("show\r"));
  EXPECT_EQ(closing.ReadToEnd(), Peer::End::Closed);
  EXPECT_EQ(closing.Take(), "show\r\n" + kShowBody.substr(0, (kShowBody.size() + 1) / 2));

  Peer reset = logged_in({"--reset-in-output"});
  ASSERT_TRUE(reset.Send("show\r"));
  EXPECT_EQ(reset.ReadToEnd(), Peer::End::Reset);
  // What got through before the reset is a beginning of the answer, never more.
  EXPECT_EQ(full.substr(0, reset.Received().size()), reset.Received());
  EXPECT_LT(reset.Received().size(), full.size());
}

TEST_F(FaultTest, AnswerOfExactlyNBytes) {
  for (std::size_t size : {std::size_t{0}, std::size_t{2}, std::size_t{65}, std::size_t{1000000},
                           std::size_t{1000001}}) {
    SCOPED_TRACE(size);
    Peer client = logged_in({"--answer-bytes", std::to_string(size)});
    ASSERT_TRUE(client.Send("show\r"));
    ASSERT_TRUE(client.ReadUntil("MT128-NET% ", std::chrono::seconds(30)));
    const std::string capture = client.Take();
    const std::string head = "show\r\n\r\n";
    ASSERT_EQ(capture.substr(0, head.size()), head);
    const std::string body = capture.substr(head.size(), capture.size() - head.size() - 11);
    EXPECT_EQ(body.size(), size);
    EXPECT_EQ(capture.find("MT128-NET% "), capture.size() - 11);
    // Lines of at most 64 bytes, each with its CR LF.
    std::size_t start = 0;
    for (std::size_t end = body.find("\r\n"); end != std::string::npos;
         end = body.find("\r\n", start)) {
      EXPECT_LE(end + 2 - start, 64u);
      start = end + 2;
    }
    EXPECT_EQ(start, body.size());
  }
}

TEST_F(FaultTest, EndlessSubnegotiationStopsAtItsLimitAndTheSessionGoesOn) {
  ASSERT_NO_FATAL_FAILURE(start({"--endless-sb", "--sb-limit", "100000"}));
  Peer client = connect();
  const std::string opening = kOpening + "\xff\xfa\x18\x01";
  const std::size_t total = opening.size() + 100000 + 2;
  ASSERT_TRUE(client.ReadAtLeast(total));
  const std::string stream = client.Take();
  ASSERT_EQ(stream.size(), total);
  EXPECT_EQ(stream.substr(0, opening.size()), opening);
  const std::string filler = stream.substr(opening.size(), 100000);
  EXPECT_EQ(filler.find_first_of(std::string("\xf0\xff")), std::string::npos);
  EXPECT_EQ(stream.substr(total - 2), "\xff\xf0");
  ASSERT_TRUE(client.Send("\r"));
  EXPECT_EQ(take_until(client, "login: "), "\r\nlogin: ");
}

TEST_F(FaultTest, EndlessSubnegotiationEndsWhenTheClientGoesAway) {
  ASSERT_NO_FATAL_FAILURE(start({"--endless-sb"}));
  Peer client = connect();
  ASSERT_TRUE(client.ReadAtLeast(1000000));
  EXPECT_EQ(client.Received().find('\xf0'), std::string::npos);
  client.Close();
  EXPECT_TRUE(sim_->wait_for_line("session 1 closed"));
}

}  // namespace
}  // namespace routersim_test
