// Output of routers that run at once, written in their given order: the one
// whose turn it is writes through, the others wait in memory up to a limit
// and in the shared temporary file beyond it.
#include "app/ordered_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Written {
  std::string out;
  std::vector<std::string> reports;
};

app::OrderedOutput Output(std::size_t slots, Written& written, std::size_t limit) {
  return app::OrderedOutput(
      slots, [&written](std::string_view bytes) { written.out.append(bytes); },
      [&written](std::string_view line) { written.reports.emplace_back(line); }, limit);
}

TEST(OrderedOutputTest, SlotsComeOutInOrderWhateverOrderTheyFinishIn) {
  // Every order in which three slots can be written and closed.
  std::vector<int> order{0, 1, 2};
  do {
    Written written;
    app::OrderedOutput output = Output(3, written, 4);
    for (const int slot : order) {
      // Pieces that fit the memory, pieces that overflow it, and pieces after.
      output.Write(slot, std::to_string(slot) + "ab");
      output.Write(slot, std::string(5, static_cast<char>('a' + slot)));
      output.Report(slot, "slot " + std::to_string(slot));
      output.Write(slot, "z\n");
    }
    for (const int slot : order) output.Close(slot);
    EXPECT_EQ(written.out, "0abaaaaaz\n1abbbbbbz\n2abcccccz\n");
    EXPECT_EQ(written.reports, (std::vector<std::string>{"slot 0", "slot 1", "slot 2"}));
    EXPECT_EQ(output.HeldInMemory(), 0u);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(OrderedOutputTest, TheSlotWhoseTurnItIsWritesThroughAndTheOthersWait) {
  Written written;
  app::OrderedOutput output = Output(3, written, 8);
  output.Write(1, "second\n");
  output.Write(0, "first ");
  EXPECT_EQ(written.out, "first ");
  output.Write(2, std::string(100, 'x'));
  // Beyond the limit nothing more is kept in memory.
  EXPECT_EQ(output.HeldInMemory(), 7u);
  output.Close(2);
  output.Report(1, "late");
  output.Close(0);
  EXPECT_EQ(written.out, "first second\n");
  EXPECT_TRUE(written.reports.empty());
  // Now its turn: it writes through until it is closed.
  output.Write(1, "more\n");
  EXPECT_EQ(written.out, "first second\nmore\n");
  output.Close(1);
  EXPECT_EQ(written.out, "first second\nmore\n" + std::string(100, 'x'));
  EXPECT_EQ(written.reports, std::vector<std::string>{"late"});
  EXPECT_EQ(output.Current(), 3u);
}

TEST(SpoolTest, PiecesComeBackAsTheyWentInAmongOtherWriters) {
  app::Spool spool;
  std::vector<app::Spool::Extent> first;
  std::vector<app::Spool::Extent> second;
  std::string expectFirst;
  std::string expectSecond;
  for (int i = 0; i < 50; ++i) {
    const std::string a(1000 + i, static_cast<char>('a' + i % 26));
    const std::string b = std::to_string(i);
    ASSERT_TRUE(spool.Append(a, first));
    ASSERT_TRUE(spool.Append(b, second));
    // Pieces in a row stay one extent.
    ASSERT_TRUE(spool.Append(b, second));
    expectFirst += a;
    expectSecond += b + b;
  }
  EXPECT_EQ(second.size(), 50u);
  std::string back;
  EXPECT_TRUE(spool.ReadBack(second, [&back](std::string_view piece) { back.append(piece); }));
  EXPECT_EQ(back, expectSecond);
  back.clear();
  EXPECT_TRUE(spool.ReadBack(first, [&back](std::string_view piece) { back.append(piece); }));
  EXPECT_EQ(back, expectFirst);
}

}  // namespace
