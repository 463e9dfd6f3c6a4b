// The program's entry, split in two so that tests run the very same start-up
// inside their own application object.
#pragma once

#include <functional>
#include <string>
#include <vector>

class TForm1;

namespace app {

struct EntryHooks {
  // Called once the main window exists, before its start-up runs.
  std::function<void(TForm1&)> mainWindowCreated;
  // Called after start-up, before the window is shown (not in hidden mode).
  std::function<void(TForm1&)> startUpFinished;
};

// True when any argument is "-h" or "-H" (exact, whole argument).
bool HasHiddenSwitch(const std::vector<std::string>& arguments);

// Creates the windows and runs the program in the application object that
// exists already; returns the exit status. `arguments` exclude the program's
// own name and are Shift-JIS.
int RunApplication(const std::vector<std::string>& arguments, const std::string& programDirectory,
                   const EntryHooks& hooks = {});

// The whole program: the display check, the application object, the message
// pump and RunApplication.
int ProgramMain(int argc, char** argv);

}  // namespace app
