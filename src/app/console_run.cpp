#include "app/console_run.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdio>
#include <string>

#include "app/debug_output_log.h"
#include "app/message_box.h"
#include "app/pane_lines.h"
#include "app/settings_file.h"
#include "app/socks_url.h"
#include "app/standard_output.h"
#include "app/termination_signals.h"
#include "app/texts.h"
#include "cycle/command_cycle.h"
#include "cycle/cycle_texts.h"
#include "cycle/message_pump.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "telnet/telnet_connection.h"

namespace app {

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

bool IsSwitch(const std::string& argument, const char* lower, const char* upper) {
  return argument == lower || argument == upper;
}

// As a box written out: its text in UTF-8, ended by a line feed.
void WriteOut(std::FILE* stream, const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  if (utf8.empty() || utf8.back() != '\n') std::fputc('\n', stream);
  std::fflush(stream);
}

class ConsoleRun {
 public:
  ConsoleRun(const CommandLine& commandLine, const ProgramFiles& files)
      : commandLine_(commandLine), files_(files) {}

  int Run() {
    readPanel();
    // Without its settings the run does not know the router: nothing is sent.
    if (readSettings()) runSwitches();
    return failed_ || ErrorBoxRaised() ? 1 : 0;
  }

 private:
  // The application's error box, written out: its caption is the program's title.
  void applicationError(const std::string& ansiMessage) {
    failed_ = true;
    WriteOut(stderr,
             std::string(texts::kApplicationTitle) + ": " + platform::AnsiToUtf8(ansiMessage));
  }

  // Only whether it can be read matters here; the tree is the window's.
  void readPanel() {
    const std::string own = files_.folder + kPanelFileName;
    std::string path = own;
    if (!files_.defaultPanel.empty() && !Exists(own) && Exists(files_.defaultPanel)) {
      path = files_.defaultPanel;
    }
    if (ReadPanelFile(path).state != FileState::kRead) cannotOpen(path);
  }

  void cannotOpen(const std::string& path) {
    std::string text = texts::kFileCannotBeOpened;
    text.replace(text.find("%s"), 2, platform::Utf8ToAnsi(path));
    applicationError(text);
  }

  bool readSettings() {
    const std::string ini = files_.folder + kSettingsFileName;
    telnet::TTelnetConnection& connection = cycle_.Connection();
    connection.SetName("TelnetConnection1");
    connection.SetPort("23");
    connection.SetTermType("VT100");
    connection.SetLocation("VANTREL");
    connection.SetLocalEcho(false);
    // Read once, regular files only, within their bound, as a window's run does.
    SettingsFile file(ini);
    const Settings values = file.Values(Settings{});
    int model = values.routerModel;
    std::string host = values.host;
    if (commandLine_.runSettings.host) host = *commandLine_.runSettings.host;
    if (commandLine_.runSettings.routerModel) model = *commandLine_.runSettings.routerModel;
    connection.SetHost(host);
    cycle_.SetRouterModel(model);
    connection.SetSocks(commandLine_.runSettings.socks ? *commandLine_.runSettings.socks
                                                       : ReadSocksSection(file.Contents()));
    cycle_.SocksRouteProblem = app::SocksRouteProblem;
    if (file.State() == FileState::kUnreadable) {
      cannotOpen(ini);
      return false;
    }
    return true;
  }

  // One cycle, served by the core loop until it ends. False when its error
  // ends the run's switches, as an error box ends a hidden run's start-up.
  bool runCycle(const std::string& command, bool printAnswer) {
    cycle_.Start(command);
    if (cycle_.Running()) {
      QEventLoop loop;
      cycle_.OnFinished = [&loop](const cycle::CycleResult&) { loop.quit(); };
      loop.exec();
      cycle_.OnFinished = nullptr;
    }
    const cycle::CycleResult& result = cycle_.Result();
    const bool answerShown = result.outcome != cycle::Outcome::Failed || cycle_.AnswerCut();
    if (result.outcome == cycle::Outcome::NotConnected) {
      failed_ = true;
      WriteOut(stderr, platform::AnsiToUtf8(cycle::texts::kErrorCaption) + ": " +
                           platform::AnsiToUtf8(cycle::MessageText(result)));
    }
    if (printAnswer && answerShown) writeAnswer(result);
    if (result.outcome == cycle::Outcome::Failed) {
      applicationError(cycle::MessageText(result));
      return false;
    }
    if (result.outcome == cycle::Outcome::Incomplete) {
      failed_ = true;
      WriteOut(stderr, platform::AnsiToUtf8(cycle::MessageText(result)));
    }
    return true;
  }

  // Every write is checked; a failed one ends the run (StandardOutputFailed).
  void writeAnswer(const cycle::CycleResult& result) {
    StandardOutputWriter output;
    WriteLinesAsUtf8([&output](std::string_view piece) { output.Write(piece); },
                     cycle_.ReceiveBuffer(), result.lines);
    output.Finish();
  }

  void runSwitches() {
    const std::vector<std::string>& arguments = commandLine_.switches;
    const std::vector<bool>& noAnsiForm = commandLine_.switchHasNoAnsiForm;
    try {
      for (std::size_t i = 0; i < arguments.size(); ++i) {
        const bool printAnswer = IsSwitch(arguments[i], "-cd", "-CD");
        if (!printAnswer && !IsSwitch(arguments[i], "-c", "-C")) continue;
        // An argument with no exact Shift-JIS form is refused like a line break.
        if (i + 1 < noAnsiForm.size() && noAnsiForm[i + 1]) {
          applicationError(cycle::texts::kCommandNotShiftJis);
          return;
        }
        const std::string next = i + 1 < arguments.size() ? arguments[i + 1] : std::string();
        if (!runCycle(next, printAnswer)) return;
      }
    } catch (const StandardOutputFailed&) {
      failed_ = true;
    }
  }

  const CommandLine& commandLine_;
  const ProgramFiles& files_;
  cycle::CommandCycle cycle_;
  bool failed_ = false;
};

}  // namespace

int RunConsole(const CommandLine& commandLine, const ProgramFiles& files) {
  int argc = 1;
  char name[] = "vantrel";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(QLatin1String(texts::kApplicationTitle));
  PlatformMessagePump pump;
  TerminationNotifier termination;
  // A hidden run has nothing to save, and later switches must not start.
  QObject::connect(&termination, &TerminationNotifier::terminationRequested, &application,
                   [](int signal) { EndBySignal(signal); });
  RouteDebugOutputToLog();
  return ConsoleRun(commandLine, files).Run();
}

}  // namespace app
