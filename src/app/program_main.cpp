// The program's entry: the long options, then either the console run (a
// hidden run without a usable display, or with --print) or the window, whose
// libraries are loaded only now, as the socket library is loaded at its first
// use.
#include <cstdio>
#include <string>

#include "app/display_check.h"
#include "app/program_entry.h"
#include "app/standard_output.h"
#include "app/termination_signals.h"
#include "platform/install_layout.h"
#include "platform/system.h"

namespace app {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitNoDisplay = 2;
constexpr int kExitUsage = 2;

int NoDisplay(const DisplayCheck& display) {
  if (display.unreachable.empty()) {
    std::fputs(
        "vantrel: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
        "set).\n"
        "Start it on a desktop or set DISPLAY (for example DISPLAY=:0), or add -h to run\n"
        "commands (-c, -cd) without a window. vantrel --help tells more.\n",
        stderr);
  } else {
    std::fprintf(stderr,
                 "vantrel: cannot connect to the display \"%s\" to show the window on.\n"
                 "Run it with -h to run commands (-c, -cd) without a window, or set DISPLAY\n"
                 "to a display that can be reached. vantrel --help tells more.\n",
                 display.unreachable.c_str());
  }
  return kExitNoDisplay;
}

// A part of the program in a library of its own, loaded now: its entry, or
// null after telling why it could not be had. The library stays loaded until
// the process ends.
void* PartEntry(const char* libraryName, const char* entryName, const char* what) {
  const std::string path = platform::ProgramLibraryPath(libraryName);
  platform::HMODULE library = platform::LoadLibrary(path);
  void* entry = library != nullptr ? platform::GetProcAddress(library, entryName) : nullptr;
  if (entry == nullptr) {
    std::fprintf(stderr, "vantrel: cannot load the %s library %s: %s\n", what, path.c_str(),
                 platform::LastLoaderMessage().c_str());
  }
  return entry;
}

int RunWindow(int argc, char** argv, const CommandLine& commandLine) {
  void* entry = PartEntry(kWindowLibraryName, kWindowMainName, "window's");
  if (entry == nullptr) return kExitFailure;
  return reinterpret_cast<WindowMainFunction>(entry)(argc, argv, &commandLine);
}

// The console run, for one router or for many.
int RunWithoutWindow(const CommandLine& commandLine) {
  void* entry = PartEntry(kConsoleLibraryName, kConsoleMainName, "console run's");
  if (entry == nullptr) return kExitFailure;
  return reinterpret_cast<ConsoleMainFunction>(entry)(&commandLine);
}

}  // namespace

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
  const bool hidden = HasHiddenSwitch(commandLine.switches);

  if (hidden && commandLine.print) {
    return RunWithoutWindow(commandLine);
  }
  const DisplayCheck display = CheckDisplay();
  if (commandLine.ConsoleOnly()) {
    // Many routers, and JSON, have no window to show their answers in.
    if (display.usable && !commandLine.print) {
      std::fputs(
          "vantrel: polling several routers (or --output-dir, or --json) needs a run without a "
          "window: add --print, or run it without a display.\nvantrel --help tells the "
          "usage.\n",
          stderr);
      return kExitUsage;
    }
    return RunWithoutWindow(commandLine);
  }
  if (!display.usable && !DisplaylessPlatformRequested()) {
    if (hidden) return RunWithoutWindow(commandLine);
    return NoDisplay(display);
  }
  return RunWindow(argc, argv, commandLine);
}

}  // namespace app

extern "C" __attribute__((visibility("default"))) int vantrel_program_main(int argc, char** argv) {
  return app::ProgramMain(argc, argv);
}
