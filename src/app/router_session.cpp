// The command cycle: one TELNET connection per command. Connect, log in as
// "admin", send the command, collect the answer until the router's prompt
// returns, close, and show the answer without its echo and prompt lines.
//
// The cycle never returns to the application's loop while it waits; each wait
// serves both event sources itself, so socket events, the timers and the user
// all get through. A wait's first pass only takes what is already pending, so
// a condition that already holds ends it at once; every later pass sleeps until
// the next event, as nothing but an event can change what the wait looks at.
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include "app/answer_drain.h"
#include "app/capture.h"
#include "app/debug_output_log.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/session_texts.h"
#include "app/widget_text.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/message_processing.h"
#include "telnet/telnet_connection.h"

namespace {

const QColor kLampIdle(255, 255, 255);
const QColor kLampAqua(0, 255, 255);
const QColor kLampRed(255, 0, 0);

// The connection gets 4 ticks of Timer2; the other waits share 16 ticks from
// the start of the connection.
constexpr int kConnectTickLimit = 3;
constexpr int kWaitTickLimit = 15;

constexpr char kLoginPrompt[] = "login:";
constexpr char kLoginAnswer[] = "admin\r";
constexpr char kWakeUp[] = "\r";
constexpr char kLineEnd[] = "\r";

// The most of a router's answer a cycle keeps. Real answers are a few hundred
// kilobytes at most; a router that never stops must not eat the machine.
constexpr std::size_t kAnswerLimit = std::size_t{64} << 20;

// The longest command sent. Real commands are a line or two; anything longer
// is a paste gone wrong, which the router would take as garbage.
constexpr std::size_t kCommandLimit = std::size_t{64} << 10;

// A line break inside a command would reach the router as two commands in one
// session, and their answers would mix.
bool HasLineBreak(const std::string& command) {
  return command.find_first_of("\r\n") != std::string::npos;
}

// Serves whatever is pending; from the second pass on, sleeps until there is
// something first.
void PumpOnce(bool firstPass) {
  if (firstPass) {
    platform::ProcessMessages();
  } else {
    platform::ProcessMessagesWaiting();
  }
}

// Timer2 counts only while a wait is in progress. An error that leaves a wait
// (raised by a handler served inside it) must not leave the tick timer running
// while the window is idle.
class TickTimerRunning {
 public:
  explicit TickTimerRunning(QTimer* timer) : timer_(timer) { timer_->start(); }
  ~TickTimerRunning() { timer_->stop(); }
  TickTimerRunning(const TickTimerRunning&) = delete;
  TickTimerRunning& operator=(const TickTimerRunning&) = delete;

 private:
  QTimer* timer_;
};

}  // namespace

void TForm1::createTelnetConnection() {
  app::RouteDebugOutputToLog();
  TelnetConnection1 = std::make_unique<telnet::TTelnetConnection>(nullptr);
  TelnetConnection1->SetName("TelnetConnection1");
  TelnetConnection1->SetHost("192.168.0.1");
  TelnetConnection1->SetPort("23");
  TelnetConnection1->SetTermType("VT100");
  TelnetConnection1->SetLocation("VANTREL");
  TelnetConnection1->SetLocalEcho(false);
  TelnetConnection1->OnDataAvailable = [this](telnet::TTelnetConnection* sender, const char* buffer,
                                              int len) {
    TelnetConnection1DataAvailable(sender, buffer, len);
  };
}

void TForm1::RunCommand(const std::string& command) {
  if (runCycle(command)) {
    endCycleOnCutAnswer();
  }
}

void TForm1::runTypedCommand(const std::optional<std::string>& command) {
  if (TreeView1Tag != 0) {
    return;
  }
  if (!command) {
    throw platform::Exception(app::texts::kCommandNotShiftJis);
  }
  RunCommand(*command);
}

bool TForm1::runCycle(const std::string& command) {
  if (TreeView1Tag != 0) {
    return false;
  }
  refuseUnsendableCommand(command);
  answerCut_ = false;
  cycleWaits_ = {};
  lastOutcome_ = app::AnswerOutcome::NotShown;
  TreeView1Tag = 1;
  emit commandStarted(QByteArray::fromStdString(command));
  SetStatusText(app::texts::kStatusRetrieving);
  Memo1->setUpdatesEnabled(false);
  FlatEdit1->setText(app::FromAnsiEditable(command));
  LastCommand = command;
  Timer1->start();

  // Closing the window releases the form's list while this cycle may still
  // be unwinding; the cycle keeps its own hold on it.
  if (!CaptureList) {
    CaptureList = std::make_shared<std::vector<app::LineSpan>>();
  }
  const std::shared_ptr<std::vector<app::LineSpan>> captureList = CaptureList;
  ClearCapture();
  Memo1Clear();
  captureList->clear();

  try {
    if (ConnectAndLogin()) {
      // What arrived during the log-in is not part of the answer.
      ClearCapture();
      TelnetConnection1->SendStr(command + kLineEnd);
      cycleWaits_.commandWait = waitForCommandPrompt();
      cycleWaits_.answerCut = answerCut_;
      lastOutcome_ = app::DecideAnswerOutcome(cycleWaits_);
      if (lastOutcome_ != app::AnswerOutcome::NotShown) {
        showOutput(*captureList, app::KeepsLastLine(lastOutcome_));
      }
    }
    CloseConnection();
  } catch (...) {
    // An error leaves the connection as it is; the next Connect closes it.
    lastOutcome_ = app::AnswerOutcome::NotShown;
    FinishCommand();
    throw;
  }
  FinishCommand();
  return true;
}

void TForm1::endCycleOnCutAnswer() const {
  if (lastOutcome_ == app::AnswerOutcome::Cut) {
    throw platform::Exception(app::texts::kAnswerTooLong);
  }
}

void TForm1::refuseUnsendableCommand(const std::string& command) {
  if (HasLineBreak(command)) {
    throw platform::Exception(app::texts::kCommandHasLineBreak);
  }
  if (command.size() > kCommandLimit) {
    throw platform::Exception(app::texts::kCommandTooLong);
  }
}

bool TForm1::ConnectAndLogin() {
  startConnection();
  TickCount = 0;
  AbortRequested = 0;
  if (!waitForConnection()) {
    app::ShowMessageBox(this, app::FromAnsi(app::texts::kErrorCaption), loginFailedText(),
                        app::BoxKind::Error);
    return false;
  }
  TelnetConnection1->SendStr(kWakeUp);
  cycleWaits_.logInPromptFound = waitForLogInText(kLoginPrompt);
  TelnetConnection1->SendStr(kLoginAnswer);
  WaitForPrompt();
  return true;
}

bool TForm1::waitForConnection() {
  const TickTimerRunning ticking(Timer2);
  for (bool firstPass = true; !TelnetConnection1->IsConnected(); firstPass = false) {
    PumpOnce(firstPass);
    if (TickCount > kConnectTickLimit || AbortRequested == 1 || proxyConnectionFailed()) {
      return false;
    }
  }
  return true;
}

void TForm1::WaitForText(const std::string& text) { waitForLogInText(text); }

bool TForm1::waitForLogInText(const std::string& text) {
  const bool found = waitForText(text);
  endCycleOnOverrun();
  return found;
}

bool TForm1::waitForText(const std::string& text) {
  waitSearch_.Start(text);
  bool found = waitSearch_.Find(ReceiveBuffer);
  const TickTimerRunning ticking(Timer2);
  for (bool firstPass = true; !found; firstPass = false) {
    PumpOnce(firstPass);
    found = waitSearch_.Find(ReceiveBuffer);
    if (waitMustEnd()) {
      break;
    }
  }
  if (found) {
    readWhatHasArrived();
  }
  return found;
}

bool TForm1::waitMustEnd() const {
  return !TelnetConnection1->IsConnected() || AbortRequested == 1 || TickCount > kWaitTickLimit ||
         answerCut_;
}

void TForm1::readWhatHasArrived() {
  // Events are served in short slices, so the text may have turned up while
  // more of what the router had already sent was still unread. That belongs
  // to the answer; what the router sends later does not, and is not waited
  // for. The cap, the tick limit and an abort bound this as any wait.
  while (!answerCut_ && AbortRequested != 1 && TickCount <= kWaitTickLimit &&
         app::RouterDataWaiting(*TelnetConnection1)) {
    // Bytes wait, so an event for them is on its way: sleep until it comes.
    platform::ProcessMessagesWaiting();
  }
}

app::CommandWaitEnd TForm1::waitForCommandPrompt() {
  const std::optional<std::string> prompt = app::PromptForModel(RouterModel);
  if (!prompt) {
    return app::CommandWaitEnd::NoPromptAwaited;
  }
  const bool found = waitForText(*prompt);
  endCycleOnSendBacklog();
  if (AbortRequested == 1) {
    return app::CommandWaitEnd::Aborted;
  }
  return found ? app::CommandWaitEnd::PromptFound : app::CommandWaitEnd::GaveUp;
}

void TForm1::endCycleOnOverrun() {
  if (answerCut_) {
    CloseConnection();
    // A hidden run never shows its pane, and the error skips the "-cd" box.
    if (CaptureList && !hiddenRun_) {
      showOutput(*CaptureList, true);
    }
    throw platform::Exception(app::texts::kAnswerTooLong);
  }
  endCycleOnSendBacklog();
}

void TForm1::endCycleOnSendBacklog() {
  if (TelnetConnection1->SendBacklogExceeded()) {
    CloseConnection();
    throw platform::Exception(app::texts::kRouterNotReading);
  }
}

void TForm1::WaitForPrompt() {
  // The model may change while a cycle waits (the settings dialog), so it is
  // looked up at each wait.
  if (const std::optional<std::string> prompt = app::PromptForModel(RouterModel)) {
    cycleWaits_.modelPromptFoundAfterLogIn = waitForLogInText(*prompt);
  }
}

void TForm1::ClearCapture() {
  // The pane may still show lines of these bytes; it keeps them.
  memo1Lines_.HandOver(ReceiveBuffer);
  ReceiveBuffer.clear();
  if (CaptureList) {
    CaptureList->clear();
  }
}

void TForm1::CloseConnection() { TelnetConnection1->Close(); }

void TForm1::showOutput(std::vector<app::LineSpan>& captureList, bool keepLastLine) {
  captureList = keepLastLine ? app::ShownLineSpansKeepingLastLine(ReceiveBuffer)
                             : app::ShownLineSpans(ReceiveBuffer);
  Memo1AddAnswer(captureList);
}

void TForm1::FinishCommand() {
  Timer1->stop();
  SetLampColor(Label1, kLampIdle);
  SetLampColor(Label5, kLampIdle);
  Memo1->setUpdatesEnabled(true);
  Memo1->repaint();
  TreeView1->setEnabled(true);
  // An answer shown as far as it came must not read as complete.
  SetStatusText(app::KeepsLastLine(lastOutcome_) ? app::texts::kAnswerIncomplete
                                                 : app::texts::kStatusRetrieved);
  TreeView1Tag = 0;
}

void TForm1::TelnetConnection1DataAvailable(telnet::TTelnetConnection*, const char* buffer,
                                            int len) {
  // Past the limit nothing more is kept; the wait sees the mark within a few
  // milliseconds and ends the cycle.
  if (answerCut_) {
    return;
  }
  app::AppendReceivedBatch(ReceiveBuffer, buffer, len > 0 ? static_cast<std::size_t>(len) : 0);
  if (ReceiveBuffer.size() > kAnswerLimit) {
    ReceiveBuffer.resize(kAnswerLimit);
    answerCut_ = true;
  }
}

void TForm1::FlatEdit1KeyPress(char& Key) {
  if (Key != '\r') {
    return;
  }
  // Moving the selection back to the top must not run the first entry, also
  // when the cycle ends in an error. The flag is put back as it was: Enter
  // pressed while another cycle waits must not lift the suppression of the
  // handler that started that cycle.
  const ActivationSuppressed suppressed(*this);

  runTypedCommand(platform::Utf8ToAnsiExact(FlatEdit1->text().toStdString()));
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
  if (LampColor(Label5) == kLampIdle) {
    SetLampColor(Label5, kLampAqua);
    SetLampColor(Label1, kLampIdle);
  } else if (LampColor(Label1) == kLampIdle) {
    SetLampColor(Label5, kLampIdle);
    SetLampColor(Label1, kLampRed);
  }
}

void TForm1::Timer2Timer() { ++TickCount; }
