// TELNET command and option codes, each named once: the constants and the names
// used in traces and test logs come from the same table, so they cannot drift.
#pragma once

#include <cstdint>
#include <string_view>

namespace telnet {

// Commands: the byte that follows IAC (and IAC itself).
#define VANTREL_TELNET_COMMANDS(X) \
  X(EOR, 239)                      \
  X(SE, 240)                       \
  X(NOP, 241)                      \
  X(DM, 242)                       \
  X(BRK, 243)                      \
  X(IP, 244)                       \
  X(AO, 245)                       \
  X(AYT, 246)                      \
  X(EC, 247)                       \
  X(EL, 248)                       \
  X(GA, 249)                       \
  X(SB, 250)                       \
  X(WILL, 251)                     \
  X(WONT, 252)                     \
  X(DO, 253)                       \
  X(DONT, 254)                     \
  X(IAC, 255)

// The options this client knows; every other option is refused.
#define VANTREL_TELNET_OPTIONS(X)   \
  X(TRANSMIT_BINARY, 0)             \
  X(ECHO, 1)                        \
  X(SUPPRESS_GO_AHEAD, 3)           \
  X(SEND_LOCATION, 23)              \
  X(TERMINAL_TYPE, 24)              \
  X(END_OF_RECORD, 25)

namespace cmd {
#define VANTREL_TELNET_CONSTANT(name, value) inline constexpr std::uint8_t name = value;
VANTREL_TELNET_COMMANDS(VANTREL_TELNET_CONSTANT)
}  // namespace cmd

namespace opt {
VANTREL_TELNET_OPTIONS(VANTREL_TELNET_CONSTANT)
#undef VANTREL_TELNET_CONSTANT
}  // namespace opt

// Subcommands of the TERMINAL-TYPE subnegotiation.
namespace termtype {
inline constexpr std::uint8_t IS = 0;
inline constexpr std::uint8_t SEND = 1;
}  // namespace termtype

// "WILL", "SE", ...; empty for a byte that is not a command.
constexpr std::string_view CommandName(std::uint8_t code) {
  switch (code) {
#define VANTREL_TELNET_NAME_CASE(name, value) \
  case value:                                 \
    return #name;
    VANTREL_TELNET_COMMANDS(VANTREL_TELNET_NAME_CASE)
    default:
      return {};
  }
}

// "ECHO", "TERMINAL_TYPE", ...; empty for an option we do not know.
constexpr std::string_view OptionName(std::uint8_t code) {
  switch (code) {
    VANTREL_TELNET_OPTIONS(VANTREL_TELNET_NAME_CASE)
#undef VANTREL_TELNET_NAME_CASE
    default:
      return {};
  }
}

}  // namespace telnet
