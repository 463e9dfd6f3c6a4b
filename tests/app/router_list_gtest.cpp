// The list of routers a run polls: hosts files, the names of their output
// files, and how the command line turns the options into one list.
#include "app/router_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/command_line.h"

namespace {

class HostsFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "hosts-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Write(const std::string& bytes) {
    const std::string path = (folder_ / "hosts").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }

  std::filesystem::path folder_;
};

TEST_F(HostsFileTest, ReadsAddressesAndModelsSkippingCommentsAndBlankLines) {
  const app::HostsFile file = app::ReadHostsFile(
      Write("\xEF\xBB\xBF# offices\r\n\r\n  10.0.0.1\r\nrouter.example  mn128-soho  # north\n"
            "\t# indented comment\n10.0.0.3 AUTO\nfe80::1\tMN128-SOHO-SL11"));
  ASSERT_EQ(file.problem, "");
  ASSERT_EQ(file.routers.size(), 4u);
  EXPECT_EQ(file.routers[0].address, "10.0.0.1");
  EXPECT_FALSE(file.routers[0].routerModel.has_value());
  EXPECT_EQ(file.routers[1].address, "router.example");
  EXPECT_EQ(file.routers[1].routerModel, 1);
  EXPECT_EQ(file.routers[2].routerModel, -1);
  EXPECT_EQ(file.routers[3].address, "fe80::1");
  EXPECT_EQ(file.routers[3].routerModel, 3);
}

TEST_F(HostsFileTest, ABadLineIsNamedWithItsNumberAndSpoilsTheWholeFile) {
  const struct {
    const char* name;
    std::string text;
    std::string problem;
  } cases[] = {
      {"unknown_model", "10.0.0.1\n10.0.0.2 MT129\n", ", line 2: unknown router model \"MT129\""},
      {"extra_field", "\n\n10.0.0.1 auto more\n", ", line 3: more than an address and a model"},
      {"option_like", "-h\n", ", line 1: \"-h\" is no address"},
      {"control_byte", "10.0.0.1\x01x\n", ", line 1: \"10.0.0.1\\x01x\" is no address"},
      {"nul_byte", std::string("r\0x\n", 4), ", line 1: \"r\\x00x\" is no address"},
      {"octal", "127.0.3.010\n", ", line 1: \"127.0.3.010\" is an ambiguous address"},
      {"not_utf8", "r\xff\n", ", line 1: not UTF-8 text"},
  };
  for (const auto& c : cases) {
    const std::string path = Write(c.text);
    const app::HostsFile file = app::ReadHostsFile(path);
    EXPECT_EQ(file.problem.rfind(path + c.problem, 0), 0u) << c.name << ": " << file.problem;
    EXPECT_TRUE(file.routers.empty()) << c.name;
  }
}

TEST_F(HostsFileTest, FilesThatAreNoListAreRefused) {
  EXPECT_EQ(app::ReadHostsFile(Write(std::string(1 << 20, '#'))).problem, "");
  EXPECT_NE(app::ReadHostsFile(Write(std::string((1 << 20) + 1, '#'))).problem.find("1 MiB"),
            std::string::npos);
  EXPECT_NE(app::ReadHostsFile(folder_.string()).problem.find("not a regular file"),
            std::string::npos);
  EXPECT_NE(app::ReadHostsFile((folder_ / "none").string()).problem.find("cannot read"),
            std::string::npos);
}

TEST(OutputFileStemTest, KeepsLettersDigitsDotsDashesAndColonsOnly) {
  EXPECT_EQ(app::OutputFileStem("192.168.0.1"), "192.168.0.1");
  EXPECT_EQ(app::OutputFileStem("Router-7.example"), "Router-7.example");
  EXPECT_EQ(app::OutputFileStem("fe80::1%eth0"), "fe80::1_eth0");
  EXPECT_EQ(app::OutputFileStem("../etc/passwd"), ".._etc_passwd");
  EXPECT_EQ(app::OutputFileStem("r\xc3\xa9seau"), "r__seau");
}

TEST(RouterListProblemTest, TheSameRouterTwiceOrTheSameFileTwiceIsRefused) {
  using List = std::vector<app::RouterEntry>;
  EXPECT_EQ(app::RouterListProblem(List{{"a", {}}, {"b", {}}}, true), "");
  EXPECT_NE(app::RouterListProblem(List{{"a", {}}, {"b", {}}, {"a", 1}}, false), "");
  EXPECT_NE(app::RouterListProblem(List{{"Router", {}}, {"router", {}}}, false), "");
  // Only an output folder cares about file names.
  EXPECT_EQ(app::RouterListProblem(List{{"r_1", {}}, {"r/1", {}}}, false), "");
  EXPECT_NE(app::RouterListProblem(List{{"r_1", {}}, {"r/1", {}}}, true).find("r_1.txt"),
            std::string::npos);
}

TEST(RouterCommandLineTest, OneRouterIsThisRunsRouterAndSeveralAreAList) {
  const app::CommandLine one = app::ParseCommandLine({"-h", "--host", "10.0.0.9"});
  EXPECT_EQ(one.error, "");
  EXPECT_FALSE(one.ManyRouters());
  EXPECT_EQ(one.runSettings.host, "10.0.0.9");

  const app::CommandLine two =
      app::ParseCommandLine({"--host", "10.0.0.1", "-h", "--host=10.0.0.2", "--jobs", "3"});
  EXPECT_EQ(two.error, "");
  EXPECT_TRUE(two.ManyRouters());
  ASSERT_EQ(two.routers.size(), 2u);
  EXPECT_EQ(two.routers[1].address, "10.0.0.2");
  EXPECT_EQ(two.jobs, 3);
  EXPECT_EQ(two.switches, std::vector<std::string>{"-h"});

  const app::CommandLine folder = app::ParseCommandLine({"-h", "--host", "a", "--output-dir", "o"});
  EXPECT_EQ(folder.error, "");
  EXPECT_TRUE(folder.ManyRouters());
}

TEST(RouterCommandLineTest, BadUseOfTheRouterOptionsIsAnError) {
  const struct {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"--host", "a", "--host", "b"}, "more than one router needs -h"},
      {{"--host", "a", "--output-dir", "o"}, "--output-dir needs -h"},
      {{"-h", "--output-dir", "o"}, "--output-dir needs --host or --hosts"},
      {{"-h", "--host", "a", "--host", "b", "--jobs", "0"}, "--jobs takes a number"},
      {{"-h", "--host", "a", "--host", "b", "--jobs", "257"}, "--jobs takes a number"},
      {{"-h", "--host", "a", "--host", "b", "--jobs", "4x"}, "--jobs takes a number"},
      {{"-h", "--host", "a", "--host", "b", "--jobs", "99999999999"}, "--jobs takes a number"},
      {{"-h", "--host", "a", "--host", "A"}, "given twice"},
      {{"-h", "--jobs"}, "--jobs needs a value"},
      {{"-h", "--hosts", "-c"}, "--hosts needs a value"},
  };
  for (const auto& c : cases) {
    const app::CommandLine commandLine = app::ParseCommandLine(c.arguments);
    EXPECT_NE(commandLine.error.find(c.error), std::string::npos)
        << c.error << " / " << commandLine.error;
  }
  EXPECT_EQ(app::ParseCommandLine({"-h", "--host", "a", "--host", "b", "--jobs", "256"}).error, "");
}

}  // namespace
