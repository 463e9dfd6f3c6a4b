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

  void readPanel() {
    if (const std::optional<std::string> problem = PanelProblem(files_)) applicationError(*problem);
  }

  bool readSettings() {
    const std::string ini = files_.folder + kSettingsFileName;
    telnet::TTelnetConnection& connection = cycle_.Connection();
    ConfigureConnection(connection);
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
      applicationError(CannotOpenText(ini));
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
    try {
      for (const SwitchCommand& command : SwitchCommands(commandLine_)) {
        if (command.noAnsiForm) {
          applicationError(cycle::texts::kCommandNotShiftJis);
          return;
        }
        if (!runCycle(command.command, command.show)) return;
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

std::string CannotOpenText(const std::string& path) {
  std::string text = texts::kFileCannotBeOpened;
  text.replace(text.find("%s"), 2, platform::Utf8ToAnsi(path));
  return text;
}

void WriteOut(std::FILE* stream, const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  if (utf8.empty() || utf8.back() != '\n') std::fputc('\n', stream);
  std::fflush(stream);
}

// Only whether it can be read matters here; the tree is the window's.
std::optional<std::string> PanelProblem(const ProgramFiles& files) {
  const std::string own = files.folder + kPanelFileName;
  std::string path = own;
  if (!files.defaultPanel.empty() && !Exists(own) && Exists(files.defaultPanel)) {
    path = files.defaultPanel;
  }
  if (ReadPanelFile(path).state == FileState::kRead) return std::nullopt;
  return CannotOpenText(path);
}

void ConfigureConnection(telnet::TTelnetConnection& connection) {
  connection.SetName("TelnetConnection1");
  connection.SetPort("23");
  connection.SetTermType("VT100");
  connection.SetLocation("VANTREL");
  connection.SetLocalEcho(false);
}

// Every argument is looked at, also one that a -c took as its command.
std::vector<SwitchCommand> SwitchCommands(const CommandLine& commandLine) {
  const std::vector<std::string>& switches = commandLine.switches;
  const std::vector<bool>& noAnsiForm = commandLine.switchHasNoAnsiForm;
  std::vector<SwitchCommand> commands;
  for (std::size_t i = 0; i < switches.size(); ++i) {
    const bool show = IsSwitch(switches[i], "-cd", "-CD");
    if (!show && !IsSwitch(switches[i], "-c", "-C")) continue;
    const std::string next = i + 1 < switches.size() ? switches[i + 1] : std::string();
    commands.push_back({next, show, i + 1 < noAnsiForm.size() && noAnsiForm[i + 1]});
  }
  return commands;
}

int RunConsole(const CommandLine& commandLine, const ProgramFiles& files) {
  return WithConsoleLoop([&] { return ConsoleRun(commandLine, files).Run(); });
}

int WithConsoleLoop(const std::function<int()>& body) {
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
  return body();
}

}  // namespace app

extern "C" __attribute__((visibility("default"))) int vantrel_console_main(
    const app::CommandLine* commandLine) {
  return app::RunConsole(*commandLine, app::LocateProgramFiles(platform::ProgramDirectory()));
}
