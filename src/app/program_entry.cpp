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
#include "app/qt_texts.h"
#include "app/standard_output.h"
#include "app/termination_signals.h"
#include "app/texts.h"
#include "platform/files.h"

namespace app {

namespace {

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
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

int RunApplication(const std::vector<std::string>& arguments, const ProgramFiles& files,
                   const EntryHooks& hooks, const RunSettings& runSettings,
                   const std::vector<bool>& argumentHasNoAnsiForm) {
  QApplication::setApplicationName(QLatin1String(texts::kApplicationTitle));
  // Its windows belong to the installed desktop entry, which bears this name.
  QGuiApplication::setDesktopFileName(QStringLiteral("example.vantrel.vantrel"));
  QApplication::setWindowIcon(ApplicationIcon());
  const bool hidden = HasHiddenSwitch(arguments);
  // A hidden run shows nothing Qt would word; without the file, Qt's English.
  if (!hidden) {
    InstallJapaneseQtTexts();
  }

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

int WindowMain(int argc, char** argv, const CommandLine& commandLine) {
  // Without a display, only a hidden run or a platform that draws nowhere
  // gets here; the hidden run then writes its boxes out.
  if (!EnvironmentSet("DISPLAY") && !EnvironmentSet("WAYLAND_DISPLAY") &&
      !EnvironmentSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  ProvideRuntimeFolder();

  // The arguments are the program's, not Qt's: none of them may be taken as a
  // Qt option such as -style or -platform.
  int qtArgc = 1;
  char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
  VantrelApplication application(qtArgc, qtArgv);
  PlatformMessagePump pump;
  pump.SetExceptionHandler([](const std::exception& error) { ShowApplicationError(error.what()); });
  return RunApplication(commandLine.switches, LocateProgramFiles(platform::ProgramDirectory()), {},
                        commandLine.runSettings, commandLine.switchHasNoAnsiForm);
}

}  // namespace app

extern "C" __attribute__((visibility("default"))) int vantrel_window_main(
    int argc, char** argv, const app::CommandLine* commandLine) {
  return app::WindowMain(argc, argv, *commandLine);
}
