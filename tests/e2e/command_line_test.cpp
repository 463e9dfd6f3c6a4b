// The command-line switches of the real program, checked on the wire: what
// reaches the router, in which order, and what the program prints.
#include <gtest/gtest.h>
#include <signal.h>

#include "router_fixture.h"

namespace {

using e2e::RouterFixture;

constexpr char kCommands[] =
    "@command A\nanswer of A\n"
    "@command B\nanswer of B\n"
    "@unknown\n? {COMMAND}\n";

TEST(CommandLine, TwoCommandsRunInOrderAndOnlyTheLastIsShown) {
  RouterFixture router("127.0.0.130", 0, {}, kCommands);
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-c", "A", "-cd", "B"});
  EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
  EXPECT_EQ(run.result.out, "answer of B\n");
  EXPECT_EQ(router.SentInSession(1), "\radmin\rA\r");
  EXPECT_EQ(router.SentInSession(2), "\radmin\rB\r");
}

TEST(CommandLine, TwoCommandsBeforeTheWindowOpens) {
  RouterFixture router("127.0.0.131", 0, {}, kCommands);
  ASSERT_TRUE(router.Ready());
  e2e::RunOptions options;
  options.offscreen = true;
  auto program = router.Sandbox().Start({"-c", "A", "-c", "B"}, options);
  EXPECT_EQ(router.SentInSession(1), "\radmin\rA\r");
  EXPECT_EQ(router.SentInSession(2), "\radmin\rB\r");
  // Both cycles are over: now close the window the way a logout does.
  ASSERT_TRUE(program->WaitUntilHandling(SIGTERM));
  program->Signal(SIGTERM);
  const auto result = program->Finish();
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // The window wrote its settings at close.
  EXPECT_TRUE(router.Sandbox().Exists("vantrel.Ini"));
}

TEST(CommandLine, DashCTakesDashHAsItsCommandAndStillRunsHidden) {
  RouterFixture router("127.0.0.132", 0, {}, kCommands);
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-c", "-h"});
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
  EXPECT_EQ(run.result.out, "");
  EXPECT_EQ(router.SentInSession(1), "\radmin\r-h\r");
}

TEST(CommandLine, MixedCaseSwitchRunsNothing) {
  RouterFixture router("127.0.0.133", 0, {}, kCommands);
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-Cd", "A", "-cD", "B"});
  EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
  EXPECT_EQ(run.result.out, "");
  // A run that does send shows up as the router's first session: nothing
  // came before it.
  const auto probe = router.Run({"-h", "-c", "B"});
  EXPECT_EQ(probe.result.exitCode, 0) << probe.result.err;
  EXPECT_EQ(router.SentInSession(1), "\radmin\rB\r");
}

TEST(CommandLine, DashCAsTheLastArgumentSendsALoneCarriageReturn) {
  RouterFixture router("127.0.0.134", 0, {}, kCommands);
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-c"});
  EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
  EXPECT_EQ(router.SentInSession(1), "\radmin\r\r");
}

// A mistyped long option ends the run before anything starts; the same text
// as the command of a -c or -cd is sent like any other. The runs that must
// not contact the router go first: the first run that does shows up as the
// simulator's session 1.
TEST(CommandLine, UnknownLongOptionIsAUsageErrorUnlessItIsTheCommandOfDashC) {
  RouterFixture router("127.0.0.135", 0, {}, kCommands);
  ASSERT_TRUE(router.Ready());
  for (const auto& [arguments, unknown] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-h", "-cd", "A", "--hots", "127.0.0.1"}, "--hots"},
           {{"-h", "--bogus=1", "-c", "A"}, "--bogus=1"},
           {{"-h", "-c", "A", "--", "--hostt"}, "--hostt"},
           {{"--frobnicate"}, "--frobnicate"}}) {
    const auto run = router.Run(arguments);
    EXPECT_EQ(run.result.exitCode, 2) << unknown;
    EXPECT_NE(run.result.err.find("unknown option " + unknown), std::string::npos)
        << run.result.err;
    EXPECT_EQ(run.result.out, "") << unknown;
  }
  for (const auto& [arguments, sent] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-h", "-c", "--foo"}, "--foo"},
           {{"-h", "-cd", "--bar", "--"}, "--bar"},
           {{"-h", "--", "-c", "A"}, "A"}}) {
    const auto run = router.Run(arguments);
    EXPECT_EQ(run.result.exitCode, 0) << sent << run.result.err;
  }
  EXPECT_EQ(router.SentInSession(1), "\radmin\r--foo\r");
  EXPECT_EQ(router.SentInSession(2), "\radmin\r--bar\r");
  EXPECT_EQ(router.SentInSession(3), "\radmin\rA\r");
}

}  // namespace
