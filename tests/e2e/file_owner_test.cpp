// The real program, run by root, whose settings and panel files are links to
// files of another user elsewhere: the close updates them in place of the
// targets, and the targets keep their owner, group and mode.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/profile.h"
#include "program_sandbox.h"

namespace {

namespace fs = std::filesystem;
using e2e::ProgramSandbox;

constexpr uid_t kOwner = 65534;
// A group other than the owner's own, so that a mix-up shows.
constexpr gid_t kGroup = 65532;

class LinkedFiles : public testing::TestWithParam<mode_t> {};

TEST_P(LinkedFiles, KeepTheirTargetsOwnerGroupModeAndLink) {
  ProgramSandbox sandbox;
  const fs::path elsewhere = sandbox.PathOf("elsewhere");
  fs::create_directory(elsewhere);
  // Both due to be written: the settings lack keys, the panel has LF line ends.
  const std::pair<const char*, std::string> files[] = {
      {"vantrel.Ini", "[main]\r\nrt=2\r\n"}, {"vantrel_p.cfg", "item\nShow all\nSHOW\nend\nx\n"}};
  for (const auto& [name, bytes] : files) {
    sandbox.WriteFile(std::string("elsewhere/") + name, bytes);
    const fs::path target = elsewhere / name;
    ASSERT_EQ(::chown(target.c_str(), kOwner, kGroup), 0);
    ASSERT_EQ(::chmod(target.c_str(), GetParam()), 0);
    fs::create_symlink(fs::path("elsewhere") / name, sandbox.PathOf(name));
  }

  const auto result = sandbox.RunAndClose({});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0) << result.err;

  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(fs::is_symlink(sandbox.PathOf(name)));
    struct stat info {};
    ASSERT_EQ(::stat((elsewhere / name).c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kOwner);
    EXPECT_EQ(info.st_gid, kGroup);
    EXPECT_EQ(info.st_mode & 07777, GetParam());
    EXPECT_NE(sandbox.ReadFile(name), bytes) << "the content is updated";
  }
  const std::string ini = (elsewhere / "vantrel.Ini").string();
  EXPECT_EQ(platform::GetPrivateProfileString("main", "rt", "", ini), "2");
  EXPECT_EQ(platform::GetPrivateProfileString("pos", "p_width", "", ini), "183");
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), "item\r\nShow all\r\nSHOW\r\nend\r\nx\r\n");
  for (const fs::path& folder : {sandbox.Dir(), elsewhere}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      EXPECT_NE(entry.path().filename().string().rfind(".vantrel", 0), 0u) << entry.path();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, LinkedFiles, testing::Values(0600, 0640),
                         [](const testing::TestParamInfo<mode_t>& info) {
                           return "Mode0" + std::to_string(info.param >> 6) +
                                  std::to_string((info.param >> 3) & 7) +
                                  std::to_string(info.param & 7);
                         });

}  // namespace
