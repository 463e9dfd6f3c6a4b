// A hidden run as a console program: no application object of Qt's GUI, no
// window, no platform plugin, no font. It reads the settings and the panel
// file as a hidden run of the window does, runs the switches' cycles on the
// engine, writes each -cd answer to standard output and each error to
// standard error with the same texts, order and exit status, and writes no
// file.
#pragma once

#include "app/command_line.h"
#include "app/program_files.h"

namespace app {

int RunConsole(const CommandLine& commandLine, const ProgramFiles& files);

}  // namespace app
