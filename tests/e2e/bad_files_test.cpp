// The real program with files that fight back: a panel nested far deeper than
// any tree view can draw, and a close by SIGTERM when neither file can be
// written (a full disk under both).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>

#include <chrono>
#include <fstream>

#include "router_fixture.h"

namespace {

using e2e::ProgramSandbox;
using e2e::RouterFixture;

// `depth` nested expanded groups with one item at the bottom, CR LF lines.
std::string NestedPanel(int depth) {
  std::string panel;
  for (int i = 0; i < depth; ++i) panel += "group\r\nG" + std::to_string(i) + "\r\nend\r\n";
  panel += "item\r\nLeaf\r\nSHOW\r\nend\r\n";
  for (int i = 0; i < depth; ++i) panel += "endgroup+\r\n";
  return panel + "end\r\n";
}

class DeepPanel : public testing::TestWithParam<int> {};

TEST_P(DeepPanel, WindowStartsAndClosesAndWritesThePanelBackByteForByte) {
  ProgramSandbox sandbox;
  const std::string panel = NestedPanel(GetParam());
  sandbox.WriteFile("vantrel_p.cfg", panel);
  e2e::RunOptions options;
  options.deadline = std::chrono::seconds(90);
  const auto result = sandbox.RunAndClose({}, options);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), panel);
}

TEST_P(DeepPanel, HiddenRunStillRunsItsCommand) {
  RouterFixture router(GetParam() < 50000 ? "127.0.0.216" : "127.0.0.217", 0);
  ASSERT_TRUE(router.Ready());
  router.Sandbox().WriteFile("vantrel_p.cfg", NestedPanel(GetParam()));
  const auto run = router.Run({"-h", "-cd", "SHOW"});
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.signal, 0);
  EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
  EXPECT_EQ(run.result.out, "A\nB\n");
}

INSTANTIATE_TEST_SUITE_P(Levels, DeepPanel, testing::Values(30000, 100000),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::to_string(info.param) + "Levels";
                         });

// A small tmpfs of our own, unmounted at the end.
class SmallDisk {
 public:
  SmallDisk() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-disk-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    mounted_ = ::mount("vantrel-test", path_.c_str(), "tmpfs", 0, "size=64m") == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  bool Mounted() const { return mounted_; }
  const std::filesystem::path& Path() const { return path_; }

  // Fills what is left, so that the next write fails for want of space.
  void Fill() const {
    std::ofstream filler(path_ / "filler", std::ios::binary);
    const std::string block(1 << 16, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
    std::ofstream crumbs(path_ / "crumbs", std::ios::binary);
    while (crumbs.put('x')) crumbs.flush();
  }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
};

TEST(SignalClose, UnwritableFilesAreReportedAndTheProgramStillEnds) {
  SmallDisk disk;
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  ProgramSandbox sandbox(disk.Path());
  // Both due to be written: the panel's line ends become CR LF, and the
  // settings lack keys.
  const std::string panel = "item\nShow all\nSHOW\nend\nx\n";
  const std::string settings = "[main]\r\nrt=1\r\n";
  sandbox.WriteFile("vantrel_p.cfg", panel);
  sandbox.WriteFile("vantrel.Ini", settings);

  e2e::RunOptions options;
  options.offscreen = true;
  auto program = sandbox.Start({}, options);
  ASSERT_TRUE(program->WaitUntilHandling(SIGTERM));
  disk.Fill();
  double seconds = 0;
  const auto result = program->SignalAndFinish(SIGTERM, seconds);

  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 0);
  const std::string cannotCreate = "を作成できません";
  EXPECT_NE(result.err.find("vantrel_p.cfg " + cannotCreate), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("vantrel.Ini " + cannotCreate), std::string::npos) << result.err;
  // Nothing lost: both old files are whole.
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), panel);
  EXPECT_EQ(sandbox.ReadFile("vantrel.Ini"), settings);
#ifndef VANTREL_SANITIZED
  EXPECT_LT(seconds, 1.0);
#endif
}

}  // namespace
