// The router's answer from received batches to the lines of the output pane.
#include "app/capture.h"

#include <gtest/gtest.h>

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
