// The program-wide telnet parser state and the trace numbering.
#include "telnet/telnet_module_state.h"

#include <cstdio>

#include "platform/system.h"

namespace telnet {

namespace {

TelnetParser gParser;
// Kept unsigned so that counting past 2^31 lines wraps instead of overflowing;
// read back as the signed counter it stands for.
std::uint32_t gTraceCounter = 0;

}  // namespace

TelnetParser& SharedTelnetParser() { return gParser; }

void DebugTrace(const std::string& text) {
  ++gTraceCounter;
  char number[16];
  std::snprintf(number, sizeof number, "%04X ", static_cast<unsigned>(gTraceCounter));
  platform::OutputDebugString(number);
  platform::OutputDebugString(text);
}

std::int32_t TraceCounter() { return static_cast<std::int32_t>(gTraceCounter); }

void ResetTelnetModuleStateForTesting() {
  gParser.Reset();
  gTraceCounter = 0;
}

}  // namespace telnet
