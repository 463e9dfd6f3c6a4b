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

#include "many_routers_fixture.h"
#include "support/deadline.h"

namespace {

using namespace many_routers;

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
    // In the order of the list, each line with its router and command.
    const std::string refused = " 127.0.22.8 への接続が拒否されました\n";
    EXPECT_EQ(result.err, std::string("127.0.22.8: SHOW: エラー: ") + kLoginFailed + "\n" +
                              "127.0.22.8: SHOW:" + refused + "127.0.22.8: INFO: エラー: " +
                              kLoginFailed + "\n" + "127.0.22.8: INFO:" + refused +
                              "127.0.22.6: SHOW: " + kIncomplete + "\n" +
                              "127.0.22.6: INFO: " + kIncomplete + "\n" +
                              "127.0.22.7: SHOW: " + kIncomplete + "\n" +
                              "127.0.22.7: INFO: " + kIncomplete + "\n" +
                              "127.0.22.9: SHOW: Vantrel: Error 10057 in function Send\n"
                              "127.0.22.9: SHOW: Socket is not connected\n"
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
  run.Sandbox().WriteFile("none", "# nothing here yet\n\n");
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
      {"jobs_negative", {"--host", "127.0.24.1", "--host", "127.0.24.2", "--jobs", "-1"},
       "--jobs takes a number from 1 to 256, not \"-1\""},
      // Not the settings' router instead.
      {"no_router_listed", {"--hosts", "none"}, "no router to poll: --hosts none named none"},
      {"no_router_to_folder", {"--hosts", "none", "--output-dir", "out"}, "--hosts none"},
      // One router four times, and an octal part the resolver would read as 8.
      {"leading_zeros", {"--host", "127.0.24.1", "--host", "127.000.24.1"}, "127.000.24.1"},
      {"hex", {"--host", "0x7f.0.24.1"}, "\"0x7f.0.24.1\" is an ambiguous address"},
      {"one_number", {"--host", "2130712577"}, "ambiguous address"},
      {"octal", {"--host", "127.0.24.010"}, "127.0.24.010"},
      {"control_byte", {"--host", "127.0.24.1\x1b[2J"}, "\"127.0.24.1\\x1b[2J\" is no address"},
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
  // A folder where a router's file goes.
  std::filesystem::create_directories(run.Sandbox().PathOf("out/127.0.25.3.txt"));
  const e2e::RunResult result = run.Run({"-h", "-cd", "SHOW", "--host", "127.0.25.2", "--host",
                                         "127.0.25.3", "--output-dir", "out"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("127.0.25.3: Vantrel: ファイル out/127.0.25.3.txt を作成できません\n"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("台のルーターで失敗しました\n"), std::string::npos);
  EXPECT_EQ(run.Sandbox().ReadFile("out/127.0.25.2.txt"),
            "router 127.0.25.2\nsecond line of 127.0.25.2\n");
}

// A folder that can't take the answers is found before any router hears of
// the run.
TEST(ManyRouters, AnUnusableOutputFolderIsToldBeforeAnyContact) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.25.4-5"));
  run.Sandbox().WriteFile("plain", "");
  std::filesystem::create_directory(run.Sandbox().PathOf("locked"));
  std::filesystem::permissions(run.Sandbox().PathOf("locked"),
                               std::filesystem::perms::owner_read |
                                   std::filesystem::perms::owner_exec |
                                   std::filesystem::perms::others_read |
                                   std::filesystem::perms::others_exec);
  const struct {
    std::string folder;
    std::string reason;
    bool unprivileged;
  } cases[] = {{"plain", "Not a directory", false},
               {"plain/out", "Not a directory", false},
               {"/dev/full", "Not a directory", false},
               {run.Sandbox().PathOf("locked").string(), "Permission denied", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    e2e::RunOptions options;
    if (c.unprivileged) {
      // Root writes anywhere: an ordinary user owns the rest, root the folder.
      for (const auto& entry : std::filesystem::directory_iterator(run.Sandbox().Dir())) {
        if (entry.path().filename() != "locked") {
          ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
        }
      }
      ASSERT_EQ(::chown(run.Sandbox().Dir().c_str(), 65534, 65534), 0);
      options.user = 65534;
    }
    const e2e::RunResult result = run.Run({"-h", "-cd", "SHOW", "--host", "127.0.25.4", "--host",
                                           "127.0.25.5", "--output-dir", c.folder},
                                          options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "vantrel: cannot write the answers to the folder " + c.folder + ": " +
                              c.reason + "\n");
  }
  EXPECT_EQ(run.SessionsOpened(), 0u);
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

namespace {

// What `address` prints when it is the run's only router.
std::string AloneBlock(ManyRouters& run, const std::string& address,
                       const std::vector<std::string>& commands) {
  std::vector<std::string> arguments{"-h", "--host", address};
  arguments.insert(arguments.end(), commands.begin(), commands.end());
  return run.Run(arguments).out;
}

}  // namespace

// A router whose TELNET commands arrive byte by byte, or whose session ends
// inside a subnegotiation, leaves the answers of the routers polled with it
// as they are when each runs alone.
TEST(ManyRouters, NoRoutersBytesReachAnotherRoutersAnswer) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.31.1", {"--split-commands", "--split-gap", "5"}));
  ASSERT_TRUE(run.Serve("127.0.31.2", {"--trickle"}));
  ASSERT_TRUE(run.Serve("127.0.31.3", {"--after-prompt-hex", "fffa"}));
  ASSERT_TRUE(run.Serve("127.0.31.4-7"));
  const std::string trickled = AloneBlock(run, "127.0.31.2", {"-cd", "SHOW"});
  ASSERT_EQ(trickled, "router 127.0.31.2\nsecond line of 127.0.31.2\n");
  for (int round = 0; round < 3; ++round) {
    const e2e::RunResult both =
        run.Run({"-h", "-cd", "SHOW", "--host", "127.0.31.1", "--host", "127.0.31.2"});
    EXPECT_EQ(both.exitCode, 0) << both.err;
    EXPECT_NE(both.out.find("== 127.0.31.2 ==\n" + trickled), std::string::npos) << both.out;
  }
  std::vector<std::string> five{"-h", "-cd", "SHOW", "-cd", "INFO"};
  for (const char* host : {"127.0.31.3", "127.0.31.4", "127.0.31.5", "127.0.31.6", "127.0.31.7"}) {
    five.insert(five.end(), {"--host", host});
  }
  const e2e::RunResult withCutOff = run.Run(five);
  EXPECT_EQ(withCutOff.exitCode, 0) << withCutOff.err;
  for (const char* host : {"127.0.31.4", "127.0.31.5", "127.0.31.6", "127.0.31.7"}) {
    EXPECT_NE(withCutOff.out.find(Section(host)), std::string::npos) << host;
  }
}

// A router's block waits in memory and in a temporary file while a slow
// router ahead of it answers; where the file can't be made or written, the
// block stays in memory, in order, and the run says why once.
TEST(ManyRouters, AHeldAnswerKeepsItsOrderWhenItsFileFails) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.32.1", {"--delay", "1500"}));
  ASSERT_TRUE(run.Serve("127.0.32.2", {"--answer-bytes", "2000000"}));
  const std::string alone = AloneBlock(run, "127.0.32.2", {"-cd", "SHOW"});
  ASSERT_GT(alone.size(), std::size_t{1900000});
  const struct {
    const char* name;
    std::map<std::string, std::string> environment;
    std::vector<std::string> wrapper;
    std::string reason;
  } cases[] = {
      {"missing_folder",
       {{"TMPDIR", "/nonexistent-vantrel"}},
       {},
       "cannot make a temporary file in /nonexistent-vantrel: No such file or directory"},
      // Writes past 32 KiB fail, as on a full disk.
      {"failing_writes",
       {},
       {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\""},
       "cannot write a temporary file in /tmp: File too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::RunOptions options;
    options.environment = c.environment;
    options.wrapper = c.wrapper;
    const e2e::RunResult result =
        run.Run({"-h", "-cd", "SHOW", "--host", "127.0.32.1", "--host", "127.0.32.2"}, options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "vantrel: answers that wait for their turn are kept in memory: " +
                              c.reason + "\n");
    const std::string block = "== 127.0.32.2 ==\n" + alone;
    ASSERT_GE(result.out.size(), block.size());
    EXPECT_TRUE(result.out.compare(result.out.size() - block.size(), block.size(), block) == 0);
  }
}

// Standard output that fails, and a terminal, are handled as for one router.
TEST(ManyRouters, TheOutputIsCheckedAndDefusedAsForOneRouter) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.33.1-2", {"--answer-hex", "1b5d303b7469746c65070d0a41089b320d0a"}));
  using Output = e2e::RunOptions::Output;
  const struct {
    const char* name;
    Output output;
    std::string path;
    std::string message;
  } sinks[] = {
      {"full", Output::File, "/dev/full", "No space left on device"},
      {"closed", Output::Closed, "", "Bad file descriptor"},
      {"reader_gone", Output::PipeNoReader, "", ""},
  };
  for (const auto& sink : sinks) {
    SCOPED_TRACE(sink.name);
    for (const bool many : {false, true}) {
      e2e::RunOptions options;
      options.output = sink.output;
      options.outputPath = sink.path;
      options.ignoreSigpipe = true;
      std::vector<std::string> arguments{"-h", "-cd", "SHOW", "--host", "127.0.33.1"};
      if (many) arguments.insert(arguments.end(), {"--host", "127.0.33.2"});
      const e2e::RunResult result = run.Run(arguments, options);
      EXPECT_EQ(result.exitCode, 1) << many;
      EXPECT_EQ(result.err, sink.message.empty() ? std::string()
                                                 : "vantrel: cannot write the answer to standard "
                                                   "output: " + sink.message + "\n")
          << many;
    }
  }
  e2e::RunOptions terminal;
  terminal.output = Output::Terminal;
  const e2e::RunResult shown = run.Run(
      {"-h", "-cd", "SHOW", "--host", "127.0.33.1", "--host", "127.0.33.2"}, terminal);
  EXPECT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_EQ(shown.out.find('\x1b'), std::string::npos);
  EXPECT_NE(shown.out.find("\xEF\xBF\xBD]0;title\xEF\xBF\xBD"), std::string::npos) << shown.out;
}

// A cycle that fails after lines came shows them, then its message, with one
// router as with two; so does a line that never ends, passed on as it comes.
TEST(ManyRouters, WhatCameBeforeAFailureIsShownAloneAndAmongOthers) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.34.1", {"--flood-in-output", "--flood-seconds", "20"}));
  ASSERT_TRUE(run.Serve("127.0.34.2"));
  ASSERT_TRUE(run.Serve("127.0.34.3", {"--endless-line", "--flood-seconds", "3", "--output-rate", "1000000"}));
  const e2e::RunResult alone = run.Run({"-h", "-cd", "SHOW", "--host", "127.0.34.1"});
  EXPECT_EQ(alone.exitCode, 1);
  EXPECT_EQ(alone.out.rfind("router 127.0.34.1\n", 0), 0u) << alone.out;
  EXPECT_NE(alone.err.find("Vantrel: "), std::string::npos) << alone.err;
  const e2e::RunResult both =
      run.Run({"-h", "-cd", "SHOW", "--host", "127.0.34.1", "--host", "127.0.34.2"});
  EXPECT_EQ(both.exitCode, 1);
  EXPECT_EQ(both.out, "== 127.0.34.1 ==\n" + alone.out + "== 127.0.34.2 ==\nrouter 127.0.34.2\n"
                      "second line of 127.0.34.2\n");
  EXPECT_EQ(both.err.rfind("127.0.34.1: " + alone.err.substr(0, alone.err.find('\n')), 0), 0u)
      << both.err;
  // A stray prompt line with lines after it, then the router hangs up: its
  // last line is data, and the answer is not all.
  ASSERT_TRUE(run.Serve("127.0.34.4", {"--close-in-output", "--answer-hex",
                                       "410d0a4d543132382d4e455425200d0a420d0a430d0a440d0a450d0a"
                                       "460d0a470d0a480d0a490d0a"}));
  const e2e::RunResult stray = run.Run({"-h", "-cd", "SHOW", "--host", "127.0.34.4"});
  EXPECT_EQ(stray.exitCode, 1);
  EXPECT_EQ(stray.out, "A\nB\n");
  EXPECT_EQ(stray.err, std::string(kIncomplete) + "\n");
  // Three seconds of one line, then the router hangs up: the line is shown.
  const e2e::RunResult endless = run.Run({"-h", "-cd", "SHOW", "--host", "127.0.34.3"});
  EXPECT_EQ(endless.exitCode, 1);
  EXPECT_GT(endless.out.size(), std::size_t{1} << 20);
  EXPECT_EQ(endless.out.find('\n'), endless.out.size() - 1);
  EXPECT_EQ(endless.out.substr(0, 10), "0123456789");
}

// Whether `pid` sits in a write or a poll: waiting for a reader to make room.
bool WaitsToWrite(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
  std::string number;
  file >> number;
  return number == "1" || number == "7";  // write, poll
}

// The first signal ends a run whose standard output no one reads, one
// router or two, as it ends any other run, and leaves no temporary file.
TEST(ManyRouters, ASignalEndsARunThatWaitsToWrite) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.35.1-2", {"--answer-bytes", "1000000"}));
  const std::filesystem::path temporary = run.Sandbox().PathOf("tmp");
  std::filesystem::create_directory(temporary);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    for (const bool two : {false, true}) {
      SCOPED_TRACE(std::to_string(signal) + (two ? ", two routers" : ", one router"));
      e2e::RunOptions options;
      options.output = e2e::RunOptions::Output::PipeNotRead;
      options.environment = {{"TMPDIR", temporary.string()}};
      options.deadline = std::chrono::seconds(20);
      std::vector<std::string> arguments{"-h", "-cd", "SHOW", "--host", "127.0.35.1"};
      if (two) arguments.insert(arguments.end(), {"--host", "127.0.35.2"});
      auto program = run.Sandbox().Start(arguments, options);
      // The pipe is full and the router has more: the run waits to write.
      ASSERT_TRUE(support::WaitUntil(
          [&] { return program->HeldBytes() >= 49152 && WaitsToWrite(program->Pid()); }));
      double seconds = 0;
      const e2e::RunResult result = program->SignalAndFinish(signal, seconds);
      EXPECT_FALSE(result.timedOut);
      EXPECT_EQ(result.signal, signal);
      EXPECT_TRUE(std::filesystem::is_empty(temporary));
    }
  }
}

// With the trace asked for, each connection tells its story after the
// router's address; without it, a healthy run says nothing on standard error.
TEST(ManyRouters, TheTraceShowsEachConnectionsNegotiationAndReads) {
  ManyRouters run;
  ASSERT_TRUE(run.Serve("127.0.36.1-2"));
  EXPECT_EQ(run.Run({"-h", "-cd", "SHOW", "--host", "127.0.36.1"}).err, "");
  e2e::RunOptions traced;
  traced.environment = {{"QT_LOGGING_RULES", "vantrel.telnet=true"}};
  // 127.0.36.3: nothing listens.
  const e2e::RunResult result = run.Run(
      {"-h", "-cd", "SHOW", "--host", "127.0.36.1", "--host", "127.0.36.2", "--host", "127.0.36.3"},
      traced);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("127.0.36.3: not connected: "), std::string::npos) << result.err;
  for (const char* host : {"127.0.36.1", "127.0.36.2"}) {
    for (const char* line :
         {"opening port 23", "connected", "recv WILL ECHO", "sent DO ECHO", "recv DO TERMINAL-TYPE",
          "sent WILL TERMINAL-TYPE", "recv SB TERMINAL-TYPE SEND", "sent SB TERMINAL-TYPE IS VT100",
          "read ", "send ", "closed by us"}) {
      EXPECT_NE(result.err.find(std::string(host) + ": " + line), std::string::npos)
          << host << ": " << line << "\n" << result.err;
    }
  }
}
