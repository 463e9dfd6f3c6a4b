// The tree build walks the panel text with one index that the block tests move
// in turn. Its oddities are deliberate, because panel files written for the
// original program rely on them: the last line is never examined as a keyword,
// a block without its own "end" swallows everything up to the next one, and an
// "endgroup" at the top level is ignored.
#include "app/panel_tree.h"

namespace app {

std::string PanelLine(const std::vector<std::string>& lines, int index) {
  if (index < 0 || index >= static_cast<int>(lines.size())) {
    return {};
  }
  return lines[static_cast<std::size_t>(index)];
}

namespace {

// Moves `i` forward to the next "end" line, or past the last line.
void SkipToEnd(const std::vector<std::string>& lines, int& i) {
  const int count = static_cast<int>(lines.size());
  while (i < count && lines[static_cast<std::size_t>(i)] != kEndKeyword) {
    ++i;
  }
}

}  // namespace

std::vector<PanelNode> BuildPanelTree(const std::vector<std::string>& lines) {
  std::vector<PanelNode> nodes;
  std::vector<int> levels;  // of each node, top level 1
  int currentParent = -1;
  const int count = static_cast<int>(lines.size());

  const auto addNode = [&](std::string caption, int lineReference) {
    PanelNode node{std::move(caption), lineReference, currentParent, false, currentParent};
    const int level = currentParent < 0 ? 1 : levels[static_cast<std::size_t>(currentParent)] + 1;
    if (level > kDeepestShownLevel) {
      // The parent sits at the deepest level or below; its shown parent is
      // the group one level above.
      node.shownParent = nodes[static_cast<std::size_t>(currentParent)].shownParent;
    }
    nodes.push_back(std::move(node));
    levels.push_back(level);
  };

  for (int i = 0; i < count - 1; ++i) {
    if (PanelLine(lines, i) == kItemKeyword) {
      addNode(PanelLine(lines, i + 1), i + 2);
      SkipToEnd(lines, i);
    }
    if (PanelLine(lines, i) == kGroupKeyword) {
      addNode(PanelLine(lines, i + 1), 0);
      currentParent = static_cast<int>(nodes.size()) - 1;
      SkipToEnd(lines, i);
    }
    if (PanelLine(lines, i) == kEndGroupExpandedKeyword) {
      if (currentParent >= 0) {
        nodes[static_cast<std::size_t>(currentParent)].expanded = true;
        currentParent = nodes[static_cast<std::size_t>(currentParent)].parent;
      }
    }
    if (PanelLine(lines, i) == kEndGroupKeyword) {
      if (currentParent >= 0) {
        currentParent = nodes[static_cast<std::size_t>(currentParent)].parent;
      }
    }
  }
  return nodes;
}

}  // namespace app
