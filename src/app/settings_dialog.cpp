// The settings dialog's controls, placed as the dialog has always looked, and
// the translation between them and the main window's values.
#include "app/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

#include "app/router_models.h"
#include "app/session_texts.h"
#include "app/ui_fonts.h"
#include "app/widget_text.h"
#include "app/window_minimum.h"

namespace {

using app::FromAnsi;
using app::FromAnsiEditable;
using app::ToAnsiEditable;

// The model entries in the order of RouterModel -1, 0, 1, 2, 3.
constexpr const char* kModelEntries[] = {app::texts::kModelAutomatic, app::kRouterModelNames[0],
                                         app::kRouterModelNames[1], app::kRouterModelNames[2],
                                         app::kRouterModelNames[3]};
constexpr int kModelCount = static_cast<int>(std::size(kModelEntries));

// The closed list must show its longest model name whole; in the fonts used
// here the dialog's original width leaves "MN128-SOHO-SL1" and cuts the rest.
// So the list grows by what its text field lacks, and no more.
int ModelListWidth(const QComboBox& box, int designedWidth) {
  QStyleOptionComboBox option;
  option.initFrom(&box);
  option.rect = QRect(0, 0, designedWidth, 20);
  const QRect field =
      box.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &box);
  int widest = 0;
  for (int i = 0; i < box.count(); ++i) {
    widest = std::max(widest, box.fontMetrics().horizontalAdvance(box.itemText(i)));
  }
  // The label is drawn a few pixels inside the field.
  constexpr int kLabelInset = 4;
  return designedWidth + std::max(0, widest + kLabelInset - field.width());
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  createComponents();
  setFocusOrder();
}

void TForm2::createComponents() {
  setObjectName("Form2");
  setWindowTitle(FromAnsi(app::texts::kSettingsCaption));
  // A fixed dialog border: no resizing, no maximise button.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(337, 340);
  app::KeepAtLeastMinimumSize(this);
  move(226, 104);
  setFont(app::ProportionalFont());

  auto placeLabel = [this](const char* name, const char* text, int x, int y) {
    auto* label = new QLabel(FromAnsi(text), this);
    label->setObjectName(name);
    label->move(x, y);
    label->adjustSize();
    return label;
  };

  Label1 = placeLabel("Label1", app::texts::kRouterAddressLabel, 16, 16);
  Edit1 = new QLineEdit(QStringLiteral("192.168.0.1"), this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(128, 10, 121, 20);
  Label1->setBuddy(Edit1);

  Label2 = placeLabel("Label2", app::texts::kRouterModelLabel, 16, 46);
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setEditable(false);
  for (const char* entry : kModelEntries) ComboBox1->addItem(FromAnsi(entry));
  ComboBox1->setGeometry(128, 40, ModelListWidth(*ComboBox1, 121), 20);
  Label2->setBuddy(ComboBox1);

  Bevel1 = new QFrame(this);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(16, 72, 305, 2);

  Label3 = placeLabel("Label3", app::texts::kPanelCustomiseLabel, 16, 88);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setGeometry(16, 112, 305, 153);
  Label3->setBuddy(Memo1);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Tab moves on to the next control, as in every other field of the dialog.
  Memo1->setTabChangesFocus(true);

  CheckBox1 = new QCheckBox(FromAnsi(app::texts::kSingleClick), this);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setGeometry(216, 272, 105, 17);
  CheckBox1->setChecked(true);

  Button2 = new QPushButton(QStringLiteral("&OK"), this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(139, 305, 90, 24);
  Button2->setDefault(true);
  connect(Button2, &QPushButton::clicked, this, &QDialog::accept);

  Button1 = new QPushButton(FromAnsi(app::texts::kCancelButton), this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(233, 305, 88, 24);
  // Enter clicks the focused button, as on every dialog of the desktop: OK
  // from anywhere else, Cancel when Cancel has the focus. Esc reaches
  // QDialog::reject on its own; the button does the same.
  Button1->setAutoDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm2::setFocusOrder() {
  for (QWidget* w :
       std::initializer_list<QWidget*>{Edit1, Memo1, Button1, Button2, ComboBox1, CheckBox1}) {
    w->setFocusPolicy(Qt::StrongFocus);
  }
  setTabOrder(Edit1, Memo1);
  setTabOrder(Memo1, Button1);
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, ComboBox1);
  setTabOrder(ComboBox1, CheckBox1);
  Edit1->setFocus();
}

void TForm2::LoadValues(int singleSetting, const std::string& host, int routerModel,
                        const std::vector<std::string>& panelLines) {
  CheckBox1->setChecked(singleSetting == 0);
  Edit1->setText(FromAnsiEditable(host));
  const int entry = routerModel + 1;
  ComboBox1->setCurrentIndex(entry >= 0 && entry < kModelCount ? entry : -1);
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(panelLines.size()));
  for (const std::string& line : panelLines) lines << FromAnsiEditable(line);
  Memo1->setPlainText(lines.join(QLatin1Char('\n')));
  Memo1->moveCursor(QTextCursor::Start);
  Edit1->setFocus();
}

int TForm2::SingleSetting() const { return CheckBox1->isChecked() ? 0 : 1; }

std::string TForm2::Host() const { return ToAnsiEditable(Edit1->text()); }

int TForm2::RouterModel() const {
  const int entry = ComboBox1->currentIndex();
  return entry < 0 ? -2 : entry - 1;
}

std::vector<std::string> TForm2::PanelLines() const {
  std::vector<std::string> lines;
  const QString text = Memo1->toPlainText();
  if (text.isEmpty()) return lines;
  QStringList typed = text.split(QLatin1Char('\n'));
  // A line end after the last line, as the file reader treats it, adds no line.
  if (typed.size() > 1 && typed.back().isEmpty()) typed.pop_back();
  lines.reserve(static_cast<std::size_t>(typed.size()));
  for (const QString& line : typed) lines.push_back(ToAnsiEditable(line));
  return lines;
}
