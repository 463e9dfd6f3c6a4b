// The long options are taken out of the arguments before the main window sees
// them, so the short switches keep their old rule: every remaining argument is
// looked at, also one that a "-c" took as its command.
#include "app/command_line.h"

#include <cstdio>

#include "app/router_models.h"
#include "app/socks_url.h"
#include "platform/codepage.h"

#ifndef VANTREL_VERSION
#error "VANTREL_VERSION must give the program's version"
#endif

namespace app {

namespace {

constexpr int kExitUsage = 2;

bool SameLetters(const std::string& a, const char* b) {
  const std::string other = b;
  if (a.size() != other.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(other[i])) return false;
  }
  return true;
}

std::optional<int> RouterModelByName(const std::string& name) {
  if (SameLetters(name, "auto")) return kAutomaticRouterModel;
  for (std::size_t i = 0; i < kRouterModelNames.size(); ++i) {
    if (SameLetters(name, kRouterModelNames[i])) return static_cast<int>(i);
  }
  return std::nullopt;
}

void Fail(CommandLine& commandLine, const std::string& message) {
  if (commandLine.error.empty()) commandLine.error = message;
}

// True when arguments[i] is the option `name`, written "NAME VALUE" or
// "NAME=VALUE"; then `value` holds the value and `i` rests on its last part.
// No address or model begins with '-', so such a next argument is another
// switch and the value is missing.
bool TakeOption(const std::vector<std::string>& arguments, std::size_t& i, const std::string& name,
                std::string& value, CommandLine& commandLine) {
  const std::string& argument = arguments[i];
  if (argument == name) {
    if (i + 1 < arguments.size() && !arguments[i + 1].empty() && arguments[i + 1][0] != '-') {
      value = arguments[++i];
    } else {
      value.clear();
    }
  } else if (argument.rfind(name + "=", 0) == 0) {
    value = argument.substr(name.size() + 1);
  } else {
    return false;
  }
  if (value.empty()) Fail(commandLine, name + " needs a value");
  return true;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine commandLine;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string value;
    if (argument == "--help") {
      commandLine.showHelp = true;
    } else if (argument == "--version") {
      commandLine.showVersion = true;
    } else if (TakeOption(arguments, i, "--host", value, commandLine)) {
      if (!value.empty()) commandLine.runSettings.host = platform::Utf8ToAnsi(value);
    } else if (TakeOption(arguments, i, "--model", value, commandLine)) {
      if (value.empty()) continue;
      commandLine.runSettings.routerModel = RouterModelByName(value);
      if (!commandLine.runSettings.routerModel) {
        Fail(commandLine, "unknown router model \"" + value +
                              "\" for --model (MT128-NET, MN128-SOHO, MN128-SOHO-SL10, "
                              "MN128-SOHO-SL11 or auto)");
      }
    } else {
      const std::optional<std::string> exact = platform::Utf8ToAnsiExact(argument);
      commandLine.switches.push_back(exact ? *exact : platform::Utf8ToAnsi(argument));
      commandLine.switchHasNoAnsiForm.push_back(!exact);
    }
  }
  // Read from the arguments as given, in UTF-8: its parts become Shift-JIS
  // one by one, and what is wrong with it is told in the terminal's encoding.
  // "--socks URL" stays among the switches, which pass it by.
  const SocksOption socks = FindSocksOption(arguments);
  if (!socks.problem.empty()) Fail(commandLine, socks.problem);
  commandLine.runSettings.socks = socks.route;
  return commandLine;
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
  return R"(Usage: vantrel [-c COMMAND | -cd COMMAND]... [-h] [--host ADDR] [--model NAME]
               [--socks URL]
       vantrel --help | --version

Reads status and configuration from small-office ISDN routers (MT128-NET,
MN128-SOHO, MN128-SOHO-SL10, MN128-SOHO-SL11) over TELNET: each command opens
a connection to port 23, logs in as "admin", runs the command and shows the
answer.

Switches (whole arguments, exactly these spellings; every argument is looked at,
also one that a -c took as its command):
  -c COMMAND, -C COMMAND    run COMMAND at start-up; the answer stays in the
                            output pane (a -c at the very end sends an empty
                            line)
  -cd COMMAND, -CD COMMAND  as -c, then show the answer in a message box
  -h, -H                    hidden: never show the window, end after start-up;
                            neither file is written

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

Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) add -h: an answer
shown by -cd goes to standard output as UTF-8, an error box to standard error.
Without -h the program needs a display: start it on a desktop or set DISPLAY.
An answer that ended before the router's prompt (or past 64 MiB) is printed by
-cd as far as it came, its last line included, and then reported on standard
error. On a terminal the answer's control characters are printed as U+FFFD.

Exit status:
  0  normal end
  1  a hidden run (-h) in which a command cycle failed or an error box was
     raised (for example the router could not be reached or logged into), an
     answer did not arrive whole, a command was refused (a line break, a
     character without a Shift-JIS form, over 64 KiB), or standard output
     could not be written
  2  bad command line, or no display and no -h

Trace logging: the TELNET trace of every session goes to the Qt logging
category vantrel.telnet, off by default; QT_LOGGING_RULES="vantrel.telnet=true"
writes it to standard error.

Example: vantrel -h -cd "SHOW" --host 192.168.0.1 --model MN128-SOHO
)";
}

}  // namespace app
