// The operation panel's grammar: from the lines of the panel file to the nodes
// of the command tree, without any window. The window only mirrors the result
// in its tree widget, so every quirk of the grammar lives (and is tested) here.
#pragma once

#include <string>
#include <vector>

namespace app {

// The panel file's keywords. They match only as whole lines, case and blanks
// included.
inline constexpr char kItemKeyword[] = "item";
inline constexpr char kGroupKeyword[] = "group";
inline constexpr char kEndKeyword[] = "end";
inline constexpr char kEndGroupKeyword[] = "endgroup";
inline constexpr char kEndGroupExpandedKeyword[] = "endgroup+";
inline constexpr char kMessageKeyword[] = "message";

struct PanelNode {
  std::string caption;  // Shift-JIS bytes, as in the file
  // The line an activation looks up: an item's command line; 0 for a group,
  // so a group runs whatever line 0 says unless that line is "group".
  int lineReference = 0;
  int parent = -1;  // index of the parent node; -1 at the top level
  bool expanded = false;
  // Where the tree shows the node: its parent, or for a node nested deeper
  // than kDeepestShownLevel, the group at the level above that, so that such
  // nodes appear side by side at the deepest level instead of nesting on.
  int shownParent = -1;
};

// The deepest level the tree shows (top-level entries are level 1). Views
// lay out and tear down their trees recursively; tens of thousands of nested
// groups would overflow the stack.
inline constexpr int kDeepestShownLevel = 256;

// Line `index` of the panel text; any index outside the text reads as empty.
std::string PanelLine(const std::vector<std::string>& lines, int index);

// The nodes in creation order; a parent always comes before its children, and
// the first top-level node (the one selected after a build) is node 0.
std::vector<PanelNode> BuildPanelTree(const std::vector<std::string>& lines);

}  // namespace app
