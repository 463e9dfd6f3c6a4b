// For the window tests that run real command cycles: a router simulator on a
// loopback address of the test's own at the router port 23, answering from a
// small data file the test knows, and a window whose settings point at it.
#pragma once

#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../routersim/routersim_process.h"
#include "app/main_window.h"
#include "app_test_support.h"

namespace testing_support {

// The answers of the test router: SHOW is the classic two-line answer with a
// blank line between; anything unknown comes back as "? COMMAND".
inline const char kTestRouterCommands[] =
    "@command SHOW\n"
    "A\n"
    "\n"
    "B\n"
    "@command SHOW LINE\n"
    "line 1\n"
    "@command SHOW LOG\n"
    "log 1\n"
    "log 2\n"
    "@unknown\n"
    "? {COMMAND}\n";

class TestRouter {
 public:
  // `address` is the test's own 127.0.0.x; `extra` adds simulator options.
  explicit TestRouter(std::string address, std::vector<std::string> extra = {},
                      const std::string& commands = kTestRouterCommands)
      : address_(std::move(address)) {
    const std::string commandsPath = dir_.path().toStdString() + "/commands.txt";
    std::ofstream(commandsPath, std::ios::binary) << commands;
    std::vector<std::string> args{"--listen", address_, "--port", "23", "--commands", commandsPath};
    args.insert(args.end(), extra.begin(), extra.end());
    process_ = std::make_unique<routersim_test::RoutersimProcess>(args);
    ready_ = process_->wait_ready();
  }

  bool Ready() const { return ready_; }
  const std::string& Address() const { return address_; }

  // The lines the router has read so far in all sessions, in order ("" for a
  // lone CR): the wake-up, "admin", the commands.
  std::vector<std::string> LinesRead() const {
    std::vector<std::string> read;
    for (const std::string& event : process_->lines()) {
      const std::size_t at = event.find(" line");
      if (event.rfind("session ", 0) == 0 && at != std::string::npos) {
        read.push_back(at + 5 < event.size() ? event.substr(at + 6) : std::string());
      }
    }
    return read;
  }

  int SessionsOpened() const {
    const auto events = process_->lines();
    return static_cast<int>(std::count_if(events.begin(), events.end(), [](const std::string& e) {
      return e.rfind("session ", 0) == 0 && e.find(" open ") != std::string::npos;
    }));
  }

  // True once an event line beginning with `prefix` has come.
  bool Reported(const std::string& prefix) const {
    const auto events = process_->lines();
    return std::any_of(events.begin(), events.end(),
                       [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  }

  // Waits (with a deadline) for the `occurrence`-th event line holding `needle`.
  bool WaitForEvent(const std::string& needle, int occurrence = 1) {
    return process_->wait_for_line(needle, std::chrono::seconds(20), occurrence).has_value();
  }

 private:
  std::string address_;
  QTemporaryDir dir_;
  std::unique_ptr<routersim_test::RoutersimProcess> process_;
  bool ready_ = false;
};

// "[main]" settings pointing the window at `address` with router model `model`.
inline std::string SettingsFor(const std::string& address, int model = 0, int single = 0) {
  return "[main]\r\nrt=" + std::to_string(model) + "\r\nip=" + address +
         "\r\nsingle=" + std::to_string(single) + "\r\n";
}

// A shown window whose start-up has run on `panel`, `settings` and the
// program arguments `arguments`.
inline std::unique_ptr<TForm1> StartWindow(const ProgramFolder& folder,
                                           const std::vector<std::string>& panel,
                                           const std::string& settings,
                                           std::vector<std::string> arguments = {}) {
  folder.WritePanel(panel);
  folder.WriteSettings(settings);
  auto form = std::make_unique<TForm1>(std::move(arguments), folder.Path());
  form->FormCreate();
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get())) return nullptr;
  return form;
}

}  // namespace testing_support
