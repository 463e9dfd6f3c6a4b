// Command-line parsing and the --help text, which is also the user's manual of
// the dialogue and of the wire layout of every answer.
#include "options.h"

#include <arpa/inet.h>

#include <cctype>
#include <charconv>
#include <functional>
#include <map>

#ifndef VANTREL_VERSION
#error "VANTREL_VERSION must give the simulator's version"
#endif
#ifndef VANTREL_BIN_TO_PKGDATADIR
#error "VANTREL_BIN_TO_PKGDATADIR must give the data folder relative to the executable's"
#endif

namespace routersim {

namespace {

const char* const kModels[] = {"MT128-NET", "MN128-SOHO", "MN128-SOHO-SL10", "MN128-SOHO-SL11"};

std::optional<long long> parse_number(const std::string& text, long long low, long long high) {
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// "ff fd 17", "FF:FD:17" and "fffd17" all mean the same three bytes.
std::optional<std::string> parse_hex(const std::string& text) {
  std::string bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == ',' || c == '-') {
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) {
      return std::nullopt;
    }
    int digit = std::isdigit(static_cast<unsigned char>(c))
                    ? c - '0'
                    : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::optional<std::string> canonical_model(const std::string& name) {
  for (const char* model : kModels) {
    std::string candidate(model);
    if (candidate.size() == name.size() &&
        std::equal(candidate.begin(), candidate.end(), name.begin(), [](char a, char b) {
          return std::toupper(static_cast<unsigned char>(a)) ==
                 std::toupper(static_cast<unsigned char>(b));
        })) {
      return candidate;
    }
  }
  return std::nullopt;
}

ParseResult parse_options(const std::vector<std::string>& args) {
  Options options;
  ParseResult failure;
  failure.exit_code = 2;

  using Flag = std::function<void()>;
  using Valued = std::function<bool(const std::string&)>;
  const std::map<std::string, Flag> flags = {
      {"--quiet", [&] { options.quiet = true; }},
      {"--watch-stdin", [&] { options.watch_stdin = true; }},
      {"--no-negotiation", [&] { options.negotiate = false; }},
      {"--trickle", [&] { options.trickle = true; }},
      {"--coalesce", [&] { options.coalesce = true; }},
      {"--reset-after-prompt", [&] { options.reset_after_prompt = true; }},
      {"--silent", [&] { options.silent = true; }},
      {"--no-login", [&] { options.no_login = true; }},
      {"--no-prompt", [&] { options.no_prompt = true; }},
      {"--close-at-login", [&] { options.close_at_login = true; }},
      {"--close-in-output", [&] { options.close_in_output = true; }},
      {"--reset-in-output", [&] { options.reset_in_output = true; }},
      {"--nul-in-output", [&] { options.nul_in_output = true; }},
      {"--iac-in-output", [&] { options.iac_in_output = true; }},
      {"--percent-in-output", [&] { options.percent_in_output = true; }},
      {"--split-commands", [&] { options.split_commands = true; }},
      {"--endless-sb", [&] { options.endless_subnegotiation = true; }},
      {"--endless-output", [&] { options.endless_output = true; }},
      {"--endless-line", [&] { options.endless_line = true; }},
      {"--flood-before-login", [&] { options.flood_before_login = true; }},
      {"--flood-in-output", [&] { options.flood_in_output = true; }},
      {"--option-flood", [&] { options.option_flood = true; }},
      {"--no-read", [&] { options.no_read = true; }},
  };
  auto milliseconds = [](int& target) {
    return [&target](const std::string& v) {
      auto n = parse_number(v, 0, 3600 * 1000);
      if (n) target = static_cast<int>(*n);
      return n.has_value();
    };
  };
  auto text = [](std::string& target) {
    return [&target](const std::string& v) {
      target = v;
      return !v.empty();
    };
  };
  auto hex = [](auto& target) {
    return [&target](const std::string& v) {
      auto b = parse_hex(v);
      if (b) target = *b;
      return b.has_value();
    };
  };
  const std::map<std::string, Valued> valued = {
      {"--listen", text(options.listen_address)},
      {"--port",
       [&](const std::string& v) {
         auto n = parse_number(v, 0, 65535);
         if (n) options.port = static_cast<std::uint16_t>(*n);
         return n.has_value();
       }},
      {"--model",
       [&](const std::string& v) {
         auto m = canonical_model(v);
         if (m) options.model = *m;
         return m.has_value();
       }},
      {"--commands", text(options.commands_file)},
      {"--record", text(options.record_path)},
      {"--send-hex", hex(options.send_raw)},
      {"--delay",
       [&](const std::string& v) {
         options.answer_delays_ms.clear();
         std::size_t start = 0;
         while (true) {
           const std::size_t comma = v.find(',', start);
           auto n = parse_number(v.substr(start, comma - start), 0, 3600 * 1000);
           if (!n) return false;
           options.answer_delays_ms.push_back(static_cast<int>(*n));
           if (comma == std::string::npos) break;
           start = comma + 1;
         }
         options.answer_delay_ms = options.answer_delays_ms.front();
         return true;
       }},
      {"--login-delay", milliseconds(options.login_delay_ms)},
      {"--trickle-gap", milliseconds(options.trickle_gap_ms)},
      {"--split-gap", milliseconds(options.split_gap_ms)},
      {"--trickle-piece",
       [&](const std::string& v) {
         auto n = parse_number(v, 1, 1LL << 20);
         if (n) options.trickle_piece = static_cast<std::size_t>(*n);
         return n.has_value();
       }},
      {"--answer-bytes",
       [&](const std::string& v) {
         // One byte cannot be a line with its CR LF.
         auto n = parse_number(v, 0, 1LL << 34);
         if (n && *n != 1) options.answer_bytes = static_cast<std::size_t>(*n);
         return n.has_value() && *n != 1;
       }},
      {"--answer-hex", hex(options.answer_raw)},
      {"--output-rate",
       [&](const std::string& v) {
         auto n = parse_number(v, 1, 1LL << 34);
         if (n) options.output_rate = static_cast<std::size_t>(*n);
         return n.has_value();
       }},
      {"--flood-seconds",
       [&](const std::string& v) {
         auto n = parse_number(v, 1, 3600);
         if (n) options.flood_seconds = static_cast<int>(*n);
         return n.has_value();
       }},
      {"--after-prompt-hex", hex(options.after_prompt_raw)},
      {"--sb-limit",
       [&](const std::string& v) {
         auto n = parse_number(v, 0, 1LL << 40);
         if (n) options.subnegotiation_limit = static_cast<std::size_t>(*n);
         return n.has_value();
       }},
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inline_value;
    if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (name == "--help" || name == "-h") {
      return ParseResult{std::nullopt, 0, help_text()};
    }
    if (name == "--version" && !inline_value) {
      return ParseResult{std::nullopt, 0, "vantrel-routersim " VANTREL_VERSION "\n"};
    }
    // A lone "--" ends nothing and means nothing, as for the program itself.
    if (name == "--") continue;
    if (auto f = flags.find(name); f != flags.end() && !inline_value) {
      f->second();
      continue;
    }
    auto v = valued.find(name);
    if (v == valued.end()) {
      failure.message = "unknown option " + args[i] + " (see --help)";
      return failure;
    }
    std::string value;
    if (inline_value) {
      value = *inline_value;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      failure.message = "option " + name + " needs a value";
      return failure;
    }
    if (!v->second(value)) {
      failure.message = "bad value for " + name + ": " + value;
      return failure;
    }
  }
  if (!listen_addresses(options.listen_address)) {
    failure.message = "bad address range for --listen: " + options.listen_address;
    return failure;
  }
  if (options.answer_bytes && options.answer_raw) {
    failure.message = "--answer-bytes and --answer-hex exclude each other";
    return failure;
  }
  return ParseResult{options, 0, {}};
}

std::optional<std::vector<std::string>> listen_addresses(const std::string& listen) {
  const std::size_t dash = listen.find('-');
  if (dash == std::string::npos || listen.find(':') != std::string::npos) {
    return std::vector<std::string>{listen};
  }
  const std::string first = listen.substr(0, dash);
  std::string last = listen.substr(dash + 1);
  const std::size_t dot = first.rfind('.');
  if (dot == std::string::npos) return std::nullopt;
  if (last.find('.') == std::string::npos) last = first.substr(0, dot + 1) + last;
  in_addr from{};
  in_addr to{};
  if (::inet_pton(AF_INET, first.c_str(), &from) != 1 ||
      ::inet_pton(AF_INET, last.c_str(), &to) != 1) {
    return std::nullopt;
  }
  const std::uint32_t low = ntohl(from.s_addr);
  const std::uint32_t high = ntohl(to.s_addr);
  // More routers than a machine could serve at once is a typing mistake.
  if (high < low || high - low >= 65536) return std::nullopt;
  std::vector<std::string> addresses;
  for (std::uint32_t a = low;; ++a) {
    in_addr address{htonl(a)};
    char text[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    addresses.emplace_back(text);
    if (a == high) break;
  }
  return addresses;
}

std::string help_text() {
  return R"(vantrel-routersim: a TELNET server that plays a small ISDN router, for tests and demos.

Usage: vantrel-routersim [--listen ADDR] [--port N] [--model NAME] [options]

  --listen ADDR        address to bind, and only this one (default 127.0.0.1); or a range of
                       IPv4 addresses, "127.0.1.1-127.0.1.100" or "127.0.1.1-100": every
                       address of it is a router of its own, with the same model, faults
                       and delays, and gets a ready line of its own
  --port N             TCP port (default 23); 0 picks a free port
  --model NAME         MT128-NET (default), MN128-SOHO, MN128-SOHO-SL10 or MN128-SOHO-SL11;
                       the prompt is NAME followed by "% "
  --commands FILE      data file of commands and answers; default: router_commands.txt
                       beside the executable, else in the installed tree's data folder
                       ()" VANTREL_BIN_TO_PKGDATADIR R"( from the executable's), else the copy
                       built into the program
  --record PATH        write every byte each client sends (negotiation replies included,
                       exactly as received) to PATH.N, N = 1, 2, ... in order of accept;
                       the file is created at accept and written through after every read
  --quiet              print only the ready line on standard output
  --watch-stdin        end (exit 0) when standard input reaches end of file
  --help               this text
  --version            the version

Standard output, one line per event, written through at once:
  listening on ADDR:PORT        first line, once bound (the real port when --port 0)
  session N connected K         at accept: K clients of this simulator (any of its addresses)
                                not hung up, this one included; before its open line
  session N open PEER:PORT
                                with a --listen range: "session N open PEER:PORT on ADDR:PORT"
  session N terminal-type NAME  the client answered TERMINAL-TYPE SEND
  session N line TEXT           a line was read and its whole answer sent
  session N closed              the connection is gone and PATH.N is complete
SIGTERM or SIGINT close every session and end the program with exit status 0.
Errors go to standard error; bad options exit with status 2.

Dialogue (every session):
  1. The server sends IAC WILL ECHO, IAC WILL SUPPRESS-GO-AHEAD, IAC DO TERMINAL-TYPE;
     once the client answers IAC WILL TERMINAL-TYPE it sends IAC SB TERMINAL-TYPE SEND
     IAC SE (once). The client's own requests are answered by the usual option state
     machine (a request already in force gets no reply, so nothing loops). It offers
     ECHO, SUPPRESS-GO-AHEAD, TRANSMIT-BINARY and accepts TERMINAL-TYPE, TRANSMIT-BINARY,
     SUPPRESS-GO-AHEAD from the client; every other option is refused.
  2. A line ends at CR, CR LF, CR NUL, or a lone LF. Typed bytes are echoed as they
     arrive (unless the client sent DONT ECHO); the end of a line is echoed as CR LF.
  3. Log-in; what follows the echo of each line:
     the first line (normally a lone CR) wakes it:  "login: "
     name "admin" (no password):                    CR LF, then the prompt
     any other name:  "Login incorrect" CR LF CR LF "login: "; an empty name: "login: "
  4. Each command line, matched without regard to case, blanks trimmed and runs of
     blanks taken as one; "exit" or "quit" closes the session. The bytes on the wire
     for "show" with the answer lines A and B, model MT128-NET:
         s h o w CR LF        echo of the typed line (line 0)
         CR LF                blank line (line 1)
         A CR LF B CR LF      the answer, every line ending in CR LF
         MT128-NET% (blank)   the prompt, no line end
     So a client that drops line 0, line 1 and the last line shows the whole answer.
     An empty line gets CR LF and the prompt. Unknown commands get the data file's
     "unknown" answer. Byte 255 in an answer is doubled on the wire (IAC IAC).

Data file (Shift-JIS bytes, sent unchanged): "@command NAME | ALIAS ..." starts an
answer, "@unknown" the answer to everything else, "@#" lines are comments; all other
lines are answer lines. {MODEL}, {COMMAND} and {ADDRESS} are replaced by the model name,
the command as typed and the address the router listens on. Trailing blank lines of an answer are dropped.

Opening options:
  --no-negotiation     send no negotiation at all (requests of the client are still answered)
  --send-hex HEX       raw bytes sent verbatim right after the opening negotiation,
                       e.g. "ff fd 17" (IAC DO SEND-LOCATION)
  --coalesce           leave TCP_NODELAY off (a small write waits until the one before
                       it is acknowledged) and write the replies to the client's requests
                       after what its data asked for: "login: " and the TERMINAL-TYPE
                       request leave as two writes

Fault modes (each applies to every session):
  --delay MS           wait MS ms before each command's answer (after its echo);
                       "MS,MS,..." gives the routers of a --listen range these delays in
                       turn (the first address the first value, and so on, over again)
  --login-delay MS     wait MS ms before "login: " and before the prompt after log-in
  --trickle            send all data byte by byte, one write each, --trickle-gap MS
                       (default 1) apart; negotiation is not trickled;
                       --trickle-piece N: N bytes a write instead of one
  --silent             accept the connection and never send a byte (lines are still read,
                       recorded and reported)
  --no-login           negotiate, then never send "login: " nor anything else
  --no-prompt          no prompt after a command's answer (the prompt after log-in stays)
  --close-at-login     close the connection (FIN) when the log-in name arrives, after its echo
  --close-in-output    after the echo, send the first half of a command's answer (the
                       blank line counted in), then close (FIN)
  --reset-in-output    the same, then reset (RST: SO_LINGER 0 and close)
  --reset-after-prompt reset (RST) right after each command's answer and its prompt are
                       written, without waiting for them to leave: what the system
                       still holds back is lost
  --flood-in-output    the same, then stop reading and send IAC DO SEND-LOCATION over and
                       over until --flood-seconds S have passed or the client goes away
  --nul-in-output      a NUL byte in the middle of every non-empty answer line
  --iac-in-output      a byte 255 (IAC IAC on the wire) in the middle of every
                       non-empty answer line
  --percent-in-output  a "%" in the middle of every non-empty answer line
                       ("middle" never splits a Shift-JIS character)
  --split-commands     send every TELNET command byte by byte, one write each, with
                       TCP_NODELAY, --split-gap MS (default 20) apart
  --answer-bytes N     every command's answer is exactly N generated bytes (N = 0 or
                       N >= 2; lines of 64 bytes with CR LF, the last one shorter) between
                       the blank line and the prompt
  --answer-hex HEX     every command's answer is these raw bytes, sent verbatim (no
                       IAC doubling, no CR LF added) between the blank line and the prompt
  --after-prompt-hex HEX
                       raw bytes sent verbatim in the same write as the prompt that ends
                       each command's answer, e.g. "ff fa" (a TELNET command cut off
                       where the session ends)
  --endless-sb         after the opening negotiation send IAC SB TERMINAL-TYPE SEND and
                       then filler bytes (never 240 nor 255) until the client goes away or
                       --sb-limit N filler bytes (default 67108864) have gone out; then
                       IAC SE, and the session goes on as usual
  --endless-output     after the echo of a command and the blank line, send generated
                       lines of 64 bytes without end and without a prompt, as fast as the
                       client takes them (or --output-rate N bytes per second), until the
                       client goes away or --flood-seconds S (default 60) have passed;
                       then close
  --endless-line       the same, but one line that never ends (no CR, no LF, no "%")
  --flood-before-login after the opening negotiation send text lines (no "login:", no
                       "%") without end, as fast as the client takes them, until the
                       client goes away or --flood-seconds S have passed; then close
  --option-flood       after the opening negotiation send IAC DO SEND-LOCATION over and
                       over, as fast as the client takes it, until the client goes away
                       or --flood-seconds S have passed; what the client sends meanwhile
                       is answered as usual (with --no-login: the negotiation only)
  --no-read            never read what the client sends (nothing is recorded); with a
                       flood, the session closes when the flood ends

Examples:
  vantrel-routersim --listen 127.0.0.23 --port 23 --model MN128-SOHO
  vantrel-routersim --port 0 --record /tmp/wire --trickle --delay 500
)";
}

}  // namespace routersim
