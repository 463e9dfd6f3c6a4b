// The real program against routers that misbehave on purpose: endless output,
// floods of negotiation, a peer that never reads, and commands that would
// smuggle a second command in. Each must end by its limit with a clear
// message and bounded memory.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <ostream>
#include <thread>
#include <vector>

#include "router_fixture.h"

namespace {

using e2e::RouterFixture;
using Clock = std::chrono::steady_clock;

constexpr char kAnswerTooLong[] = "出力が 64 MiB を超えたため、以降を破棄しました";
constexpr char kRouterNotReading[] = "ルーターが送信データを受け取りません";
constexpr char kAnswerIncomplete[] = "応答が最後まで届きませんでした";
constexpr char kLineBreak[] = "コマンドに改行は使えません";

// Memory and time change under the sanitizers; there only the outcome counts.
#ifdef VANTREL_SANITIZED
constexpr bool kBoundsHold = false;
#else
constexpr bool kBoundsHold = true;
#endif

bool Says(const e2e::RunResult& result, const char* text) {
  return result.err.find(text) != std::string::npos;
}

// Waits (with a deadline) until the router's record of session 1 holds `needle`.
bool RecordHolds(RouterFixture& router, const std::string& needle) {
  const auto end = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < end) {
    const auto bytes = router.Sandbox().ReadFile("wire.1");
    if (bytes && bytes->find(needle) != std::string::npos) return true;
    std::this_thread::yield();
  }
  return false;
}

struct HostileCase {
  const char* name;
  const char* address;
  std::vector<std::string> mode;  // of the simulator
  const char* message;            // on standard error
  double earliest, latest;        // seconds until the program has ended
  bool boundedMemory;             // peak under 256 MiB
  const char* outputBegins;       // what standard output begins with
  std::size_t outputAtLeast;      // and its least size
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

class EachHostileRouter : public testing::TestWithParam<HostileCase> {};

TEST_P(EachHostileRouter, CycleEndsByItsLimitWithItsMessage) {
  const HostileCase& c = GetParam();
  RouterFixture router(c.address, 0, c.mode);
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.signal, 0);
  EXPECT_EQ(run.result.exitCode, 1);
  EXPECT_TRUE(Says(run.result, c.message)) << run.result.err;
  if (kBoundsHold) {
    EXPECT_GE(run.seconds, c.earliest);
    EXPECT_LT(run.seconds, c.latest);
    if (c.boundedMemory) {
      EXPECT_LT(run.result.peakRssKb, 256 * 1024);
    }
  }
  // An incomplete answer is still shown as far as it came, and so is what
  // the cap kept; the error of a router that does not read skips the -cd box.
  EXPECT_EQ(run.result.out.rfind(c.outputBegins, 0), 0u) << run.result.out.substr(0, 80);
  EXPECT_GE(run.result.out.size(), c.outputAtLeast);
}

// The waits end at the 16th tick (about 16 s) however fast the router sends;
// the endless answer at 1 MiB/s then takes a moment more to show its 16 MB.
INSTANTIATE_TEST_SUITE_P(
    Modes, EachHostileRouter,
    testing::Values(HostileCase{"EndlessOutputAtFullSpeedEndsAtTheCap",
                                "127.0.0.210",
                                {"--endless-output"},
                                kAnswerTooLong,
                                0,
                                16,
                                true,
                                "0000001 ",
                                60'000'000},
                    HostileCase{"EndlessOutputAtOneMegabyteASecondEndsAtTheTickLimit",
                                "127.0.0.211",
                                {"--endless-output", "--output-rate", "1048576"},
                                kAnswerIncomplete,
                                15,
                                40,
                                false,
                                "0000001 ",
                                1000000},
                    HostileCase{"OptionFloodWithoutLogInEndsAtTheTickLimit",
                                "127.0.0.212",
                                {"--option-flood", "--no-login"},
                                kAnswerIncomplete,
                                15,
                                20,
                                true,
                                "\n",
                                1},
                    HostileCase{"OptionFloodFromARouterThatNeverReadsEndsWithItsError",
                                "127.0.0.213",
                                {"--option-flood", "--no-read"},
                                kRouterNotReading,
                                0,
                                16,
                                true,
                                "",
                                0}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

TEST(HostileRouter, SigtermEndsAFloodCycleWithinASecond) {
  RouterFixture router("127.0.0.214", 0, {"--endless-output", "--output-rate", "8388608"});
  ASSERT_TRUE(router.Ready());
  e2e::RunOptions options;
  options.offscreen = true;
  auto program = router.Sandbox().Start({"-c", "SHOW"}, options);
  ASSERT_TRUE(RecordHolds(router, "SHOW\r"));
  // The command went out: the flood is coming in now.
  ASSERT_TRUE(program->WaitUntilHandling(SIGTERM));
  double seconds = 0;
  const auto result = program->SignalAndFinish(SIGTERM, seconds);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(router.Sandbox().Exists("vantrel.Ini"));
  if (kBoundsHold) {
    EXPECT_LT(seconds, 1.0);
  }
}

TEST(HostileRouter, CommandsWithLineBreaksAreNotSent) {
  RouterFixture router("127.0.0.215", 0);
  ASSERT_TRUE(router.Ready());
  for (const char* command : {"SHOW\rSHOW STATUS", "SHOW\nSHOW STATUS", "SHOW\r\nSHOW STATUS"}) {
    for (const char* verb : {"-c", "-cd"}) {
      SCOPED_TRACE(std::string(verb) + " " + command);
      // The later switch is skipped too: nothing reaches the router at all.
      const auto run = router.Run({"-h", verb, command, "-cd", "SHOW"});
      EXPECT_FALSE(run.result.timedOut);
      EXPECT_EQ(run.result.exitCode, 1);
      EXPECT_TRUE(Says(run.result, kLineBreak)) << run.result.err;
      EXPECT_EQ(run.result.out, "");
    }
  }
  // A last run that does connect is the router's first session.
  const auto probe = router.Run({"-h", "-c", "SHOW"});
  EXPECT_EQ(probe.result.exitCode, 0) << probe.result.err;
  EXPECT_EQ(router.SentInSession(1), "\radmin\rSHOW\r");
}

}  // namespace
