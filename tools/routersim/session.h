// One TELNET session with the simulated router: opening negotiation, wake-up,
// log-in, command lines; with the faults the options ask for.
#pragma once

#include <string>
#include <string_view>

#include "command_table.h"
#include "connection.h"
#include "event_log.h"
#include "options.h"
#include "telnet_options.h"

namespace routersim {

struct SessionContext {
  const Options& options;
  const CommandTable& commands;
  EventLog& log;
  int stop_fd;
  // The router's own address and port, for the open line of a simulator that
  // plays many; empty when it plays one.
  std::string local;
  // The address it listens on, for {ADDRESS} in answers.
  std::string address;
};

class Session {
 public:
  // Takes over `fd`, a connected non-blocking socket.
  Session(const SessionContext& context, int fd, int id, std::string peer);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Runs the session to its end; returns when the connection is closed.
  void run();

 private:
  enum class Stage { Wake, Login, Command, Mute, Done };

  static int open_record(const Options& options, int id);

  bool open_session();
  bool stream_endless_subnegotiation();
  bool stream_option_flood();
  bool stream_endless_output();
  // Sends `block` without end where an answer or the log-in would come, then closes.
  bool stream_endlessly(std::string_view block);
  // Sends `block` over and over until the client goes away or the flood's
  // time is up (false when the connection failed or the program stops);
  // with --output-rate, no faster than that. With `serve_input`, what the
  // client sends meanwhile is answered as usual.
  bool flood_with(std::string_view block, bool serve_input);
  bool process(std::string_view bytes);
  bool send_replies(const TelnetInput& input);
  bool take_data_byte(char c);
  bool end_of_line();
  bool handle_line(const std::string& line);
  bool handle_login(const std::string& line);
  bool handle_command(const std::string& line);
  bool flush_echo();
  bool send_data(std::string_view bytes);
  bool send_command(std::string_view bytes);
  bool speaks() const { return !context_.options.silent; }
  bool echoes() const { return stage_ != Stage::Mute && !telnet_.echo_refused(); }
  std::string prompt() const { return context_.options.model + "% "; }

  const SessionContext& context_;
  const int id_;
  const std::string peer_;
  const int record_fd_;
  Connection connection_;
  TelnetServer telnet_;
  Stage stage_ = Stage::Wake;
  std::string line_;
  std::string echo_;
  bool after_cr_ = false;
};

}  // namespace routersim
