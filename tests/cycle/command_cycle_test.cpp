// The command-cycle engine without any window: real cycles against the router
// simulator and against scripted routers on loopback, the engine's events
// served by Qt's core loop and the platform queue.
#include "cycle/command_cycle.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cycle/cycle_texts.h"
#include "cycle/message_pump.h"
#include "routersim/routersim_process.h"
#include "support/deadline.h"
#include "support/loopback_peer.h"
#include "support/temp_folder.h"
#include "telnet/telnet_connection.h"

void GiveLargeSendBuffer(int fd);
void SendAtOnce(int fd);

namespace {

using cycle::CommandCycle;
using cycle::Outcome;
using std::chrono::milliseconds;

const char kCommands[] =
    "@command SHOW\n"
    "A\n"
    "\n"
    "B\n"
    "@unknown\n"
    "? {COMMAND}\n";

// One Qt core application and one pump for the whole test program.
class CycleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "cycle_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QCoreApplication>(argc, argv);
    pump_ = std::make_unique<PlatformMessagePump>();
  }
  void TearDown() override {
    pump_.reset();
    app_.reset();
  }

 private:
  std::unique_ptr<QCoreApplication> app_;
  std::unique_ptr<PlatformMessagePump> pump_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CycleEnvironment);

// A simulator on a port of its own at `address`.
class Simulator {
 public:
  explicit Simulator(std::vector<std::string> extra = {}, std::string address = "127.0.0.1") {
    support::WriteWholeFile(dir_.File("commands.txt"), kCommands);
    std::vector<std::string> args{"--listen", address,      "--port",
                                  "0",        "--commands", dir_.File("commands.txt")};
    args.insert(args.end(), extra.begin(), extra.end());
    process_ = std::make_unique<routersim_test::RoutersimProcess>(args);
    ready_ = process_->wait_ready();
  }
  bool Ready() const { return ready_; }
  void Aim(CommandCycle& cycle) const {
    cycle.Connection().SetHost(process_->address());
    cycle.Connection().SetPort(std::to_string(process_->port()));
  }
  bool Saw(const std::string& needle) const {
    return process_->wait_for_line(needle, std::chrono::seconds(10)).has_value();
  }

 private:
  support::TempFolder dir_;
  std::unique_ptr<routersim_test::RoutersimProcess> process_;
  bool ready_ = false;
};

// Serves events until every cycle has finished or the deadline passed.
bool RunUntilFinished(const std::vector<CommandCycle*>& cycles,
                      milliseconds deadline = milliseconds(30000)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  const auto anyRunning = [&] {
    for (CommandCycle* cycle : cycles) {
      if (cycle->Running()) return true;
    }
    return false;
  };
  while (anyRunning() && std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  return !anyRunning();
}

// Serves events until `condition` holds or the deadline passed.
bool ServeUntil(const std::function<bool()>& condition,
                milliseconds deadline = milliseconds(10000)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition() && std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return condition();
}

std::vector<std::string> Lines(const CommandCycle& cycle) {
  std::vector<std::string> lines;
  for (const cycle::LineSpan& span : cycle.Result().lines) {
    lines.push_back(cycle.ReceiveBuffer().substr(span.start, span.length));
  }
  return lines;
}

// Ticks that only the test gives.
class TestClock : public cycle::TickClock {
 public:
  void Reset() override { count = 0; }
  void Start() override { running = true; }
  void Stop() override { running = false; }
  int Count() const override {
    if (onCount) onCount();
    return count;
  }
  int count = 0;
  bool running = false;
  std::function<void()> onCount;  // called at each look at the count
};

// A router of the test's own on a loopback port: it plays `script` on the
// first connection in a thread of its own.
class ScriptedRouter {
 public:
  using Script = std::function<void(support::Peer&)>;
  explicit ScriptedRouter(Script script) {
    thread_ = std::thread([this, script = std::move(script)] {
      support::Peer router = listener_.Accept();
      if (router.Valid()) script(router);
    });
  }
  ~ScriptedRouter() { thread_.join(); }
  void Aim(CommandCycle& cycle) {
    cycle.Connection().SetHost("127.0.0.1");
    cycle.Connection().SetPort(std::to_string(listener_.Port()));
  }

 private:
  support::Listener listener_;
  std::thread thread_;
};

// The dialogue up to the command, then `answer` written in one piece.
void LogInThenAnswer(support::Peer& router, const std::string& answer, bool modelPrompt = true) {
  router.ReadUntil("\r");
  router.Take();
  router.Send("login: ");
  router.ReadUntil("admin\r");
  router.Take();
  if (modelPrompt) router.Send("\r\nMT128-NET% ");
  router.ReadUntil("\r");
  router.Take();
  router.Send(answer);
}

const std::string kAnswerAB = "SHOW\r\n\r\nA\r\nB\r\nMT128-NET% ";

// After the log-in name: the prompt, the answer A B to SHOW, and the end of
// the session.
void PromptThenAnswerAB(support::Peer& router) {
  router.Send("\r\nMT128-NET% ");
  router.ReadUntil("SHOW\r");
  router.Take();
  router.Send(kAnswerAB);
  router.ReadToEnd();
}

TEST(CycleTest, AnswerEndsWithThePromptAndLeavesTheTrimmedLines) {
  Simulator router;
  ASSERT_TRUE(router.Ready());
  CommandCycle cycle;
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  std::vector<cycle::Phase> phases;
  cycle.OnPhaseChanged = [&](cycle::Phase, cycle::Phase to) { phases.push_back(to); };
  cycle.Start("SHOW");
  ASSERT_TRUE(RunUntilFinished({&cycle}));
  EXPECT_EQ(cycle.Result().outcome, Outcome::Complete);
  EXPECT_EQ(Lines(cycle), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(phases,
            (std::vector<cycle::Phase>{cycle::Phase::Connecting, cycle::Phase::AwaitingLogin,
                                       cycle::Phase::AwaitingModelPrompt,
                                       cycle::Phase::AwaitingAnswer, cycle::Phase::Finished}));
  EXPECT_TRUE(cycle::MessageText(cycle.Result()).empty());
}

// Answers that end before the prompt keep every line that came, the last one
// too; the simulator's faults decide where the answer stops.
struct IncompleteCase {
  const char* name;
  std::vector<std::string> faults;
  int ticksAtLeast;
};

class IncompleteAnswerTest : public ::testing::TestWithParam<IncompleteCase> {};

TEST_P(IncompleteAnswerTest, KeepsTheLinesAndSaysSo) {
  Simulator router(GetParam().faults);
  ASSERT_TRUE(router.Ready());
  CommandCycle cycle;
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  cycle.Start("SHOW");
  ASSERT_TRUE(RunUntilFinished({&cycle}));
  EXPECT_EQ(cycle.Result().outcome, Outcome::Incomplete);
  EXPECT_EQ(cycle::MessageText(cycle.Result()), cycle::texts::kAnswerIncomplete);
  EXPECT_GE(cycle.Ticks(), GetParam().ticksAtLeast);
  const std::vector<std::string> lines = Lines(cycle);
  if (std::string(GetParam().name) == "NoPrompt") {
    // The last line is data, not a prompt: it is kept.
    EXPECT_EQ(lines, (std::vector<std::string>{"A", "B"}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IncompleteAnswerTest,
    ::testing::Values(
        IncompleteCase{"NoPrompt", {"--no-prompt"}, 16},
        IncompleteCase{"CloseInOutput", {"--close-in-output", "--answer-bytes", "50000"}, 0},
        IncompleteCase{"ResetInOutput", {"--reset-in-output", "--answer-bytes", "50000"}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CycleTest, APromptThatCameIsASuccessWhateverTheRouterDoesNext) {
  for (int run = 0; run < 20; ++run) {
    const bool reset = run % 2 == 1;
    ScriptedRouter router([reset](support::Peer& peer) {
      LogInThenAnswer(peer, kAnswerAB);
      if (reset) {
        peer.ResetAndClose();
      } else {
        peer.Close();
      }
    });
    CommandCycle cycle;
    cycle.SetRouterModel(0);
    router.Aim(cycle);
    cycle.Start("SHOW");
    ASSERT_TRUE(RunUntilFinished({&cycle}));
    EXPECT_EQ(cycle.Result().outcome, Outcome::Complete) << "run " << run;
    EXPECT_EQ(Lines(cycle), (std::vector<std::string>{"A", "B"})) << "run " << run;
  }
}

TEST(CycleTest, WithheldModelPromptDoesNotMarkAnAnswerWhosePromptCame) {
  TestClock clock;
  std::atomic<bool> adminRead = false;
  std::atomic<bool> commandRead = false;
  ScriptedRouter router([&](support::Peer& peer) {
    peer.ReadUntil("\r");
    peer.Take();
    peer.Send("login: ");
    peer.ReadUntil("admin\r");
    peer.Take();
    adminRead = true;
    // No prompt after the log-in; the command's answer comes whole.
    commandRead = peer.ReadUntil("SHOW\r");
    peer.Send(kAnswerAB);
    peer.ReadToEnd();
  });
  CommandCycle cycle;
  cycle.SetTickClock(&clock);
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  cycle.Start("SHOW");
  ASSERT_TRUE(
      ServeUntil([&] { return cycle.CurrentPhase() == cycle::Phase::AwaitingModelPrompt; }));
  ASSERT_TRUE(ServeUntil([&] { return adminRead.load(); }));
  // The budget runs out in the wait for the model's prompt; the command's
  // wait then has one round of events, which the test makes long enough
  // for the whole answer by holding the cycle.
  clock.count = 16;
  cycle.Check();
  EXPECT_EQ(cycle.CurrentPhase(), cycle::Phase::AwaitingAnswer);
  {
    const cycle::CycleHold hold(cycle);
    ASSERT_TRUE(ServeUntil([&] {
      return cycle.ReceiveBuffer().find("B\r\nMT128-NET%") != std::string::npos;
    })) << cycle.ReceiveBuffer()
        << " command read " << commandRead;
  }
  ASSERT_TRUE(RunUntilFinished({&cycle}));
  EXPECT_TRUE(adminRead);
  EXPECT_EQ(cycle.Result().outcome, Outcome::Complete);
  EXPECT_EQ(Lines(cycle), (std::vector<std::string>{"A", "B"}));
}

// Option requests that come in the same read as the log-in prompt are
// answered in the send that carries the log-in name, also when the prompt's
// arrival is judged a moment later than the read (a proxy that holds a small
// write until the one before it is acknowledged would otherwise stall the
// log-in).
TEST(CycleTest, TheAnswersToRequestsBesideTheLogInPromptLeaveWithTheName) {
  const std::string kDoWindowSize("\xFF\xFD\x1F", 3);
  const std::string kWontWindowSize("\xFF\xFC\x1F", 3);
  std::string beforeName;
  ScriptedRouter router([&](support::Peer& peer) {
    peer.ReadUntil("\r");
    peer.Take();
    peer.Send(kDoWindowSize + "login: ");
    peer.ReadUntil("admin\r");
    beforeName = peer.Take();
    PromptThenAnswerAB(peer);
  });
  CommandCycle cycle;
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  cycle.Start("SHOW");
  int sends = 0;
  ASSERT_TRUE(ServeUntil([&] { return cycle.Connection().Socket() != nullptr; }));
  cycle.Connection().Socket()->OnDataSent = [&](net::TCustomAsyncSocket*, std::uint16_t) {
    ++sends;
  };
  ASSERT_TRUE(RunUntilFinished({&cycle}));
  EXPECT_EQ(cycle.Result().outcome, Outcome::Complete);
  EXPECT_EQ(beforeName, kWontWindowSize + "admin\r");
  // The notice that the new connection can send, then one for each send:
  // the wake-up, the name with the answer, the command.
  EXPECT_EQ(sends, 4);
}

// A router that agreed to ask for the terminal type and has not asked yet:
// the log-in name waits for the request and leaves right behind our answer
// (one send, so a proxy has no second small write to hold back). A router
// that never asks gets the name all the same, a moment later.
TEST(CycleTest, TheLogInNameWaitsForTheAnnouncedTerminalTypeRequest) {
  const std::string kDoTerminalType("\xFF\xFD\x18", 3);
  const std::string kWillTerminalType("\xFF\xFB\x18", 3);
  const std::string kSendTerminalType("\xFF\xFA\x18\x01\xFF\xF0", 6);
  const std::string kTerminalTypeAnswer = std::string("\xFF\xFA\x18\x00", 4) + "VT100\xFF\xF0";
  for (const bool routerAsks : {true, false}) {
    SCOPED_TRACE(routerAsks ? "router asks" : "router never asks");
    std::atomic<bool> askNow = false;
    std::atomic<bool> adminRead = false;
    std::string beforeAnswer;
    ScriptedRouter router([&](support::Peer& peer) {
      peer.Send(kDoTerminalType);
      peer.ReadUntil(kWillTerminalType);
      peer.ReadUntil("\r");
      peer.Take();
      peer.Send("login: ");
      if (routerAsks) {
        while (!askNow) std::this_thread::yield();
        peer.Send(kSendTerminalType);
      }
      adminRead = peer.ReadUntil("admin\r");
      beforeAnswer = peer.Take();
      PromptThenAnswerAB(peer);
    });
    CommandCycle cycle;
    cycle.SetRouterModel(0);
    router.Aim(cycle);
    cycle.Start("SHOW");
    ASSERT_TRUE(ServeUntil([&] { return cycle.ReceiveBuffer().find("login:") != std::string::npos; }));
    // The check that the prompt's arrival asked for has run: the name is held.
    QCoreApplication::processEvents();
    EXPECT_EQ(cycle.CurrentPhase(), cycle::Phase::AwaitingLogin);
    askNow = true;
    ASSERT_TRUE(RunUntilFinished({&cycle}));
    EXPECT_TRUE(adminRead);
    EXPECT_EQ(cycle.Result().outcome, Outcome::Complete);
    EXPECT_EQ(beforeAnswer, routerAsks ? kTerminalTypeAnswer + "admin\r" : "admin\r");
  }
}

TEST(CycleTest, ABurstWithAStrayPromptNearItsTopArrivesWhole) {
  constexpr int kLines = 100000;
  std::string answer = "SHOW\r\n\r\nA\r\nMT128-NET% \r\n";
  for (int i = 0; i < kLines; ++i) answer += "line " + std::to_string(i) + "\r\n";
  answer += "MT128-NET% ";
  ScriptedRouter router([&answer](support::Peer& peer) {
    GiveLargeSendBuffer(peer.Fd());
    LogInThenAnswer(peer, answer);
    peer.ReadToEnd();
  });
  CommandCycle cycle;
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  cycle.Start("SHOW");
  ASSERT_TRUE(RunUntilFinished({&cycle}));
  EXPECT_EQ(cycle.Result().outcome, Outcome::Complete);
  const std::vector<std::string> lines = Lines(cycle);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kLines + 1));
  EXPECT_EQ(lines.front(), "A");
  EXPECT_EQ(lines.back(), "line " + std::to_string(kLines - 1));
}

// A prompt counts only as the last line, unfinished, or as a line that has
// ended with nothing after it by the next tick: found in a line that more
// lines followed, it was text, and the wait goes on for the real one. If the
// connection ends or the limit comes first, the answer is incomplete and its
// lines (the stray prompt line left out) are kept. The same for a fixed model
// and the automatic one.
TEST(CycleTest, APromptThatMoreLinesFollowedDoesNotEndTheAnswer) {
  enum class Then { RealPrompt, Close, Reset, PauseToLimit, NothingAfterAnEndedPrompt };
  const struct {
    const char* name;
    Then then;
    Outcome outcome;
    std::vector<std::string> lines;
  } cases[] = {
      {"real_prompt", Then::RealPrompt, Outcome::Complete, {"A", "B", "C"}},
      {"close", Then::Close, Outcome::Incomplete, {"A", "B"}},
      {"reset", Then::Reset, Outcome::Incomplete, {"A", "B"}},
      {"pause_to_limit", Then::PauseToLimit, Outcome::Incomplete, {"A", "B"}},
      {"ended_prompt_line", Then::NothingAfterAnEndedPrompt, Outcome::Complete, {"A", "B"}},
  };
  for (const int model : {0, -1}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (model < 0 ? ", automatic model" : ", MT128-NET"));
      std::atomic<bool> goOn = false;
      const bool endedPrompt = c.then == Then::NothingAfterAnEndedPrompt;
      ScriptedRouter router([&goOn, &c, endedPrompt](support::Peer& peer) {
        LogInThenAnswer(peer, endedPrompt ? "SHOW\r\n\r\nA\r\nB\r\nMT128-NET% \r\n"
                                          : "SHOW\r\n\r\nA\r\nMT128-NET% \r\nB\r\n");
        while (!goOn) std::this_thread::yield();
        if (c.then == Then::RealPrompt) peer.Send("C\r\nMT128-NET% ");
        if (c.then == Then::Close) peer.Close();
        if (c.then == Then::Reset) peer.ResetAndClose();
        if (c.then == Then::Close || c.then == Then::Reset) return;
        peer.ReadToEnd();
      });
      TestClock clock;
      CommandCycle cycle;
      cycle.SetTickClock(&clock);
      cycle.SetRouterModel(model);
      router.Aim(cycle);
      cycle.Start("SHOW");
      ASSERT_TRUE(ServeUntil([&] {
        return cycle.ReceiveBuffer().find(endedPrompt ? "% \r\n" : "B\r\n") != std::string::npos;
      }));
      // Rounds enough for every check the arrival asked for, and then some.
      for (int round = 0; round < 20; ++round) QCoreApplication::processEvents();
      EXPECT_TRUE(cycle.Running());
      goOn = true;
      if (c.then == Then::PauseToLimit || endedPrompt) {
        clock.count = endedPrompt ? 1 : CommandCycle::kWaitTickLimit + 1;
        cycle.Check();
      }
      ASSERT_TRUE(RunUntilFinished({&cycle}));
      EXPECT_EQ(cycle.Result().outcome, c.outcome);
      EXPECT_EQ(Lines(cycle), c.lines);
    }
  }
}

TEST(CycleTest, AnAnswerPastTheCapKeepsWhatFitsAndFails) {
  Simulator router({"--endless-output"});
  ASSERT_TRUE(router.Ready());
  CommandCycle cycle;
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  cycle.Start("SHOW");
  ASSERT_TRUE(RunUntilFinished({&cycle}, milliseconds(60000)));
  EXPECT_EQ(cycle.Result().outcome, Outcome::Failed);
  EXPECT_EQ(cycle.Result().failure, cycle::Failure::AnswerTooLong);
  EXPECT_EQ(cycle.ReceiveBuffer().size(), CommandCycle::kAnswerLimit);
  EXPECT_TRUE(cycle.AnswerCut());
  ASSERT_FALSE(cycle.Result().lines.empty());
  // The last line kept is the one the cap cut.
  const cycle::LineSpan last = cycle.Result().lines.back();
  EXPECT_EQ(last.start + last.length, CommandCycle::kAnswerLimit);
  EXPECT_EQ(cycle::MessageText(cycle.Result()), cycle::texts::kAnswerTooLong);
}

TEST(CycleTest, ARouterThatStopsReadingEndsTheCycleAtTheSendBound) {
  // It floods us with negotiation and never reads our replies.
  Simulator router({"--option-flood", "--no-read"});
  ASSERT_TRUE(router.Ready());
  CommandCycle cycle;
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  cycle.Start("SHOW");
  ASSERT_TRUE(RunUntilFinished({&cycle}));
  EXPECT_EQ(cycle.Result().outcome, Outcome::Failed);
  EXPECT_EQ(cycle.Result().failure, cycle::Failure::RouterNotReading);
  EXPECT_EQ(cycle::MessageText(cycle.Result()), cycle::texts::kRouterNotReading);
}

TEST(CycleTest, CommandsThatCannotBeSentAreRefusedBeforeConnecting) {
  const std::vector<std::pair<std::string, cycle::Failure>> commands = {
      {"SHOW\nSHOW LOG", cycle::Failure::CommandHasLineBreak},
      {std::string(64 << 10, 'x'), cycle::Failure::None},  // at the bound: sent
      {std::string((64 << 10) + 1, 'x'), cycle::Failure::CommandTooLong}};
  for (const auto& [command, failure] : commands) {
    CommandCycle cycle;
    cycle.Connection().SetHost("127.0.0.1");
    cycle.Connection().SetPort("1");
    cycle.Start(command);
    EXPECT_EQ(cycle.Running(), failure == cycle::Failure::None) << command.size();
    EXPECT_EQ(cycle.Result().failure, failure);
    if (cycle.Running()) cycle.Abandon();
    else EXPECT_EQ(cycle.Connection().ConnectResult(), std::nullopt);
  }
}

TEST(CycleTest, NoConnectionGivesUpAtTheFourthTick) {
  const int port = support::RefusingPort();
  TestClock clock;
  CommandCycle cycle;
  cycle.SetTickClock(&clock);
  cycle.Connection().SetHost("127.0.0.1");
  cycle.Connection().SetPort(std::to_string(port));
  cycle.Start("SHOW");
  for (int tick = 1; tick <= 3; ++tick) {
    clock.count = tick;
    ServeUntil([] { return false; }, milliseconds(20));
    cycle.Check();
    ASSERT_TRUE(cycle.Running()) << "tick " << tick;
  }
  clock.count = 4;
  cycle.Check();
  EXPECT_FALSE(cycle.Running());
  EXPECT_FALSE(clock.running);
  EXPECT_EQ(cycle.Result().outcome, Outcome::NotConnected);
  EXPECT_EQ(cycle::MessageText(cycle.Result()),
            std::string(cycle::texts::kLoginFailed) + "\n127.0.0.1" +
                std::string(cycle::texts::kConnectionRefused).substr(2));

  // A console run's cycle has nothing to wait for once the system refused.
  TestClock stopped;
  CommandCycle console;
  console.SetTickClock(&stopped);
  console.SetEndWaitOnRefusal(true);
  console.Connection().SetHost("127.0.0.1");
  console.Connection().SetPort(std::to_string(port));
  console.Start("SHOW");
  EXPECT_TRUE(RunUntilFinished({&console}, milliseconds(5000)));
  EXPECT_EQ(stopped.count, 0);
  EXPECT_EQ(console.Result().outcome, Outcome::NotConnected);
  EXPECT_EQ(cycle::MessageText(console.Result()), cycle::MessageText(cycle.Result()));
}

// The log-in error's second line says why, with the address; a connection the
// user stopped has no reason to give.
TEST(CycleTest, AFailedConnectionSaysWhy) {
  struct Case {
    const char* host;
    bool abort;
    std::string secondLine;
  };
  const std::string notFound = cycle::texts::kHostNameNotFound;
  const Case cases[] = {
      {"192.168.0.300", false,
       notFound.substr(0, notFound.find("%s")) + "192.168.0.300" +
           notFound.substr(notFound.find("%s") + 2)},
      {"127.0.0.1", true, ""},
  };
  for (const Case& which : cases) {
    TestClock clock;
    CommandCycle cycle;
    cycle.SetTickClock(&clock);
    cycle.Connection().SetHost(which.host);
    cycle.Connection().SetPort(std::to_string(support::RefusingPort()));
    cycle.Start("SHOW");
    if (which.abort) cycle.Abort();
    ASSERT_TRUE(RunUntilFinished({&cycle}, milliseconds(5000))) << which.host;
    EXPECT_EQ(clock.count, 0);
    EXPECT_EQ(cycle.Result().outcome, Outcome::NotConnected) << which.host;
    EXPECT_EQ(cycle::MessageText(cycle.Result()),
              std::string(cycle::texts::kLoginFailed) +
                  (which.secondLine.empty() ? "" : "\n" + which.secondLine));
  }
}

// Through a proxy that is not there, or one the socket cannot use, the
// connection ends at once and the reason rides along.
TEST(CycleTest, ProxyFailuresEndTheConnectionWaitWithTheirReason) {
  const std::vector<std::pair<std::string, std::string>> proxies = {{"127.0.0.1", "5"},
                                                                    {"127.0.0.1", "7"}};
  for (const auto& [server, level] : proxies) {
    TestClock clock;
    CommandCycle cycle;
    cycle.SetTickClock(&clock);
    cycle.Connection().SetHost("127.0.0.1");
    cycle.Connection().SetPort("23");
    telnet::SocksRoute route;
    route.server = server;
    route.port = "1";  // nothing listens there
    route.level = level;
    cycle.Connection().SetSocks(route);
    cycle.Start("SHOW");
    ASSERT_TRUE(RunUntilFinished({&cycle}, milliseconds(10000))) << level;
    EXPECT_EQ(clock.count, 0);
    EXPECT_EQ(cycle.Result().outcome, Outcome::NotConnected) << level;
    EXPECT_FALSE(cycle.Result().reason.empty()) << level;
    EXPECT_EQ(cycle::MessageText(cycle.Result()),
              std::string(cycle::texts::kLoginFailed) + "\n" + cycle.Result().reason);
  }
}

TEST(CycleTest, AHeldCycleTakesDataButMakesNoProgress) {
  Simulator router;
  ASSERT_TRUE(router.Ready());
  CommandCycle cycle;
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  // Held as soon as it waits for "login:".
  bool held = false;
  cycle.OnPhaseChanged = [&](cycle::Phase, cycle::Phase to) {
    if (to == cycle::Phase::AwaitingLogin) {
      cycle.Hold();
      held = true;
    }
  };
  cycle.Start("SHOW");
  ASSERT_TRUE(ServeUntil([&] { return held; }));
  ASSERT_TRUE(
      ServeUntil([&] { return cycle.ReceiveBuffer().find("login:") != std::string::npos; }));
  ServeUntil([] { return false; }, milliseconds(300));
  EXPECT_EQ(cycle.CurrentPhase(), cycle::Phase::AwaitingLogin);
  cycle.Release();
  ASSERT_TRUE(RunUntilFinished({&cycle}));
  EXPECT_EQ(cycle.Result().outcome, Outcome::Complete);
  EXPECT_EQ(Lines(cycle), (std::vector<std::string>{"A", "B"}));
}

TEST(CycleTest, TwoCyclesRunSideBySideEachOnItsOwnTicks) {
  Simulator quick({"--delay", "200"}, "127.0.0.61");
  Simulator slow({"--delay", "2500"}, "127.0.0.62");
  ASSERT_TRUE(quick.Ready());
  ASSERT_TRUE(slow.Ready());
  CommandCycle first;
  CommandCycle second;
  for (CommandCycle* cycle : {&first, &second}) cycle->SetRouterModel(0);
  quick.Aim(first);
  slow.Aim(second);
  bool secondRunningWhenFirstEnded = false;
  int firstTicksAtItsEnd = -1;
  first.OnFinished = [&](const cycle::CycleResult&) {
    secondRunningWhenFirstEnded = second.Running();
    firstTicksAtItsEnd = first.Ticks();
  };
  second.Start("SHOW");
  first.Start("SHOW");
  ASSERT_TRUE(RunUntilFinished({&first, &second}));
  EXPECT_TRUE(secondRunningWhenFirstEnded);
  for (CommandCycle* cycle : {&first, &second}) {
    EXPECT_EQ(cycle->Result().outcome, Outcome::Complete);
    EXPECT_EQ(Lines(*cycle), (std::vector<std::string>{"A", "B"}));
  }
  // The slow router's wait counted its own ticks; the quick one's count
  // stopped with its cycle, though the other went on ticking.
  EXPECT_EQ(first.Ticks(), firstTicksAtItsEnd);
  EXPECT_LT(first.Ticks(), second.Ticks());
  EXPECT_GE(second.Ticks(), 2);
}

// Many cycles at once against a router that answers at once: none needs a
// tick to notice that its text came, also when what is queued behind the
// text brings no data of its own.
TEST(CycleTest, ManyCyclesAtOnceEachEndWithoutATick) {
  Simulator router({}, "127.0.0.63");
  ASSERT_TRUE(router.Ready());
  std::vector<std::unique_ptr<CommandCycle>> cycles;
  std::vector<CommandCycle*> running;
  for (int i = 0; i < 40; ++i) {
    cycles.push_back(std::make_unique<CommandCycle>());
    cycles.back()->SetRouterModel(0);
    router.Aim(*cycles.back());
    running.push_back(cycles.back().get());
  }
  for (CommandCycle* cycle : running) cycle->Start("SHOW");
  ASSERT_TRUE(RunUntilFinished(running));
  int ticked = 0;
  for (CommandCycle* cycle : running) {
    EXPECT_EQ(cycle->Result().outcome, Outcome::Complete);
    if (cycle->Ticks() > 0) ++ticked;
  }
  EXPECT_EQ(ticked, 0);
}

// An answer handed out line by line as it arrives shows what the same answer
// shows whole, and the cycle never holds more than a little of it.
TEST(CycleTest, AnAnswerTakenLineByLineShowsTheSameLines) {
  Simulator router({"--answer-bytes", "300000"}, "127.0.0.64");
  ASSERT_TRUE(router.Ready());
  CommandCycle whole;
  CommandCycle streamed;
  std::vector<std::string> lines;
  std::size_t heldAtMost = 0;
  streamed.OnAnswerLine = [&](std::string_view line, bool) {
    lines.emplace_back(line);
    heldAtMost = std::max(heldAtMost, streamed.ReceiveBuffer().size());
  };
  for (CommandCycle* cycle : {&whole, &streamed}) {
    cycle->SetRouterModel(0);
    router.Aim(*cycle);
    cycle->Start("SHOW");
  }
  ASSERT_TRUE(RunUntilFinished({&whole, &streamed}));
  EXPECT_EQ(streamed.Result().outcome, Outcome::Complete);
  EXPECT_TRUE(streamed.Result().lines.empty());
  const std::vector<std::string> expected = Lines(whole);
  ASSERT_GT(expected.size(), 4000u);
  EXPECT_EQ(lines, expected);
  EXPECT_LT(heldAtMost, std::size_t{8} << 10);
}

// Streamed, the answer is cut where the whole answer passes the cap, what
// already went out line by line counted: no more, and nothing made up. The
// count starts afresh with each cycle of the same engine.
TEST(CycleTest, AStreamedAnswerIsCutAtTheCapEachCycleAfresh) {
  Simulator router({"--endless-output"}, "127.0.0.65");
  ASSERT_TRUE(router.Ready());
  // No tick ends the wait, however slowly the lines are taken: only the cap.
  TestClock clock;
  CommandCycle cycle;
  cycle.SetTickClock(&clock);
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  std::size_t lines = 0;
  std::size_t bytes = 0;  // with a line end of two bytes each
  bool nul = false;
  cycle.OnAnswerLine = [&](std::string_view line, bool lineEnds) {
    if (lineEnds) ++lines;
    bytes += line.size() + (lineEnds ? 2 : 0);
    nul = nul || line.find('\0') != std::string_view::npos;
  };
  std::vector<std::size_t> linesOfEachRun;
  for (int run = 0; run < 2; ++run) {
    lines = 0;
    bytes = 0;
    cycle.Start("SHOW");
    ASSERT_TRUE(RunUntilFinished({&cycle}, milliseconds(60000))) << run;
    EXPECT_EQ(cycle.Result().failure, cycle::Failure::AnswerTooLong) << run;
    EXPECT_LE(bytes, CommandCycle::kAnswerLimit + 2) << run;
    EXPECT_FALSE(nul) << run;
    linesOfEachRun.push_back(lines);
  }
  EXPECT_GT(linesOfEachRun[0], 1000000u);
  EXPECT_EQ(linesOfEachRun[0], linesOfEachRun[1]);
}

// The prompt came last in a read that emptied what had arrived, at the end of
// a round, and the rest of the burst is still on its way (a proxy relays in
// pieces): the look at whether more came waits for a turn of the event loop,
// in which the rest arrives.
TEST(CycleTest, TheLookBehindAPromptAtTheEndOfARoundWaitsATurnOfTheLoop) {
  // Shared with the router's thread and a queued call that may outlive the test.
  struct Rest {
    std::atomic<bool> wanted = false;
    std::atomic<bool> sent = false;
  };
  const auto rest = std::make_shared<Rest>();
  ScriptedRouter router([rest](support::Peer& peer) {
    SendAtOnce(peer.Fd());
    LogInThenAnswer(peer, "SHOW\r\n\r\nA\r\nMT128-NET% ");
    support::WaitUntil([&] { return rest->wanted.load(); });
    peer.Send("\r\nB\r\nMT128-NET% ");
    rest->sent = true;
    peer.ReadToEnd();
  });
  TestClock clock;
  CommandCycle cycle;
  // The first check that sees the prompt has the rest sent before the turn
  // of the loop it leaves the decision to.
  clock.onCount = [&] {
    if (rest->wanted || cycle.ReceiveBuffer().find("A\r\nMT128-NET% ") == std::string::npos)
      return;
    rest->wanted = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [rest] { support::WaitUntil([&] { return rest->sent.load(); }); },
        Qt::QueuedConnection);
  };
  cycle.SetTickClock(&clock);
  cycle.SetRouterModel(0);
  router.Aim(cycle);
  cycle.Start("SHOW");
  ASSERT_TRUE(RunUntilFinished({&cycle}));
  EXPECT_EQ(cycle.Result().outcome, Outcome::Complete);
  EXPECT_EQ(Lines(cycle), (std::vector<std::string>{"A", "B"}));
}

}  // namespace

namespace {

// Serves events until `cycle` ends, noting the most its buffer held.
std::size_t MostHeldUntilFinished(CommandCycle& cycle) {
  std::size_t most = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (cycle.Running() && std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    most = std::max(most, cycle.ReceiveBuffer().size());
  }
  return most;
}

}  // namespace

// What a router floods us with before the log-in, and a line that never
// ends, are not kept beyond what the waits and the lines need.
TEST(CycleTest, AFloodBeforeTheLogInAndAnEndlessLineAreNotKept) {
  Simulator flood({"--flood-before-login", "--flood-seconds", "2"}, "127.0.0.65");
  Simulator endless({"--endless-line", "--flood-seconds", "2", "--output-rate", "4000000"}, "127.0.0.66");
  ASSERT_TRUE(flood.Ready());
  ASSERT_TRUE(endless.Ready());
  CommandCycle beforeLogIn;
  beforeLogIn.SetRouterModel(0);
  flood.Aim(beforeLogIn);
  beforeLogIn.Start("SHOW");
  EXPECT_LT(MostHeldUntilFinished(beforeLogIn), std::size_t{1} << 20);
  EXPECT_FALSE(beforeLogIn.Running());

  CommandCycle oneLine;
  std::size_t passed = 0;
  int lineEnds = 0;
  oneLine.OnAnswerLine = [&](std::string_view text, bool ends) {
    passed += text.size();
    lineEnds += ends ? 1 : 0;
  };
  oneLine.SetRouterModel(0);
  endless.Aim(oneLine);
  oneLine.Start("SHOW");
  EXPECT_LT(MostHeldUntilFinished(oneLine), std::size_t{3} << 20);
  EXPECT_EQ(oneLine.Result().outcome, Outcome::Incomplete);
  EXPECT_GT(passed, std::size_t{4} << 20);
  EXPECT_EQ(lineEnds, 1);
}
