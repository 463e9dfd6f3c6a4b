// The server side of TELNET: splits what a client sends into data bytes and
// commands, and keeps one state per option and side so that a request already
// in force is never answered again (two peers answering each other's answers
// would otherwise ping-pong forever). No sockets here: bytes in, bytes out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace routersim {

namespace tn {
inline constexpr std::uint8_t SE = 240;
inline constexpr std::uint8_t SB = 250;
inline constexpr std::uint8_t WILL = 251;
inline constexpr std::uint8_t WONT = 252;
inline constexpr std::uint8_t DO = 253;
inline constexpr std::uint8_t DONT = 254;
inline constexpr std::uint8_t IAC = 255;

inline constexpr std::uint8_t BINARY = 0;
inline constexpr std::uint8_t ECHO = 1;
inline constexpr std::uint8_t SGA = 3;
inline constexpr std::uint8_t TTYPE = 24;
inline constexpr std::uint8_t SEND_LOCATION = 23;

inline constexpr std::uint8_t TTYPE_IS = 0;
inline constexpr std::uint8_t TTYPE_SEND = 1;

std::string command(std::uint8_t verb, std::uint8_t option);
std::string terminal_type_send();
}  // namespace tn

// What one call of TelnetServer::feed produced, in the order it has to act.
struct TelnetInput {
  std::string data;                  // the client's data bytes, IAC IAC undone
  std::vector<std::string> replies;  // whole command sequences to send back
  std::vector<std::string> terminal_types;
};

class TelnetServer {
 public:
  TelnetServer();

  // Our own requests; each returns the sequence to send, or "" when the option
  // is already on or already asked for.
  std::string offer(std::uint8_t option);    // WILL
  std::string request(std::uint8_t option);  // DO

  void feed(std::string_view bytes, TelnetInput& out);

  bool echo_refused() const { return echo_refused_; }
  bool remote_enabled(std::uint8_t option) const { return him_[option] == State::Yes; }
  bool local_enabled(std::uint8_t option) const { return us_[option] == State::Yes; }

 private:
  enum class State : std::uint8_t { No, Yes, WantNo, WantYes };
  enum class Phase : std::uint8_t { Data, AfterIac, AfterVerb, InSub, InSubAfterIac };

  void on_verb(std::uint8_t verb, std::uint8_t option, TelnetInput& out);
  void on_enable(std::array<State, 256>& side, std::uint8_t option, bool acceptable,
                 std::uint8_t grant, std::uint8_t refuse, TelnetInput& out);
  void on_disable(std::array<State, 256>& side, std::uint8_t option, std::uint8_t acknowledge,
                  TelnetInput& out);
  void on_subnegotiation(TelnetInput& out);
  static bool we_do(std::uint8_t option);
  static bool we_accept(std::uint8_t option);

  std::array<State, 256> us_{};
  std::array<State, 256> him_{};
  Phase phase_ = Phase::Data;
  std::uint8_t verb_ = 0;
  std::string sub_;
  bool terminal_type_asked_ = false;
  bool echo_refused_ = false;
};

}  // namespace routersim
