// Every fault mode of the simulator, each asserted on the wire.
#include "simulator_fixture.h"

namespace routersim_test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class FaultTest : public SimulatorTest {
 protected:
  std::unique_ptr<TestClient> logged_in(std::vector<std::string> args) {
    start(std::move(args));
    if (HasFatalFailure()) return nullptr;
    auto client = connect();
    log_in(*client);
    return client;
  }

  // kShowBody with `wire` in the middle of each non-empty line; the middle of
  // the katakana line is after its second character, never inside one.
  static std::string show_body_with(const std::string& wire) {
    return "\r\nalpha" + wire + " line\r\nMT128-N" + wire + "ET beta\r\n\r\n" +
           kKatakanaLine.substr(0, 4) + wire + kKatakanaLine.substr(4) + "\r\n";
  }
};

TEST_F(FaultTest, DelaysComeAfterTheEchoAndBeforeTheAnswer) {
  auto client = logged_in({"--delay", "300", "--login-delay", "200"});
  ASSERT_TRUE(client);
  auto sent = Clock::now();
  ASSERT_TRUE(client->send("show\r"));
  ASSERT_TRUE(client->read_until("show\r\n"));
  ASSERT_TRUE(client->read_until("MT128-NET% "));
  EXPECT_GE(Clock::now() - sent, milliseconds(300));
  EXPECT_EQ(client->take(), "show\r\n" + kShowBody + "MT128-NET% ");

  auto second = connect();
  ASSERT_TRUE(second->read_at_least(kOpening.size()));
  sent = Clock::now();
  ASSERT_TRUE(second->send("\r"));
  ASSERT_TRUE(second->read_until("login: "));
  EXPECT_GE(Clock::now() - sent, milliseconds(200));
}

TEST_F(FaultTest, TrickleSendsTheSameBytesInManyPieces) {
  auto client = logged_in({"--trickle"});
  ASSERT_TRUE(client);
  const int before = client->reads();
  ASSERT_TRUE(client->send("show\r"));
  ASSERT_TRUE(client->read_until("MT128-NET% "));
  EXPECT_EQ(client->take(), "show\r\n" + kShowBody + "MT128-NET% ");
  EXPECT_GE(client->reads() - before, 10);
}

TEST_F(FaultTest, SplitCommandsArriveInPiecesAndStillWhole) {
  ASSERT_NO_FATAL_FAILURE(start({"--split-commands", "--split-gap", "10"}));
  auto client = connect();
  ASSERT_TRUE(client->read_at_least(kOpening.size()));
  EXPECT_EQ(client->take(), kOpening);
  EXPECT_GT(client->reads(), 1);
  const int before = client->reads();
  ASSERT_TRUE(client->send(kAgree));
  ASSERT_TRUE(client->read_at_least(kAskTerminalType.size()));
  EXPECT_EQ(client->take(), kAskTerminalType);
  EXPECT_GT(client->reads() - before, 1);
}

TEST_F(FaultTest, SilentNeverSendsAByteButStillListens) {
  ASSERT_NO_FATAL_FAILURE(start({"--silent"}));
  auto client = connect();
  ASSERT_TRUE(client->send(kAgree + "\radmin\rshow\r"));
  // The event is printed after the line has been handled, so an answer would
  // already be waiting in our socket.
  ASSERT_TRUE(sim_->wait_for_line("session 1 line show"));
  client->read_pending();
  EXPECT_EQ(client->received(), "");
  client->close();
  EXPECT_EQ(record_of_closed_session(1), kAgree + "\radmin\rshow\r");
}

TEST_F(FaultTest, NoLoginNegotiatesAndThenSaysNothing) {
  ASSERT_NO_FATAL_FAILURE(start({"--no-login"}));
  auto client = connect();
  ASSERT_TRUE(client->send("\radmin\rshow\r"));
  ASSERT_TRUE(sim_->wait_for_line("session 1 line show"));
  client->read_pending();
  EXPECT_EQ(client->received(), kOpening);
}

TEST_F(FaultTest, NoNegotiationAndExtraRawBytesAtTheStart) {
  ASSERT_NO_FATAL_FAILURE(start({"--no-negotiation", "--send-hex", "ff fd 17 ff f1"}));
  auto client = connect();
  ASSERT_TRUE(client->send("\r"));
  ASSERT_TRUE(client->read_until("login: "));
  EXPECT_EQ(client->take(), "\xff\xfd\x17\xff\xf1\r\nlogin: ");
}

TEST_F(FaultTest, NoPromptAfterTheAnswer) {
  auto client = logged_in({"--no-prompt"});
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->send("show\r"));
  ASSERT_TRUE(sim_->wait_for_line("session 1 line show"));
  client->read_pending();
  EXPECT_EQ(client->take(), "show\r\n" + kShowBody);
}

TEST_F(FaultTest, CloseAtLoginEndsTheSessionAfterTheEchoOfTheName) {
  ASSERT_NO_FATAL_FAILURE(start({"--close-at-login"}));
  auto client = connect();
  ASSERT_TRUE(client->send(kAgree + "\r"));
  ASSERT_TRUE(client->read_until("login: "));
  client->take();
  ASSERT_TRUE(client->send("admin\r"));
  EXPECT_EQ(client->read_to_end(), TestClient::End::Closed);
  EXPECT_EQ(client->take(), "admin\r\n");
}

TEST_F(FaultTest, CloseInOutputSendsHalfTheAnswerThenFin) {
  auto client = logged_in({"--close-in-output"});
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->send("show\r"));
  EXPECT_EQ(client->read_to_end(), TestClient::End::Closed);
  EXPECT_EQ(client->take(), "show\r\n" + kShowBody.substr(0, (kShowBody.size() + 1) / 2));
}

TEST_F(FaultTest, ResetInOutputResetsTheConnection) {
  auto client = logged_in({"--reset-in-output"});
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->send("show\r"));
  EXPECT_EQ(client->read_to_end(), TestClient::End::Reset);
  // What got through before the reset is a beginning of the answer, never more.
  const std::string full = "show\r\n" + kShowBody;
  EXPECT_EQ(full.substr(0, client->received().size()), client->received());
  EXPECT_LT(client->received().size(), full.size());
}

TEST_F(FaultTest, BytesInsideEveryAnswerLine) {
  struct Case {
    const char* option;
    std::string on_wire;
  };
  for (const Case& c : {Case{"--nul-in-output", std::string(1, '\0')},
                        Case{"--iac-in-output", "\xff\xff"}, Case{"--percent-in-output", "%"}}) {
    SCOPED_TRACE(c.option);
    auto client = logged_in({c.option});
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->send("show\r"));
    ASSERT_TRUE(client->read_until("MT128-NET% "));
    EXPECT_EQ(client->take(), "show\r\n" + show_body_with(c.on_wire) + "MT128-NET% ");
  }
}

TEST_F(FaultTest, AnswerOfExactlyNBytes) {
  for (std::size_t size : {std::size_t{0}, std::size_t{2}, std::size_t{65}, std::size_t{1000000},
                           std::size_t{1000001}}) {
    SCOPED_TRACE(size);
    auto client = logged_in({"--answer-bytes", std::to_string(size)});
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->send("show\r"));
    ASSERT_TRUE(client->read_until("MT128-NET% ", std::chrono::seconds(30)));
    const std::string capture = client->take();
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

TEST_F(FaultTest, RawAnswerGoesOutVerbatim) {
  auto client = logged_in({"--answer-hex", "ff f1 41 0d 0a ff f9"});
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->send("show\r"));
  ASSERT_TRUE(client->read_until("MT128-NET% "));
  EXPECT_EQ(client->take(),
            "show\r\n\r\n\xff\xf1"
            "A\r\n\xff\xf9MT128-NET% ");
}

TEST_F(FaultTest, EndlessSubnegotiationStopsAtItsLimitAndTheSessionGoesOn) {
  ASSERT_NO_FATAL_FAILURE(start({"--endless-sb", "--sb-limit", "100000"}));
  auto client = connect();
  const std::string opening = kOpening + "\xff\xfa\x18\x01";
  const std::size_t total = opening.size() + 100000 + 2;
  ASSERT_TRUE(client->read_at_least(total));
  const std::string stream = client->take();
  ASSERT_EQ(stream.size(), total);
  EXPECT_EQ(stream.substr(0, opening.size()), opening);
  const std::string filler = stream.substr(opening.size(), 100000);
  EXPECT_EQ(filler.find_first_of(std::string("\xf0\xff")), std::string::npos);
  EXPECT_EQ(stream.substr(total - 2), "\xff\xf0");
  ASSERT_TRUE(client->send("\r"));
  ASSERT_TRUE(client->read_until("login: "));
  EXPECT_EQ(client->take(), "\r\nlogin: ");
}

TEST_F(FaultTest, EndlessSubnegotiationEndsWhenTheClientGoesAway) {
  ASSERT_NO_FATAL_FAILURE(start({"--endless-sb"}));
  auto client = connect();
  ASSERT_TRUE(client->read_at_least(1000000));
  EXPECT_EQ(client->received().find('\xf0'), std::string::npos);
  client->close();
  EXPECT_TRUE(sim_->wait_for_line("session 1 closed"));
}

}  // namespace
}  // namespace routersim_test
