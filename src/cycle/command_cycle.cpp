// The command cycle's states and the one place that moves between them.
//
// Events never act inside the socket's own handlers: they only take what came
// and ask for a check, which runs once the event source has returned. Closing
// the connection from within its read handler would pull the socket from
// under the code that is still reading.
#include "cycle/command_cycle.h"

#include <QMetaObject>
#include <QScopedValueRollback>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <utility>

#include "cycle/cycle_texts.h"
#include "cycle/message_pump.h"
#include "platform/exception.h"
#include "platform/window_messages.h"
#include "socket/socket_library.h"
#include "socket/socket_resolve.h"
#include "telnet/telnet_connection.h"

namespace cycle {

namespace {

constexpr char kLoginPrompt[] = "login:";
constexpr char kLoginAnswer[] = "admin\r";
constexpr char kWakeUp[] = "\r";
constexpr char kLineEnd[] = "\r";
constexpr std::size_t kCommandLimit = std::size_t{64} << 10;
// The reason when a proxy accepted the connection (or never answered it) and
// said nothing within the connection's ticks.
constexpr char kSocksServerSilent[] = "SOCKS server did not answer";
// The system's code for a connection the other end refused.
constexpr std::uint16_t kConnectionRefusedCode = 10061;

// Where the line after the one holding `match` starts, when that line has
// ended and anything but line ends came after it; npos otherwise.
std::size_t LineAfterMatch(std::string_view received, std::size_t match) {
  const std::size_t end = received.find_first_of("\r\n", match);
  if (end == std::string_view::npos) return std::string_view::npos;
  const std::size_t next = received.find_first_not_of("\r\n", end);
  if (next == std::string_view::npos) return std::string_view::npos;
  // Past the line end itself: a CR or LF is never the trail byte of a
  // character, so a character starts right after it.
  return received[end] == '\r' && end + 1 < received.size() && received[end + 1] == '\n'
             ? end + 2
             : end + 1;
}

std::string ErrorText(const std::exception& error) {
  if (const auto* own = dynamic_cast<const platform::Exception*>(&error)) return own->Message();
  return error.what();
}

std::string WithAddress(const char* pattern, const std::string& address) {
  std::string text = pattern;
  text.replace(text.find("%s"), 2, address);
  return text;
}

// Why a direct connection did not come about within its ticks, told with the
// address it went to: the user's first question is which router, the second
// whether it refused or never answered.
std::string DirectConnectionFailure(const telnet::TTelnetConnection& connection) {
  const std::optional<std::uint16_t> code = connection.ConnectResult();
  if (!code || *code == 0) return WithAddress(texts::kNoAnswerInTime, connection.Host());
  if (*code == kConnectionRefusedCode) {
    return WithAddress(texts::kConnectionRefused, connection.Host());
  }
  return WithAddress(texts::kCannotConnect, connection.Host()) + net::SocketErrorText(*code);
}

bool HostResolves(const std::string& host) {
  try {
    net::SocketResolveHost(host);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::string MessageText(const CycleResult& result) {
  switch (result.outcome) {
    case Outcome::Complete:
    case Outcome::Aborted:
      return {};
    case Outcome::Incomplete:
      return texts::kAnswerIncomplete;
    case Outcome::NotConnected: {
      // Why, on a second line: the proxy's words, or what became of the
      // connection to the router.
      std::string text = texts::kLoginFailed;
      if (!result.reason.empty()) text += "\n" + result.reason;
      return text;
    }
    case Outcome::Failed:
      break;
  }
  switch (result.failure) {
    case Failure::AnswerTooLong:
      return texts::kAnswerTooLong;
    case Failure::RouterNotReading:
      return texts::kRouterNotReading;
    case Failure::CommandHasLineBreak:
      return texts::kCommandHasLineBreak;
    case Failure::CommandTooLong:
      return texts::kCommandTooLong;
    case Failure::LowerLayer:
    case Failure::None:
      break;
  }
  return result.reason;
}

Failure CommandProblem(const std::string& command) {
  // A line break would reach the router as two commands in one session, and
  // their answers would mix.
  if (command.find_first_of("\r\n") != std::string::npos) return Failure::CommandHasLineBreak;
  // Real commands are a line or two; anything longer is a paste gone wrong.
  if (command.size() > kCommandLimit) return Failure::CommandTooLong;
  return Failure::None;
}

// The cycle's own clock, for cycles that run without a window.
class CommandCycle::OwnClock : public TickClock {
 public:
  explicit OwnClock(CommandCycle& cycle) {
    timer_.setInterval(kTickIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, &cycle, [this, &cycle] {
      ++count_;
      cycle.Check();
    });
  }
  void Reset() override { count_ = 0; }
  void Start() override { timer_.start(); }
  void Stop() override { timer_.stop(); }
  int Count() const override { return count_; }

 private:
  QTimer timer_;
  int count_ = 0;
};

CommandCycle::CommandCycle()
    : connection_(std::make_unique<telnet::TTelnetConnection>(nullptr)),
      ownClock_(std::make_unique<OwnClock>(*this)),
      clock_(ownClock_.get()) {
  connection_->OnDataAvailable = [this](telnet::TTelnetConnection*, const char* buffer, int len) {
    DataAvailable(buffer, len);
  };
  connection_->OnSessionConnected = [this](telnet::TTelnetConnection*, std::uint16_t) {
    requestCheck();
  };
  connection_->OnSessionClosed = [this](telnet::TTelnetConnection*, std::uint16_t) {
    requestCheck();
  };
  // The answers to the router's requests leave at the end of the check their
  // read causes, or along with what that check sends.
  connection_->OnRepliesWaiting = [this](telnet::TTelnetConnection* sender) {
    if (Running()) {
      requestCheck();
    } else {
      sender->FlushReplies();
    }
  };
}

CommandCycle::~CommandCycle() {
  // Another owner's clock may be gone already; it is not ours to stop.
  connection_->OnDataAvailable = nullptr;
  connection_->OnSessionConnected = nullptr;
  connection_->OnSessionClosed = nullptr;
  connection_->OnRepliesWaiting = nullptr;
}

void CommandCycle::SetTickClock(TickClock* clock) {
  clock_->Stop();
  clock_ = clock != nullptr ? clock : ownClock_.get();
}

void CommandCycle::SetReceiveBuffer(std::string* buffer) {
  buffer_ = buffer != nullptr ? buffer : &ownBuffer_;
}

void CommandCycle::setPhase(Phase phase) {
  const Phase from = phase_;
  phase_ = phase;
  if (OnPhaseChanged && from != phase) OnPhaseChanged(from, phase);
}

void CommandCycle::Start(const std::string& command) {
  if (Running()) return;
  command_ = command;
  result_ = CycleResult{};
  answerCut_ = false;
  streaming_ = false;
  answerTaken_ = 0;
  abortRequested_ = false;
  if (const Failure problem = CommandProblem(command); problem != Failure::None) {
    finish(Outcome::Failed, problem);
    return;
  }
  clearCapture();
  try {
    startConnection();
  } catch (const std::exception& error) {
    // A router name without an address is a router that can't be reached,
    // told as one; the name is looked up again only on this road.
    if (connection_->Socks().server.empty() && !HostResolves(connection_->Host())) {
      result_.reason = WithAddress(texts::kHostNameNotFound, connection_->Host());
      finish(Outcome::NotConnected);
      return;
    }
    result_.reason = ErrorText(error);
    finish(Outcome::Failed, Failure::LowerLayer);
    return;
  }
  clock_->Reset();
  if (OnConnectionStarted) OnConnectionStarted();
  setPhase(Phase::Connecting);
  clock_->Start();
  Check();
}

void CommandCycle::startConnection() {
  proxyFailure_.clear();
  if (connection_->Socks().server.empty()) {
    connection_->Connect();
    return;
  }
  if (SocksRouteProblem) {
    proxyFailure_ = SocksRouteProblem(connection_->Socks());
    if (!proxyFailure_.empty()) return;
  }
  // A proxy setting the socket refuses (a level it does not know, a name
  // that does not resolve) is the proxy's failure, told like the others.
  try {
    connection_->Connect();
  } catch (const std::exception& error) {
    proxyFailure_ = ErrorText(error);
    if (proxyFailure_.empty()) proxyFailure_ = "SOCKS proxy not usable";
  }
}

bool CommandCycle::proxyFailed() {
  if (connection_->Socks().server.empty()) return false;
  if (!proxyFailure_.empty()) return true;
  const std::optional<std::uint16_t> result = connection_->ConnectResult();
  if (!result || *result == 0) return false;
  proxyFailure_ = connection_->SocksErrorText();
  if (proxyFailure_.empty()) proxyFailure_ = net::SocketErrorText(*result);
  return true;
}

bool CommandCycle::refused() const {
  const std::optional<std::uint16_t> result = connection_->ConnectResult();
  return endWaitOnRefusal_ && result && *result != 0;
}

bool CommandCycle::aborted() const { return abortRequested_ || (AbortSource && AbortSource()); }

int CommandCycle::routerModel() const {
  return RouterModelSource ? RouterModelSource() : routerModel_;
}

void CommandCycle::Abort() {
  abortRequested_ = true;
  requestCheck();
}

void CommandCycle::Abandon() {
  clock_->Stop();
  if (Running()) setPhase(Phase::Idle);
}

void CommandCycle::Hold() { ++held_; }

void CommandCycle::Release() {
  if (held_ > 0 && --held_ == 0) requestCheck();
}

void CommandCycle::requestCheck(bool throughQt) {
  if (checkPosted_ || !Running()) return;
  checkPosted_ = true;
  // Asked for by a handler of arriving data (the usual case): the check runs
  // once the messages waiting now are handled, so it sees all they brought.
  if (!throughQt && PlatformMessagePump::RunAfterThisRound(this, [this] {
        checkPosted_ = false;
        const QScopedValueRollback endsRound(checkEndsRound_, true);
        Check();
      })) {
    return;
  }
  QMetaObject::invokeMethod(
      this,
      [this] {
        checkPosted_ = false;
        Check();
      },
      Qt::QueuedConnection);
}

void CommandCycle::Check() {
  if (checking_) return;
  if (held_ > 0 || !Running()) {
    // Nothing moves on now; the answers to the router leave all the same.
    connection_->FlushReplies();
    return;
  }
  checking_ = true;
  waitBegunThisRound_ = false;
  try {
    // A handler of one step may hold the cycle; the next step waits for that.
    while (Running() && held_ == 0 && step()) {
    }
    if (streaming_ && phase_ == Phase::AwaitingAnswer) streamAnswer();
  } catch (const std::exception& error) {
    // The connection stays as it is; the next start closes it.
    result_.reason = ErrorText(error);
    checking_ = false;
    finish(Outcome::Failed, Failure::LowerLayer);
    return;
  }
  checking_ = false;
  if (Running() && !std::exchange(repliesWaitForNextCheck_, false)) connection_->FlushReplies();
}

bool CommandCycle::step() {
  if (phase_ == Phase::Connecting) {
    // The limits are looked at before the connection: one that came in the
    // same round as an abort does not undo the abort.
    if (clock_->Count() > kConnectTickLimit || aborted() || proxyFailed() || refused()) {
      result_.reason = proxyFailure_;
      // Not failed, not aborted: the ticks ran out while the proxy kept quiet,
      // or the router refused or never answered. Told before the close, which
      // would end a session still on its way as a reset.
      if (result_.reason.empty() && !aborted()) {
        result_.reason = connection_->Socks().server.empty()
                             ? DirectConnectionFailure(*connection_)
                             : std::string(kSocksServerSilent);
      }
      connection_->Close();
      finish(Outcome::NotConnected);
      return true;
    }
    if (connection_->IsConnected()) {
      clock_->Stop();
      connection_->SendStr(kWakeUp);
      beginWait(Phase::AwaitingLogin, kLoginPrompt);
      return true;
    }
    return false;
  }
  if (!waitIsOver() || holdsLoginName()) return false;
  endWait();
  return true;
}

bool CommandCycle::holdsLoginName() {
  // The router has agreed to ask for our terminal type and has not asked
  // yet: the log-in name waits a moment so that it leaves in one send with
  // that answer. Sent apart, the two are two small writes in a row, and a
  // proxy that holds a small write back until the router has acknowledged
  // the one before stalls the dialogue by the router's acknowledgement delay.
  if (phase_ != Phase::AwaitingLogin || !textFound_ || !connection_->IsConnected() ||
      aborted() || !connection_->TerminalTypeRequestAwaited()) {
    return false;
  }
  const auto now = std::chrono::steady_clock::now();
  if (!loginHeldSince_) {
    loginHeldSince_ = now;
    QTimer::singleShot(kLoginHoldMs, this, [this] { requestCheck(); });
  }
  return now - *loginHeldSince_ < std::chrono::milliseconds(kLoginHoldMs);
}

bool CommandCycle::waitIsOver() {
  // A wait that starts with the budget spent still takes one round of
  // events, for what is already on its way.
  bool outOfTicks = clock_->Count() > kWaitTickLimit;
  if (outOfTicks && waitBegunThisRound_) {
    outOfTicks = false;
    requestCheck();
  }
  connection_->ReadOnIfAnswersLeft();
  if (routerTakesNoAnswers()) connection_->GiveUpOnUnreadAnswers();
  const bool givesUp = !connection_->IsConnected() || aborted() || outOfTicks || answerCut_;
  // A prompt is the last line, unfinished, waiting for what we type; a
  // find in a line that more lines followed was text of the answer (or a
  // stray prompt line), and the wait goes on for a later one.
  for (;;) {
    if (!textFound_) {
      textFound_ = search_.Find(*buffer_);
      if (!textFound_) {
        dropWhatTheWaitPassed();
        return givesUp;
      }
    }
    const std::size_t next = LineAfterMatch(*buffer_, search_.Position());
    if (next == std::string::npos) break;
    search_.ResumeAt(next);
    textFound_ = false;
    strayWaitTick_.reset();
  }
  // The text came; what the router had sent along with it is read too. A
  // notification still queued may bring no data (TELNET negotiation alone,
  // room to send), so nothing else would look again until the next tick.
  // Right at the end of a round the rest of a burst may still be on its way
  // in (the last read emptied what had arrived), so the look at what else
  // arrived waits for a turn of the event loop.
  if (givesUp) return true;
  // Found in a line that has ended with nothing after it (a stray prompt
  // line, the router still sending), the rest may be on its way in even when
  // nothing is there this very moment: the next arrival decides, or the next
  // tick when none comes.
  const std::string_view received(*buffer_);
  const std::size_t lastLineEnd = received.find_last_of("\r\n");
  const std::string_view lastLine =
      lastLineEnd == std::string_view::npos ? received : received.substr(lastLineEnd + 1);
  if (lastLine.find(waitText_) == std::string_view::npos) {
    if (!strayWaitTick_) strayWaitTick_ = clock_->Count();
    if (clock_->Count() == *strayWaitTick_) return false;
  }
  if (!checkEndsRound_ && nothingMoreArrived()) return true;
  // Our answers to the router wait for that check too: they leave with the
  // line it sends.
  repliesWaitForNextCheck_ = checkEndsRound_;
  requestCheck(checkEndsRound_);
  return false;
}

bool CommandCycle::routerTakesNoAnswers() {
  // The connection reads no more while our answers to the router's requests
  // cannot leave; a router that has taken none of them for this long never
  // will, and waiting for the wait's limit would only hide why it ended.
  if (!connection_->ReadingHeldBack()) {
    heldBackSince_ = -1;
    return false;
  }
  if (heldBackSince_ < 0) heldBackSince_ = clock_->Count();
  return clock_->Count() - heldBackSince_ >= kHeldBackTickLimit;
}

bool CommandCycle::nothingMoreArrived() const {
  net::TAsyncSocket* socket = connection_->Socket();
  if (socket == nullptr || socket->State() != net::wsConnected) return true;
  if (connection_->PendingDataCount() > 0 || socket->RcvdCount() > 0) return false;
  win::MSG queued;
  return win::PeekMessage(&queued, socket->WindowHandle(), 0, 0, win::PM_NOREMOVE) == 0;
}

void CommandCycle::beginWait(Phase phase, const std::string& text) {
  search_.Start(text);
  textFound_ = false;
  heldBackSince_ = -1;
  loginHeldSince_.reset();
  strayWaitTick_.reset();
  waitText_ = text;
  waitBegunThisRound_ = true;
  setPhase(phase);
  clock_->Start();
}

void CommandCycle::endWait() {
  clock_->Stop();
  if (answerCut_) {
    connection_->Close();
    result_.lines = ShownLineSpans(*buffer_, LastLine::IsData);
    finish(Outcome::Failed, Failure::AnswerTooLong);
    return;
  }
  if (connection_->SendBacklogExceeded()) {
    connection_->Close();
    finish(Outcome::Failed, Failure::RouterNotReading);
    return;
  }
  switch (phase_) {
    case Phase::AwaitingLogin:
      // Sent whatever ended the wait, also after an abort.
      connection_->SendStr(kLoginAnswer);
      awaitModelPrompt();
      break;
    case Phase::AwaitingModelPrompt:
      sendCommand();
      break;
    case Phase::AwaitingAnswer:
      endAnswer(textFound_);
      break;
    default:
      break;
  }
}

void CommandCycle::awaitModelPrompt() {
  if (const std::optional<std::string> prompt = PromptForModel(routerModel())) {
    beginWait(Phase::AwaitingModelPrompt, *prompt);
  } else {
    sendCommand();
  }
}

void CommandCycle::sendCommand() {
  // What arrived during the log-in is not part of the answer.
  clearCapture();
  if (OnAnswerLine) {
    answerStream_.Start(OnAnswerLine);
    streaming_ = true;
  }
  connection_->SendStr(command_ + kLineEnd);
  if (const std::optional<std::string> prompt = PromptForModel(routerModel())) {
    beginWait(Phase::AwaitingAnswer, *prompt);
  } else {
    endAnswer(true);
  }
}

void CommandCycle::endAnswer(bool promptCame) {
  if (aborted()) {
    connection_->Close();
    finish(Outcome::Aborted);
    return;
  }
  result_.lines = ShownLineSpans(*buffer_, promptCame ? LastLine::IsPrompt : LastLine::IsData);
  connection_->Close();
  finish(promptCame ? Outcome::Complete : Outcome::Incomplete);
}

void CommandCycle::clearCapture() {
  if (OnCaptureClearing) OnCaptureClearing();
  buffer_->clear();
  answerTaken_ = 0;
}

void CommandCycle::dropWhatTheWaitPassed() {
  // Only the log-in's waits: their bytes are never shown. The search's
  // position is a character start no match starts before, so it finds
  // exactly what it would have found in the whole.
  if (phase_ != Phase::AwaitingLogin && phase_ != Phase::AwaitingModelPrompt) return;
  const std::size_t passed = std::min(search_.Position(), buffer_->size());
  if (passed < kSearchedKeep) return;
  buffer_->erase(0, passed);
  search_.Discard(passed);
  answerTaken_ += passed;
}

void CommandCycle::streamAnswer() {
  // Only what the prompt's search has already passed over may go; once the
  // prompt is found, the end of the wait takes the rest.
  if (search_.Find(*buffer_)) return;
  const std::size_t searched = std::min(search_.Position(), buffer_->size());
  const std::size_t taken = answerStream_.Take(std::string_view(*buffer_).substr(0, searched));
  if (taken == 0) return;
  // Most of the time a few lines at the front: the move is small.
  buffer_->erase(0, taken);
  search_.Discard(taken);
  answerTaken_ += taken;
}

void CommandCycle::finish(Outcome outcome, Failure failure) {
  clock_->Stop();
  if (streaming_) {
    streaming_ = false;
    if (outcome != Outcome::Aborted) {
      answerStream_.Finish(*buffer_,
                           outcome == Outcome::Complete ? LastLine::IsPrompt : LastLine::IsData);
    }
    result_.lines.clear();
  }
  result_.outcome = outcome;
  result_.failure = failure;
  setPhase(Phase::Finished);
  if (OnFinished) OnFinished(result_);
}

void CommandCycle::DataAvailable(const char* buffer, int len) {
  // Past the cap nothing more is kept; the wait sees the mark at its next
  // check and ends the cycle.
  if (answerCut_) return;
  AppendReceivedBatch(*buffer_, buffer, len > 0 ? static_cast<std::size_t>(len) : 0);
  if (answerTaken_ + buffer_->size() > kAnswerLimit) {
    buffer_->resize(kAnswerLimit - answerTaken_);
    answerCut_ = true;
  }
  // Batch by batch, so the cycle holds little more than a line of an answer
  // however many batches arrive before its next check.
  if (streaming_ && phase_ == Phase::AwaitingAnswer && held_ == 0) streamAnswer();
  requestCheck();
}

}  // namespace cycle
