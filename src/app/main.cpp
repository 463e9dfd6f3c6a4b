// Vantrel: reads status from small ISDN routers over TELNET.
#include "app/program_entry.h"

int main(int argc, char** argv) { return app::ProgramMain(argc, argv); }
