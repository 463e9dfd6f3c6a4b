// The rules behind a cycle's answer, without a window: whether it came whole,
// which of its lines are shown when it did not, and what a terminal is
// given of it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/answer_outcome.h"
#include "app/capture.h"
#include "app/standard_output.h"

namespace {

using app::AnswerOutcome;
using app::CommandWaitEnd;

std::string Name(AnswerOutcome outcome) {
  switch (outcome) {
    case AnswerOutcome::Complete:
      return "Complete";
    case AnswerOutcome::Incomplete:
      return "Incomplete";
    case AnswerOutcome::Cut:
      return "Cut";
    case AnswerOutcome::NotShown:
      return "NotShown";
  }
  return "?";
}

TEST(AnswerOutcome, OnlyTheCommandsOwnWaitDecides) {
  const struct {
    CommandWaitEnd commandWait;
    bool answerCut;
    AnswerOutcome expected;
  } rows[] = {
      {CommandWaitEnd::PromptFound, false, AnswerOutcome::Complete},
      {CommandWaitEnd::NoPromptAwaited, false, AnswerOutcome::Complete},
      {CommandWaitEnd::GaveUp, false, AnswerOutcome::Incomplete},
      {CommandWaitEnd::PromptFound, true, AnswerOutcome::Cut},
      {CommandWaitEnd::GaveUp, true, AnswerOutcome::Cut},
      {CommandWaitEnd::Aborted, false, AnswerOutcome::NotShown},
      {CommandWaitEnd::Aborted, true, AnswerOutcome::NotShown},
  };
  for (const auto& row : rows) {
    // Whatever the log-in's waits found, including a model prompt after
    // "admin" that never came while the command's prompt did.
    for (const bool logIn : {false, true}) {
      for (const bool modelPrompt : {false, true}) {
        app::CycleWaits waits;
        waits.logInPromptFound = logIn;
        waits.modelPromptFoundAfterLogIn = modelPrompt;
        waits.commandWait = row.commandWait;
        waits.answerCut = row.answerCut;
        EXPECT_EQ(Name(app::DecideAnswerOutcome(waits)), Name(row.expected))
            << "command wait " << static_cast<int>(row.commandWait) << ", cut " << row.answerCut
            << ", login " << logIn << ", model prompt " << modelPrompt;
      }
    }
  }
}

std::vector<std::string> Shown(const std::string& received, bool keepLastLine) {
  std::vector<std::string> lines;
  const auto spans =
      keepLastLine ? app::ShownLineSpansKeepingLastLine(received) : app::ShownLineSpans(received);
  for (const app::LineSpan& span : spans) lines.push_back(received.substr(span.start, span.length));
  return lines;
}

struct LastLineCase {
  const char* name;
  std::string received;
  std::vector<std::string> shown;  // with the last line kept
};

void PrintTo(const LastLineCase& c, std::ostream* out) { *out << c.name; }

class EachCutAnswer : public testing::TestWithParam<LastLineCase> {};

TEST_P(EachCutAnswer, KeepsItsLastLineUnderTheSameRules) {
  const LastLineCase& c = GetParam();
  EXPECT_EQ(Shown(c.received, true), c.shown);
  // Beside the whole answer's rule, only the last line differs.
  std::vector<std::string> withoutLast = c.shown;
  const std::vector<std::string> whole = Shown(c.received, false);
  if (withoutLast.size() > whole.size()) withoutLast.pop_back();
  EXPECT_EQ(whole, withoutLast);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, EachCutAnswer,
    testing::Values(
        LastLineCase{"LastLineWithoutLineEnd", "SHOW\r\n\r\nA\r\nB", {"A", "B"}},
        LastLineCase{"LastLineWithCrLf", "SHOW\r\n\r\nA\r\nB\r\n", {"A", "B"}},
        LastLineCase{"LastLineWithLoneCr", "SHOW\r\n\r\nA\rB\r", {"A", "B"}},
        LastLineCase{"LastLineWithLoneLf", "SHOW\n\nA\nB\n", {"A", "B"}},
        LastLineCase{"EmptyLastLineIsSkipped", "SHOW\r\n\r\nA\r\n\r\n", {"A"}},
        LastLineCase{"StrayPromptLastLineIsSkipped", "SHOW\r\n\r\nA\r\nMT128-NET% ", {"A"}},
        LastLineCase{
            "OtherModelsPromptIsData", "SHOW\r\n\r\nA\r\nMN128-SOHO% ", {"A", "MN128-SOHO% "}},
        LastLineCase{"SecondLineIsStillDropped", "SHOW\r\nB", {}},
        LastLineCase{"ThirdLineIsTheFirstShown", "SHOW\r\nX\r\nC", {"C"}},
        LastLineCase{"CrLfCountsAsOneLineEnd", "SHOW\r\nC", {}},
        LastLineCase{"EchoOnly", "SHOW", {}}, LastLineCase{"Nothing", "", {}},
        LastLineCase{"OnlyLineEnds", "\r\n\r\n\r\n", {}}),
    [](const testing::TestParamInfo<LastLineCase>& info) { return std::string(info.param.name); });

TEST(TerminalText, ControlCharactersBecomeReplacementCharacters) {
  const struct {
    const char* name;
    std::vector<std::string> pieces;
    std::string safe;
  } rows[] = {
      {"plain text and line ends", {"A\nB\n"}, "A\nB\n"},
      {"tab stays", {"A\tB"}, "A\tB"},
      {"escape sequence", {"\x1b[2J\x1b]0;t\x07"}, "\uFFFD[2J\uFFFD]0;t\uFFFD"},
      {"carriage return and NUL", {std::string("a\rb\0c", 5)}, "a\uFFFDb\uFFFDc"},
      {"delete", {"x\x7fy"}, "x\uFFFDy"},
      {"C1 controls", {"\xC2\x80\xC2\x9B\xC2\x9F"}, "\uFFFD\uFFFD\uFFFD"},
      {"Latin-1 above C1 stays", {"\xC2\xA0\xC2\xA9"}, "\xC2\xA0\xC2\xA9"},
      {"Japanese stays", {"状態 ｱ"}, "状態 ｱ"},
      {"C1 split between pieces",
       {"a\xC2",
        "\x9B"
        "b"},
       "a\uFFFDb"},
      {"lead split before a printable", {"a\xC2", "\xA9"}, "a\xC2\xA9"},
  };
  for (const auto& row : rows) {
    bool pendingC2 = false;
    std::string safe;
    for (const std::string& piece : row.pieces) {
      safe += app::WithoutControlCharacters(piece, pendingC2);
    }
    EXPECT_EQ(safe, row.safe) << row.name;
    EXPECT_FALSE(pendingC2) << row.name;
  }
}

}  // namespace
