// The long options are taken out of the arguments before the main window sees
// them, so the short switches keep their old rule: every remaining argument is
// looked at, also one that a "-c" took as its command.
#include "app/command_line.h"

#include <cstdio>

#include "app/router_list.h"
#include "app/socks_url.h"
#include "platform/codepage.h"

#ifndef VANTREL_VERSION
#error "VANTREL_VERSION must give the program's version"
#endif

namespace app {

namespace {

constexpr int kExitUsage = 2;

void Fail(CommandLine& commandLine, const std::string& message) {
  if (commandLine.error.empty()) commandLine.error = message;
}

enum class Value {
  kNone,
  // "NAME VALUE" or "NAME=VALUE"; no value of these begins with '-', so such a
  // next argument is another switch and the value is missing.
  kPlain,
  // "NAME VALUE" takes the next argument whatever it is.
  kAnything,
};

struct LongOption {
  const char* name;
  Value value;
};

// Every long option of the program, one line each. Any other argument that
// begins with "--" is a usage error, unless a -c or -cd before it takes it as
// its command; a lone "--" means nothing. --help, --version, --host and
// --model are answered here; the others are left, with their values, among
// the switches for the part of the program they belong to.
// clang-format off
constexpr LongOption kLongOptions[] = {
    {"--help", Value::kNone},
    {"--version", Value::kNone},
    {"--print", Value::kNone},
    {"--json", Value::kNone},
    {"--host", Value::kPlain},
    {"--hosts", Value::kPlain},
    {"--jobs", Value::kPlain},
    {"--output-dir", Value::kPlain},
    {"--model", Value::kPlain},
    {"--socks", Value::kAnything},
};
// clang-format on

const LongOption* FindLongOption(const std::string& argument, bool& withEquals) {
  for (const LongOption& option : kLongOptions) {
    const std::string name = option.name;
    withEquals = option.value != Value::kNone && argument.rfind(name + "=", 0) == 0;
    if (argument == name || withEquals) return &option;
  }
  return nullptr;
}

bool IsCommandSwitch(const std::string& argument) {
  return argument == "-c" || argument == "-C" || argument == "-cd" || argument == "-CD";
}

// The value of the option at arguments[i]; `i` then rests on its last part.
std::string TakeValue(const std::vector<std::string>& arguments, std::size_t& i,
                      const LongOption& option, bool withEquals, CommandLine& commandLine) {
  std::string value;
  if (withEquals) {
    value = arguments[i].substr(std::string(option.name).size() + 1);
  } else if (i + 1 < arguments.size() &&
             (option.value == Value::kAnything ||
              (!arguments[i + 1].empty() && arguments[i + 1][0] != '-') ||
              // A negative count is a count out of range, not a missing one.
              (std::string(option.name) == "--jobs" && arguments[i + 1].size() > 1 &&
               arguments[i + 1][1] >= '0' && arguments[i + 1][1] <= '9'))) {
    value = arguments[++i];
  } else if (option.value == Value::kAnything) {
    return value;  // its owner says what is missing
  }
  if (value.empty()) Fail(commandLine, std::string(option.name) + " needs a value");
  return value;
}

void TakeJobs(CommandLine& commandLine, const std::string& value) {
  if (value.empty()) return;
  int jobs = 0;
  for (char c : value) {
    if (c < '0' || c > '9' || jobs > 256) {
      jobs = 0;
      break;
    }
    jobs = jobs * 10 + (c - '0');
  }
  if (jobs < 1 || jobs > 256) {
    Fail(commandLine, "--jobs takes a number from 1 to 256, not \"" + PrintableText(value) + "\"");
    return;
  }
  commandLine.jobs = jobs;
}

// `given` names the --host and --hosts options of the run, for the message
// when they name no router at all.
void CheckRouters(CommandLine& commandLine, const std::vector<std::string>& given) {
  if (commandLine.routers.empty() && !given.empty()) {
    // Polling the saved router instead would answer a question nobody asked.
    std::string what;
    for (const std::string& option : given) what += (what.empty() ? "" : ", ") + option;
    Fail(commandLine, "no router to poll: " + what + " named none");
    return;
  }
  if (commandLine.json && !HasHiddenSwitch(commandLine.switches)) {
    Fail(commandLine, "--json needs -h (a run without a window)");
  }
  if (!commandLine.ManyRouters()) {
    if (commandLine.routers.size() == 1) {
      const RouterEntry& router = commandLine.routers.front();
      commandLine.runSettings.host = platform::Utf8ToAnsi(router.address);
      if (router.routerModel) commandLine.runSettings.routerModel = router.routerModel;
    }
    return;
  }
  if (!HasHiddenSwitch(commandLine.switches)) {
    Fail(commandLine, commandLine.routers.size() > 1
                          ? "more than one router needs -h (a run without a window)"
                          : "--output-dir needs -h (a run without a window)");
  }
  if (commandLine.routers.empty()) Fail(commandLine, "--output-dir needs --host or --hosts");
  const std::string problem =
      RouterListProblem(commandLine.routers, commandLine.outputDir.has_value());
  if (!problem.empty()) Fail(commandLine, problem);
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine commandLine;
  // A switch that can't be said in Shift-JIS is marked, so that a command it
  // carries is refused instead of reaching the router with '?' in it.
  const auto addSwitch = [&commandLine](const std::string& utf8) {
    const std::optional<std::string> exact = platform::Utf8ToAnsiExact(utf8);
    commandLine.switches.push_back(exact ? *exact : platform::Utf8ToAnsi(utf8));
    commandLine.switchHasNoAnsiForm.push_back(!exact);
  };
  // --socks as given, in UTF-8, "--socks=URL" spelt as two arguments.
  std::vector<std::string> socksArguments;
  std::vector<std::string> routerOptions;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    bool withEquals = false;
    const LongOption* option = FindLongOption(argument, withEquals);
    if (option == nullptr) {
      const bool commandOfSwitch = i > 0 && IsCommandSwitch(arguments[i - 1]);
      if (argument.rfind("--", 0) == 0 && argument != "--" && !commandOfSwitch) {
        Fail(commandLine, "unknown option " + PrintableText(argument));
      }
      addSwitch(argument);
      continue;
    }
    const std::string name = option->name;
    if (name == "--help") {
      commandLine.showHelp = true;
      continue;
    }
    if (name == "--version") {
      commandLine.showVersion = true;
      continue;
    }
    if (name == "--print") {
      commandLine.print = true;
      continue;
    }
    if (name == "--json") {
      commandLine.json = true;
      continue;
    }
    const bool alone = !withEquals && i + 1 >= arguments.size();
    const std::string value = TakeValue(arguments, i, *option, withEquals, commandLine);
    if (name == "--host") {
      if (value.empty()) continue;
      if (const std::string problem = AddressProblem(value); !problem.empty()) {
        Fail(commandLine, "--host " + problem);
      }
      commandLine.routers.push_back({value, std::nullopt});
      routerOptions.push_back("--host " + PrintableText(value));
    } else if (name == "--hosts") {
      if (value.empty()) continue;
      routerOptions.push_back("--hosts " + PrintableText(value));
      HostsFile file = ReadHostsFile(value);
      if (!file.problem.empty()) Fail(commandLine, file.problem);
      for (RouterEntry& router : file.routers) commandLine.routers.push_back(std::move(router));
    } else if (name == "--jobs") {
      TakeJobs(commandLine, value);
    } else if (name == "--output-dir") {
      if (!value.empty()) commandLine.outputDir = value;
    } else if (name == "--model") {
      if (value.empty()) continue;
      commandLine.runSettings.routerModel = RouterModelByName(value);
      if (!commandLine.runSettings.routerModel) {
        Fail(commandLine, "unknown router model \"" + PrintableText(value) +
                              "\" for --model (MT128-NET, MN128-SOHO, MN128-SOHO-SL10, "
                              "MN128-SOHO-SL11 or auto)");
      }
    } else {
      // Its owner finds it as "NAME VALUE", whichever way it was written.
      addSwitch(name);
      if (!alone) addSwitch(value);
      if (name == "--socks") {
        socksArguments.push_back(name);
        if (!alone) socksArguments.push_back(value);
      }
    }
  }
  // Read from the arguments as given, in UTF-8: its parts become Shift-JIS
  // one by one, and what is wrong with it is told in the terminal's encoding.
  // "--socks URL" stays among the switches, which pass it by.
  const SocksOption socks = FindSocksOption(socksArguments);
  if (!socks.problem.empty()) Fail(commandLine, socks.problem);
  commandLine.runSettings.socks = socks.route;
  if (commandLine.print && !HasHiddenSwitch(commandLine.switches)) {
    Fail(commandLine, "--print needs -h");
  }
  CheckRouters(commandLine, routerOptions);
  return commandLine;
}

bool HasHiddenSwitch(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "-h" || argument == "-H") return true;
  }
  return false;
}

std::optional<int> AnswerWithoutStarting(const CommandLine& commandLine) {
  if (commandLine.showHelp) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (commandLine.showVersion) {
    std::fputs("vantrel " VANTREL_VERSION "\n", stdout);
    return 0;
  }
  if (!commandLine.error.empty()) {
    std::fprintf(stderr, "vantrel: %s\nvantrel --help tells the usage.\n",
                 commandLine.error.c_str());
    return kExitUsage;
  }
  return std::nullopt;
}

std::string UsageText() {
  return R"(Usage: vantrel [-c COMMAND | -cd COMMAND]... [-h [--print]] [--host ADDR]
               [--model NAME] [--socks URL]
       vantrel -h [--print] [-c COMMAND | -cd COMMAND]... {--host ADDR | --hosts FILE}...
               [--jobs N] [--output-dir DIR] [--model NAME] [--socks URL] [--json]
       vantrel --help | --version

Reads status and configuration from small-office ISDN routers (MT128-NET,
MN128-SOHO, MN128-SOHO-SL10, MN128-SOHO-SL11) over TELNET: each command opens
a connection to port 23, logs in as "admin", runs the command and shows the
answer.

Switches (whole arguments, exactly these spellings; every argument is looked at,
also one that a -c took as its command; other arguments that begin with "-" are
ignored, but one that begins with "--" is a usage error unless a -c or -cd right
before it takes it as its command):
  -c COMMAND, -C COMMAND    run COMMAND at start-up; the answer stays in the
                            output pane (a -c at the very end sends an empty
                            line)
  -cd COMMAND, -CD COMMAND  as -c, then show the answer in a message box
  -h, -H                    hidden: never show the window, end after start-up;
                            neither file is written
  --print                   with -h: write each -cd answer to standard output
                            and each error to standard error, also on a
                            desktop; the window's libraries are not loaded

For this run only (the settings file keeps its values unless you change them in
the settings dialog):
  --host ADDR               router address, a host name or dotted address
  --model NAME              router model: MT128-NET, MN128-SOHO,
                            MN128-SOHO-SL10, MN128-SOHO-SL11, or auto (any of
                            the four prompts)
  --socks URL               reach the router through a SOCKS proxy, over the
                            settings file's [socks] section:
                              socks4://[USER@]HOST[:PORT]
                              socks4a://[USER@]HOST[:PORT]
                              socks5://[USER[:PASSWORD]@]HOST[:PORT]
                              socks5h://[USER[:PASSWORD]@]HOST[:PORT]
                            PORT defaults to 1080; USER, PASSWORD and HOST
                            may hold %XX escapes, one byte each. At SOCKS 5
                            the proxy always resolves the router's name, so
                            socks5h:// is the same as socks5://. A bad URL, or
                            a control byte in USER, PASSWORD or HOST, is an
                            error (exit status 2)

Many routers in one run (needs -h, and --print or no display): a repeated
--host polls each router, in the order given with the routers of --hosts.
  --hosts FILE              the routers listed in FILE, one "ADDRESS [MODEL]" a
                            line (MODEL as --model takes it, else --model or
                            the settings file's); blank lines and lines
                            starting with # are skipped
  --jobs N                  poll up to N routers at once (1-256, default 8)
  --output-dir DIR          each router's answers to DIR/NAME.txt (NAME: the
                            address, characters other than letters, digits,
                            . - : made _), nothing on standard output
  Each router runs every -c/-cd in order. Its answers go to standard output
  after a line "== ADDRESS ==", in the order of the list, never mixed; its
  errors to standard error, each line after "ADDRESS: ". A bad line of FILE or
  the same address twice is a usage error before anything starts.

  --json                    (with -h, and --print or no display) JSON Lines on
                            standard output instead of the text: one object a
                            line per command of each router, in order, with
                            the keys router, model, command, started, answer,
                            status (complete, incomplete, cut, failed,
                            skipped), message and elapsed_ms (man vantrel
                            tells the format); with --output-dir, NAME.jsonl

  --help                    print this text and exit
  --version                 print the version and exit

Files, Shift-JIS text with CR LF line ends, read at start-up and written when
the window closes. They are kept beside the program when its folder holds either
of them (a portable folder); otherwise in $XDG_CONFIG_HOME/vantrel/ (by default
~/.config/vantrel/), created at the first close.
  vantrel.Ini     [main] rt: router model (-1 automatic, 0 MT128-NET,
                  1 MN128-SOHO, 2 MN128-SOHO-SL10, 3 MN128-SOHO-SL11);
                  ip: router address (default 192.168.0.1); single: 0 runs a
                  panel entry on a single click, 1 only on a double click.
                  [pos] top, left, height, width: the window; p_width: the
                  panel's width.
                  [socks] (optional, read only, never written): server, port
                  (default 1080), level (4, 4A or 5; default 5), user, password;
                  with server set, every connection goes through that proxy.
  vantrel_p.cfg   the operation panel (its grammar: man vantrel). Until the
                  per-user folder holds one, the installed default
                  share/vantrel/vantrel_p.cfg is read.

Without a display (neither DISPLAY nor WAYLAND_DISPLAY set, or the one set
cannot be reached) add -h: the run is a console program, an answer shown by -cd
goes to standard output as UTF-8, an error box to standard error. Without -h
the program needs a display: start it on a desktop or set DISPLAY.
An answer that ended before the router's prompt (or past 64 MiB) is printed by
-cd as far as it came, its last line included, and then reported on standard
error. On a terminal the answer's control characters are printed as U+FFFD.

Exit status:
  0  normal end
  1  a hidden run (-h) in which a command cycle failed or an error box was
     raised (for example the router could not be reached or logged into), an
     answer did not arrive whole, a command was refused (a line break, a
     character without a Shift-JIS form, over 64 KiB), or standard output
     could not be written; with many routers, any of them failed ("%d 台中 %d
     台のルーターで失敗しました", failed on so many of so many routers, ends
     standard error)
  2  bad command line (also --print without -h), or no usable display and
     no -h

Trace logging: the TELNET trace of every session goes to the Qt logging
category vantrel.telnet, off by default; QT_LOGGING_RULES="vantrel.telnet=true"
writes it to standard error, each line after the router's address: the
connection's opening, whether it came about and its end (with the reason),
every option command received and sent by name ("recv DO TERMINAL-TYPE",
"sent WILL TERMINAL-TYPE"), the subnegotiations, and the byte count of each
read and each send.

Example: vantrel -h -cd "SHOW" --host 192.168.0.1 --model MN128-SOHO
)";
}

}  // namespace app
