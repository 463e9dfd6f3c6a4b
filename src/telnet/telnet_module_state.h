// What the telnet layer keeps once for the whole program rather than per
// connection: the receive parser and the numbering of the diagnostic trace.
// The parser starts afresh at every Connect, so a command cut off by the end
// of one session never eats into the next; the trace numbering runs on for
// the whole program.
#pragma once

#include <cstdint>
#include <string>

#include "telnet/telnet_parser.h"

namespace telnet {

// The one parser every TTelnetConnection feeds.
TelnetParser& SharedTelnetParser();

// Writes a numbered diagnostic line to the platform's debug output, in two
// pieces: the line number as at least four upper-case hex digits and a blank
// ("0001 "), then `text`. Never seen by a connection's owner.
void DebugTrace(const std::string& text);

// How many trace lines have been written so far.
std::int32_t TraceCounter();

// Test hook: back to the state of program start (parser idle, counter 0), so
// each test case starts from the same place. The program itself never calls it.
void ResetTelnetModuleStateForTesting();

}  // namespace telnet
