// The real program's window closed by a signal: each of the three signals a
// session's end may send saves the files, and a second signal in the middle
// of a slow close ends the program at once without leaving a temporary file.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "program_sandbox.h"

namespace {

namespace fs = std::filesystem;
using e2e::ProgramSandbox;

const std::string kPanelLf = "item\nShow all\nSHOW\nend\nx\n";

std::vector<std::string> TemporaryFiles(const ProgramSandbox& sandbox) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(sandbox.Dir())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(".vantrel", 0) == 0) found.push_back(name);
  }
  return found;
}

// The descriptors of process `pid` open on files in `folder` (also on files
// that have no name there), as paths under /proc that reach the open file.
std::vector<fs::path> OpenFilesIn(pid_t pid, const fs::path& folder) {
  std::vector<fs::path> found;
  const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& entry : fs::directory_iterator(fds)) {
    std::error_code error;
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (!error && target.string().rfind(folder.string() + "/", 0) == 0)
      found.push_back(entry.path());
  }
  return found;
}

class FirstSignal : public testing::TestWithParam<int> {};

TEST_P(FirstSignal, ClosesTheWindowAndWritesBothFiles) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", kPanelLf);
  e2e::RunOptions options;
  options.offscreen = true;
  auto program = sandbox.Start({}, options);
  ASSERT_TRUE(program->WaitUntilHandling(GetParam()));
  program->Signal(GetParam());
  const auto result = program->Finish();
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), "item\r\nShow all\r\nSHOW\r\nend\r\nx\r\n");
  EXPECT_NE(sandbox.ReadFile("vantrel.Ini").value_or("").find("p_width=183\r\n"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Signals, FirstSignal, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(sigabbrev_np(info.param));
                         });

TEST(SecondSignal, DuringASlowCloseEndsAtOnceAndLeavesNoTemporaryFile) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", kPanelLf);
  const fs::path marker = sandbox.PathOf("in-fsync");
  e2e::RunOptions options;
  options.offscreen = true;
  options.environment = {{"LD_PRELOAD", VANTREL_SLOW_FSYNC},
                         {"SLOW_FSYNC_MARKER", marker.string()},
                         // A sanitized program wants its runtime first.
                         {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
  auto program = sandbox.Start({}, options);
  ASSERT_TRUE(program->WaitUntilHandling(SIGTERM));
  program->Signal(SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!fs::exists(marker) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(fs::exists(marker)) << "the close never reached its flush";
  // The new content, open in the program, is private while it is written.
  const std::vector<fs::path> pending = OpenFilesIn(program->Pid(), sandbox.Dir());
  ASSERT_EQ(pending.size(), 1u) << "the write under way has its file open";
  EXPECT_EQ(fs::status(pending[0]).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  program->Signal(SIGTERM);
  const auto result = program->Finish();
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.signal, SIGTERM);
  EXPECT_EQ(TemporaryFiles(sandbox), std::vector<std::string>{});
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), kPanelLf) << "the old file is whole";
}

}  // namespace
