// What the telnet layer keeps once for the whole program rather than per
// connection: the numbering of the diagnostic trace, which runs on across
// all sessions. The parsers are the connections' own.
#pragma once

#include <cstdint>
#include <string>


namespace telnet {

// Writes a numbered diagnostic line to the platform's debug output, in two
// pieces: the line number as at least four upper-case hex digits and a blank
// ("0001 "), then `text`. Never seen by a connection's owner.
void DebugTrace(const std::string& text);

// How many trace lines have been written so far.
std::int32_t TraceCounter();

// Test hook: back to the state of program start (counter 0), so
// each test case starts from the same place. The program itself never calls it.
void ResetTelnetModuleStateForTesting();

}  // namespace telnet
