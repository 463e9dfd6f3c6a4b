// Many routers in one run, the real program against simulators that each
// serve a range of loopback addresses: answers in the given order under both
// output forms, failures among them named, lists refused before anything is
// sent, and a router that never stops kept out of the others' way.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "router_fixture.h"
#include "support/deadline.h"

namespace {

using routersim_test::RoutersimProcess;

// Every router says who it is, so an answer in the wrong section shows.
constexpr char kCommands[] =
    "@command SHOW\n"
    "router {ADDRESS}\n"
    "\n"
    "second line of {ADDRESS}\n"
    "@command INFO\n"
    "info {ADDRESS}\n"
    "@unknown\n"
    "? {COMMAND}\n";

constexpr char kLoginFailed[] = "ログインできませんでした";
constexpr char kIncomplete[] = "応答が最後まで届きませんでした";

std::string Address(const std::string& prefix, int n) { return prefix + std::to_string(n); }

// What a router answering from kCommands shows for -cd SHOW -cd INFO.
std::string Answers(const std::string& address) {
  return "router " + address + "\nsecond line of " + address + "\ninfo " + address + "\n";
}

std::string Section(const std::string& address) {
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

  e2e::RunResult Run(const std::vector<std::string>& arguments) {
    e2e::RunOptions options;
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

 private:
  e2e::ProgramSandbox sandbox_;
  std::vector<std::unique_ptr<RoutersimProcess>> simulators_;
};

// Twenty routers, each answering after its own delay, so they finish in an
// order of their own. Each test has routers of its own, as tests run side by
// side.
constexpr char kTwentyDelays[] =
    "700,0,350,100,500,50,250,600,150,0,450,300,20,550,80,400,200,650,30,120";

std::vector<std::string> TwentyHosts(const char* prefix) {
  std::vector<std::string> hosts;
  for (int n = 1; n <= 20; ++n) hosts.push_back(Address(prefix, n));
  return hosts;
}

TEST(ManyRouters, TwentyRoutersAnswerInTheGivenOrderOnStandardOutput) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.21.1-20", {"--delay", kTwentyDelays}));
  run.WriteHosts(TwentyHosts("127.0.21."));
  std::string expected;
  for (const std::string& host : TwentyHosts("127.0.21.")) expected += Section(host);

  // All at once, a few at a time, and one after another: the same output.
  for (const char* jobs : {"20", "8", "1"}) {
    SCOPED_TRACE(jobs);
    const std::size_t mark = run.Lines();
    const e2e::RunResult result =
        run.Run({"-h", "--hosts", "hosts", "-cd", "SHOW", "--jobs", jobs, "-cd", "INFO"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, expected);
    EXPECT_LE(run.MostConnected(mark, 20), std::stoi(jobs));
  }
}

TEST(ManyRouters, TwentyRoutersGetAFileEachInTheOutputFolder) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.27.1-20", {"--delay", kTwentyDelays}));
  // Given by --host and by a hosts file, in that order.
  std::vector<std::string> hosts = TwentyHosts("127.0.27.");
  run.WriteHosts(std::vector<std::string>(hosts.begin() + 2, hosts.end()));
  const e2e::RunResult result =
      run.Run({"-h", "--host", hosts[0], "--host", hosts[1], "--hosts", "hosts", "-cd", "SHOW",
               "-cd", "INFO", "--output-dir", "answers/today"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  for (const std::string& host : hosts) {
    EXPECT_EQ(run.Sandbox().ReadFile("answers/today/" + host + ".txt"), Answers(host)) << host;
  }
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(run.Sandbox().PathOf("answers/today"))) {
    ++files;
  }
  EXPECT_EQ(files, hosts.size());
}

TEST(ManyRouters, FailedRoutersAreNamedAndTheOthersComplete) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.22.1-5"));
  ASSERT_TRUE(run.Serve("127.0.22.6", {"--no-prompt"}));
  ASSERT_TRUE(run.Serve("127.0.22.7", {"--close-in-output"}));
  // Its hang-up is an error that ends this router's switches, not the others'.
  ASSERT_TRUE(run.Serve("127.0.22.9", {"--close-at-login"}));
  // 127.0.22.8: nothing listens, the connection is refused.
  const std::vector<std::string> hosts{"127.0.22.1", "127.0.22.8", "127.0.22.2",
                                       "127.0.22.6", "127.0.22.3", "127.0.22.7",
                                       "127.0.22.4", "127.0.22.9", "127.0.22.5"};
  run.WriteHosts(hosts);
  // Both output forms at once: the router without a prompt takes its whole
  // tick budget for each command.
  e2e::RunOptions options;
  options.deadline = std::chrono::seconds(90);
  const std::vector<std::string> arguments{"-h", "--hosts", "hosts", "-cd", "SHOW", "-cd", "INFO"};
  std::vector<std::string> toFolderArguments = arguments;
  toFolderArguments.insert(toFolderArguments.end(), {"--output-dir", "out"});
  auto onStandardOutput = run.Sandbox().Start(arguments, options);
  auto inFolder = run.Sandbox().Start(toFolderArguments, options);
  const e2e::RunResult results[] = {onStandardOutput->Finish(), inFolder->Finish()};
  for (const bool toFolder : {false, true}) {
    SCOPED_TRACE(toFolder ? "output folder" : "standard output");
    const e2e::RunResult& result = results[toFolder ? 1 : 0];
    EXPECT_EQ(result.exitCode, 1);
    // In the order of the list, each line with its router.
    EXPECT_EQ(result.err, std::string("127.0.22.8: エラー: ") + kLoginFailed + "\n" +
                              "127.0.22.8: エラー: " + kLoginFailed + "\n" +
                              "127.0.22.6: " + kIncomplete + "\n" + "127.0.22.6: " + kIncomplete +
                              "\n" + "127.0.22.7: " + kIncomplete + "\n" +
                              "127.0.22.7: " + kIncomplete + "\n" +
                              "127.0.22.9: Vantrel: Error 10057 in function Send\n"
                              "127.0.22.9: Socket is not connected\n"
                              "9 台中 4 台のルーターで失敗しました\n");
    for (const char* good :
         {"127.0.22.1", "127.0.22.2", "127.0.22.3", "127.0.22.4", "127.0.22.5"}) {
      if (toFolder) {
        EXPECT_EQ(run.Sandbox().ReadFile(std::string("out/") + good + ".txt"), Answers(good));
      } else {
        EXPECT_NE(result.out.find(Section(good)), std::string::npos) << good;
      }
    }
    // What the router that never sent its prompt said is shown all the same.
    const std::string noPrompt = Answers("127.0.22.6");
    if (toFolder) {
      EXPECT_EQ(run.Sandbox().ReadFile("out/127.0.22.6.txt"), noPrompt);
      EXPECT_EQ(run.Sandbox().ReadFile("out/127.0.22.8.txt"), "\n\n");
      EXPECT_EQ(run.Sandbox().ReadFile("out/127.0.22.9.txt"), "");
    } else {
      EXPECT_NE(result.out.find("== 127.0.22.6 ==\n" + noPrompt + "== 127.0.22.3 ==\n"),
                std::string::npos);
      EXPECT_NE(result.out.find("== 127.0.22.8 ==\n\n\n== 127.0.22.2 ==\n"), std::string::npos);
      EXPECT_NE(result.out.find("== 127.0.22.9 ==\n== 127.0.22.5 ==\n"), std::string::npos);
    }
  }
  // One session each run: its second command never started.
  std::size_t hungUp = 0;
  for (const std::string& line : run.Simulator(3).lines()) {
    if (line.find(" open ") != std::string::npos) ++hungUp;
  }
  EXPECT_EQ(hungUp, 2u);
}

// Each of these is refused before anything starts, and no router hears of it.
TEST(ManyRouters, ListsThatCannotBeRightAreUsageErrors) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.24.1-3"));
  run.Sandbox().WriteFile("bad-line", "127.0.24.1\n# a comment\n\n127.0.24.2 MT999\n");
  run.Sandbox().WriteFile("duplicate", "127.0.24.1\n127.0.24.2 auto\n127.0.24.1 mt128-net\n");
  run.Sandbox().WriteFile("three-fields", "127.0.24.1 MT128-NET extra\n");
  run.Sandbox().WriteFile("huge", std::string((1 << 20) + 1, '#'));
  std::filesystem::create_directory(run.Sandbox().PathOf("folder"));
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {"bad_line", {"--hosts", "bad-line"}, "bad-line, line 4: unknown router model \"MT999\""},
      {"duplicate_in_file", {"--hosts", "duplicate"}, "127.0.24.1 is given twice"},
      {"duplicate_across", {"--host", "127.0.24.2", "--hosts", "bad-line"}, "line 4"},
      {"duplicate_by_host", {"--host", "127.0.24.3", "--host", "127.0.24.3"}, "given twice"},
      {"three_fields", {"--hosts", "three-fields"}, "three-fields, line 1:"},
      {"too_large", {"--hosts", "huge"}, "larger than 1 MiB"},
      {"not_a_file", {"--hosts", "folder"}, "not a regular file"},
      {"missing", {"--hosts", "nowhere"}, "nowhere"},
      {"jobs_zero", {"--host", "127.0.24.1", "--host", "127.0.24.2", "--jobs", "0"}, "--jobs"},
      {"jobs_too_many", {"--host", "127.0.24.1", "--host", "127.0.24.2", "--jobs=257"}, "--jobs"},
      {"same_file_name",
       {"--host", "router_1", "--host", "router/1", "--output-dir", "out"},
       "router_1.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments{"-h", "-cd", "SHOW"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const e2e::RunResult result = run.Run(arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  // Several routers need a run without a window.
  const e2e::RunResult windowed =
      run.Run({"-cd", "SHOW", "--host", "127.0.24.1", "--host", "127.0.24.2"});
  EXPECT_EQ(windowed.exitCode, 2);
  EXPECT_NE(windowed.err.find("-h"), std::string::npos) << windowed.err;
  EXPECT_EQ(run.SessionsOpened(), 0u);
  EXPECT_FALSE(run.Sandbox().Exists("out"));
}

TEST(ManyRouters, OneRouterIsARunForThatRouterAlone) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.25.1"));
  run.WriteHosts({"# just one", "127.0.25.1 MT128-NET"});
  const e2e::RunResult listed = run.Run({"-h", "-cd", "SHOW", "--hosts", "hosts"});
  const e2e::RunResult given = run.Run({"-h", "-cd", "SHOW", "--host", "127.0.25.1"});
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, "router 127.0.25.1\nsecond line of 127.0.25.1\n");
  EXPECT_EQ(given.out, listed.out);
  EXPECT_EQ(given.err, "");
}

// The settings name another model; --model holds for every router of the run.
TEST(ManyRouters, TheModelOfTheCommandLineHoldsForEveryRouter) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.28.1-2", {"--model", "MN128-SOHO"}));
  const e2e::RunResult result = run.Run({"-h", "-cd", "SHOW", "-cd", "INFO", "--host", "127.0.28.1",
                                         "--host", "127.0.28.2", "--model", "MN128-SOHO"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, Section("127.0.28.1") + Section("127.0.28.2"));
}

TEST(ManyRouters, AFileThatCannotBeWrittenIsNamed) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.25.2-3"));
  // Where a folder is wanted, a file; and a folder where a router's file goes.
  run.Sandbox().WriteFile("plain", "");
  std::filesystem::create_directories(run.Sandbox().PathOf("out/127.0.25.3.txt"));
  const std::string blocked = run.Sandbox().PathOf("plain/out").string();
  for (const auto& [folder, failing] : {std::pair{blocked, std::string("127.0.25.2")},
                                        std::pair{std::string("out"), std::string("127.0.25.3")}}) {
    SCOPED_TRACE(folder);
    const e2e::RunResult result = run.Run({"-h", "-cd", "SHOW", "--host", "127.0.25.2", "--host",
                                           "127.0.25.3", "--output-dir", folder});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(failing + ": Vantrel: ファイル " + folder + "/" + failing +
                              ".txt を作成できません\n"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("台のルーターで失敗しました\n"), std::string::npos);
  }
  EXPECT_EQ(run.Sandbox().ReadFile("out/127.0.25.2.txt"),
            "router 127.0.25.2\nsecond line of 127.0.25.2\n");
}

// Every router is reached through the proxy: the simulators see the proxy's
// own address as their peer.
TEST(ManyRouters, EveryRouterGoesThroughTheSocksRoute) {
  const char* const microsocks = "/usr/bin/microsocks";
  ASSERT_TRUE(std::filesystem::exists(microsocks)) << "install it with scripts/install-deps.sh";
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.26.1-3"));
  std::vector<std::string> args{microsocks, "-i", "127.0.26.9", "-p", "1080", "-b", "127.0.26.9"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t proxy = -1;
  ASSERT_EQ(::posix_spawn(&proxy, microsocks, nullptr, nullptr, argv.data(), environ), 0);
  const std::vector<std::string> hosts{"127.0.26.3", "127.0.26.1", "127.0.26.2"};
  run.WriteHosts(hosts);
  e2e::RunResult result;
  // The proxy takes a moment to listen; until then the routers can't be reached.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  do {
    result = run.Run({"-h", "-cd", "SHOW", "-cd", "INFO", "--hosts", "hosts", "--socks",
                      "socks5://127.0.26.9:1080"});
  } while (result.exitCode != 0 && std::chrono::steady_clock::now() < end);
  ::kill(proxy, SIGTERM);
  ::waitpid(proxy, nullptr, 0);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, Section(hosts[0]) + Section(hosts[1]) + Section(hosts[2]));
  std::size_t proxied = 0;
  for (const std::string& line : run.Simulator(0).lines()) {
    if (line.find(" open 127.0.26.9:") != std::string::npos) ++proxied;
  }
  EXPECT_EQ(proxied, 6u);
  EXPECT_EQ(run.SessionsOpened(proxied), proxied);
}

// Runs the program with its standard error on a terminal; what the terminal
// showed, and the exit status.
std::pair<std::string, int> RunOnATerminal(const e2e::ProgramSandbox& sandbox,
                                           const std::vector<std::string>& arguments) {
  int terminal = -1;
  int side = -1;
  if (::openpty(&terminal, &side, nullptr, nullptr, nullptr) != 0) return {"", -1};
  std::vector<std::string> args{(sandbox.Dir() / "vantrel").string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(side, STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDIN_FILENO);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("XDG_CONFIG_HOME", (sandbox.Dir() / "config").c_str(), 1);
    if (::chdir(sandbox.Dir().c_str()) != 0) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(side);
  std::string shown;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end) {
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;  // the program has gone, and the terminal with it
    shown.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(terminal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {shown, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(ManyRouters, ATerminalIsShownHowManyRoutersAreDone) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.25.4-5"));
  const auto [shown, status] = RunOnATerminal(
      run.Sandbox(), {"-h", "-cd", "SHOW", "--host", "127.0.25.4", "--host", "127.0.25.5"});
  EXPECT_EQ(status, 0);
  EXPECT_NE(shown.find("\r1/2 ルーター完了\x1b[K"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r2/2 ルーター完了\x1b[K"), std::string::npos) << shown;
  // Cleared at the end, and nothing after it.
  const std::string cleared = "\r\x1b[K";
  ASSERT_GE(shown.size(), cleared.size());
  EXPECT_EQ(shown.substr(shown.size() - cleared.size()), cleared);
}

// The temporary files the program has open in `folder` (they have no name
// there), and their sizes.
std::vector<off_t> OpenFilesIn(pid_t pid, const std::string& folder) {
  std::vector<off_t> sizes;
  std::error_code ignored;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& entry : std::filesystem::directory_iterator(fds, ignored)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), ignored).string();
    if (target.rfind(folder + "/", 0) != 0) continue;
    struct stat info {};
    if (::stat(entry.path().c_str(), &info) == 0) sizes.push_back(info.st_size);
  }
  return sizes;
}

TEST(ManyRouters, AnEndlessRouterStaysOutOfTheWayOfTheQuickOnes) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.23.1", {"--delay", "4000"}));
  ASSERT_TRUE(run.Serve("127.0.23.2",
                        {"--endless-output", "--output-rate", "2000000", "--flood-seconds", "3"}));
  ASSERT_TRUE(run.Serve("127.0.23.3-8"));
  const std::string spool = run.Sandbox().PathOf("spool").string();
  std::filesystem::create_directory(spool);

  // The slow router's turn comes first, so the endless one waits for its turn.
  std::vector<std::string> hosts;
  for (int n = 1; n <= 8; ++n) hosts.push_back(Address("127.0.23.", n));
  run.WriteHosts(hosts);
  e2e::RunOptions options;
  options.environment = {{"TMPDIR", spool}};
  options.deadline = std::chrono::seconds(60);
  auto program = run.Sandbox().Start({"-h", "-cd", "SHOW", "--hosts", "hosts"}, options);

  // The quick ones are done while the endless one still sends.
  ASSERT_TRUE(run.Simulator(2).wait_for_line(" closed", std::chrono::seconds(20), 6));
  EXPECT_FALSE(run.Simulator(1).wait_for_line(" closed", std::chrono::milliseconds(0)));
  EXPECT_FALSE(run.Simulator(0).wait_for_line(" closed", std::chrono::milliseconds(0)));

  // Beyond its first MiB, what it sent waits in a temporary file without a name.
  bool spooled = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!spooled && std::chrono::steady_clock::now() < end) {
    for (const off_t size : OpenFilesIn(program->Pid(), spool)) spooled = spooled || size > 0;
    if (!spooled) ::poll(nullptr, 0, 10);
  }
  EXPECT_TRUE(spooled);

  const e2e::RunResult result = program->Finish();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            std::string("127.0.23.2: ") + kIncomplete + "\n8 台中 1 台のルーターで失敗しました\n");
  const std::string slow = "== 127.0.23.1 ==\nrouter 127.0.23.1\nsecond line of 127.0.23.1\n";
  ASSERT_EQ(result.out.rfind(slow, 0), 0u) << result.out.substr(0, 200);
  std::string quick;
  for (int n = 3; n <= 8; ++n) {
    const std::string address = Address("127.0.23.", n);
    quick += "== " + address + " ==\nrouter " + address + "\nsecond line of " + address + "\n";
  }
  ASSERT_GT(result.out.size(), slow.size() + quick.size());
  EXPECT_EQ(result.out.substr(result.out.size() - quick.size()), quick);
  const std::string endless =
      result.out.substr(slow.size(), result.out.size() - slow.size() - quick.size());
  EXPECT_EQ(endless.rfind("== 127.0.23.2 ==\n", 0), 0u);
  EXPECT_GT(endless.size(), std::size_t{2} << 20);
  EXPECT_TRUE(std::filesystem::is_empty(spool));
}

// Nothing reaches any router when the run can't say the command or does not
// know how to reach them: each router names the refused command, unreadable
// settings are named once, and the run fails.
TEST(ManyRouters, RefusedCommandsAndUnreadableSettingsSendNothing) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.25.4-5"));
  const std::vector<std::string> hosts{"--host", "127.0.25.4", "--host", "127.0.25.5"};
  std::vector<std::string> refused{"-h", "-cd", "SHOW", "-cd", "SHOW \xF0\x9F\x98\x80"};
  refused.insert(refused.end(), hosts.begin(), hosts.end());
  const e2e::RunResult noShiftJis = run.Run(refused);
  EXPECT_EQ(noShiftJis.exitCode, 1);
  // The first command ran; the second was refused for each router.
  EXPECT_EQ(noShiftJis.out,
            "== 127.0.25.4 ==\nrouter 127.0.25.4\nsecond line of 127.0.25.4\n"
            "== 127.0.25.5 ==\nrouter 127.0.25.5\nsecond line of 127.0.25.5\n");
  for (const char* address : {"127.0.25.4: ", "127.0.25.5: "}) {
    EXPECT_NE(noShiftJis.err.find(address), std::string::npos) << noShiftJis.err;
  }
  EXPECT_NE(noShiftJis.err.find("2 台中 2 台"), std::string::npos) << noShiftJis.err;
  EXPECT_EQ(run.SessionsOpened(2), 2u);

  std::filesystem::remove(run.Sandbox().PathOf("vantrel.Ini"));
  std::filesystem::create_directory(run.Sandbox().PathOf("vantrel.Ini"));
  std::vector<std::string> unreadable{"-h", "-cd", "SHOW"};
  unreadable.insert(unreadable.end(), hosts.begin(), hosts.end());
  const e2e::RunResult noSettings = run.Run(unreadable);
  EXPECT_EQ(noSettings.exitCode, 1);
  EXPECT_EQ(noSettings.out, "");
  EXPECT_NE(noSettings.err.find("vantrel.Ini"), std::string::npos) << noSettings.err;
  EXPECT_EQ(run.SessionsOpened(2), 2u);
}

}  // namespace
