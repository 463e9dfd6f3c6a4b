// Command-line settings of the router simulator: where it listens, which model
// it plays, where its answers come from, and which faults it injects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace routersim {

struct Options {
  // One address, or a range of IPv4 addresses "A-B" (B a whole address or the
  // last number alone): each address of it is a router of its own.
  std::string listen_address = "127.0.0.1";
  std::uint16_t port = 23;
  std::string model = "MT128-NET";
  std::string commands_file;  // empty: beside the executable, else the built-in copy
  std::string record_path;    // empty: nothing is recorded
  bool quiet = false;
  bool watch_stdin = false;

  // Opening of each session.
  bool negotiate = true;
  // TCP_NODELAY left off: the system holds a small write back until the one
  // before it is acknowledged. The replies to the client's requests are also
  // written after what its data asked for ("login: " before the
  // terminal-type request), as routers that coalesce do.
  bool coalesce = false;
  std::string send_raw;  // sent verbatim right after the opening negotiation

  // Faults.
  int answer_delay_ms = 0;
  // --delay with several values: the routers of a range take them in turn.
  std::vector<int> answer_delays_ms;
  int login_delay_ms = 0;
  bool trickle = false;
  int trickle_gap_ms = 1;
  std::size_t trickle_piece = 1;  // bytes a trickled write
  bool reset_after_prompt = false;
  bool silent = false;
  bool no_login = false;
  bool no_prompt = false;
  bool close_at_login = false;
  bool close_in_output = false;
  bool reset_in_output = false;
  bool nul_in_output = false;
  bool iac_in_output = false;
  bool percent_in_output = false;
  bool split_commands = false;
  int split_gap_ms = 20;
  std::optional<std::size_t> answer_bytes;
  std::optional<std::string> answer_raw;
  std::string after_prompt_raw;
  bool endless_subnegotiation = false;
  std::size_t subnegotiation_limit = 64u * 1024u * 1024u;
  bool endless_output = false;
  bool endless_line = false;
  bool flood_before_login = false;
  bool flood_in_output = false;
  std::size_t output_rate = 0;  // bytes per second; 0: as fast as the client takes it
  bool option_flood = false;
  bool no_read = false;
  int flood_seconds = 60;  // how long an endless output or a flood lasts at most
};

// What parse_options decided: run with the options, or leave at once with
// `exit_code` after `message` (the help text on stdout, or an error on stderr).
struct ParseResult {
  std::optional<Options> options;
  int exit_code = 0;
  std::string message;
};

ParseResult parse_options(const std::vector<std::string>& args);

// The four models the simulator can play; `name` is matched without regard to case.
std::optional<std::string> canonical_model(const std::string& name);

std::string help_text();

// The addresses `listen` names (a range expanded), or nothing when it is a
// range that makes no sense.
std::optional<std::vector<std::string>> listen_addresses(const std::string& listen);

}  // namespace routersim
