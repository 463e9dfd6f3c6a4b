// The main window's components, placed as the window has always looked:
// toolbar strip with the lamp panel on top, the operation panel on the left,
// the splitter, the output pane filling the rest, and the status bar.
#include <QAction>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/accessible_texts.h"
#include "app/accessible_window.h"
#include "app/app_icon.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/panel_tree_view.h"
#include "app/session_texts.h"
#include "app/texts.h"
#include "app/ui_fonts.h"
#include "app/widget_text.h"
#include "app/window_minimum.h"

// The buttons' glyphs, 16 x 16 pictures whose bottom-left pixel is the colour
// that stays transparent. They are compiled in: read from the XPM text
// directly, they need none of the image-format plugins that reading a file
// makes Qt load.
#include "app/glyphs/help.xpm"
#include "app/glyphs/refresh.xpm"
#include "app/glyphs/settings.xpm"

namespace {

constexpr int kFormLeft = 164;
constexpr int kFormTop = 101;
constexpr int kFormWidth = 678;
constexpr int kFormHeight = 369;
constexpr int kTopStripHeight = 25;
constexpr int kButtonPanelWidth = 346;
constexpr int kLampPanelWidth = 68;
constexpr int kSpacerHeight = 2;
constexpr int kOperationPanelWidth = 183;
constexpr int kBevelHeight = 4;
constexpr int kSplitterWidth = 4;
constexpr int kPanelTextHeight = 63;
constexpr int kStatusBarHeight = 19;
constexpr int kTreeIndent = 19;
constexpr int kLampTimerInterval = 200;
constexpr int kTickTimerInterval = 1000;
// The smallest window: the toolbar and the lamps side by side, the edit box,
// and this many lines of the tree and of the output pane.
constexpr int kTreeLinesAtLeast = 3;
constexpr int kOperationPanelWidthAtLeast = 90;
const QColor kLampPanelColor(0, 0, 0);
const QColor kIdleLampColor(255, 255, 255);
const QColor kIsdnLetterColor(192, 192, 192);

QWidget* NamedWidget(QWidget* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

widgets::TFlatButton* MakeFlatButton(QWidget* parent, const char* name, const char* ansiCaption,
                                     const char* const* glyph, int x, int width) {
  auto* button = new widgets::TFlatButton(parent);
  NamedWidget(button, name);
  button->SetCaption(app::FromAnsi(ansiCaption));
  button->SetGlyph(QImage(glyph));
  button->setGeometry(x, 0, width, 24);
  return button;
}

QLabel* MakeLamp(QWidget* parent, const char* name, int x) {
  auto* lamp = new QLabel(parent);
  NamedWidget(lamp, name);
  lamp->setGeometry(x, 4, 5, 8);
  lamp->setAutoFillBackground(true);
  TForm1::SetLampColor(lamp, kIdleLampColor);
  return lamp;
}

// Rows of a tree without icons: the text and the style's margin around the
// current row's focus frame.
int TreeRowHeight(const QTreeWidget& tree) {
  return tree.fontMetrics().height() +
         2 * tree.style()->pixelMetric(QStyle::PM_FocusFrameVMargin, nullptr, &tree) + 2;
}

QLabel* MakeSpacer(const char* name, int height) {
  auto* spacer = new QLabel;
  NamedWidget(spacer, name);
  spacer->setFixedHeight(height);
  return spacer;
}

// The letters ISDN in light grey on black, as on the router's front. Drawn
// as text whenever the picture is painted, so they are as sharp as the text
// beside them at every scale of the screen.
class IsdnPicture : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), kLampPanelColor);
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(kIsdnLetterColor);
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("ISDN"));
  }
};

// A tool tip that names the key which does the same.
QString HintWithKey(const QString& hint, const QKeySequence& key) {
  return hint + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) + QLatin1Char(')');
}

QAction* MakeKey(QWidget* window, const char* name, const QKeySequence& key) {
  auto* action = new QAction(window);
  action->setObjectName(QLatin1String(name));
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  window->addAction(action);
  return action;
}

}  // namespace

void TForm1::createComponents() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QLatin1String(app::texts::kApplicationTitle));
  setWindowIcon(app::ApplicationIcon());
  // Fonts are looked up in the system's font database, which costs a hidden
  // run more than everything else it does on the way to its answer; no one
  // sees its widgets, so they keep the default font.
  if (!HiddenRun()) {
    setFont(app::ProportionalFont());
  }
  move(kFormLeft, kFormTop);
  resize(kFormWidth, kFormHeight);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("Form1Client"));
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(client);

  createTopStrip();
  column->addWidget(Panel2);
  Label4 = MakeSpacer("Label4", kSpacerHeight);
  column->addWidget(Label4);
  createOperationPanel();
  createOutputPanes();
  column->addWidget(Splitter1, 1);
  column->addWidget(Memo2);
  createStatusBar();
  createTimersAndMenu();
  createKeys();

  Button5 = new QPushButton(client);
  NamedWidget(Button5, "Button5");
  Button5->hide();

  // The layouts add these up to the window's minimum size.
  Panel1->setMinimumWidth(kOperationPanelWidthAtLeast);
  TreeView1->setMinimumHeight(2 * TreeView1->frameWidth() +
                              kTreeLinesAtLeast * TreeRowHeight(*TreeView1));
  app::KeepAtLeastMinimumSize(this);
}

void TForm1::createTopStrip() {
  Panel2 = NamedWidget(new QWidget, "Panel2");
  Panel2->setFixedHeight(kTopStripHeight);
  auto* row = new QHBoxLayout(Panel2);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  Moving = new QLabel;
  NamedWidget(Moving, "Moving");
  row->addWidget(Moving, 1);

  Panel4 = NamedWidget(new QWidget, "Panel4");
  Panel4->setFixedWidth(kButtonPanelWidth);
  FlatButton3 = MakeFlatButton(Panel4, "FlatButton3", app::texts::kRefreshCaption,
                               refresh_xpm, 90, 84);
  FlatButton1 = MakeFlatButton(Panel4, "FlatButton1", app::texts::kSettingsCaption,
                               settings_xpm, 175, 84);
  FlatButton2 =
      MakeFlatButton(Panel4, "FlatButton2", app::texts::kHelpCaption, help_xpm, 260, 83);
  FlatButton2->setAccessibleDescription(app::FromAnsi(app::texts::kOpensMenuDescription));
  row->addWidget(Panel4);

  createLampPanel();
  row->addWidget(Panel3);
}

void TForm1::createLampPanel() {
  Panel3 = new QFrame;
  NamedWidget(Panel3, "Panel3");
  Panel3->setFixedWidth(kLampPanelWidth);
  Panel3->setAutoFillBackground(true);
  QPalette black = Panel3->palette();
  black.setColor(QPalette::Window, kLampPanelColor);
  Panel3->setPalette(black);

  Image1 = new IsdnPicture(Panel3);
  NamedWidget(Image1, "Image1");
  Image1->setGeometry(22, 5, 42, 18);
  Label1 = MakeLamp(Panel3, "Label1", 4);
  Label5 = MakeLamp(Panel3, "Label5", 12);
  app::MarkLampPanel(
      Panel3, Image1, [this] { return TreeView1Tag != 0; },
      [this] { app::Guarded([this] { Panel3Click(); }); });
  // Once it is known as the lamp panel's picture, so its interface is an image's.
  Image1->setAccessibleName(QLatin1String(app::texts::kIsdnPictureName));
}

void TForm1::createOperationPanel() {
  Panel1 = NamedWidget(new QWidget, "Panel1");
  auto* column = new QVBoxLayout(Panel1);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Bevel1 = new QFrame;
  NamedWidget(Bevel1, "Bevel1");
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setFixedHeight(kBevelHeight);
  column->addWidget(Bevel1);

  // The edit box sizes itself to its font, six pixels taller than the text.
  FlatEdit1 = new widgets::TFlatEdit(QStringLiteral("SHOW"));
  NamedWidget(FlatEdit1, "FlatEdit1");
  FlatEdit1->setAccessibleName(app::FromAnsi(app::texts::kCommandBoxName));
  column->addWidget(FlatEdit1);

  Label2 = MakeSpacer("Label2", kSpacerHeight);
  column->addWidget(Label2);

  TreeView1 = new PanelTreeView;
  NamedWidget(TreeView1, "TreeView1");
  TreeView1->setAccessibleName(app::FromAnsi(app::texts::kOperationPanelName));
  TreeView1->setColumnCount(1);
  TreeView1->setHeaderHidden(true);
  TreeView1->setIndentation(kTreeIndent);
  TreeView1->setRootIsDecorated(true);
  TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
  column->addWidget(TreeView1, 1);
}

void TForm1::createOutputPanes() {
  Memo1 = new OutputPane;
  NamedWidget(Memo1, "Memo1");
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The pane draws from the window's own lines; a hidden run never shows it.
  if (!HiddenRun()) {
    Memo1->setFont(app::FixedFont());
    Memo1->setLines(&memo1Lines_);
  }

  Splitter1 = new QSplitter(Qt::Horizontal);
  NamedWidget(Splitter1, "Splitter1");
  Splitter1->setHandleWidth(kSplitterWidth);
  Splitter1->setChildrenCollapsible(false);
  Splitter1->addWidget(Panel1);
  Splitter1->addWidget(Memo1);
  // Resizing the window resizes the output pane; the panel keeps its width.
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  SetPanel1Width(kOperationPanelWidth);

  Memo2 = new QPlainTextEdit;
  NamedWidget(Memo2, "Memo2");
  Memo2->setFixedHeight(kPanelTextHeight);
  Memo2->hide();
}

void TForm1::createStatusBar() {
  StatusBar1 = new QStatusBar;
  NamedWidget(StatusBar1, "StatusBar1");
  StatusBar1->setAccessibleName(app::FromAnsi(app::texts::kStatusBarName));
  StatusBar1->setFixedHeight(kStatusBarHeight);
  StatusText1 = new QLabel;
  NamedWidget(StatusText1, "StatusText1");
  // A long status text is cut at the window's edge; it never widens the window.
  StatusText1->setMinimumWidth(1);
  StatusBar1->addWidget(StatusText1, 1);
  StatusRouter1 = new QLabel;
  NamedWidget(StatusRouter1, "StatusRouter1");
  StatusBar1->addPermanentWidget(StatusRouter1);
  setStatusBar(StatusBar1);
}

void TForm1::createTimersAndMenu() {
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kLampTimerInterval);
  Timer2 = new QTimer(this);
  Timer2->setObjectName(QStringLiteral("Timer2"));
  Timer2->setInterval(kTickTimerInterval);
  // Coarse timers may drift by a twentieth of their interval; the lamps keep
  // their 200 ms step and the tick budget its seconds.
  Timer1->setTimerType(Qt::PreciseTimer);
  Timer2->setTimerType(Qt::PreciseTimer);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  About1 = PopupMenu1->addAction(app::FromAnsi(app::texts::kAboutCaption));
  About1->setObjectName(QStringLiteral("About1"));
  FlatButton2->SetDropdownMenu(PopupMenu1);
}

void TForm1::createKeys() {
  RefreshKey = MakeKey(this, "RefreshKey", QKeySequence(Qt::Key_F5));
  AbortKey = MakeKey(this, "AbortKey", QKeySequence(Qt::Key_Escape));
  SettingsKey = MakeKey(this, "SettingsKey", QKeySequence(Qt::CTRL | Qt::Key_Comma));
  HelpKey = MakeKey(this, "HelpKey", QKeySequence(Qt::Key_F1));
  FlatButton3->SetHint(HintWithKey(app::FromAnsi(app::texts::kRefreshHint), RefreshKey->shortcut()));
  FlatButton1->SetHint(
      HintWithKey(app::FromAnsi(app::texts::kSettingsCaption), SettingsKey->shortcut()));
  FlatButton2->SetHint(HintWithKey(app::FromAnsi(app::texts::kHelpCaption), HelpKey->shortcut()));
  Panel3->setToolTip(HintWithKey(app::FromAnsi(app::texts::kAbortHint), AbortKey->shortcut()));
}
