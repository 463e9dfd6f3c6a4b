// The command cycle's entry points. The cycle itself is still a stand-in: it
// honours the busy mark and announces the command, and the paths that lead to
// it (the panel, the edit box, the refresh button, the switches) are complete.
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

#include "app/main_window.h"
#include "app/widget_text.h"

void TForm1::RunCommand(const std::string& command) {
  if (TreeView1Tag != 0) {
    return;
  }
  emit commandStarted(QByteArray::fromStdString(command));
}

void TForm1::FlatEdit1KeyPress(char& Key) {
  if (Key != '\r') {
    return;
  }
  // Moving the selection back to the top must not run the first entry, also
  // when the cycle ends in an error.
  struct ActivationSuppressed {
    TForm1* form;
    explicit ActivationSuppressed(TForm1* f) : form(f) { form->SuppressActivation = 1; }
    ~ActivationSuppressed() { form->SuppressActivation = 0; }
  } suppressed(this);

  RunCommand(app::ToAnsi(FlatEdit1->text()));
  if (AbortRequested == 0 && TreeView1->topLevelItemCount() > 0) {
    QTreeWidgetItem* first = TreeView1->topLevelItem(0);
    TreeView1->setCurrentItem(first);
    TreeView1->scrollToItem(first);
  }
}

void TForm1::FlatButton3Click() {
  if (!LastCommand.empty()) {
    RunCommand(LastCommand);
  }
}

void TForm1::Panel3Click() { AbortRequested = 1; }

void TForm1::Timer1Timer() {
  const QColor white(255, 255, 255);
  if (LampColor(Label5) == white) {
    SetLampColor(Label5, QColor(0, 255, 255));
    SetLampColor(Label1, white);
  } else if (LampColor(Label1) == white) {
    SetLampColor(Label5, white);
    SetLampColor(Label1, QColor(255, 0, 0));
  }
}

void TForm1::Timer2Timer() { ++TickCount; }
