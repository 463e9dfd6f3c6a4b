// The program-wide trace numbering.
#include "telnet/telnet_module_state.h"

#include <cstdio>

#include "platform/system.h"

namespace telnet {

namespace {

// Kept unsigned so that counting past 2^31 lines wraps instead of overflowing;
// read back as the signed counter it stands for.
std::uint32_t gTraceCounter = 0;

}  // namespace

void DebugTrace(const std::string& text) {
  ++gTraceCounter;
  char number[16];
  std::snprintf(number, sizeof number, "%04X ", static_cast<unsigned>(gTraceCounter));
  platform::OutputDebugString(number);
  platform::OutputDebugString(text);
}

std::int32_t TraceCounter() { return static_cast<std::int32_t>(gTraceCounter); }

void ResetTelnetModuleStateForTesting() {
  gTraceCounter = 0;
}

}  // namespace telnet
