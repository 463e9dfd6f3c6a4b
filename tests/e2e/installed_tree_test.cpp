// The program as `cmake --install` lays it out, in a tree moved after the
// install: where its files live (per user, or a portable folder), the default
// panel of a first run, the long options, and the simulator's installed data.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "../routersim/routersim_process.h"
#include "platform/profile.h"
#include "program_sandbox.h"

namespace {

using e2e::InstalledTree;
using e2e::ProgramSandbox;
using e2e::RunOptions;

constexpr char kUserFolder[] = "config/vantrel/";
// The folders of the tree as the build was configured (by default bin/ and
// share/vantrel/), each ending with '/'.
const std::string kBin = std::string("tree/") + VANTREL_INSTALL_BINDIR + "/";
const std::string kData = std::string("tree/") + VANTREL_INSTALL_PKGDATADIR + "/";
const std::string kPanelCrLf =
    "group\r\nMine\r\nend\r\nitem\r\nShow\r\nSHOW\r\nend\r\nendgroup+\r\nend\r\n";

std::string Setting(const ProgramSandbox& tree, const std::string& ini, const char* key) {
  return platform::GetPrivateProfileString("main", key, "<missing>", tree.PathOf(ini).string());
}

TEST(InstalledTree, PerUserFilesFromTheDefaultPanelOnFirstRunToReadBackOnTheNext) {
  ProgramSandbox tree(InstalledTree{});
  const auto first = tree.RunAndClose({});
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.err.find("vantrel_p.cfg"), std::string::npos) << "no error box: " << first.err;

  struct stat info {};
  ASSERT_EQ(::stat(tree.PathOf(kUserFolder).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(tree.ReadFile(std::string(kUserFolder) + "vantrel_p.cfg"),
            tree.ReadFile(kData + "vantrel_p.cfg"));
  const std::string ini = std::string(kUserFolder) + "vantrel.Ini";
  EXPECT_EQ(Setting(tree, ini, "ip"), "192.168.0.1");
  EXPECT_FALSE(tree.Exists(kBin + "vantrel.Ini"));
  EXPECT_FALSE(tree.Exists(kBin + "vantrel_p.cfg"));

  // The user's own files win over the default from now on.
  tree.WriteFile(std::string(kUserFolder) + "vantrel_p.cfg", kPanelCrLf);
  platform::WritePrivateProfileString("main", "ip", "10.0.0.9", tree.PathOf(ini).string());
  const auto second = tree.RunAndClose({});
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(tree.ReadFile(std::string(kUserFolder) + "vantrel_p.cfg"), kPanelCrLf);
  EXPECT_EQ(Setting(tree, ini, "ip"), "10.0.0.9");
}

TEST(InstalledTree, EitherFileBesideTheProgramKeepsItPortable) {
  for (const char* present : {"vantrel.Ini", "vantrel_p.cfg"}) {
    ProgramSandbox tree(InstalledTree{});
    tree.WriteFile(kBin + present, "");
    const auto result = tree.RunAndClose({});
    EXPECT_FALSE(result.timedOut) << present;
    EXPECT_TRUE(tree.Exists(kBin + "vantrel.Ini")) << present;
    EXPECT_TRUE(tree.Exists(kBin + "vantrel_p.cfg")) << present;
    EXPECT_FALSE(tree.Exists("config")) << present;
  }
}

TEST(InstalledTree, HelpAndVersionAnswerBeforeAnythingStarts) {
  // ":97" names a display no one serves: had the program tried to open it, it would fail.
  for (const auto& [option, expected] : std::vector<std::tuple<std::string, std::string>>{
           {"--help", "Usage: vantrel"}, {"--version", "vantrel 1.21\n"}}) {
    for (const bool display : {false, true}) {
      ProgramSandbox tree(InstalledTree{});
      RunOptions options;
      if (display) options.environment["DISPLAY"] = ":97";
      const auto result = tree.Run({option}, options);
      EXPECT_EQ(result.exitCode, 0) << option << " display " << display << result.err;
      EXPECT_EQ(result.out.rfind(expected, 0), 0u) << option << result.out;
      EXPECT_EQ(result.err, "") << option;
      EXPECT_FALSE(tree.Exists("config")) << option;
    }
  }
}

TEST(InstalledTree, UsageErrorsEndWithStatusTwoBeforeAnyWindow) {
  ProgramSandbox tree(InstalledTree{});
  for (const auto& [arguments, expected] :
       std::vector<std::tuple<std::vector<std::string>, std::string>>{
           {{"--model", "MX999"}, "unknown router model \"MX999\""},
           {{"-h", "--host"}, "--host needs a value"},
           {{"--model", "-h"}, "--model needs a value"},
           {{"--host=", "-h"}, "--host needs a value"}}) {
    RunOptions options;
    options.offscreen = true;
    const auto result = tree.Run(arguments, options);
    EXPECT_EQ(result.exitCode, 2) << expected;
    EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
  }
  EXPECT_FALSE(tree.Exists("config"));
}

// The installed simulator answers from its installed data file; the program
// reaches it through --host and --model alone, and a later close writes back
// the file's own router, not the one of that run.
TEST(InstalledTree, HostAndModelAreForThisRunOnly) {
  ProgramSandbox tree(InstalledTree{});
  const std::string ini = std::string(kUserFolder) + "vantrel.Ini";
  std::filesystem::create_directories(tree.PathOf(kUserFolder));
  tree.WriteFile(std::string(kUserFolder) + "vantrel_p.cfg", kPanelCrLf);
  tree.WriteFile(ini, "[main]\r\nrt=0\r\nip=10.0.0.1\r\n");

  routersim_test::RoutersimProcess simulator(
      {"--listen", "127.0.0.142", "--port", "23", "--model", "MN128-SOHO"},
      tree.PathOf(kBin + "vantrel-routersim").string());
  ASSERT_TRUE(simulator.wait_ready());
  RunOptions options;
  // A wrong model would wait out the cycle's 16 seconds for a prompt that never comes.
  options.deadline = std::chrono::seconds(12);
  const auto polled =
      tree.Run({"-h", "-cd", "SHOW", "--host", "127.0.0.142", "--model", "mn128-soho"}, options);
  EXPECT_EQ(polled.exitCode, 0) << polled.err;
  EXPECT_NE(polled.out.find("MN128-SOHO"), std::string::npos) << polled.out;

  const auto closed = tree.RunAndClose({"--host", "127.0.0.143", "--model", "auto"});
  EXPECT_EQ(closed.exitCode, 0) << closed.err;
  EXPECT_EQ(Setting(tree, ini, "ip"), "10.0.0.1");
  EXPECT_EQ(Setting(tree, ini, "rt"), "0");
}

}  // namespace
