// For the end-to-end tests of the command cycle: the real program in a folder
// of its own, pointed at a router simulator on a loopback address that belongs
// to one test alone (the router port is always 23, and tests run in
// parallel), answering from a data file the test writes.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../routersim/routersim_process.h"
#include "program_sandbox.h"

namespace e2e {

// The classic answer: two lines with a blank one between them.
inline const char kShowCommands[] =
    "@command SHOW\n"
    "A\n"
    "\n"
    "B\n"
    "@unknown\n"
    "? {COMMAND}\n";

struct CycleRun {
  RunResult result;
  double seconds = 0;
};

// Runs the program in `sandbox` without a display and times it.
inline CycleRun TimedRun(const ProgramSandbox& sandbox, const std::vector<std::string>& arguments,
                         std::chrono::milliseconds deadline = std::chrono::seconds(60)) {
  RunOptions options;
  options.deadline = deadline;
  const auto start = std::chrono::steady_clock::now();
  CycleRun run{sandbox.Run(arguments, options), 0};
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

class RouterFixture {
 public:
  // `address`: the test's own 127.0.0.x. `model`: the settings' "rt".
  RouterFixture(std::string address, int model, std::vector<std::string> simulatorOptions = {},
                const std::string& commands = kShowCommands)
      : address_(std::move(address)) {
    sandbox_.WriteFile("commands.txt", commands);
    sandbox_.WriteFile("vantrel_p.cfg", "");
    sandbox_.WriteFile("vantrel.Ini", "[main]\r\nrt=" + std::to_string(model) +
                                          "\r\nip=" + address_ + "\r\nsingle=0\r\n");
    std::vector<std::string> args{"--listen",   address_,
                                  "--port",     "23",
                                  "--commands", sandbox_.PathOf("commands.txt").string(),
                                  "--record",   sandbox_.PathOf("wire").string()};
    args.insert(args.end(), simulatorOptions.begin(), simulatorOptions.end());
    simulator_ = std::make_unique<routersim_test::RoutersimProcess>(args);
    ready_ = simulator_->wait_ready();
  }

  bool Ready() const { return ready_; }
  const std::string& Address() const { return address_; }
  ProgramSandbox& Sandbox() { return sandbox_; }
  routersim_test::RoutersimProcess& Simulator() { return *simulator_; }

  CycleRun Run(const std::vector<std::string>& arguments) { return TimedRun(sandbox_, arguments); }

  // What the program sent in session `n` (from 1), TELNET commands removed;
  // waits until the simulator has closed that session.
  std::optional<std::string> SentInSession(int n) {
    if (!simulator_->wait_for_line("session " + std::to_string(n) + " closed")) {
      return std::nullopt;
    }
    const auto bytes = sandbox_.ReadFile("wire." + std::to_string(n));
    if (!bytes) return std::nullopt;
    return WithoutTelnetCommands(*bytes);
  }

  // The data bytes of a client's stream: IAC sequences (verbs with their
  // option, subnegotiations up to IAC SE, doubled 255) taken out.
  static std::string WithoutTelnetCommands(const std::string& wire) {
    std::string data;
    for (std::size_t i = 0; i < wire.size(); ++i) {
      const auto b = static_cast<unsigned char>(wire[i]);
      if (b != 255) {
        data += wire[i];
        continue;
      }
      if (++i >= wire.size()) break;
      const auto verb = static_cast<unsigned char>(wire[i]);
      if (verb == 255) {
        data += wire[i];
      } else if (verb >= 251) {
        ++i;  // WILL, WONT, DO, DONT and their option
      } else if (verb == 250) {
        while (i + 1 < wire.size() && !(static_cast<unsigned char>(wire[i]) == 255 &&
                                        static_cast<unsigned char>(wire[i + 1]) == 240)) {
          ++i;
        }
        ++i;
      }
    }
    return data;
  }

 private:
  std::string address_;
  ProgramSandbox sandbox_;
  std::unique_ptr<routersim_test::RoutersimProcess> simulator_;
  bool ready_ = false;
};

// The whole output pane as the -cd box writes it: the lines, each ended by LF.
inline std::string PaneText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text.empty() ? "\n" : text;
}

}  // namespace e2e
