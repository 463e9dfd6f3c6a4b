// The console run, over one router or many: each router gets a command cycle
// of its own and runs every -c/-cd switch in order, up to --jobs of them at
// once, all in one event loop. The answers go to standard output as their
// lines arrive, in the order the routers were given, each router's after a
// line "== ADDRESS ==" when there are several, or to one file per router in
// an output folder. One router or many, everything goes out the same way.
#pragma once

#include "app/command_line.h"
#include "app/program_files.h"

namespace app {

// The run of a plain -h without a window, too: its one router is the
// settings' (or --host's), with no header and no prefix on its messages.
int RunRouterFleet(const CommandLine& commandLine, const ProgramFiles& files);

}  // namespace app
