// The real program on an X server, read over a private accessibility bus by a
// client of Debian's (tests/e2e/accessible_tree.py on pyatspi), as a screen
// reader reads it: the toolbar's buttons, the answer's text in the pane, and
// what a press of the refresh button announces. CTest runs it inside
// xvfb-run and dbus-run-session, so the display and the session bus are the
// test's own; without them it fails rather than skips.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "router_fixture.h"

namespace e2e {
namespace {

constexpr char kClient[] = VANTREL_SOURCE_DIR "/tests/e2e/accessible_tree.py";

// "A", "B" and then more than the 65,536 characters an announcement carries.
std::string RouterCommands() {
  std::string commands = "@command SHOW\nA\n\nB\n";
  for (int i = 0; i < 8000; ++i) commands += "line " + std::to_string(10000 + i) + "\n";
  return commands + "@unknown\n? {COMMAND}\n";
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Runs the client with `arguments`, through the sandbox's runner: as a
// wrapper of the program, whose path it is handed and leaves alone.
RunResult Client(const ProgramSandbox& sandbox, const std::vector<std::string>& arguments) {
  std::string command = std::string("exec /usr/bin/python3 ") + kClient;
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  sandbox.WriteFile("client.sh", command + "\n");
  RunOptions options;
  options.wrapper = {"/bin/sh", sandbox.PathOf("client.sh").string()};
  options.environment = {{"DISPLAY", Environment("DISPLAY")}};
  options.deadline = std::chrono::seconds(30);
  return sandbox.Run({}, options);
}

TEST(ScreenReaderTest, FindsTheToolbarAndTheAnswerAndHearsARefresh) {
  ASSERT_NE(Environment("DISPLAY"), "") << "run under xvfb-run";
  ASSERT_NE(Environment("DBUS_SESSION_BUS_ADDRESS"), "") << "run under dbus-run-session";
  RouterFixture router("127.0.35.2", 0, {"--delay", "300"}, RouterCommands());
  ASSERT_TRUE(router.Ready());
  router.Sandbox().WriteFile("vantrel.Ini", "[main]\r\nrt=0\r\nip=127.0.35.2\r\nsingle=1\r\n");
  router.Sandbox().WriteFile("vantrel_p.cfg", "item\r\nShow\r\nSHOW\r\nend\r\nend\r\n");
  RunOptions options;
  options.environment = {{"DISPLAY", Environment("DISPLAY")},
                         {"QT_QPA_PLATFORM", "xcb"},
                         {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}};
  options.deadline = std::chrono::seconds(90);
  auto program = router.Sandbox().Start({"-c", "SHOW"}, options);

  // The window registers on the bus once it is shown, after the answer came.
  const std::vector<std::string> wanted = {
      "push button\t更新", "push button\t設定", "push button\tヘルプ",
      "text\tルーターの応答\tA\\nB", "status bar\t通信状態", "label\t取得完了"};
  std::string tree;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
  const auto hasAll = [&] {
    for (const std::string& line : wanted) {
      if (tree.find(line) == std::string::npos) return false;
    }
    return true;
  };
  while (!hasAll() && std::chrono::steady_clock::now() < deadline) {
    tree = Client(router.Sandbox(), {"Vantrel"}).out;
  }
  EXPECT_TRUE(hasAll()) << tree;
  // The hidden panel-text box is not there at all.
  EXPECT_EQ(tree.find("item\\nShow"), std::string::npos) << tree;

  // The refresh button pressed over the bus: the lamps, the status text and
  // the new answer are announced.
  const RunResult heard = Client(router.Sandbox(), {"Vantrel", "press", "更新", "4"});
  EXPECT_EQ(heard.exitCode, 0) << heard.err;
  for (const char* event : {"object:property-change:accessible-description\tstatus bar\t通信状態",
                            "object:property-change:accessible-name\tlabel"}) {
    EXPECT_NE(heard.out.find(event), std::string::npos) << event << "\n" << heard.out;
  }
  // The new answer is announced by its first 65,536 characters.
  const std::string inserted = "object:text-changed:insert\ttext\tルーターの応答\t0\t";
  const std::size_t at = heard.out.find(inserted);
  ASSERT_NE(at, std::string::npos) << heard.out;
  std::string text = heard.out.substr(at + inserted.size());
  text = text.substr(0, text.find('\n'));
  ASSERT_EQ(text.rfind("A\\nB\\nline 10000\\n", 0), 0u) << text.substr(0, 100);
  std::size_t lineEnds = 0;
  for (std::size_t found = text.find("\\n"); found != std::string::npos;
       found = text.find("\\n", found + 2)) {
    ++lineEnds;
  }
  EXPECT_EQ(text.size() - lineEnds, 65536u);
  program->Signal(SIGTERM);
  program->Finish();
}

}  // namespace
}  // namespace e2e
