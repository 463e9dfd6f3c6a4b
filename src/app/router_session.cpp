// The command cycle as the window runs it: the busy mark, the lamps, the
// status text and the output pane around one cycle of the engine
// (cycle/command_cycle.h), which connects, logs in, waits and captures.
//
// The window's RunCommand does not return to the application's loop while
// the engine works: it serves both event sources itself, so socket events,
// the timers and the user all get through, and looks at the engine after each
// round. A round's first pass only takes what is already pending; every later
// one sleeps until the next event. The engine counts the window's TickCount,
// which Timer2 advances, so a handler sees the very count the limits apply to.
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include "app/accessible_window.h"
#include "app/debug_output_log.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/output_pane.h"
#include "app/session_texts.h"
#include "app/widget_text.h"
#include "cycle/command_cycle.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/message_processing.h"
#include "telnet/telnet_connection.h"

namespace {

const QColor kLampIdle(255, 255, 255);
const QColor kLampAqua(0, 255, 255);
const QColor kLampRed(255, 0, 0);

// Serves whatever is pending; from the second pass on, sleeps until there is
// something first.
void PumpOnce(bool firstPass) {
  if (firstPass) {
    platform::ProcessMessages();
  } else {
    platform::ProcessMessagesWaiting();
  }
}

// The engine's ticks are the window's: Timer2 advances TickCount, and the
// engine starts and stops Timer2 around its waits.
class WindowTickClock : public cycle::TickClock {
 public:
  WindowTickClock(QTimer* timer, int& count) : timer_(timer), count_(count) {}
  void Reset() override { count_ = 0; }
  void Start() override { timer_->start(); }
  void Stop() override { timer_->stop(); }
  int Count() const override { return count_; }

 private:
  QTimer* timer_;
  int& count_;
};

// The engine's ending in the terms the window and its hidden run show it by.
app::AnswerOutcome AnswerOutcomeOf(const cycle::CycleResult& result) {
  switch (result.outcome) {
    case cycle::Outcome::Complete:
      return app::AnswerOutcome::Complete;
    case cycle::Outcome::Incomplete:
      return app::AnswerOutcome::Incomplete;
    case cycle::Outcome::Failed:
      return result.failure == cycle::Failure::AnswerTooLong ? app::AnswerOutcome::Cut
                                                             : app::AnswerOutcome::NotShown;
    default:
      return app::AnswerOutcome::NotShown;
  }
}

// The status text at the end of a cycle. A connection the user stopped gives
// no reason of its own.
const char* EndStatusOf(const cycle::CycleResult& result, bool abortRequested) {
  switch (result.outcome) {
    case cycle::Outcome::Complete:
      return app::texts::kStatusRetrieved;
    case cycle::Outcome::Incomplete:
      return app::texts::kAnswerIncomplete;
    case cycle::Outcome::Aborted:
      return app::texts::kStatusAborted;
    case cycle::Outcome::NotConnected:
      return abortRequested && result.reason.empty() ? app::texts::kStatusAborted
                                                     : app::texts::kStatusFailed;
    case cycle::Outcome::Failed:
      break;
  }
  // An answer cut short says so where the status would call it complete.
  return result.failure == cycle::Failure::AnswerTooLong ? app::texts::kAnswerIncomplete
                                                         : app::texts::kStatusFailed;
}

}  // namespace

void TForm1::createTelnetConnection() {
  app::RouteDebugOutputToLog();
  CommandCycle1 = std::make_unique<cycle::CommandCycle>();
  tickClock_ = std::make_unique<WindowTickClock>(Timer2, TickCount);
  CommandCycle1->SetTickClock(tickClock_.get());
  CommandCycle1->SetReceiveBuffer(&ReceiveBuffer);
  CommandCycle1->RouterModelSource = [this] { return RouterModel; };
  CommandCycle1->AbortSource = [this] { return AbortRequested == 1; };
  CommandCycle1->OnConnectionStarted = [this] { AbortRequested = 0; };
  CommandCycle1->OnCaptureClearing = [this] {
    // The pane may still show lines of these bytes; it keeps them.
    memo1Lines_.HandOver(ReceiveBuffer);
    if (CaptureList) {
      CaptureList->clear();
    }
  };
  TelnetConnection1 = &CommandCycle1->Connection();
  TelnetConnection1->SetName("TelnetConnection1");
  TelnetConnection1->SetHost("192.168.0.1");
  TelnetConnection1->SetPort("23");
  TelnetConnection1->SetTermType("VT100");
  TelnetConnection1->SetLocation("VANTREL");
  TelnetConnection1->SetLocalEcho(false);
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
  // Refused before anything is sent, as the engine would refuse it.
  if (const cycle::Failure problem = cycle::CommandProblem(command);
      problem != cycle::Failure::None) {
    cycle::CycleResult refused;
    refused.outcome = cycle::Outcome::Failed;
    refused.failure = problem;
    throw platform::Exception(cycle::MessageText(refused));
  }
  answerCut_ = false;
  lastOutcome_ = app::AnswerOutcome::NotShown;
  TreeView1Tag = 1;
  cycleClock_.start();
  runningCycle_ = CycleRecord{Host(), RouterModel, {}, 0};
  showRouterSection();
  app::AnnounceLampState(Panel3);
  emit commandStarted(QByteArray::fromStdString(command));
  SetStatusText(app::texts::kStatusRetrieving);
  // The pane keeps drawing during the cycle (what it holds: nothing, once
  // cleared), so a resize or an uncovered part never stays unpainted; the
  // answer reaches it at the cycle's end.
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
    CommandCycle1->Start(command);
    for (bool firstPass = true; CommandCycle1->Running(); firstPass = false) {
      PumpOnce(firstPass);
      CommandCycle1->Check();
    }
  } catch (...) {
    // An error of another handler served meanwhile ends the cycle; the
    // connection stays as it is and the next Connect closes it.
    CommandCycle1->Abandon();
    endStatus_ = app::texts::kStatusFailed;
    FinishCommand();
    throw;
  }
  const cycle::CycleResult result = CommandCycle1->Result();
  answerCut_ = CommandCycle1->AnswerCut();
  lastOutcome_ = AnswerOutcomeOf(result);
  *captureList = result.lines;
  Memo1AddAnswer(result.lines);
  endStatus_ = EndStatusOf(result, AbortRequested == 1);
  if (result.outcome == cycle::Outcome::NotConnected) {
    app::ShowMessageBox(this, app::FromAnsi(app::texts::kErrorCaption),
                        app::FromAnsi(cycle::MessageText(result)), app::BoxKind::Error);
  }
  FinishCommand();
  // The cap's error is the caller's, once it has written out what was kept.
  if (result.outcome == cycle::Outcome::Failed && !answerCut_) {
    throw platform::Exception(cycle::MessageText(result));
  }
  return true;
}

void TForm1::endCycleOnCutAnswer() const {
  if (lastOutcome_ == app::AnswerOutcome::Cut) {
    throw platform::Exception(app::texts::kAnswerTooLong);
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

void TForm1::FinishCommand() {
  Timer1->stop();
  SetLampColor(Label1, kLampIdle);
  SetLampColor(Label5, kLampIdle);
  Memo1->repaint();
  TreeView1->setEnabled(true);
  SetStatusText(endStatus_ != nullptr ? endStatus_ : app::texts::kStatusRetrieved);
  TreeView1Tag = 0;
  runningCycle_.ended = QTime::currentTime();
  runningCycle_.seconds = static_cast<double>(cycleClock_.nsecsElapsed()) / 1e9;
  lastCycle_ = runningCycle_;
  showRouterSection();
  app::AnnounceLampState(Panel3);
}

void TForm1::TelnetConnection1DataAvailable(telnet::TTelnetConnection*, const char* buffer,
                                            int len) {
  CommandCycle1->DataAvailable(buffer, len);
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
