// A sandbox with the program and simulators on ranges of loopback addresses,
// for the tests of runs that poll many routers.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "router_fixture.h"
#include "support/deadline.h"

namespace many_routers {

using routersim_test::RoutersimProcess;

// Every router says who it is, so an answer in the wrong section shows.
inline constexpr char kCommands[] =
    "@command SHOW\n"
    "router {ADDRESS}\n"
    "\n"
    "second line of {ADDRESS}\n"
    "@command INFO\n"
    "info {ADDRESS}\n"
    "@unknown\n"
    "? {COMMAND}\n";

inline constexpr char kLoginFailed[] = "ログインできませんでした";
inline constexpr char kIncomplete[] = "応答が最後まで届きませんでした";

inline std::string Address(const std::string& prefix, int n) { return prefix + std::to_string(n); }

// What a router answering from kCommands shows for -cd SHOW -cd INFO.
inline std::string Answers(const std::string& address) {
  return "router " + address + "\nsecond line of " + address + "\ninfo " + address + "\n";
}

inline std::string Section(const std::string& address) {
  return "== " + address + " ==\n" + Answers(address);
}

class ManyRouters {
 public:
  ManyRouters() {
    sandbox_.WriteFile("commands.txt", kCommands);
    sandbox_.WriteFile("vantrel_p.cfg", "");
    sandbox_.WriteFile("vantrel.Ini", "[main]\r\nrt=0\r\n");
  }

  // A simulator for `listen` (an address or a range); false when it did not come up.
  bool Serve(const std::string& listen, std::vector<std::string> options = {}) {
    std::vector<std::string> args{
        "--listen", listen, "--port", "23", "--commands", sandbox_.PathOf("commands.txt").string()};
    args.insert(args.end(), options.begin(), options.end());
    simulators_.push_back(std::make_unique<RoutersimProcess>(args));
    return simulators_.back()->wait_ready();
  }

  RoutersimProcess& Simulator(std::size_t n) { return *simulators_.at(n); }
  e2e::ProgramSandbox& Sandbox() { return sandbox_; }

  void WriteHosts(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    sandbox_.WriteFile("hosts", text);
  }

  // The most routers of the first simulator connected at once, by its
  // reports of the `sessions` accepted after its first `from` lines.
  int MostConnected(std::size_t from, std::size_t sessions) const {
    int most = 0;
    support::WaitUntil([&] {
      const std::vector<std::string> lines = simulators_.front()->lines();
      std::size_t seen = 0;
      most = 0;
      for (std::size_t i = from; i < lines.size(); ++i) {
        const std::size_t at = lines[i].find(" connected ");
        if (at == std::string::npos) continue;
        ++seen;
        most = std::max(most, std::stoi(lines[i].substr(at + 11)));
      }
      return seen >= sessions;
    });
    return most;
  }
  std::size_t Lines() const { return simulators_.front()->lines().size(); }

  e2e::RunResult Run(const std::vector<std::string>& arguments, e2e::RunOptions options = {}) {
    options.deadline = std::chrono::seconds(90);
    return sandbox_.Run(arguments, options);
  }

  // How many sessions all simulators have seen opened.
  // Sessions the simulators reported opened. Their reports are read on
  // threads of their own and may lag behind the run that caused them, so
  // this waits (up to a deadline) until `expected` have come in; a count
  // above it shows too.
  std::size_t SessionsOpened(std::size_t expected = 0) const {
    std::size_t count = 0;
    support::WaitUntil([&] {
      count = 0;
      for (const auto& simulator : simulators_) {
        for (const std::string& line : simulator->lines()) {
          if (line.find(" open ") != std::string::npos) ++count;
        }
      }
      return count >= expected;
    });
    return count;
  }

 private:
  e2e::ProgramSandbox sandbox_;
  std::vector<std::unique_ptr<RoutersimProcess>> simulators_;
};

}  // namespace many_routers
