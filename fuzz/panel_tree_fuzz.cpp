// Random panel files through the line splitter and the tree build. The tree
// must stay a tree (every parent made before its child), nothing may be shown
// deeper than the deepest level, and the lines must survive being written
// back and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/panel_tree.h"
#include "platform/files.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = platform::SplitLines(text);
  const std::vector<app::PanelNode> nodes = app::BuildPanelTree(lines);

  std::vector<int> shownLevel(nodes.size(), 0);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    const app::PanelNode& node = nodes[i];
    Require(node.parent < static_cast<int>(i) && node.parent >= -1);
    Require(node.shownParent < static_cast<int>(i) && node.shownParent >= -1);
    Require(node.lineReference >= 0 && node.lineReference <= static_cast<int>(lines.size()) + 1);
    shownLevel[i] =
        node.shownParent < 0 ? 1 : shownLevel[static_cast<std::size_t>(node.shownParent)] + 1;
    Require(shownLevel[i] <= app::kDeepestShownLevel);
    // Only a group can be a parent.
    if (node.parent >= 0) Require(nodes[static_cast<std::size_t>(node.parent)].lineReference == 0);
  }

  // What the close writes is read back as the same lines.
  Require(platform::SplitLines(platform::JoinLinesCrLf(lines)) == lines);
  return 0;
}
