// The panel grammar, checked on the plain function the window mirrors.
#include <gtest/gtest.h>

#include "app/panel_tree.h"

namespace {

using app::BuildPanelTree;
using app::PanelLine;
using app::PanelNode;
using Lines = std::vector<std::string>;

// A compact picture of the tree: "caption(ref)" per node, children in braces
// after their parent, "+" after an expanded group.
std::string Describe(const std::vector<PanelNode>& nodes, int parent = -1) {
  std::string text;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].parent != parent) continue;
    if (!text.empty()) text += ' ';
    text += nodes[i].caption + "(" + std::to_string(nodes[i].lineReference) + ")";
    if (nodes[i].expanded) text += '+';
    const std::string children = Describe(nodes, static_cast<int>(i));
    if (!children.empty()) text += "{" + children + "}";
  }
  return text;
}

const Lines kNineLines = {"group", "Status", "end",       "item", "Show all",
                          "SHOW",  "end",    "endgroup+", "end"};

TEST(PanelTree, NineLineExampleGivesAnExpandedGroupWithItsItem) {
  const auto nodes = BuildPanelTree(kNineLines);
  EXPECT_EQ(Describe(nodes), "Status(0)+{Show all(5)}");
  EXPECT_EQ(PanelLine(kNineLines, nodes[1].lineReference), "SHOW");
  // The group looks up line 0, which says "group": it runs nothing.
  EXPECT_EQ(PanelLine(kNineLines, nodes[0].lineReference), "group");
}

TEST(PanelTree, LastLineIsNeverExaminedSoTheGroupStaysCollapsed) {
  const Lines eight(kNineLines.begin(), kNineLines.end() - 1);
  EXPECT_EQ(Describe(BuildPanelTree(eight)), "Status(0){Show all(5)}");
}

TEST(PanelTree, KeywordsMatchOnlyExactly) {
  const Lines lines = {"Item", "A",     "a",   "end", "item ",     "B",        "b",
                       "end",  "GROUP", "C",   "end", "group",     "G",        "end",
                       "item", "D",     "d",   "end", "endgroup ", "ENDGROUP", "item",
                       "E",    "e",     "end", "end"};
  // Only the exact "group" and "item" lines open blocks, and neither spelling
  // of endgroup closes G, so E is still its child.
  EXPECT_EQ(Describe(BuildPanelTree(lines)), "G(0){D(16) E(22)}");
}

TEST(PanelTree, GroupsReferToLineZeroWhateverItSays) {
  const Lines lines = {"item", "First", "cmd", "end", "group", "G", "end", "endgroup", "x"};
  const auto nodes = BuildPanelTree(lines);
  EXPECT_EQ(Describe(nodes), "First(2) G(0)");
  // Activating the group would send the text "item" to the router.
  EXPECT_EQ(PanelLine(lines, nodes[1].lineReference), "item");
}

TEST(PanelTree, MessageLinesFollowTheCommandLine) {
  const Lines lines = {"item", "Cap", "cmd", "message", "after the output", "end", "x"};
  const auto nodes = BuildPanelTree(lines);
  ASSERT_EQ(Describe(nodes), "Cap(2)");
  EXPECT_EQ(PanelLine(lines, nodes[0].lineReference + 1), "message");
  EXPECT_EQ(PanelLine(lines, nodes[0].lineReference + 2), "after the output");
}

TEST(PanelTree, ItemWhoseCommandIsGroupIsShownAndDoesNotOpenAGroup) {
  const Lines lines = {"item", "Inert", "group", "end", "item", "Next", "n", "end", "x"};
  const auto nodes = BuildPanelTree(lines);
  EXPECT_EQ(Describe(nodes), "Inert(2) Next(6)");
  EXPECT_EQ(PanelLine(lines, nodes[0].lineReference), "group");
}

TEST(PanelTree, NestedGroupsCloseInOrderAndExpandOnlyTheirOwnLevel) {
  const Lines lines = {"group", "A",        "end",  "group",     "B",    "end", "item",
                       "b1",    "c1",       "end",  "endgroup+", "item", "a1",  "c2",
                       "end",   "endgroup", "item", "top",       "c3",   "end", "x"};
  EXPECT_EQ(Describe(BuildPanelTree(lines)), "A(0){B(0)+{b1(8)} a1(13)} top(18)");
}

TEST(PanelTree, EndgroupAtTopLevelIsIgnored) {
  const Lines lines = {"endgroup+", "endgroup", "item", "A", "a", "end", "x"};
  EXPECT_EQ(Describe(BuildPanelTree(lines)), "A(4)");
}

TEST(PanelTree, BlockWithoutEndSwallowsUpToTheNextEnd) {
  const Lines lines = {"item", "A", "a", "item", "B", "b", "end", "item", "C", "c", "end", "x"};
  EXPECT_EQ(Describe(BuildPanelTree(lines)), "A(2) C(9)");
}

TEST(PanelTree, BlockWithoutEndRunsToTheEndOfTheText) {
  const Lines lines = {"group", "G", "item", "X", "x", "end2"};
  EXPECT_EQ(Describe(BuildPanelTree(lines)), "G(0)");
}

TEST(PanelTree, ShortTextsReadMissingLinesAsEmpty) {
  EXPECT_TRUE(BuildPanelTree({}).empty());
  EXPECT_TRUE(BuildPanelTree({"item"}).empty());
  // The caption is the last line; the command line lies past the end.
  const Lines two = {"item", "Cut short"};
  const auto nodes = BuildPanelTree(two);
  ASSERT_EQ(Describe(nodes), "Cut short(2)");
  EXPECT_EQ(PanelLine(two, nodes[0].lineReference), "");
}

TEST(PanelTree, CaptionBytesPassUnchanged) {
  // "任意のコマンド" in Shift-JIS; its second byte is the ASCII letter C.
  const std::string caption =
      "\x94"
      "C\x88\xD3\x82\xCC\x83R\x83}\x83\x93\x83h";
  const Lines lines = {"item", caption, "group", "end", "x"};
  const auto nodes = BuildPanelTree(lines);
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].caption, caption);
}

TEST(PanelLine, OutsideTheTextIsEmpty) {
  const Lines lines = {"a", "b"};
  EXPECT_EQ(PanelLine(lines, 1), "b");
  EXPECT_EQ(PanelLine(lines, 2), "");
  EXPECT_EQ(PanelLine(lines, -1), "");
}

TEST(PanelTree, NestingBeyondTheDeepestLevelIsShownAtThatLevel) {
  constexpr int kDepth = app::kDeepestShownLevel + 40;
  Lines lines;
  for (int i = 0; i < kDepth; ++i) lines.insert(lines.end(), {"group", "G", "end"});
  lines.insert(lines.end(), {"item", "Leaf", "SHOW", "end"});
  lines.insert(lines.end(), kDepth, "endgroup+");
  lines.push_back("end");
  const auto nodes = BuildPanelTree(lines);
  ASSERT_EQ(nodes.size(), static_cast<std::size_t>(kDepth + 1));
  // Node i is the group at level i + 1, the leaf is last; the grammar's own
  // parents are untouched, and every group closed, so each one is expanded.
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(nodes[i].parent, static_cast<int>(i) - 1);
    EXPECT_EQ(nodes[i].expanded, i + 1 < nodes.size());
    const bool tooDeep = i >= static_cast<std::size_t>(app::kDeepestShownLevel);
    EXPECT_EQ(nodes[i].shownParent, tooDeep ? app::kDeepestShownLevel - 2 : nodes[i].parent);
  }
}

}  // namespace
