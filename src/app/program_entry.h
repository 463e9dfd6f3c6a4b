// The program's entry, split in two so that tests run the very same start-up
// inside their own application object.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/program_files.h"

class TForm1;

namespace app {

struct EntryHooks {
  // Called once the main window exists, before its start-up runs.
  std::function<void(TForm1&)> mainWindowCreated;
  // Called after start-up, before the window is shown (not in hidden mode).
  std::function<void(TForm1&)> startUpFinished;
};

// Creates the windows and runs the program in the application object that
// exists already; returns the exit status. `arguments` are the short switches
// and their commands, Shift-JIS; `argumentHasNoAnsiForm` marks those that
// could not be written in it exactly.
int RunApplication(const std::vector<std::string>& arguments, const ProgramFiles& files,
                   const EntryHooks& hooks = {}, const RunSettings& runSettings = {},
                   const std::vector<bool>& argumentHasNoAnsiForm = {});

// The whole program: the long options, the display check, then the console
// run or the window library (program_main.cpp, in the core library, whose
// entry `vantrel_program_main` the executable calls).
int ProgramMain(int argc, char** argv);

// The window library's entry, found by name once the library is loaded: the
// application object, the message pump and RunApplication.
using WindowMainFunction = int (*)(int argc, char** argv, const CommandLine* commandLine);
inline constexpr char kWindowLibraryName[] = "libvantrel_window.so";
inline constexpr char kWindowMainName[] = "vantrel_window_main";

// The console run's library and its entry, for one router or many.
using ConsoleMainFunction = int (*)(const CommandLine* commandLine);
inline constexpr char kConsoleLibraryName[] = "libvantrel_console.so";
inline constexpr char kConsoleMainName[] = "vantrel_console_main";

}  // namespace app
