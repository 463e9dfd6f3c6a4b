#include "app/console_run.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "app/debug_output_log.h"
#include "app/message_box.h"
#include "app/router_fleet.h"
#include "app/settings_file.h"
#include "app/standard_output.h"
#include "app/socks_url.h"
#include "app/termination_signals.h"
#include "app/texts.h"
#include "cycle/message_pump.h"
#include "platform/codepage.h"
#include "platform/files.h"
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

int WithConsoleLoop(const std::function<int()>& body) {
  int argc = 1;
  char name[] = "vantrel";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(QLatin1String(texts::kApplicationTitle));
  PlatformMessagePump pump;
  // An error no cycle caught is the run's, as an error box is a window's:
  // told, and the run fails, instead of ending the program.
  pump.SetExceptionHandler([](const std::exception& error) {
    MarkRunFailed();
    WriteOut(stderr, std::string(texts::kApplicationTitle) + ": " +
                         platform::AnsiToUtf8(error.what()));
  });
  LetTerminationSignalsInterruptCalls();
  StandardOutputWriter::EndWritesOnTerminationSignal();
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
  return app::RunRouterFleet(*commandLine,
                             app::LocateProgramFiles(platform::ProgramDirectory()));
}
