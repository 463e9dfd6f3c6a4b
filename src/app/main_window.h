// The main window: the operation panel (tree) on the left, the router's answer
// on the right, the toolbar and the lamp panel on top. Its state is shared by
// the start-up and close (main_window_startup.cpp), the operation panel
// (main_window_panel.cpp), the command cycle (router_session.cpp) and the
// dialogs (dialogs_glue.cpp). Texts held here are Shift-JIS bytes; the widgets
// show their UTF-8 form.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QRect>
#include <QTime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/answer_outcome.h"
#include "app/capture.h"
#include "app/command_line.h"
#include "app/pane_lines.h"
#include "app/panel_tree_view.h"
#include "app/settings_file.h"
#include "widgets/flat_button.h"
#include "widgets/flat_edit.h"

class OutputPane;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTimer;
class QTreeWidgetItem;
class TAboutBox;
class TForm2;

namespace telnet {
class TTelnetConnection;
}
namespace cycle {
class CommandCycle;
class TickClock;
}  // namespace cycle

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // `arguments` are the program's arguments without its own name, Shift-JIS;
  // `programDirectory` ends with '/' and holds the settings and panel files.
  TForm1(std::vector<std::string> arguments, std::string programDirectory,
         QWidget* parent = nullptr);
  ~TForm1() override;

  // --- Start-up and close (main_window_startup.cpp) ---
  // Runs once after construction: loads the panel, reads the settings and
  // obeys the switches. Errors end it in the application's error box.
  void FormCreate();
  // Close requested: stops a running cycle and always allows the close.
  bool FormCloseQuery();
  // Window closing: writes the panel file and the settings file.
  void FormClose();
  // True once start-up has asked the program to end ("-h").
  bool TerminateRequested() const { return terminateRequested_; }
  // True once start-up has read the settings file (so a close may write it).
  bool SettingsRead() const { return settingsRead_; }
  // How the last cycle's answer ended: NotShown also after an error.
  app::AnswerOutcome LastAnswerOutcome() const { return lastOutcome_; }
  // True when the last cycle awaited the router's prompt and the command's
  // wait ended without it (its limit, or the connection's end).
  bool AnswerIncomplete() const { return lastOutcome_ == app::AnswerOutcome::Incomplete; }
  std::string SettingsPath() const;
  std::string PanelPath() const;

  // --- Where the files come from, this run's settings (main_window_files.cpp) ---
  // The panel read at start-up while the files' folder holds no panel file.
  void SetDefaultPanelPath(std::string path) { defaultPanelPath_ = std::move(path); }
  // Router address and model for this run; the close writes back the file's
  // values unless the settings dialog changed them.
  void SetRunSettings(app::RunSettings settings) { runSettings_ = std::move(settings); }
  // Per argument, true where it had no exact Shift-JIS form: such a command
  // is refused instead of sent with '?' in it.
  void SetArgumentsWithoutAnsiForm(std::vector<bool> marks) {
    argumentHasNoAnsiForm_ = std::move(marks);
  }

  // --- Operation panel (main_window_panel.cpp) ---
  void Button5Click();
  void TreeView1Change(QTreeWidgetItem* node);
  void TreeView1DblClick();
  // The panel text that `Memo2` shows, one element per line, bytes unchanged.
  const std::vector<std::string>& PanelLines() const { return panelLines_; }
  void SetPanelLines(std::vector<std::string> lines);
  static int NodeLineReference(const QTreeWidgetItem* node);
  static std::string NodeCaption(const QTreeWidgetItem* node);

  // --- Command cycle (router_session.cpp) ---
  // One command cycle against the router; returns at once while one runs.
  void RunCommand(const std::string& command);
  void ClearCapture();
  void CloseConnection();
  void FinishCommand();
  void TelnetConnection1DataAvailable(telnet::TTelnetConnection* Sender, const char* Buffer,
                                      int Len);
  void FlatEdit1KeyPress(char& Key);
  void FlatButton3Click();
  void Panel3Click();
  void Timer1Timer();
  void Timer2Timer();

  // --- Dialogs (dialogs_glue.cpp) ---
  // Creates the about box, then the settings dialog (not in hidden mode).
  void CreateDialogs();
  void N2Click();
  void About1Click();

  // --- Shared helpers (main_window.cpp) ---
  // The router address the next cycle connects to: `Host` of TelnetConnection1.
  const std::string& Host() const;
  void SetHost(const std::string& host);
  // The output pane as lines, like the lines of a memo.
  std::vector<std::string> Memo1Lines() const { return memo1Lines_.Lines(); }
  void Memo1Clear();
  void Memo1Add(const std::string& line);
  // The answer's lines, `spans` into ReceiveBuffer: one change of the pane's
  // text, however long.
  void Memo1AddAnswer(std::vector<app::LineSpan> spans);
  // The pane's lines joined by '\n', in UTF-8, piece by piece.
  void WriteMemo1Text(const app::TextSink& sink) const { memo1Lines_.WriteUtf8(sink); }
  // A hidden run never shows the window, so its widgets are left as built:
  // the pane is not filled.
  bool HiddenRun() const { return hiddenRun_; }
  // The status bar's one simple text.
  const std::string& StatusText() const { return statusText_; }
  void SetStatusText(const std::string& text);
  // The router section's text, as it shows now.
  QString RouterSectionText() const;
  static void SetLampColor(QLabel* lamp, const QColor& color);
  static QColor LampColor(const QLabel* lamp);
  int Panel1Width() const;
  void SetPanel1Width(int width);

  // --- State of the window, shared by its handlers ---
  int RouterModel = 0;
  int SingleSetting = 0;
  int AbortRequested = 0;
  int TickCount = 0;
  int SuppressActivation = 0;
  std::string ReceiveBuffer;
  std::string LastCommand;
  // The lines of the last answer, as offsets into ReceiveBuffer. Shared, so
  // that a cycle still unwinding keeps it when the window closes.
  std::shared_ptr<std::vector<app::LineSpan>> CaptureList;
  // The busy mark: 1 while a command cycle runs.
  int TreeView1Tag = 0;

  // --- Components ---
  QWidget* Panel2 = nullptr;
  QLabel* Moving = nullptr;
  QWidget* Panel4 = nullptr;
  widgets::TFlatButton* FlatButton3 = nullptr;
  widgets::TFlatButton* FlatButton1 = nullptr;
  widgets::TFlatButton* FlatButton2 = nullptr;
  QFrame* Panel3 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label4 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QWidget* Panel1 = nullptr;
  QFrame* Bevel1 = nullptr;
  widgets::TFlatEdit* FlatEdit1 = nullptr;
  QLabel* Label2 = nullptr;
  PanelTreeView* TreeView1 = nullptr;
  OutputPane* Memo1 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QPushButton* Button5 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusText1 = nullptr;
  // The status bar's second, permanent section: the router the next cycle
  // talks to, and when the last one with it ended and how long it took.
  QLabel* StatusRouter1 = nullptr;
  // Keys of the window's actions: F5 (as 更新), Esc (as a click on the
  // lamps, while a cycle runs), Ctrl+, (設定), F1 (the help menu).
  QAction* RefreshKey = nullptr;
  QAction* AbortKey = nullptr;
  QAction* SettingsKey = nullptr;
  QAction* HelpKey = nullptr;
  QTimer* Timer1 = nullptr;
  QTimer* Timer2 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* About1 = nullptr;
  TAboutBox* AboutBox = nullptr;
  TForm2* Form2 = nullptr;
  // The engine that runs the cycles, and its connection.
  std::unique_ptr<cycle::CommandCycle> CommandCycle1;
  telnet::TTelnetConnection* TelnetConnection1 = nullptr;

 signals:
  // Raised by every command cycle as it starts, with the command's bytes.
  void commandStarted(QByteArray command);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // main_window_layout.cpp
  void createComponents();
  void createTopStrip();
  void createLampPanel();
  void createOperationPanel();
  void createOutputPanes();
  void createStatusBar();
  void createTimersAndMenu();
  void createKeys();
  // Drops the help menu below its button, its first entry chosen.
  void showHelpMenu();
  // Shows the router the next cycle uses, and the last cycle's end.
  void showRouterSection();
  // main_window_socks.cpp
  void applySocksRoute();
  // router_session.cpp
  void createTelnetConnection();
  // RunCommand without the cap's error, which the caller raises once it has
  // written out what was kept; false when another cycle was running.
  bool runCycle(const std::string& command);
  // Raises the cap's error when the last cycle's answer was cut.
  void endCycleOnCutAnswer() const;
  // A command typed as text: nothing when it has no exact Shift-JIS form,
  // which is refused like a line break.
  void runTypedCommand(const std::optional<std::string>& command);
  // main_window_panel.cpp: what activating a panel entry runs, decided at
  // the activation.
  struct NodeActivation {
    int reference;
    std::string command;
  };
  std::optional<NodeActivation> activateNode(const QTreeWidgetItem* node);
  void runNodeCommand(const NodeActivation& activation);
  // main_window.cpp
  void wireHandlers();
  // main_window_startup.cpp
  void runStartUp();
  bool loadPanelFile();
  // False when the settings file is there but could not be read.
  bool readSettings();
  bool writeSettings();
  bool panelNeedsWriting() const;
  void processSwitches();
  // The command of argument `index` (empty past the end), refused when it has
  // no exact Shift-JIS form.
  std::optional<std::string> switchCommand(std::size_t index) const;
  // main_window_files.cpp
  std::string panelSourcePath() const;
  void applyRunSettings();
  std::string hostToSave() const;
  int routerModelToSave() const;
  // True when the user moved or resized the window or moved the splitter
  // since the window was first placed.
  bool userPlacedWindow() const;

  std::vector<std::string> arguments_;
  std::string programDirectory_;
  std::vector<std::string> panelLines_;
  bool hiddenRun_ = false;
  app::PaneLines memo1Lines_;
  std::unique_ptr<cycle::TickClock> tickClock_;
  std::string statusText_;
  int panel1Width_ = 0;
  bool terminateRequested_ = false;
  bool settingsRead_ = false;
  bool answerCut_ = false;
  app::AnswerOutcome lastOutcome_ = app::AnswerOutcome::NotShown;
  // The status text FinishCommand shows: how the cycle ended.
  const char* endStatus_ = nullptr;
  // The last cycle: the router it used, when it ended and how long it took.
  struct CycleRecord {
    std::string host;
    int routerModel = 0;
    QTime ended;
    double seconds = 0;
  };
  std::optional<CycleRecord> lastCycle_;
  CycleRecord runningCycle_;
  QElapsedTimer cycleClock_;
  // The panel file is there but could not be read: writing our empty panel
  // over it at close would destroy the user's panel. Lifted once the user
  // gives the panel a text of their own in the settings dialog.
  bool panelFileUnreadable_ = false;
  // The user's panel file as read at start-up; nothing when it was missing.
  std::optional<std::string> panelTextRead_;
  // The settings file as read at start-up, and the values this run started with.
  std::unique_ptr<app::SettingsFile> settingsFile_;
  app::Settings settingsAtStart_;
  // Where the window stood once it was first shown and placed.
  std::optional<QRect> placedGeometry_;
  bool splitterDragged_ = false;
  std::string defaultPanelPath_;
  app::RunSettings runSettings_;
  std::vector<bool> argumentHasNoAnsiForm_;
  std::string hostInFile_;
  int routerModelInFile_ = 0;
};

// Sets SuppressActivation while the program itself moves the tree selection,
// and puts back the value it found, however the scope is left.
class ActivationSuppressed {
 public:
  explicit ActivationSuppressed(TForm1& form) : form_(form), previous_(form.SuppressActivation) {
    form_.SuppressActivation = 1;
  }
  ~ActivationSuppressed() { form_.SuppressActivation = previous_; }
  ActivationSuppressed(const ActivationSuppressed&) = delete;
  ActivationSuppressed& operator=(const ActivationSuppressed&) = delete;

 private:
  TForm1& form_;
  int previous_;
};
