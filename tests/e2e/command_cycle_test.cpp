// The real program, without a display, running `-h -cd COMMAND` against the
// router simulator: what it prints for the router's answers, per router model
// and for awkward answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <sstream>

#include "router_fixture.h"

namespace {

using e2e::PaneText;
using e2e::RouterFixture;

constexpr char kAnswerIncomplete[] = "応答が最後まで届きませんでした";

// A hidden run whose answer ended before the router's prompt: it prints what
// it kept, then says so and fails.
void ExpectIncomplete(const e2e::CycleRun& run) {
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.signal, 0);
  EXPECT_EQ(run.result.exitCode, 1);
  EXPECT_NE(run.result.err.find(kAnswerIncomplete), std::string::npos) << run.result.err;
}

void ExpectSuccess(const e2e::CycleRun& run) {
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.signal, 0);
  EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
  EXPECT_EQ(run.result.err.find("ログインできませんでした"), std::string::npos) << run.result.err;
}

TEST(CommandCycle, ShowExampleLineForLine) {
  RouterFixture router("127.0.0.100", 0);
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  ExpectSuccess(run);
  // Received: "SHOW", "", "A", "", "B", "MT128-NET% ": the pane shows A and B.
  EXPECT_EQ(run.result.out, "A\nB\n");
  EXPECT_EQ(router.SentInSession(1), "\radmin\rSHOW\r");
}

TEST(CommandCycle, AnswersAreShownAsUtf8) {
  // "状態" and "表示" in Shift-JIS; the second has the trail byte 0x5C.
  RouterFixture router("127.0.0.101", 0, {},
                       "@command SHOW\n\x8F\xF3\x91\xD4 \x95\x5C\x8E\xA6\nok\n");
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  ExpectSuccess(run);
  EXPECT_EQ(run.result.out, "状態 表示\nok\n");
}

struct ModelCase {
  const char* address;
  const char* name;  // the model the simulator plays
  int rt;            // the model the settings name
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ModelCase& model, std::ostream* out) {
  *out << "rt=" << model.rt << " against " << model.name;
}

class EachModel : public testing::TestWithParam<ModelCase> {};

TEST_P(EachModel, CycleEndsAtItsOwnPrompt) {
  const ModelCase& model = GetParam();
  RouterFixture router(model.address, model.rt, {"--model", model.name},
                       "@command SHOW\nA\nMT128-NET% \nB\n");
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  ExpectSuccess(run);
  // The stray "MT128-NET% " line is dropped whatever the model.
  EXPECT_EQ(run.result.out, "A\nB\n");
  // Waiting for another model's prompt would have taken the whole budget of
  // 16 ticks; the prompt ended the wait long before.
  EXPECT_LT(run.seconds, 8.0);
}

INSTANTIATE_TEST_SUITE_P(Models, EachModel,
                         testing::Values(ModelCase{"127.0.0.102", "MT128-NET", 0},
                                         ModelCase{"127.0.0.103", "MN128-SOHO", 1},
                                         ModelCase{"127.0.0.104", "MN128-SOHO-SL10", 2},
                                         ModelCase{"127.0.0.105", "MN128-SOHO-SL11", 3},
                                         ModelCase{"127.0.0.106", "MN128-SOHO-SL11", -1}),
                         [](const testing::TestParamInfo<ModelCase>& info) {
                           std::string name = info.param.rt < 0 ? "AutomaticAgainst_" : "";
                           for (const char* c = info.param.name; *c != '\0'; ++c) {
                             name += *c == '-' ? '_' : *c;
                           }
                           return name;
                         });

TEST(CommandCycle, AutomaticModelStopsAtAPercentInTheEcho) {
  // The answer comes 1.5 s after the echo; the echo's "%" ends the wait first.
  RouterFixture router("127.0.0.107", -1, {"--delay", "1500"},
                       "@command SHOW%\nnever seen\nnor this\n");
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW%"});
  ExpectSuccess(run);
  EXPECT_EQ(run.result.out, "\n");
  EXPECT_EQ(router.SentInSession(1), "\radmin\rSHOW%\r");
}

TEST(CommandCycle, ModelOutsideTheTableAwaitsNoPrompt) {
  RouterFixture router("127.0.0.108", 7, {"--delay", "5000"});
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  ExpectSuccess(run);
  // The command goes out and the connection closes before any answer, which
  // would only have come 5 s after the command.
  EXPECT_EQ(run.result.out, "\n");
  EXPECT_LT(run.seconds, 4.0);
  EXPECT_EQ(router.SentInSession(1), "\radmin\rSHOW\r");
}

TEST(CommandCycle, NoPromptAfterTheCommandGivesUpAtTheSixteenthTickAndFails) {
  RouterFixture router("127.0.0.109", 0, {"--no-prompt"});
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  ExpectIncomplete(run);
  // 16 ticks of a second: a wait that gave up at the 15th would be done by 15.1 s.
  EXPECT_GE(run.seconds, 15.5);
  // Without the prompt, the last line is data like the others.
  EXPECT_EQ(run.result.out, "A\nB\n");
}

TEST(CommandCycle, ACommandCutOffAtTheEndOfOneCycleLeavesTheNextAlone) {
  // The prompt of each answer comes with the first bytes of a TELNET command
  // in the same write; the cycle closes there, in the middle of it.
  const struct {
    const char* address;
    const char* tail;
  } cases[] = {{"127.0.0.114", "ff"}, {"127.0.0.115", "ff fa"}, {"127.0.0.116", "ff fa 18 01"}};
  for (const auto& cut : cases) {
    SCOPED_TRACE(cut.tail);
    RouterFixture router(cut.address, 0, {"--after-prompt-hex", cut.tail},
                         "@command ONE\nfirst\n@command TWO\nsecond\n");
    ASSERT_TRUE(router.Ready());
    const auto run = router.Run({"-h", "-cd", "ONE", "-cd", "TWO"});
    ExpectSuccess(run);
    EXPECT_EQ(run.result.out, "first\nsecond\n");
    EXPECT_EQ(router.SentInSession(2), "\radmin\rTWO\r");
    EXPECT_LT(run.seconds, 8.0);
  }
}

TEST(CommandCycle, RouterClosingDuringTheOutputShowsWhatCameAndFails) {
  for (const char* fault : {"--close-in-output", "--reset-in-output"}) {
    SCOPED_TRACE(fault);
    RouterFixture router(std::string(fault) == "--close-in-output" ? "127.0.0.110" : "127.0.0.111",
                         0, {fault}, "@command SHOW\nA\nB\nC\nD\n");
    ASSERT_TRUE(router.Ready());
    const auto run = router.Run({"-h", "-cd", "SHOW"});
    ExpectIncomplete(run);
    // The router goes after two lines of the four.
    EXPECT_EQ(run.result.out, "A\nB\n");
    EXPECT_LT(run.seconds, 8.0);
  }
}

TEST(CommandCycle, NulBytesInTheOutputLoseNothingElse) {
  const std::string commands = "@command SHOW\nfirst line\n\nsecond line\n";
  RouterFixture router("127.0.0.112", 0, {"--nul-in-output"}, commands);
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  ExpectSuccess(run);
  EXPECT_EQ(run.result.out, "first line\nsecond line\n");
}

TEST(CommandCycle, AnAnswerOfOneMegabyteArrivesWhole) {
  constexpr std::size_t kBytes = 1024 * 1024;
  RouterFixture router("127.0.0.113", 0, {"--answer-bytes", std::to_string(kBytes)});
  ASSERT_TRUE(router.Ready());
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  ExpectSuccess(run);
  // Lines of 64 bytes with their CR LF: 62 characters each on the pane, and
  // none lost, doubled or out of order (each carries its number).
  std::istringstream out(run.result.out);
  std::string line;
  std::size_t count = 0;
  std::size_t wrong = 0;
  while (std::getline(out, line)) {
    ++count;
    char number[16];
    std::snprintf(number, sizeof number, "%07zu ", count);
    if (line.size() != 62 || line.rfind(number, 0) != 0) ++wrong;
  }
  EXPECT_EQ(count, kBytes / 64);
  EXPECT_EQ(wrong, 0u);
}

}  // namespace
