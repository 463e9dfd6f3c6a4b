// The main window's side of the settings dialog and the about box. Both are
// modal and may open while a command cycle waits; the cycle then stands still
// until they close, and picks up a changed model and address afterwards.
#include <QTreeWidget>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "cycle/command_cycle.h"

void TForm1::CreateDialogs() {
  AboutBox = new TAboutBox(this);
  Form2 = new TForm2(this);
}

void TForm1::N2Click() {
  if (Form2 == nullptr) {
    return;
  }
  const cycle::CycleHold hold(*CommandCycle1);
  // Every opening starts from the current values, so edits abandoned with
  // Cancel are gone.
  Form2->LoadValues(SingleSetting, Host(), RouterModel, PanelLines());
  if (Form2->exec() != QDialog::Accepted) {
    return;
  }
  SingleSetting = Form2->SingleSetting();
  std::vector<std::string> panelLines = Form2->PanelLines();
  if (panelLines != PanelLines()) {
    panelFileUnreadable_ = false;
  }
  SetPanelLines(std::move(panelLines));
  SetHost(Form2->Host());

  // The rebuilt tree selects its first entry; that must run nothing.
  const ActivationSuppressed suppressed(*this);
  RouterModel = Form2->RouterModel();
  TreeView1->setEnabled(false);
  Button5Click();
  if (QTreeWidgetItem* first = TreeView1->topLevelItem(0)) {
    TreeView1->scrollToItem(first);
  }
  TreeView1->setEnabled(true);
  showRouterSection();
}

void TForm1::About1Click() {
  if (AboutBox != nullptr) {
    const cycle::CycleHold hold(*CommandCycle1);
    AboutBox->exec();
  }
}
