// A console run over many routers: each router gets a command cycle of its
// own and runs every -c/-cd switch in order, up to --jobs of them at once,
// all in one event loop. The answers go to standard output in the order the
// routers were given, each router's after a line "== ADDRESS ==", or to one
// file per router in an output folder.
#pragma once

#include "app/command_line.h"
#include "app/program_files.h"

namespace app {

int RunRouterFleet(const CommandLine& commandLine, const ProgramFiles& files);

}  // namespace app
