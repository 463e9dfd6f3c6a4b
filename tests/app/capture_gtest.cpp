// The router's answer from received batches to the lines of the output pane.
#include "app/capture.h"
#include "app/pane_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string Received(std::initializer_list<std::string> batches) {
  std::string buffer;
  for (const std::string& batch : batches) {
    app::AppendReceivedBatch(buffer, batch.data(), batch.size());
  }
  return buffer;
}

Lines Shown(const std::string& received) {
  return app::TrimCapture(app::SplitCaptureLines(received));
}

TEST(CaptureTest, ShowExampleShowsOnlyTheOutputLines) {
  const std::string received = Received({"SHOW\r\n", "\r\nA\r\n\r\nB\r\n", "MT128-NET% "});
  EXPECT_EQ(app::SplitCaptureLines(received), (Lines{"SHOW", "", "A", "", "B", "MT128-NET% "}));
  EXPECT_EQ(Shown(received), (Lines{"A", "B"}));
}

TEST(CaptureTest, OnlyTheMT128NetPromptLineIsSkippedInsideTheOutput) {
  const std::string received =
      "SHOW\r\n\r\nfirst\r\nMN128-SOHO% \r\nMT128-NET% \r\nMT128-NET%\r\nlast\r\nMN128-SOHO% ";
  EXPECT_EQ(Shown(received), (Lines{"first", "MN128-SOHO% ", "MT128-NET%", "last"}));
}

TEST(CaptureTest, TheSecondLineIsDroppedEvenWhenItCarriesOutput) {
  EXPECT_EQ(Shown("echo\r\nlost\r\nkept\r\nprompt%"), (Lines{"kept"}));
}

TEST(CaptureTest, FewerThanThreeLinesShowNothing) {
  EXPECT_EQ(Shown(""), Lines{});
  EXPECT_EQ(Shown("SHOW"), Lines{});
  EXPECT_EQ(Shown("SHOW\r\nMT128-NET% "), Lines{});
  EXPECT_EQ(Shown("SHOW\r\n\r\nMT128-NET% "), Lines{});
}

TEST(CaptureTest, LinesEndAtCrLfLoneCrOrLoneLf) {
  EXPECT_EQ(app::SplitCaptureLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(app::SplitCaptureLines("a\n\r\n\r"), (Lines{"a", "", ""}));
  EXPECT_EQ(app::SplitCaptureLines("a\r\n"), (Lines{"a"}));
  EXPECT_EQ(app::SplitCaptureLines("\n\r"), (Lines{"", ""}));
}

TEST(CaptureTest, ShiftJisBytesPassUnchanged) {
  // "状態" in Shift-JIS: its second character's trail byte is 0x5C, the
  // backslash, and must not be touched.
  const std::string status = "\x8f\xf3\x91\xd4\x95\x5c";
  EXPECT_EQ(Shown("x\r\n\r\n" + status + "\r\n%"), (Lines{status}));
}

TEST(CaptureTest, NulBytesAreDroppedAndEverythingAfterThemKept) {
  // A TELNET server sends CR NUL for a bare carriage return.
  const std::string batch("line one\r\0line two\0\0\r\nend", 25);
  ASSERT_EQ(batch.size(), 25u);
  std::string buffer = "before ";
  app::AppendReceivedBatch(buffer, batch.data(), batch.size());
  EXPECT_EQ(buffer, "before line one\rline two\r\nend");
}

TEST(CaptureTest, BatchesAccumulateInOrder) {
  std::string buffer;
  app::AppendReceivedBatch(buffer, "ab", 2);
  app::AppendReceivedBatch(buffer, "", 0);
  app::AppendReceivedBatch(buffer, std::string(1, '\0').data(), 1);
  app::AppendReceivedBatch(buffer, "cd", 1);
  EXPECT_EQ(buffer, "abc");
}

// The lines shown, found as offsets in one pass, are those the plain steps
// give on copies of the lines.
struct Answer {
  const char* name;
  std::string received;
};

// Failure lines name the case: the bytes may not be printable at all.
void PrintTo(const Answer& answer, std::ostream* os) { *os << answer.name; }

class ShownLinesTest : public testing::TestWithParam<Answer> {};

TEST_P(ShownLinesTest, OffsetsShowWhatCopiesShow) {
  const std::string& received = GetParam().received;
  Lines shown;
  for (const app::LineSpan& span : app::ShownLineSpans(received)) {
    shown.push_back(received.substr(span.start, span.length));
  }
  EXPECT_EQ(shown, Shown(received));
}

// Taken piece by piece as it arrives, with the untaken rest carried over as
// the cycle carries it, an answer shows the lines it shows whole, whatever
// the pieces and whether its last line is the prompt or data.
TEST_P(ShownLinesTest, StreamedInPiecesShowsWhatTheWholeShows) {
  const std::string received = GetParam().received;
  for (const cycle::LastLine last : {cycle::LastLine::IsPrompt, cycle::LastLine::IsData}) {
    Lines whole;
    for (const app::LineSpan& span : app::ShownLineSpans(received, last)) {
      whole.push_back(received.substr(span.start, span.length));
    }
    for (std::size_t pieceSize = 1; pieceSize <= received.size() + 1; ++pieceSize) {
      Lines streamed;
      cycle::AnswerLineStream stream;
      stream.Start([&streamed](std::string_view line, bool) { streamed.emplace_back(line); });
      std::string buffer;
      for (std::size_t at = 0; at < received.size(); at += pieceSize) {
        buffer += received.substr(at, pieceSize);
        buffer.erase(0, stream.Take(buffer));
      }
      stream.Finish(buffer, last);
      EXPECT_EQ(streamed, whole) << "pieces of " << pieceSize << ", last line "
                                 << (last == cycle::LastLine::IsData ? "data" : "prompt");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ShownLinesTest,
    testing::Values(
        Answer{"ShowExample", "SHOW\r\n\r\nA\r\n\r\nB\r\nMT128-NET% "},
        Answer{"PromptLinesInside",
               "SHOW\r\n\r\nfirst\r\nMN128-SOHO% \r\nMT128-NET% \r\nlast\r\nMN128-SOHO% "},
        Answer{"SecondLineCarriesOutput", "echo\r\nlost\r\nkept\r\nprompt%"}, Answer{"Empty", ""},
        Answer{"EchoOnly", "SHOW"}, Answer{"NoOutputLines", "SHOW\r\n\r\nMT128-NET% "},
        Answer{"LoneCarriageReturns", "e\rx\ra\rb\r%"}, Answer{"LoneLineFeeds", "e\nx\na\nb\n%"},
        Answer{"MixedLineEnds", "e\r\nx\ra\nb\r\n\rc\n\r%"},
        Answer{"LastLineWithoutPrompt", "e\r\nx\r\na\r\nno prompt line end"},
        Answer{"EndsWithALineEnd", "e\r\nx\r\na\r\nb\r\n"},
        Answer{"EndsWithABlankLine", "e\r\nx\r\na\r\n\r\n"},
        Answer{"OnlyEchoBlankAndPrompt", "e\r\nx\r\nMT128-NET% "},
        Answer{"OnlyLineEnds", "\r\n\r\n\r\n\r\n"},
        Answer{"ShiftJisLine", "x\r\n\r\n\x8f\xf3\x91\xd4\x95\x5c\r\n%"}),
    [](const testing::TestParamInfo<Answer>& info) { return std::string(info.param.name); });

// A second answer added without a clear in between: the first answer's
// lines stay, copied, in their place.
TEST(PaneLinesTest, SecondAnswerWithoutAClearKeepsTheFirst) {
  std::string first = "echo\r\n\r\none\r\ntwo\r\n%";
  const std::string second = "echo\r\n\r\nthree\r\n%";
  app::PaneLines lines;
  lines.Add("help");
  lines.AddAnswer(first, app::ShownLineSpans(first));
  lines.Add("message");
  lines.AddAnswer(second, app::ShownLineSpans(second));
  first.assign(first.size(), '?');  // no longer referred to
  EXPECT_EQ(lines.Lines(), (Lines{"help", "one", "two", "message", "three"}));
  EXPECT_EQ(lines.Utf8Text(), "help\none\ntwo\nmessage\nthree");
}

TEST(IncrementalSearchTest, FindsAPromptSplitAcrossAnyTwoReads) {
  const std::string answer = "SHOW\r\n\r\nline\r\nMT128-NET% ";
  const std::size_t expected = answer.find("MT128-NET%");
  for (std::size_t cut = 0; cut <= answer.size(); ++cut) {
    app::IncrementalSearch search;
    search.Start("MT128-NET%");
    const bool early = search.Find(std::string_view(answer).substr(0, cut));
    EXPECT_EQ(early, cut >= expected + 10) << cut;
    EXPECT_TRUE(search.Find(answer)) << cut;
    EXPECT_EQ(search.Position(), expected) << cut;
  }
}

TEST(IncrementalSearchTest, MatchesOnlyWhereACharacterStarts) {
  // The second bytes of "ソ" (83 5C) and "表" (95 5C) are a backslash.
  struct Case {
    std::string haystack;
    std::string needle;
    std::size_t found;
  };
  const Case cases[] = {
      {"\x83\x5c%", "\x5c%", std::string::npos},
      {"\x95\x5c%", "\x5c%", std::string::npos},
      {"\x83\x5c\x5c%", "\x5c%", 2},
      {"\x95\x5c\x95\x5c\x83\x5c", "\x5c", std::string::npos},
      {"a\x95\x95\x5c%", "\x95\x5c", std::string::npos},
      {"a\x95\x95\x95\x5c", "\x95\x5c", 3},
      {"abc%", "%", 3},
  };
  for (const Case& c : cases) {
    // Fed a byte at a time, and whole.
    app::IncrementalSearch stepwise;
    stepwise.Start(c.needle);
    bool found = false;
    for (std::size_t n = 0; n <= c.haystack.size() && !found; ++n) {
      found = stepwise.Find(std::string_view(c.haystack).substr(0, n));
    }
    app::IncrementalSearch whole;
    whole.Start(c.needle);
    EXPECT_EQ(whole.Find(c.haystack), c.found != std::string::npos) << c.haystack;
    EXPECT_EQ(found, c.found != std::string::npos) << c.haystack;
    if (found) {
      EXPECT_EQ(stepwise.Position(), c.found) << c.haystack;
    }
  }
}

TEST(IncrementalSearchTest, BytesTakenFromTheFrontKeepTheSearchWhereItWas) {
  // A prompt split over two reads, with what was passed over taken away in
  // between, as a cycle that hands its answer out does.
  const std::string answer = "\x95\x5c\r\nline\r\nMT128-NET% ";
  for (std::size_t cut = 0; cut <= answer.size(); ++cut) {
    app::IncrementalSearch search;
    search.Start("MT128-NET%");
    std::string buffer = answer.substr(0, cut);
    if (search.Find(buffer)) continue;
    const std::size_t passed = std::min(search.Position(), buffer.size());
    buffer.erase(0, passed);
    search.Discard(passed);
    buffer += answer.substr(cut);
    ASSERT_TRUE(search.Find(buffer)) << cut;
    EXPECT_EQ(passed + search.Position(), answer.find("MT128-NET%")) << cut;
  }
}

TEST(IncrementalSearchTest, AnEmptiedBufferIsSearchedAfresh) {
  app::IncrementalSearch search;
  search.Start("login:");
  EXPECT_FALSE(search.Find("a long greeting without it"));
  EXPECT_TRUE(search.Find("login:"));
  EXPECT_EQ(search.Position(), 0u);
}

TEST(PromptTableTest, EachModelAwaitsItsOwnPrompt) {
  EXPECT_EQ(app::PromptForModel(-1), "%");
  EXPECT_EQ(app::PromptForModel(0), "MT128-NET%");
  EXPECT_EQ(app::PromptForModel(1), "MN128-SOHO%");
  EXPECT_EQ(app::PromptForModel(2), "MN128-SOHO-SL10%");
  EXPECT_EQ(app::PromptForModel(3), "MN128-SOHO-SL11%");
}

TEST(PromptTableTest, ModelsOutsideTheTableAwaitNothing) {
  for (int model : {-2, 4, 7, 9, -100, 1 << 30}) {
    EXPECT_FALSE(app::PromptForModel(model).has_value()) << model;
  }
}

}  // namespace
