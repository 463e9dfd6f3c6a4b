// The real program, without a display, against routers that end their answer
// at awkward moments: every answer that arrived is printed, and every answer
// that did not arrive whole says so in the exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "program_sandbox.h"
#include "scripted_router.h"

namespace {

using e2e::kScriptedPrompt;
using e2e::ScriptedRouter;
using support::Peer;

constexpr char kAnswerIncomplete[] = "応答が最後まで届きませんでした";
constexpr char kAnswerTooLong[] = "出力が 64 MiB を超えたため、以降を破棄しました";

// A program folder whose settings point at an MT128-NET on `address`.
class ProgramFor {
 public:
  explicit ProgramFor(const std::string& address) {
    sandbox_.WriteFile("vantrel_p.cfg", "");
    sandbox_.WriteFile("vantrel.Ini", "[main]\r\nrt=0\r\nip=" + address + "\r\nsingle=0\r\n");
  }
  e2e::RunResult Run(const std::vector<std::string>& arguments, e2e::RunOptions options = {}) {
    options.deadline = std::chrono::seconds(60);
    return sandbox_.Run(arguments, options);
  }

 private:
  e2e::ProgramSandbox sandbox_;
};

bool Says(const e2e::RunResult& result, const char* text) {
  return result.err.find(text) != std::string::npos;
}

// `count` lines of 64 bytes with their CR LF, numbered from `first`.
std::string NumberedLines(std::size_t first, std::size_t count) {
  std::string lines;
  lines.reserve(count * 64);
  char line[80];
  for (std::size_t i = first; i < first + count; ++i) {
    std::snprintf(line, sizeof line, "%08zu %-53s\r\n", i, "status of the line");
    lines += line;
  }
  return lines;
}

// The lines NumberedLines(first, count) as printed: each without its CR.
std::string PrintedLines(std::size_t first, std::size_t count) {
  std::string printed;
  std::istringstream in(NumberedLines(first, count));
  for (std::string line; std::getline(in, line);) printed += line.substr(0, line.size() - 1) + "\n";
  return printed;
}

void WaitForTheEnd(Peer& peer) { peer.ReadToEnd(); }

// `count` short lines of 13 bytes with their CR LF, numbered from 1, and the
// same as printed.
std::string ShortLines(std::size_t count, const char* lineEnd) {
  std::string lines;
  char line[32];
  for (std::size_t i = 1; i <= count; ++i) {
    std::snprintf(line, sizeof line, "%06zu line%s", i, lineEnd);
    lines += line;
  }
  return lines;
}

TEST(AnswerDelivery, HangUpOrResetRightAfterThePromptLosesNothing) {
  const struct {
    const char* name;
    const char* address;
    void (*end)(Peer&);
  } ends[] = {{"close", "127.0.17.1", [](Peer& peer) { peer.Close(); }},
              {"reset", "127.0.17.2", [](Peer& peer) { peer.ResetAndClose(); }}};
  for (const auto& end : ends) {
    SCOPED_TRACE(end.name);
    ScriptedRouter router(end.address, [&end](Peer& peer, const std::string& command) {
      peer.Send(command + "\r\n\r\nline A\r\nline B\r\n" + kScriptedPrompt);
      end.end(peer);
    });
    ASSERT_TRUE(router.Ready());
    ProgramFor program(end.address);
    int complete = 0;
    for (int run = 0; run < 20; ++run) {
      const e2e::RunResult result = program.Run({"-h", "-cd", "SHOW"});
      const bool ok = !result.timedOut && result.exitCode == 0 &&
                      result.out == "line A\nline B\n" && result.err.empty();
      if (!ok)
        ADD_FAILURE() << "run " << run << ": status " << result.exitCode << "\n"
                      << result.out << result.err;
      complete += ok ? 1 : 0;
    }
    EXPECT_EQ(complete, 20);
    EXPECT_EQ(router.Commands(), 20);
  }
}

TEST(AnswerDelivery, ABurstWithAStrayPromptNearItsTopIsShownWhole) {
  // 185,000 lines, 2.4 MB, handed over in one write: all of it has been
  // sent when the program first sees a prompt, the stray one.
  const std::string body = ShortLines(185000, "\r\n");
  ScriptedRouter router("127.0.17.3", [&body](Peer& peer, const std::string& command) {
    const std::string stray = command == "STRAY" ? std::string(kScriptedPrompt) + "\r\n" : "";
    const std::string burst = command + "\r\n\r\nA\r\n" + stray + body + kScriptedPrompt;
    peer.ForceSendBuffer(static_cast<int>(2 * burst.size()));
    EXPECT_EQ(peer.SendOnce(burst), static_cast<long>(burst.size()));
    WaitForTheEnd(peer);
  });
  ASSERT_TRUE(router.Ready());
  ProgramFor program("127.0.17.3");
  const std::string expected = "A\n" + ShortLines(185000, "\n");
  for (const char* command : {"PLAIN", "STRAY", "STRAY", "STRAY"}) {
    SCOPED_TRACE(command);
    const e2e::RunResult result = program.Run({"-h", "-cd", command});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;
    EXPECT_EQ(result.out.size(), expected.size());
    EXPECT_TRUE(result.out == expected);
  }
}

struct CutCase {
  const char* name;
  const char* address;
  std::string answer;  // after the echo
  bool reset;
  std::string printed;
};

void PrintTo(const CutCase& c, std::ostream* out) { *out << c.name; }

class EachAnswerCutShort : public testing::TestWithParam<CutCase> {};

TEST_P(EachAnswerCutShort, IsPrintedAsFarAsItCameAndFails) {
  const CutCase& c = GetParam();
  ScriptedRouter router(c.address, [&c](Peer& peer, const std::string& command) {
    // The end of the stream right behind the answer, however long.
    peer.ForceSendBuffer(static_cast<int>(2 * c.answer.size() + 4096));
    peer.Send(command + "\r\n" + c.answer);
    if (c.reset) {
      peer.ResetAndClose();
    } else {
      peer.Close();
    }
  });
  ASSERT_TRUE(router.Ready());
  ProgramFor program(c.address);
  for (const char* verb : {"-cd", "-c"}) {
    SCOPED_TRACE(verb);
    const e2e::RunResult result = program.Run({"-h", verb, "SHOW"});
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(Says(result, kAnswerIncomplete)) << result.err;
    // "-c" leaves the answer in a pane that nobody sees.
    EXPECT_TRUE(result.out == (std::string(verb) == "-cd" ? c.printed : "")) << result.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EachAnswerCutShort,
    testing::Values(
        // The line after the echo is dropped as ever; the last one is kept.
        CutCase{"CloseAfterFiftyKilobytes", "127.0.17.4", NumberedLines(1, 800), false,
                PrintedLines(2, 799)},
        CutCase{"ResetAfterFiftyKilobytes", "127.0.17.5", NumberedLines(1, 800), true,
                PrintedLines(2, 799)},
        // More than a few milliseconds of reading is left when the end of
        // the stream is seen.
        CutCase{"CloseAfterEightMegabytes", "127.0.17.9", NumberedLines(1, 131072), false,
                PrintedLines(2, 131071)},
        CutCase{"CloseInTheMiddleOfALine", "127.0.17.6", "\r\nA\r\nB\r\npartial", false,
                "A\nB\npartial\n"},
        CutCase{"CloseBeforeAnyLineOfTheAnswer", "127.0.17.7", "", false, "\n"}),
    [](const testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

TEST(AnswerDelivery, AnAnswerCutAtTheCapPrintsWhatWasKeptThenFails) {
  // Numbered lines of 64 bytes until the program hangs up; 64 MiB hold the
  // echo "SHOW" CR LF, the lines up to 1048575 and 58 bytes of the next.
  ScriptedRouter router("127.0.17.8", [](Peer& peer, const std::string& command) {
    if (!peer.Send(command + "\r\n")) return;
    for (std::size_t first = 1; first < 2'000'000; first += 16384) {
      if (!peer.Send(NumberedLines(first, 16384))) return;
    }
  });
  ASSERT_TRUE(router.Ready());
  ProgramFor program("127.0.17.8");
  const e2e::RunResult result = program.Run({"-h", "-cd", "SHOW", "-cd", "SHOW"});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(Says(result, kAnswerTooLong)) << result.err;
  EXPECT_FALSE(Says(result, kAnswerIncomplete)) << result.err;
  // The second "-cd" does not run: the cap ends the run as an error does.
  EXPECT_EQ(router.Commands(), 1);
  const std::string expected =
      PrintedLines(2, 1048574) + NumberedLines(1048576, 1).substr(0, 58) + "\n";
  EXPECT_EQ(result.out.size(), expected.size());
  EXPECT_TRUE(result.out == expected);
}

}  // namespace
