// One command cycle against one router, apart from any window: connect, log in
// as "admin", send the command, collect the answer until the router's prompt
// returns, close. The waits are states that events move on (data, the
// connection's coming and going, ticks), never loops of their own, so several
// cycles share one event loop and each keeps its own ticks and limits.
//
// A wait ends when its text has come, and then only once what the router had
// already sent is read too (the socket has nothing more to read and no
// notification is queued for it); it gives up at the connection's end, at an
// abort, at the cycle's tick limit or when the answer outgrew what a cycle
// keeps. Whether the answer is complete is decided by the command's own wait
// alone.
#pragma once

#include <QObject>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cycle/capture.h"

namespace telnet {
class TTelnetConnection;
struct SocksRoute;
}  // namespace telnet

namespace cycle {

// Where a cycle's ticks come from. A cycle counts ticks only while it waits
// and sets the count to 0 once, when it starts to connect, so all its waits
// share one budget.
class TickClock {
 public:
  virtual ~TickClock() = default;
  virtual void Reset() = 0;
  // Starting from the stopped state begins a fresh period; stopping drops
  // the part of a period already gone.
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual int Count() const = 0;
};

enum class Phase { Idle, Connecting, AwaitingLogin, AwaitingModelPrompt, AwaitingAnswer, Finished };

enum class Outcome {
  Complete,      // the command's prompt came (or no prompt is awaited)
  Incomplete,    // the command's wait gave up: its limit, or the connection ended
  NotConnected,  // no connection within its ticks, an abort, a name that does not
                 // resolve, or the proxy failed it
  Aborted,       // an abort after connecting; nothing is shown
  Failed,        // an error ended the cycle, see Failure
};

enum class Failure {
  None,
  AnswerTooLong,        // the cap cut the answer; the lines kept are in the result
  RouterNotReading,     // the send bound was passed
  CommandHasLineBreak,  // refused before connecting
  CommandTooLong,       // over 64 KiB, refused before connecting
  LowerLayer,           // the socket or TELNET layer raised an error; `reason` says it
};

struct CycleResult {
  Outcome outcome = Outcome::Complete;
  Failure failure = Failure::None;
  // The lower layers' own words (a proxy's refusal, a socket error), or why a
  // connection to the router did not come about (refused, no answer in time,
  // a name without an address, each with the address); empty after an abort.
  // Shift-JIS.
  std::string reason;
  // The lines to show, as spans into the cycle's receive buffer.
  std::vector<LineSpan> lines;
};

// The text a user reads about `result`, Shift-JIS; empty when there is
// nothing to tell. Both front-ends take their words from here.
std::string MessageText(const CycleResult& result);

// True when a command cannot be sent as it is; the failure says why.
Failure CommandProblem(const std::string& command);

class CommandCycle : public QObject {
 public:
  // Limits of a cycle, in ticks of its clock: the connection gives up when the
  // count exceeds the first, every other wait when it exceeds the second.
  static constexpr int kConnectTickLimit = 3;
  static constexpr int kWaitTickLimit = 15;
  // Ticks a held-back read may last before the router counts as not reading.
  static constexpr int kHeldBackTickLimit = 2;
  static constexpr int kTickIntervalMs = 1000;
  // The most of an answer a cycle keeps. Real answers are a few hundred
  // kilobytes at most; a router that never stops must not eat the machine.
  static constexpr std::size_t kAnswerLimit = std::size_t{64} << 20;
  // Longest the log-in name waits, once the log-in prompt came, for the
  // terminal-type request the router has agreed to make.
  static constexpr int kLoginHoldMs = 200;
  // Before the command's answer, what the waits have searched past is
  // dropped once this much of it has gathered: a router that floods us
  // before the log-in must not grow a buffer nobody will show.
  static constexpr std::size_t kSearchedKeep = std::size_t{64} << 10;

  CommandCycle();
  ~CommandCycle() override;
  CommandCycle(const CommandCycle&) = delete;
  CommandCycle& operator=(const CommandCycle&) = delete;

  // The cycle's TELNET connection: its host, port and SOCKS route are the
  // owner's to set before a start.
  telnet::TTelnetConnection& Connection() { return *connection_; }

  // --- what the owner may plug in -------------------------------------------
  // The model whose prompt a wait awaits, asked at the start of each wait, so
  // a model changed during a cycle counts for its later waits.
  void SetRouterModel(int model) { routerModel_ = model; }
  std::function<int()> RouterModelSource;
  // Looks at a proxy route before it is used; a text says what is wrong with
  // it, and the connection then fails with that reason, nothing sent.
  std::function<std::string(const telnet::SocksRoute&)> SocksRouteProblem;
  // Asked at every check besides Abort(), for an owner with a flag of its own.
  std::function<bool()> AbortSource;
  // Null: the cycle's own 1000 ms clock. The owner of another clock calls
  // Check() after each of its ticks.
  void SetTickClock(TickClock* clock);
  // Null: the cycle's own buffer. Otherwise the owner's string is filled, and
  // it must outlive the cycle.
  void SetReceiveBuffer(std::string* buffer);
  // A connection the system refuses ends the connection's wait at once
  // instead of at its tick limit: a console run has nothing to wait for.
  void SetEndWaitOnRefusal(bool value) { endWaitOnRefusal_ = value; }

  // --- events ---------------------------------------------------------------------
  std::function<void(Phase from, Phase to)> OnPhaseChanged;
  // Raised right after the connection was started and the ticks reset.
  std::function<void()> OnConnectionStarted;
  // Raised before the receive buffer is emptied.
  std::function<void()> OnCaptureClearing;
  std::function<void(const CycleResult&)> OnFinished;
  // Set before a start: the command's answer leaves line by line while it
  // arrives, each shown line as soon as it is known to be one, instead of
  // staying in the receive buffer; the result then holds no lines. The cap
  // counts the whole answer all the same. A line longer than
  // AnswerLineStream::kLongLine comes in pieces as it arrives, `lineEnds`
  // false but for the last.
  std::function<void(std::string_view text, bool lineEnds)> OnAnswerLine;

  // --- operations -----------------------------------------------------------------
  // Starts a cycle for `command` (without its CR). A command that cannot be
  // sent finishes the cycle at once, before connecting. Not while one runs.
  void Start(const std::string& command);
  // Looks at the current wait and moves on if it is over. Events call it; an
  // owner that serves the events itself calls it after each round.
  void Check();
  void Abort();
  // Forgets a running cycle without an ending: the clock stops, the
  // connection stays as it is. For an owner whose own error ends the cycle.
  void Abandon();
  // While held the cycle takes data and ticks but makes no progress.
  void Hold();
  void Release();

  // Received data for the cycle, as the connection delivers it: NULs dropped,
  // cut at the cap.
  void DataAvailable(const char* buffer, int len);

  bool Running() const { return phase_ != Phase::Idle && phase_ != Phase::Finished; }
  Phase CurrentPhase() const { return phase_; }
  const CycleResult& Result() const { return result_; }
  const std::string& ReceiveBuffer() const { return *buffer_; }
  int Ticks() const { return clock_->Count(); }
  bool AnswerCut() const { return answerCut_; }

 private:
  class OwnClock;

  void setPhase(Phase phase);
  void startConnection();
  bool proxyFailed();
  bool aborted() const;
  bool refused() const;
  int routerModel() const;
  // One step of the state machine; false when the current state waits on.
  bool step();
  bool waitIsOver();
  bool nothingMoreArrived() const;
  bool routerTakesNoAnswers();
  bool holdsLoginName();
  void beginWait(Phase phase, const std::string& text);
  void endWait();
  void awaitModelPrompt();
  void sendCommand();
  void endAnswer(bool promptCame);
  void clearCapture();
  void streamAnswer();
  void dropWhatTheWaitPassed();
  void finish(Outcome outcome, Failure failure = Failure::None);
  // Asks for a check: at the end of the round of messages under way, or
  // (`throughQt`, or outside a round) from Qt's queue.
  void requestCheck(bool throughQt = false);

  std::unique_ptr<telnet::TTelnetConnection> connection_;
  std::unique_ptr<OwnClock> ownClock_;
  TickClock* clock_ = nullptr;
  std::string ownBuffer_;
  std::string* buffer_ = &ownBuffer_;

  Phase phase_ = Phase::Idle;
  std::string command_;
  int routerModel_ = -1;
  bool endWaitOnRefusal_ = false;
  bool abortRequested_ = false;
  bool answerCut_ = false;
  IncrementalSearch search_;
  AnswerLineStream answerStream_;
  bool streaming_ = false;
  // Bytes of the answer already streamed, or of what came before it already
  // dropped: the cap counts them as if they were still kept.
  std::size_t answerTaken_ = 0;
  bool textFound_ = false;
  bool waitBegunThisRound_ = false;
  // The tick at which the connection began to hold its reading back, or -1.
  int heldBackSince_ = -1;
  // When the log-in name began to wait for the terminal-type request.
  std::optional<std::chrono::steady_clock::time_point> loginHeldSince_;
  std::string proxyFailure_;
  CycleResult result_;
  int held_ = 0;
  bool checking_ = false;
  bool checkPosted_ = false;
  // The check under way runs right at the end of a round of messages.
  bool checkEndsRound_ = false;
  // That check left its decision to the next one, and our answers with it.
  bool repliesWaitForNextCheck_ = false;
  // What the wait is for, and the tick at which it was found with more after
  // it.
  std::string waitText_;
  std::optional<int> strayWaitTick_;
};

// Holds a cycle for as long as it lives.
class CycleHold {
 public:
  explicit CycleHold(CommandCycle& cycle) : cycle_(cycle) { cycle_.Hold(); }
  ~CycleHold() { cycle_.Release(); }
  CycleHold(const CycleHold&) = delete;
  CycleHold& operator=(const CycleHold&) = delete;

 private:
  CommandCycle& cycle_;
};

}  // namespace cycle
