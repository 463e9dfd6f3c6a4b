// Where a hidden run's answer goes and what it may carry: standard output that
// fails (full, closed, a reader that went away) fails the run, a terminal
// never gets the router's control characters, and a command that can't be
// sent as typed never reaches the router.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "router_fixture.h"

namespace {

using e2e::RouterFixture;
using Output = e2e::RunOptions::Output;

constexpr char kNotShiftJis[] = "コマンドに Shift-JIS にない文字があります";
constexpr char kTooLong[] = "コマンドが長すぎます";

bool Says(const e2e::RunResult& result, const char* text) {
  return result.err.find(text) != std::string::npos;
}

e2e::RunResult RunWith(RouterFixture& router, const std::vector<std::string>& arguments,
                       e2e::RunOptions options) {
  options.deadline = std::chrono::seconds(60);
  return router.Sandbox().Run(arguments, options);
}

struct SinkCase {
  const char* name;
  Output output;
  bool ignoreSigpipe;
  const char* reason;  // on standard error; null: nothing at all
  bool inputClosed = false;
};

TEST(AnswerOutput, AFailedWriteFailsTheRun) {
  const SinkCase sinks[] = {
      {"full device", Output::File, false, "No space left on device"},
      {"closed", Output::Closed, false, "Bad file descriptor"},
      // The first descriptors the program opens would take both numbers.
      {"closed with input", Output::Closed, false, "Bad file descriptor", true},
      {"reader gone, SIGPIPE ignored", Output::PipeNoReader, true, nullptr},
  };
  // The simulator's classic answer, and one of 5 MB.
  RouterFixture small("127.0.17.10", 0);
  RouterFixture large("127.0.17.11", 0, {"--answer-bytes", "5000000"});
  ASSERT_TRUE(small.Ready());
  ASSERT_TRUE(large.Ready());
  for (RouterFixture* router : {&small, &large}) {
    for (const SinkCase& sink : sinks) {
      SCOPED_TRACE(std::string(sink.name) + " " + router->Address());
      e2e::RunOptions options;
      options.output = sink.output;
      options.outputPath = "/dev/full";
      options.ignoreSigpipe = sink.ignoreSigpipe;
      options.inputClosed = sink.inputClosed;
      const e2e::RunResult result = RunWith(*router, {"-h", "-cd", "SHOW"}, options);
      EXPECT_FALSE(result.timedOut);
      EXPECT_EQ(result.signal, 0);
      EXPECT_EQ(result.exitCode, 1) << result.err;
      if (sink.reason != nullptr) {
        EXPECT_TRUE(Says(result, sink.reason)) << result.err;
        EXPECT_TRUE(Says(result, "standard output")) << result.err;
      } else {
        EXPECT_EQ(result.err, "");
      }
    }
    // The same answer to a pipe that is read to its end.
    const e2e::RunResult whole = RunWith(*router, {"-h", "-cd", "SHOW"}, {});
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_GE(whole.out.size(), 4u);
  }
}

TEST(AnswerOutput, ControlCharactersReachATerminalDefused) {
  // ESC sequences that would recolour and retitle a terminal, a BEL, a DEL,
  // and a TAB, which stays.
  RouterFixture router("127.0.17.12", 0, {},
                       "@command SHOW\n"
                       "A\x1b[31mred\x1b[0m\tB\x7f\n"
                       "\x1b]0;title\x07\n");
  ASSERT_TRUE(router.Ready());
  e2e::RunOptions options;
  options.output = Output::Terminal;
  const e2e::RunResult onTerminal = RunWith(router, {"-h", "-cd", "SHOW"}, options);
  EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.err;
  EXPECT_EQ(onTerminal.out, "A\uFFFD[31mred\uFFFD[0m\tB\uFFFD\n\uFFFD]0;title\uFFFD\n");
  const e2e::RunResult toPipe = RunWith(router, {"-h", "-cd", "SHOW"}, {});
  EXPECT_EQ(toPipe.exitCode, 0) << toPipe.err;
  EXPECT_EQ(toPipe.out, "A\x1b[31mred\x1b[0m\tB\x7f\n\x1b]0;title\x07\n");
}

TEST(AnswerOutput, CommandsThatCannotBeSentAsTypedAreRefusedBeforeConnecting) {
  RouterFixture router("127.0.17.13", 0);
  ASSERT_TRUE(router.Ready());
  const struct {
    std::string command;
    const char* message;
  } cases[] = {
      {"SHOW \xF0\x9F\x98\x80", kNotShiftJis},  // an emoji
      {"SHOW \xC3\xA9", kNotShiftJis},          // "é" from a UTF-8 terminal
      {"SHOW \xFF\xFE", kNotShiftJis},          // not UTF-8 at all
      {std::string(70 * 1024, 'A'), kTooLong},
  };
  for (const auto& c : cases) {
    for (const char* verb : {"-c", "-cd"}) {
      SCOPED_TRACE(std::string(verb) + " " + c.command.substr(0, 12));
      // The later switch is skipped as after any error of a cycle.
      const e2e::RunResult result = RunWith(router, {"-h", verb, c.command, "-cd", "SHOW"}, {});
      EXPECT_FALSE(result.timedOut);
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_TRUE(Says(result, c.message)) << result.err;
      EXPECT_EQ(result.out, "");
    }
  }
  // Nothing reached the router: the first session is this last run's.
  const e2e::RunResult probe = RunWith(router, {"-h", "-c", "SHOW \x95\x5C"}, {});
  EXPECT_EQ(probe.exitCode, 1);
  EXPECT_TRUE(Says(probe, kNotShiftJis));
  const e2e::RunResult sent = RunWith(router, {"-h", "-c", "SHOW 表示"}, {});
  EXPECT_EQ(sent.exitCode, 0) << sent.err;
  EXPECT_EQ(router.SentInSession(1), "\radmin\rSHOW \x95\x5C\x8E\xA6\r");
}

}  // namespace
