// Every fault mode of the simulator, each asserted on the wire.
#include "simulator_fixture.h"

namespace routersim_test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using FaultTest = SimulatorTest;

const std::string kPrompt = "MT128-NET% ";
// A client that agrees to the opening, logs in and asks for SHOW, all at once.
const std::string kScript = kAgree + "\radmin\rshow\r";
const std::string kLoggedIn = kOpening + kAskTerminalType + "\r\nlogin: admin\r\n\r\n" + kPrompt;

// kShowBody with `wire` in the middle of each non-empty line; the middle of
// the katakana line is after its second character, never inside one.
std::string ShowBodyWith(const std::string& wire) {
  return "\r\nalpha" + wire + " line\r\nMT128-N" + wire + "ET beta\r\n\r\n" +
         kKatakanaLine.substr(0, 4) + wire + kKatakanaLine.substr(4) + "\r\n";
}

TEST_F(FaultTest, WhatTheClientReceives) {
  struct Case {
    std::vector<std::string> args;
    std::string script;
    Peer::End end;  // Timeout: the session stays open
    std::string expected;
  };
  const std::string shown = kLoggedIn + "show\r\n" + kShowBody + kPrompt;
  const std::string echo = kLoggedIn + "show\r\n";
  const Case cases[] = {
      {{"--trickle"}, kScript, Peer::End::Timeout, shown},
      {{"--nul-in-output"},
       kScript,
       Peer::End::Timeout,
       echo + ShowBodyWith(std::string(1, '\0')) + kPrompt},
      {{"--iac-in-output"}, kScript, Peer::End::Timeout, echo + ShowBodyWith("\xff\xff") + kPrompt},
      {{"--percent-in-output"}, kScript, Peer::End::Timeout, echo + ShowBodyWith("%") + kPrompt},
      {{"--answer-hex", "ff f1 41 0d 0a ff f9"},
       kScript,
       Peer::End::Timeout,
       echo +
           "\r\n\xff\xf1"
           "A\r\n\xff\xf9" +
           kPrompt},
      {{"--no-prompt"}, kScript, Peer::End::Timeout, echo + kShowBody},
      {{"--silent"}, kScript, Peer::End::Timeout, ""},
      {{"--no-login"}, kScript, Peer::End::Timeout, kOpening + kAskTerminalType},
      {{"--no-negotiation", "--send-hex", "ff fd 17 ff f1"},
       "\radmin\rshow\r",
       Peer::End::Timeout,
       "\xff\xfd\x17\xff\xf1\r\nlogin: admin\r\n\r\n" + kPrompt + "show\r\n" + kShowBody + kPrompt},
      {{"--close-at-login"},
       kScript,
       Peer::End::Closed,
       kOpening + kAskTerminalType + "\r\nlogin: admin\r\n"},
      {{"--close-in-output"},
       kScript,
       Peer::End::Closed,
       echo + kShowBody.substr(0, (kShowBody.size() + 1) / 2)},
      // What gets through before a reset is a beginning of the answer, never more.
      {{"--reset-in-output"}, kScript, Peer::End::Reset, shown},
      // Without the coalescing every piece has left by the reset.
      {{"--reset-after-prompt", "--trickle", "--trickle-piece", "16"},
       kScript,
       Peer::End::Reset,
       shown},
      // The replies come after what the client's data asked for.
      {{"--coalesce"},
       kScript,
       Peer::End::Timeout,
       kOpening + "\r\nlogin: admin\r\n\r\n" + kPrompt + "show\r\n" + kShowBody + kPrompt +
           kAskTerminalType},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    ASSERT_NO_FATAL_FAILURE(start(c.args));
    Peer client = connect();
    ASSERT_TRUE(client.Send(c.script));
    if (c.end == Peer::End::Timeout) {
      client.ReadAtLeast(c.expected.size());
      // Reported once its whole answer is out: anything more would be here now.
      ASSERT_TRUE(sim_->wait_for_line("session 1 line show"));
      client.ReadPending();
    } else {
      EXPECT_EQ(client.ReadToEnd(), c.end);
    }
    if (c.args.front() == "--reset-after-prompt") {
      EXPECT_EQ(client.Received(), c.expected);
    } else if (c.end == Peer::End::Reset) {
      EXPECT_LT(client.Received().size(), c.expected.size());
      EXPECT_EQ(c.expected.substr(0, client.Received().size()), client.Received());
    } else {
      EXPECT_EQ(client.Received(), c.expected);
    }
    // Trickled, the same bytes come in many pieces.
    if (c.args.front() == "--trickle") {
      EXPECT_GE(client.Reads(), 10);
    }
    if (c.args.front() == "--reset-after-prompt") {
      EXPECT_GE(client.Reads(), 3);
    }
  }
}

TEST_F(FaultTest, DelaysComeAfterTheEchoAndBeforeTheAnswer) {
  ASSERT_NO_FATAL_FAILURE(start({"--delay", "300", "--login-delay", "200"}));
  Peer client = connect();
  ASSERT_TRUE(client.ReadAtLeast(kOpening.size()));
  auto sent = Clock::now();
  ASSERT_TRUE(client.Send("\r"));
  ASSERT_TRUE(client.ReadUntil("login: "));
  EXPECT_GE(Clock::now() - sent, milliseconds(200));
  ASSERT_TRUE(client.Send("admin\r"));
  ASSERT_TRUE(client.ReadUntil(kPrompt));
  client.Take();
  sent = Clock::now();
  ASSERT_TRUE(client.Send("show\r"));
  ASSERT_TRUE(client.ReadUntil("show\r\n"));
  EXPECT_EQ(take_until(client, kPrompt), "show\r\n" + kShowBody + kPrompt);
  EXPECT_GE(Clock::now() - sent, milliseconds(300));
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

TEST_F(FaultTest, AnswerOfExactlyNBytes) {
  for (std::size_t size : {std::size_t{0}, std::size_t{2}, std::size_t{65}, std::size_t{1000001}}) {
    SCOPED_TRACE(size);
    ASSERT_NO_FATAL_FAILURE(start({"--answer-bytes", std::to_string(size)}));
    Peer client = connect();
    ASSERT_TRUE(client.Send(kAgree + "\radmin\r"));
    take_until(client, kPrompt);
    ASSERT_TRUE(client.Send("show\r"));
    ASSERT_TRUE(client.ReadUntil(kPrompt, std::chrono::seconds(30)));
    const std::string capture = client.Take();
    ASSERT_EQ(capture.substr(0, 8), "show\r\n\r\n");
    ASSERT_EQ(capture.find(kPrompt), capture.size() - kPrompt.size());
    const std::string body = capture.substr(8, capture.size() - kPrompt.size() - 8);
    EXPECT_EQ(body.size(), size);
    // Lines of at most 64 bytes, each with its CR LF.
    std::size_t start = 0;
    for (auto end = body.find("\r\n"); end != std::string::npos; end = body.find("\r\n", start)) {
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
  EXPECT_EQ(stream.find_first_of("\xf0\xff", opening.size()), total - 2);
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

TEST_F(FaultTest, EndlessOutputFlowsAtItsRateWithoutAPromptUntilItsTimeIsUp) {
  ASSERT_NO_FATAL_FAILURE(
      start({"--endless-output", "--output-rate", "2000000", "--flood-seconds", "1"}));
  Peer client = connect();
  log_in(client);
  const auto sent = Clock::now();
  ASSERT_TRUE(client.Send("show\r"));
  EXPECT_EQ(client.ReadToEnd(std::chrono::seconds(20)), Peer::End::Closed);
  EXPECT_GE(Clock::now() - sent, milliseconds(900));
  // Numbered lines of 64 bytes after the echo and the blank line: one second
  // at 2,000,000 bytes a second, sent in blocks of 16 KiB.
  const std::string stream = client.Take();
  ASSERT_EQ(stream.substr(0, 8), "show\r\n\r\n");
  EXPECT_EQ(stream.substr(8, 8), "0000001 ");
  EXPECT_GT(stream.size(), 1500000u);
  EXPECT_LT(stream.size(), 2500000u);
  EXPECT_EQ(stream.find(kPrompt), std::string::npos);
}

TEST_F(FaultTest, OptionFloodWithAndWithoutReading) {
  for (const bool reads : {true, false}) {
    SCOPED_TRACE(reads ? "reads" : "never reads");
    std::vector<std::string> args{"--option-flood", "--flood-seconds", "1"};
    if (!reads) args.push_back("--no-read");
    ASSERT_NO_FATAL_FAILURE(start(args));
    Peer client = connect();
    ASSERT_TRUE(client.ReadAtLeast(kOpening.size() + 300));
    const std::string head = client.Received();
    EXPECT_EQ(head.substr(0, kOpening.size()), kOpening);
    EXPECT_EQ(head.substr(kOpening.size(), 6), "\xff\xfd\x17\xff\xfd\x17");
    if (reads) {
      // The flood ends, and the session goes on as usual.
      ASSERT_TRUE(client.Send("\r"));
      EXPECT_TRUE(client.ReadUntil("login: ", std::chrono::seconds(20)));
    } else {
      // Nothing sent is read, so the wake-up gets no "login: "; the session
      // ends with the flood (reset, as our bytes lie unread on its side).
      ASSERT_TRUE(client.Send("\r"));
      EXPECT_NE(client.ReadToEnd(std::chrono::seconds(20)), Peer::End::Timeout);
      EXPECT_EQ(client.Received().find("login"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace routersim_test
