// The program's long options: --help and --version, answered before anything
// starts, --host/--model/--socks, which point this one run elsewhere without
// touching the settings file, and --print, which keeps a hidden run off the
// desktop. An unknown long option is a usage error. Every other argument (the
// other long options with their values among them) is left, in order, for the
// short switches (-c, -cd, -h) of the main window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/router_list.h"
#include "telnet/socks_route.h"

namespace app {

// Router address and model for this run only, over the settings file's.
struct RunSettings {
  std::optional<std::string> host;  // Shift-JIS, like the settings file's "ip"
  std::optional<int> routerModel;   // a RouterModel number, -1 for automatic
  // The proxy of --socks, over the settings file's [socks] section.
  std::optional<telnet::SocksRoute> socks;
};

struct CommandLine {
  bool showHelp = false;
  bool showVersion = false;
  // --print: with -h, the answers go to standard output even on a desktop.
  bool print = false;
  RunSettings runSettings;
  // Every router named by --host or listed by --hosts, in that order. With
  // one, it is also runSettings.host (and its model runSettings.routerModel).
  std::vector<RouterEntry> routers;
  // --jobs: how many routers a run with several polls at once.
  int jobs = 8;
  // --output-dir: one file per router there instead of standard output.
  std::optional<std::string> outputDir;
  // Several routers, or an output folder: the run that polls a list of
  // routers, a console run only.
  bool ManyRouters() const { return routers.size() > 1 || outputDir.has_value(); }
  // --json: JSON Lines on standard output instead of the text form.
  bool json = false;
  // A run that only the console run can do.
  bool ConsoleOnly() const { return ManyRouters() || json; }
  // The first thing wrong with the long options, for standard error; empty when none.
  std::string error;
  // The arguments the long options left, Shift-JIS.
  std::vector<std::string> switches;
  // One per switch: true where the argument had no exact Shift-JIS form (not
  // valid UTF-8, or a character Shift-JIS lacks); its switch then holds '?'
  // in those places, and is never sent as a command.
  std::vector<bool> switchHasNoAnsiForm;
};

// `arguments` exclude the program's own name and are in the locale's UTF-8.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Answers --help, --version or a usage error on the standard streams and
// returns the exit status; nothing when the program is to start.
std::optional<int> AnswerWithoutStarting(const CommandLine& commandLine);

std::string UsageText();

// True when any argument is "-h" or "-H" (exact, whole argument).
bool HasHiddenSwitch(const std::vector<std::string>& arguments);

}  // namespace app
