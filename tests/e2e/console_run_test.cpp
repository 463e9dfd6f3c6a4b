// A hidden run without a usable display, or with --print, is a console
// program: the same output, messages and status as a hidden run of the window,
// and not one file of Qt's GUI, a platform plugin or a font opened (the run is
// traced). Without -h a display that cannot be reached is told, status 2.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <cstdlib>

#include "router_fixture.h"

namespace {

using e2e::RouterFixture;

constexpr char kXvfbDisplay[] = ":117";

// A real display for the desktop case, stopped with the test.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    std::vector<std::string> args{"/usr/bin/Xvfb", kXvfbDisplay, "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    const std::string socket = std::string("/tmp/.X11-unix/X") + (kXvfbDisplay + 1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pid_ > 0 && !std::filesystem::exists(socket) && std::chrono::steady_clock::now() < end) {
      ::poll(nullptr, 0, 20);
    }
    ready_ = pid_ > 0 && std::filesystem::exists(socket);
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Ready() const { return ready_; }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

// What the traced run opened that belongs to a window: Qt's GUI, a platform
// plugin, fonts and their configuration.
std::vector<std::string> WindowFilesOpened(const std::string& trace) {
  std::vector<std::string> opened;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    for (const char* mark : {"libQt6Gui", "libQt6Widgets", "libQt6XcbQpa", "/platforms/", "font",
                             ".ttf", ".otf", "libxcb"}) {
      if (line.find(mark) != std::string::npos) {
        opened.push_back(line);
        break;
      }
    }
  }
  return opened;
}

struct ConsoleCase {
  const char* name;
  std::map<std::string, std::string> environment;
  bool print;
  // Each case its own three router addresses: cases run side by side.
  int firstAddress;
};

class ConsoleRunTest : public ::testing::TestWithParam<ConsoleCase> {};

TEST_P(ConsoleRunTest, WritesWhatAHiddenRunWritesAndOpensNothingOfAWindow) {
  std::unique_ptr<VirtualDisplay> display;
  if (GetParam().print) {
    display = std::make_unique<VirtualDisplay>();
    ASSERT_TRUE(display->Ready());
  }
  // A whole answer, an answer cut by the router's hang-up, and a router that
  // hangs up at the log-in (an error that ends the switches): output,
  // messages and status for each.
  const struct {
    int address;
    std::vector<std::string> faults;
    std::vector<std::string> arguments;
  } runs[] = {
      {GetParam().firstAddress, {}, {"-h", "-c", "SHOW", "-cd", "SHOW"}},
      {GetParam().firstAddress + 1, {"--close-in-output"}, {"-h", "-cd", "SHOW"}},
      {GetParam().firstAddress + 2, {"--close-at-login"}, {"-h", "-cd", "SHOW", "-cd", "SHOW"}},
  };
  for (const auto& run : runs) {
    const std::string address = "127.0.0." + std::to_string(run.address);
    SCOPED_TRACE(address);
    RouterFixture router(address, 0, run.faults, "@command SHOW\nA\nB\nC\nD\n");
    ASSERT_TRUE(router.Ready());
    e2e::RunOptions windowed;
    windowed.offscreen = true;
    const e2e::RunResult hidden = router.Sandbox().Run(run.arguments, windowed);

    e2e::RunOptions console;
    console.environment = GetParam().environment;
    const std::string trace = router.Sandbox().PathOf("trace").string();
    console.wrapper = {"/usr/bin/strace", "-f", "-qq", "-e", "trace=open,openat", "-o", trace};
    // The leak checker can't run under a tracer and would end a sanitizer
    // build's run with an error of its own.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    console.environment["ASAN_OPTIONS"] =
        std::string(sanitizer != nullptr ? sanitizer : "") + ":detect_leaks=0";
    std::vector<std::string> arguments = run.arguments;
    if (GetParam().print) arguments.push_back("--print");
    const e2e::RunResult result = router.Sandbox().Run(arguments, console);

    EXPECT_EQ(result.exitCode, hidden.exitCode) << result.err;
    EXPECT_EQ(result.out, hidden.out);
    EXPECT_EQ(result.err, hidden.err);
    const std::optional<std::string> opened = router.Sandbox().ReadFile("trace");
    ASSERT_TRUE(opened.has_value());
    EXPECT_NE(opened->find("libvantrel_console.so"), std::string::npos);
    EXPECT_EQ(WindowFilesOpened(*opened), std::vector<std::string>{});
    EXPECT_FALSE(router.Sandbox().Exists("config"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Displays, ConsoleRunTest,
    ::testing::Values(ConsoleCase{"DisplayUnset", {}, false, 190},
                      ConsoleCase{"UnreachableDisplay", {{"DISPLAY", ":99"}}, false, 193},
                      ConsoleCase{"PrintOnADesktop", {{"DISPLAY", kXvfbDisplay}}, true, 196}),
    [](const auto& info) { return std::string(info.param.name); });

// The window's buttons draw their glyphs from compiled-in pictures: building
// the window loads none of Qt's image-format plugins (each one a library to
// load and relocate at every start), nor the console run's library.
TEST(WindowStartUp, LoadsNoImageFormatPluginNorTheConsoleRun) {
  RouterFixture router("127.0.0.199", 0, {}, "@command SHOW\nA\n");
  ASSERT_TRUE(router.Ready());
  e2e::RunOptions windowed;
  windowed.offscreen = true;
  const std::string trace = router.Sandbox().PathOf("trace").string();
  windowed.wrapper = {"/usr/bin/strace", "-f", "-qq", "-e", "trace=open,openat", "-o", trace};
  const char* sanitizer = std::getenv("ASAN_OPTIONS");
  windowed.environment["ASAN_OPTIONS"] =
      std::string(sanitizer != nullptr ? sanitizer : "") + ":detect_leaks=0";
  const e2e::RunResult result = router.Sandbox().Run({"-h", "-cd", "SHOW"}, windowed);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const std::optional<std::string> opened = router.Sandbox().ReadFile("trace");
  ASSERT_TRUE(opened.has_value());
  EXPECT_NE(opened->find("libvantrel_window.so"), std::string::npos);
  EXPECT_EQ(opened->find("/imageformats/"), std::string::npos);
  // Nor the console run's code, which a window has no use for.
  EXPECT_EQ(opened->find("libvantrel_console.so"), std::string::npos);
}

TEST(ConsoleRun, WithoutHiddenAnUnreachableDisplayIsToldNotAborted) {
  e2e::ProgramSandbox sandbox;
  e2e::RunOptions options;
  options.environment = {{"DISPLAY", ":99"}};
  const e2e::RunResult result = sandbox.Run({"-cd", "SHOW"}, options);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("\":99\""), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("-h"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("DISPLAY"), std::string::npos) << result.err;
}

// A working display, also when named by "unix" (this machine's socket, no
// TCP host): several routers then need --print.
TEST(ConsoleRun, ADisplayNamedUnixIsThisMachinesDisplay) {
  VirtualDisplay display;
  ASSERT_TRUE(display.Ready());
  for (const std::string& name : {std::string(kXvfbDisplay), "unix" + std::string(kXvfbDisplay)}) {
    e2e::ProgramSandbox sandbox;
    e2e::RunOptions options;
    options.environment = {{"DISPLAY", name}};
    const e2e::RunResult result =
        sandbox.Run({"-h", "-cd", "SHOW", "--host", "127.0.0.201", "--host", "127.0.0.202"}, options);
    EXPECT_EQ(result.exitCode, 2) << name;
    EXPECT_NE(result.err.find("--print"), std::string::npos) << name << result.err;
  }
}

TEST(ConsoleRun, PrintWithoutHiddenIsAUsageError) {
  e2e::ProgramSandbox sandbox;
  const e2e::RunResult result = sandbox.Run({"--print", "-cd", "SHOW"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("--print needs -h"), std::string::npos) << result.err;
}

}  // namespace
