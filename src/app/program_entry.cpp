#include "app/program_entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_icon.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/message_pump.h"
#include "app/standard_output.h"
#include "app/termination_signals.h"
#include "app/texts.h"
#include "platform/files.h"

namespace app {

namespace {

constexpr int kExitNoDisplay = 2;

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// A platform plugin the user chose that draws nowhere needs no display.
bool DisplaylessPlatformRequested() {
  if (!EnvironmentSet("QT_QPA_PLATFORM")) {
    return false;
  }
  const std::string platform = std::getenv("QT_QPA_PLATFORM");
  return platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0;
}

// A close asked for by a signal may arrive anywhere: inside a cycle's wait,
// under a modal box or dialog, during start-up. It writes the files as any
// close does, reports failures on standard error, and ends the process right
// there, as nobody may be left to answer a box and the loops it interrupted
// must not go on running switches or cycles.
[[noreturn]] void CloseBySignal(TForm1& form) {
  WriteBoxesOutFromNowOn();
  // Before the settings were read, writing them would put defaults over the
  // user's values.
  if (form.SettingsRead()) {
    Guarded([&form] {
      form.FormCloseQuery();
      form.FormClose();
    });
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // As a window closed by hand, whatever the close could not write.
  std::_Exit(0);
}

}  // namespace

bool HasHiddenSwitch(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "-h" || argument == "-H") {
      return true;
    }
  }
  return false;
}

int RunApplication(const std::vector<std::string>& arguments, const ProgramFiles& files,
                   const EntryHooks& hooks, const RunSettings& runSettings,
                   const std::vector<bool>& argumentHasNoAnsiForm) {
  QApplication::setApplicationName(QLatin1String(texts::kApplicationTitle));
  QApplication::setWindowIcon(ApplicationIcon());
  const bool hidden = HasHiddenSwitch(arguments);

  TForm1 form(arguments, files.folder);
  form.SetDefaultPanelPath(files.defaultPanel);
  form.SetRunSettings(runSettings);
  form.SetArgumentsWithoutAnsiForm(argumentHasNoAnsiForm);
  TerminationNotifier termination;
  QObject::connect(&termination, &TerminationNotifier::terminationRequested, &form,
                   [&](int signal) {
                     form.AbortRequested = 1;
                     // A hidden run has nothing to save, and later switches must not start.
                     if (hidden) {
                       EndBySignal(signal);
                     }
                     CloseBySignal(form);
                   });
  if (hooks.mainWindowCreated) {
    hooks.mainWindowCreated(form);
  }
  form.FormCreate();

  // A hidden run ends here whatever start-up went through; nothing is written.
  if (hidden || form.TerminateRequested()) {
    return ErrorBoxRaised() ? 1 : 0;
  }
  form.CreateDialogs();
  if (hooks.startUpFinished) {
    hooks.startUpFinished(form);
  }
  form.show();
  return QApplication::exec();
}

// Without a desktop session there is no XDG_RUNTIME_DIR, and Qt then warns on
// every start before falling back to a private folder under /tmp. Hand it that
// same folder up front (only when it is ours and private), so a hidden run's
// standard error carries nothing but our own messages.
static void ProvideRuntimeFolder() {
  if (EnvironmentSet("XDG_RUNTIME_DIR")) {
    return;
  }
  const std::string folder = "/tmp/runtime-" + std::to_string(getuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return;
  }
  struct stat info {};
  if (lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
      (info.st_mode & 0777) == 0700) {
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 0);
  }
}

int ProgramMain(int argc, char** argv) {
  // Before any descriptor is opened: a pipe or file must not become the
  // standard output the caller closed.
  OccupyClosedStandardStreams();
  // Before anything else, so that a signal sent right after the start is not
  // the default (fatal) one.
  InstallTerminationHandlers();

  // Arguments arrive in the locale's UTF-8; commands go to the router in
  // Shift-JIS like every other text of the program.
  const CommandLine commandLine = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (const std::optional<int> status = AnswerWithoutStarting(commandLine)) {
    return *status;
  }
  const std::vector<std::string>& arguments = commandLine.switches;
  const bool hidden = HasHiddenSwitch(arguments);

  if (!EnvironmentSet("DISPLAY") && !EnvironmentSet("WAYLAND_DISPLAY")) {
    if (hidden) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!DisplaylessPlatformRequested()) {
      std::fputs(
          "vantrel: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
          "set).\n"
          "Start it on a desktop or set DISPLAY (for example DISPLAY=:0), or add -h to run\n"
          "commands (-c, -cd) without a window. vantrel --help tells more.\n",
          stderr);
      return kExitNoDisplay;
    }
  }

  ProvideRuntimeFolder();

  // The arguments are the program's, not Qt's: none of them may be taken as a
  // Qt option such as -style or -platform.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  VantrelApplication application(qtArgc, qtArgv);
  PlatformMessagePump pump;
  pump.SetExceptionHandler([](const std::exception& error) { ShowApplicationError(error.what()); });
  return RunApplication(arguments, LocateProgramFiles(platform::ProgramDirectory()), {},
                        commandLine.runSettings, commandLine.switchHasNoAnsiForm);
}

}  // namespace app
