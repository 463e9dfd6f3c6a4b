// The dialogue of the simulated router. Wire layout of one command ("show",
// answer lines A and B, model MT128-NET):
//
//   s h o w            echo of the typed bytes, as they arrive
//   CR LF              echo of the line end           -> client's line 0 ends
//   CR LF              blank line                     -> line 1
//   A CR LF B CR LF    the answer
//   MT128-NET%<blank>  the prompt, no line end        -> last line
//
// A client that drops line 0, line 1 and the last line sees exactly A and B.
#include "session.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "answer.h"

namespace routersim {

namespace {

const char kLoginPrompt[] = "login: ";
const char kLoginRefused[] = "Login incorrect\r\n\r\n";
const char kLoginName[] = "admin";

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Never 240 (SE) nor 255 (IAC): the subnegotiation must stay open.
std::string filler_block(std::size_t size) {
  static const char kPattern[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string block(size, ' ');
  for (std::size_t i = 0; i < size; ++i) block[i] = kPattern[i % (sizeof kPattern - 1)];
  return block;
}

}  // namespace

Session::Session(const SessionContext& context, int fd, int id, std::string peer)
    : context_(context),
      id_(id),
      peer_(std::move(peer)),
      record_fd_(open_record(context.options, id)),
      connection_(fd, context.stop_fd, record_fd_) {}

Session::~Session() {
  if (record_fd_ >= 0) ::close(record_fd_);
}

int Session::open_record(const Options& options, int id) {
  if (options.record_path.empty()) return -1;
  const std::string path = options.record_path + "." + std::to_string(id);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    // The session still runs: a test that needs the record will say so.
    std::fprintf(stderr, "vantrel-routersim: cannot write %s: %s\n", path.c_str(),
                 std::strerror(errno));
  }
  return fd;
}

void Session::run() {
  context_.log.session(id_, "open",
                       context_.local.empty() ? peer_ : peer_ + " on " + context_.local);
  if (context_.options.silent || context_.options.no_login) stage_ = Stage::Mute;
  if (context_.options.no_read) connection_.stop_reading();

  bool alive = open_session();
  while (alive && stage_ != Stage::Done) {
    if (!connection_.wait_for_input()) break;
    std::string input = connection_.take_input();
    if (!input.empty() && !process(input)) break;
    if (connection_.peer_closed()) break;
  }
  if (stage_ != Stage::Done) connection_.close_gracefully();
  context_.log.session(id_, "closed");
}

bool Session::open_session() {
  const Options& options = context_.options;
  if (!speaks()) return true;
  if (options.negotiate) {
    const std::string opening =
        telnet_.offer(tn::ECHO) + telnet_.offer(tn::SGA) + telnet_.request(tn::TTYPE);
    if (!send_command(opening)) return false;
  }
  if (!options.send_raw.empty() && !connection_.send_all(options.send_raw)) return false;
  if (options.endless_subnegotiation && !stream_endless_subnegotiation()) return false;
  if (options.option_flood) return stream_option_flood();
  if (options.flood_before_login) {
    return stream_endlessly(encode_lines(generated_lines(16 * 1024), ContentFaults{}));
  }
  return true;
}

bool Session::flood_with(std::string_view block, bool serve_input) {
  using Clock = std::chrono::steady_clock;
  const Options& options = context_.options;
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(options.flood_seconds);
  std::size_t sent = 0;
  while (Clock::now() < end) {
    if (!connection_.send_all(block)) return false;
    if (connection_.peer_closed()) return false;
    sent += block.size();
    // What a reading client sent meanwhile is recorded already. Before the
    // log-in it is served as usual (negotiation, the wake-up); inside an
    // answer the session has no use for it.
    const std::string input = connection_.take_input();
    if (serve_input && !input.empty() && !process(input)) return false;
    if (options.output_rate > 0) {
      const auto due = start + std::chrono::milliseconds(sent * 1000 / options.output_rate);
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
      if (wait.count() > 0 && !connection_.pause(static_cast<int>(wait.count()))) return false;
    }
  }
  return true;
}

bool Session::stream_option_flood() {
  std::string block;
  const std::string request{static_cast<char>(tn::IAC), static_cast<char>(tn::DO),
                            static_cast<char>(tn::SEND_LOCATION)};
  while (block.size() < 3 * 4096) block += request;
  if (!flood_with(block, true)) return false;
  // A client that could not get rid of its replies has had its chance.
  if (context_.options.no_read) {
    stage_ = Stage::Done;
    connection_.close_gracefully();
  }
  return true;
}

bool Session::stream_endless_output() {
  if (!send_data("\r\n")) return stream_endlessly({});
  if (context_.options.endless_line) return stream_endlessly(filler_block(16 * 1024));
  return stream_endlessly(encode_lines(generated_lines(16 * 1024), ContentFaults{}));
}

bool Session::stream_endlessly(std::string_view block) {
  if (!block.empty()) flood_with(block, false);
  stage_ = Stage::Done;
  connection_.close_gracefully();
  return true;
}

bool Session::stream_endless_subnegotiation() {
  const std::string opening{static_cast<char>(tn::IAC), static_cast<char>(tn::SB),
                            static_cast<char>(tn::TTYPE), static_cast<char>(tn::TTYPE_SEND)};
  if (!send_command(opening)) return false;
  const std::string block = filler_block(16384);
  std::size_t left = context_.options.subnegotiation_limit;
  while (left > 0) {
    std::size_t size = std::min(left, block.size());
    if (!connection_.send_all(std::string_view(block).substr(0, size))) return false;
    if (connection_.peer_closed()) return false;
    left -= size;
  }
  return send_command(std::string{static_cast<char>(tn::IAC), static_cast<char>(tn::SE)});
}

bool Session::process(std::string_view bytes) {
  TelnetInput input;
  telnet_.feed(bytes, input);
  const bool repliesLast = context_.options.coalesce;
  if (!repliesLast && !send_replies(input)) return false;
  for (const auto& name : input.terminal_types) context_.log.session(id_, "terminal-type", name);
  for (char c : input.data) {
    if (!take_data_byte(c)) return false;
    if (stage_ == Stage::Done) return true;
  }
  if (!flush_echo()) return false;
  return !repliesLast || send_replies(input);
}

bool Session::send_replies(const TelnetInput& input) {
  if (!speaks()) return true;
  for (const auto& reply : input.replies) {
    if (!send_command(reply)) return false;
  }
  return true;
}

// Line discipline: CR, CR LF, CR NUL and a lone LF end a line; BS and DEL erase.
bool Session::take_data_byte(char c) {
  if (after_cr_) {
    after_cr_ = false;
    if (c == '\n' || c == '\0') return true;
  }
  if (c == '\r') {
    after_cr_ = true;
    return end_of_line();
  }
  if (c == '\n') return end_of_line();
  if (c == '\b' || c == '\x7f') {
    if (!line_.empty()) {
      line_.pop_back();
      if (echoes()) echo_ += "\b \b";
    }
    return true;
  }
  if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return true;
  line_.push_back(c);
  if (echoes()) {
    echo_.push_back(c);
    if (c == '\xff') echo_.push_back(c);
  }
  return true;
}

bool Session::end_of_line() {
  if (echoes()) echo_ += "\r\n";
  if (!flush_echo()) return false;
  std::string line;
  line.swap(line_);
  bool ok = handle_line(line);
  context_.log.session(id_, "line", line);
  return ok;
}

bool Session::flush_echo() {
  if (echo_.empty()) return true;
  std::string echo;
  echo.swap(echo_);
  return send_data(echo);
}

bool Session::handle_line(const std::string& line) {
  switch (stage_) {
    case Stage::Wake:
      // Whatever the first line held, it only wakes the router up.
      if (!connection_.pause(context_.options.login_delay_ms)) return false;
      stage_ = Stage::Login;
      return send_data(kLoginPrompt);
    case Stage::Login:
      return handle_login(line);
    case Stage::Command:
      return handle_command(line);
    case Stage::Mute:
    case Stage::Done:
      return true;
  }
  return true;
}

bool Session::handle_login(const std::string& line) {
  const Options& options = context_.options;
  if (options.close_at_login) {
    stage_ = Stage::Done;
    connection_.close_gracefully();
    return true;
  }
  const std::string_view name = trim_blanks(line);
  if (name.empty()) return send_data(kLoginPrompt);
  if (!connection_.pause(options.login_delay_ms)) return false;
  if (name == kLoginName) {
    stage_ = Stage::Command;
    return send_data("\r\n" + prompt());
  }
  return send_data(std::string(kLoginRefused) + kLoginPrompt);
}

bool Session::handle_command(const std::string& line) {
  const Options& options = context_.options;
  const std::string command = CommandTable::normalize(line);
  const std::string trailer =
      options.no_prompt ? std::string() : prompt() + options.after_prompt_raw;
  if (command.empty()) return send_data(trailer);
  if (command == "EXIT" || command == "QUIT") {
    stage_ = Stage::Done;
    connection_.close_gracefully();
    return true;
  }
  if (!connection_.pause(options.answer_delay_ms)) return false;
  if (options.endless_output || options.endless_line) return stream_endless_output();

  std::string body = "\r\n";
  if (options.answer_raw) {
    body += *options.answer_raw;
  } else {
    const ContentFaults faults{options.nul_in_output, options.iac_in_output,
                               options.percent_in_output};
    body += encode_lines(options.answer_bytes
                             ? generated_lines(*options.answer_bytes)
                             : context_.commands.answer(line, options.model, context_.address),
                         faults);
  }

  if (options.close_in_output || options.reset_in_output || options.flood_in_output) {
    if (!send_data(std::string_view(body).substr(0, (body.size() + 1) / 2))) return false;
    if (options.flood_in_output) {
      connection_.stop_reading();
      return stream_option_flood();
    }
    stage_ = Stage::Done;
    if (options.reset_in_output) {
      connection_.reset();
    } else {
      connection_.close_gracefully();
    }
    return true;
  }
  if (!send_data(body + trailer)) return false;
  if (options.reset_after_prompt) {
    stage_ = Stage::Done;
    connection_.reset_at_once();
  }
  return true;
}

bool Session::send_data(std::string_view bytes) {
  if (!speaks() || bytes.empty()) return true;
  if (context_.options.trickle) {
    return connection_.send_bytewise(bytes, context_.options.trickle_gap_ms,
                                     context_.options.trickle_piece);
  }
  return connection_.send_all(bytes);
}

bool Session::send_command(std::string_view bytes) {
  if (!speaks() || bytes.empty()) return true;
  if (context_.options.split_commands) {
    return connection_.send_bytewise(bytes, context_.options.split_gap_ms);
  }
  return connection_.send_all(bytes);
}

}  // namespace routersim
