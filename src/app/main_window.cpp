// The main window's frame: construction, the wiring of its handlers, and the
// small helpers its parts share. Every handler runs through app::Guarded, so an
// error ends the handler in the error box and never reaches Qt's loop.
#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

#include "app/accessible_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/program_entry.h"
#include "app/router_models.h"
#include "app/session_texts.h"
#include "app/widget_text.h"
#include "cycle/command_cycle.h"
#include "telnet/telnet_connection.h"

using app::Guarded;

TForm1::TForm1(std::vector<std::string> arguments, std::string programDirectory, QWidget* parent)
    : QMainWindow(parent),
      arguments_(std::move(arguments)),
      programDirectory_(std::move(programDirectory)),
      hiddenRun_(app::HasHiddenSwitch(arguments_)) {
  app::InstallAccessibility();
  createComponents();
  createTelnetConnection();
  wireHandlers();
}

TForm1::~TForm1() = default;

const std::string& TForm1::Host() const { return TelnetConnection1->Host(); }

void TForm1::SetHost(const std::string& host) { TelnetConnection1->SetHost(host); }

void TForm1::wireHandlers() {
  FlatButton3->OnClick = [this](widgets::TFlatButton*) { Guarded([this] { FlatButton3Click(); }); };
  FlatButton1->OnClick = [this](widgets::TFlatButton*) { Guarded([this] { N2Click(); }); };
  connect(About1, &QAction::triggered, this, [this] { Guarded([this] { About1Click(); }); });
  connect(FlatEdit1, &QLineEdit::returnPressed, this, [this] {
    Guarded([this] {
      char key = '\r';
      FlatEdit1KeyPress(key);
    });
  });
  connect(Button5, &QPushButton::clicked, this, [this] { Guarded([this] { Button5Click(); }); });
  connect(TreeView1, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
            Guarded([this, current] { TreeView1Change(current); });
          });
  connect(TreeView1, &QTreeWidget::itemDoubleClicked, this,
          [this] { Guarded([this] { TreeView1DblClick(); }); });
  connect(Splitter1, &QSplitter::splitterMoved, this, [this] {
    panel1Width_ = Panel1->width();
    splitterDragged_ = true;
  });
  connect(RefreshKey, &QAction::triggered, this, [this] { Guarded([this] { FlatButton3Click(); }); });
  connect(AbortKey, &QAction::triggered, this, [this] {
    if (TreeView1Tag != 0) Guarded([this] { Panel3Click(); });
  });
  connect(SettingsKey, &QAction::triggered, this, [this] { Guarded([this] { N2Click(); }); });
  connect(HelpKey, &QAction::triggered, this, [this] { Guarded([this] { showHelpMenu(); }); });
  connect(Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
  connect(Timer2, &QTimer::timeout, this, [this] { Guarded([this] { Timer2Timer(); }); });

  for (QWidget* lampPart : {static_cast<QWidget*>(Panel3), static_cast<QWidget*>(Image1),
                            static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label5)}) {
    lampPart->installEventFilter(this);
  }
  TreeView1->viewport()->installEventFilter(this);
  TreeView1->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  const bool lampPart =
      watched == Panel3 || watched == Image1 || watched == Label1 || watched == Label5;
  if (lampPart && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    auto* widget = static_cast<QWidget*>(watched);
    if (mouse->button() == Qt::LeftButton && widget->rect().contains(mouse->position().toPoint())) {
      Guarded([this] { Panel3Click(); });
    }
  }
  // A double click beside the entries still activates the selected one; one on
  // an entry arrives through itemDoubleClicked.
  if (watched == TreeView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (TreeView1->itemAt(mouse->position().toPoint()) == nullptr) {
      Guarded([this] { TreeView1DblClick(); });
    }
  }
  // Return runs the selected entry as a double click does, in either mode.
  if (watched == TreeView1 && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      Guarded([this] { TreeView1DblClick(); });
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::showHelpMenu() {
  // Chosen once the menu is up, so that Return opens the about box at once.
  QTimer::singleShot(0, PopupMenu1, [this] { PopupMenu1->setActiveAction(About1); });
  PopupMenu1->exec(FlatButton2->mapToGlobal(QPoint(0, FlatButton2->height())));
}

QString TForm1::RouterSectionText() const { return StatusRouter1->text(); }

void TForm1::showRouterSection() {
  QString text = app::FromAnsi(Host());
  if (RouterModel == app::kAutomaticRouterModel) {
    text += QLatin1Char(' ') + app::FromAnsi(app::texts::kModelAutomatic);
  } else if (RouterModel >= 0 && RouterModel < static_cast<int>(app::kRouterModelNames.size())) {
    text += QLatin1Char(' ') + QLatin1String(app::kRouterModelNames[RouterModel]);
  }
  // The last cycle's end, while the router is still the one it talked to.
  if (lastCycle_ && TreeView1Tag == 0 && lastCycle_->host == Host() &&
      lastCycle_->routerModel == RouterModel) {
    const QString separator = QStringLiteral(" \u00b7 ");
    text += separator + lastCycle_->ended.toString(QStringLiteral("HH:mm:ss")) + separator +
            QString::number(lastCycle_->seconds, 'f', 2) + QLatin1Char(' ') +
            app::FromAnsi(app::texts::kSecondsUnit);
  }
  StatusRouter1->setText(text);
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool mayClose = true;
  Guarded([&] { mayClose = FormCloseQuery(); });
  if (!mayClose) {
    event->ignore();
    return;
  }
  Guarded([this] { FormClose(); });
  event->accept();
}

void TForm1::Memo1Clear() {
  memo1Lines_.Clear();
  if (!hiddenRun_) {
    Memo1->linesReset();
  }
}

void TForm1::Memo1Add(const std::string& line) {
  memo1Lines_.Add(line);
  if (!hiddenRun_) {
    Memo1->linesAdded();
  }
}

void TForm1::Memo1AddAnswer(std::vector<app::LineSpan> spans) {
  if (spans.empty()) {
    return;
  }
  // The pane draws from the received bytes themselves.
  memo1Lines_.AddAnswer(ReceiveBuffer, std::move(spans));
  if (!hiddenRun_) {
    Memo1->linesAdded();
  }
}

void TForm1::SetStatusText(const std::string& text) {
  statusText_ = text;
  StatusText1->setText(app::FromAnsi(text));
}

void TForm1::SetLampColor(QLabel* lamp, const QColor& color) {
  QPalette palette = lamp->palette();
  palette.setColor(QPalette::Window, color);
  lamp->setPalette(palette);
}

QColor TForm1::LampColor(const QLabel* lamp) { return lamp->palette().color(QPalette::Window); }

int TForm1::Panel1Width() const {
  // Until the window has been laid out, the splitter has not sized the panel.
  return Panel1->isVisible() ? Panel1->width() : panel1Width_;
}

void TForm1::SetPanel1Width(int width) {
  panel1Width_ = width;
  const QList<int> sizes = Splitter1->sizes();
  int total = 0;
  for (int size : sizes) {
    total += size;
  }
  Splitter1->setSizes({width, std::max(total - width, 1)});
}

void TForm1::SetPanelLines(std::vector<std::string> lines) {
  panelLines_ = std::move(lines);
  if (hiddenRun_) {
    return;
  }
  QStringList shown;
  for (const std::string& line : panelLines_) {
    shown << app::FromAnsi(line);
  }
  Memo2->setPlainText(shown.join(QLatin1Char('\n')));
}
