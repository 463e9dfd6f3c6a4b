// What a hidden run as a console program needs around it: no application
// object of Qt's GUI, no window, no platform plugin, no font. The run itself,
// for one router or many, is in router_fleet.h; it reads the settings and the
// panel file as a hidden run of the window does, runs the switches' cycles on
// the engine, writes each -cd answer to standard output and each error to
// standard error with the same texts and exit status, and writes neither
// file.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/program_files.h"

namespace telnet {
class TTelnetConnection;
}

namespace app {

// Runs `body` with what a console run needs around it: Qt's core
// application, the platform message pump, the signal handlers and the trace
// log. Returns what `body` returns.
int WithConsoleLoop(const std::function<int()>& body);

// The error text (Shift-JIS) for a file that can't be opened.
std::string CannotOpenText(const std::string& path);

// The panel file's error text (Shift-JIS) when it can't be read; only
// whether it can be read matters without a window.
std::optional<std::string> PanelProblem(const ProgramFiles& files);

// The connection values the main window's form gives its connection.
void ConfigureConnection(telnet::TTelnetConnection& connection);

// The switches' commands in order; `show` for -cd, whose answer is written
// out; `noAnsiForm` for a command without an exact Shift-JIS form, which is
// refused as a line break is.
struct SwitchCommand {
  std::string command;  // Shift-JIS
  bool show = false;
  bool noAnsiForm = false;
};
std::vector<SwitchCommand> SwitchCommands(const CommandLine& commandLine);

// As a box written out: its text in UTF-8, ended by a line feed.
void WriteOut(std::FILE* stream, const std::string& utf8);

}  // namespace app
