// The operation panel: mirrors the panel grammar's nodes in the tree widget and
// activates entries by selection (single-click mode) or double click.
#include <QTimer>
#include <QTreeWidget>

#include <optional>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/panel_tree.h"
#include "app/texts.h"
#include "app/widget_text.h"

namespace {

// Each node keeps its caption's own bytes: comparing captions after a round
// trip through UTF-16 would let different bytes compare equal.
constexpr int kLineReferenceRole = Qt::UserRole;
constexpr int kCaptionBytesRole = Qt::UserRole + 1;

}  // namespace

int TForm1::NodeLineReference(const QTreeWidgetItem* node) {
  return node->data(0, kLineReferenceRole).toInt();
}

std::string TForm1::NodeCaption(const QTreeWidgetItem* node) {
  return node->data(0, kCaptionBytesRole).toByteArray().toStdString();
}

void TForm1::Button5Click() {
  TreeView1->clear();
  const std::vector<app::PanelNode> nodes = app::BuildPanelTree(panelLines_);

  std::vector<QTreeWidgetItem*> items;
  items.reserve(nodes.size());
  for (const app::PanelNode& node : nodes) {
    auto* item = node.parent < 0
                     ? new QTreeWidgetItem(TreeView1)
                     : new QTreeWidgetItem(items[static_cast<std::size_t>(node.parent)]);
    item->setText(0, app::FromAnsi(node.caption));
    item->setData(0, kLineReferenceRole, node.lineReference);
    item->setData(0, kCaptionBytesRole, QByteArray::fromStdString(node.caption));
    items.push_back(item);
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].expanded) {
      items[i]->setExpanded(true);
    }
  }

  // Selecting is a selection change like any other: unless suppressed, it runs
  // the first entry in single-click mode.
  if (TreeView1->topLevelItemCount() > 0) {
    TreeView1->setCurrentItem(TreeView1->topLevelItem(0));
  }
}

void TForm1::TreeView1Change(QTreeWidgetItem*) {
  if (SingleSetting != 0 || SuppressActivation != 0) {
    return;
  }
  if (!TreeView1->HandlingMousePress()) {
    TreeView1DblClick();
    return;
  }
  // Everything is decided now, as for any other change; only the cycle waits
  // until the tree has finished with the press, so that the press handling
  // can't override the selection the program sets during the cycle.
  if (std::optional<NodeActivation> activation = activateNode(TreeView1->currentItem())) {
    QTimer::singleShot(0, this, [this, activation = std::move(*activation)] {
      app::Guarded([&] { runNodeCommand(activation); });
    });
  }
}

void TForm1::TreeView1DblClick() {
  if (std::optional<NodeActivation> activation = activateNode(TreeView1->currentItem())) {
    runNodeCommand(*activation);
  }
}

std::optional<TForm1::NodeActivation> TForm1::activateNode(const QTreeWidgetItem* node) {
  if (node == nullptr || TreeView1Tag != 0) {
    return std::nullopt;
  }
  // The node may be gone once the cycle has run (the settings dialog rebuilds
  // the tree), so everything needed from it is taken now.
  const int reference = NodeLineReference(node);
  std::string command = app::PanelLine(panelLines_, reference);

  if (NodeCaption(node) == app::texts::kArbitraryCommandCaption) {
    Memo1Clear();
    Memo1Add(app::texts::kArbitraryCommandHelp1);
    Memo1Add(app::texts::kArbitraryCommandHelp2);
  }
  if (command == app::kGroupKeyword) {
    return std::nullopt;
  }
  return NodeActivation{reference, std::move(command)};
}

void TForm1::runNodeCommand(const NodeActivation& activation) {
  RunCommand(activation.command);
  if (app::PanelLine(panelLines_, activation.reference + 1) == app::kMessageKeyword) {
    Memo1Add(app::PanelLine(panelLines_, activation.reference + 2));
  }
}
