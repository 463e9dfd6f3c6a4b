// The settings dialog: router address, router model, panel text and single-
// click activation. It only edits values it is given; the main window decides
// what to do with them once the dialog closes with OK.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm2(QWidget* parent = nullptr);

  // Fills the controls from the main window's values. `singleSetting` 0 ticks
  // the check box; a model outside -1..3 leaves no model selected. Texts are
  // Shift-JIS bytes.
  void LoadValues(int singleSetting, const std::string& host, int routerModel,
                  const std::vector<std::string>& panelLines);

  // The values as the user left them: 0 when single click is ticked, else 1.
  int SingleSetting() const;
  // The address exactly as typed, in Shift-JIS.
  std::string Host() const;
  // Position of the selected model entry minus one; -2 when none is selected.
  int RouterModel() const;
  // The panel text, one element per typed line (wrapping on screen does not
  // split a line).
  std::vector<std::string> PanelLines() const;

  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QFrame* Bevel1 = nullptr;
  QLabel* Label3 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button1 = nullptr;

 private:
  void createComponents();
  void setFocusOrder();
};
