// The real program in a folder of its own: what it reads and writes beside
// itself, and how it starts and ends with and without a display.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/profile.h"
#include "program_sandbox.h"

namespace {

using e2e::ProgramSandbox;
using e2e::RunOptions;

// A panel with LF line ends and a Shift-JIS caption ("状態", status).
const std::string kPanelLf =
    "group\n\x8F\xF3\x91\xD4\nend\nitem\nShow all\nSHOW\nend\nendgroup+\nend\n";
const std::string kPanelCrLf =
    "group\r\n\x8F\xF3\x91\xD4\r\nend\r\nitem\r\nShow all\r\nSHOW\r\nend\r\nendgroup+\r\nend\r\n";

std::string Setting(const ProgramSandbox& sandbox, const char* section, const char* key) {
  return platform::GetPrivateProfileString(section, key, "<missing>",
                                           sandbox.PathOf("vantrel.Ini").string());
}

void ExpectEndedNormally(const e2e::RunResult& result) {
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST(ProgramFiles, FirstCloseWritesTheDefaultsAndThePanelInCrLf) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", kPanelLf);
  const auto result = sandbox.RunAndClose({});
  ExpectEndedNormally(result);

  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), kPanelCrLf);
  const auto settings = sandbox.ReadFile("vantrel.Ini");
  ASSERT_TRUE(settings.has_value());
  // Every key present with its default; the exact layout (blank lines between
  // sections, if any) is the profile writer's business.
  for (const auto& [section, key, value] :
       std::vector<std::tuple<const char*, const char*, std::string>>{{"main", "rt", "-1"},
                                                                      {"main", "ip", "192.168.0.1"},
                                                                      {"main", "single", "0"},
                                                                      {"pos", "top", "101"},
                                                                      {"pos", "left", "164"},
                                                                      {"pos", "height", "369"},
                                                                      {"pos", "width", "678"},
                                                                      {"pos", "p_width", "183"}}) {
    EXPECT_EQ(Setting(sandbox, section, key), value) << section << "/" << key;
  }
  EXPECT_EQ(settings->find('\n'), settings->find("\r\n") + 1) << "lines end in CR LF";
  // Written in the order the window reads them.
  std::size_t previous = 0;
  for (const char* line : {"[main]", "\nrt=", "\nip=", "\nsingle=", "[pos]",
                           "\ntop=", "\nleft=", "\nheight=", "\nwidth=", "\np_width="}) {
    const std::size_t at = settings->find(line);
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_GE(at, previous) << line;
    previous = at;
  }
}

TEST(ProgramFiles, SettingsAreReadBackAndOtherLinesKept) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", kPanelCrLf);
  const std::string original =
      "; written by hand\r\n[main]\r\nrt=7\r\nip=10.0.0.9\r\nsingle=1\r\n"
      "[pos]\r\ntop=50\r\nleft=60\r\nheight=400\r\nwidth=700\r\np_width=150\r\n"
      "[other]\r\nkeep=\x95\x5C\x8E\xA6\r\n";
  sandbox.WriteFile("vantrel.Ini", original);
  const auto result = sandbox.RunAndClose({});
  ExpectEndedNormally(result);
  // Nothing changed in the window, so the file comes back as it was.
  EXPECT_EQ(sandbox.ReadFile("vantrel.Ini"), original);
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), kPanelCrLf);
}

TEST(ProgramFiles, HiddenRunEndsAtOnceAndWritesNothing) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", kPanelLf);
  const auto result = sandbox.Run({"-h"});
  ExpectEndedNormally(result);
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), kPanelLf);
  EXPECT_FALSE(sandbox.Exists("vantrel.Ini"));
}

// A folder holding neither file is no portable folder: the per-user panel is
// looked for, and with no installed default beside this copy it is reported.
TEST(ProgramFiles, HiddenRunReportsAMissingPanelAndEndsWithStatusOne) {
  ProgramSandbox sandbox;
  const auto result = sandbox.Run({"-H"});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1);
  const std::string path = sandbox.PathOf("config/vantrel/vantrel_p.cfg").string();
  EXPECT_NE(result.err.find("ファイル " + path + " は開けません"), std::string::npos) << result.err;
  EXPECT_FALSE(sandbox.Exists("vantrel_p.cfg"));
  EXPECT_FALSE(sandbox.Exists("vantrel.Ini"));
  EXPECT_FALSE(sandbox.Exists("config"));
}

TEST(ProgramFiles, WithoutDisplayAndWithoutHiddenModeItRefusesToStart) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", kPanelLf);
  const auto result = sandbox.Run({"-c", "SHOW"});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("DISPLAY"), std::string::npos) << result.err;
  EXPECT_FALSE(sandbox.Exists("vantrel.Ini"));
}

TEST(ProgramFiles, MissingPanelStillKeepsTheUsersSettings) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel.Ini", "[main]\r\nrt=2\r\nip=10.1.1.1\r\nsingle=1\r\n");
  const auto result = sandbox.RunAndClose({});
  ExpectEndedNormally(result);
  EXPECT_NE(result.err.find("vantrel_p.cfg"), std::string::npos);
  EXPECT_EQ(Setting(sandbox, "main", "rt"), "2");
  EXPECT_EQ(Setting(sandbox, "main", "ip"), "10.1.1.1");
  EXPECT_EQ(Setting(sandbox, "main", "single"), "1");
  // The empty panel the window showed is what is saved.
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), "");
}

TEST(ProgramFiles, AFileThatCannotBeWrittenDoesNotStopTheOther) {
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", kPanelLf);
  // Read-only, and lacking keys that the close would add: it is never
  // replaced, not even by root.
  const std::string settings = "[main]\r\nrt=2\r\n";
  sandbox.WriteFile("vantrel.Ini", settings);
  std::filesystem::permissions(sandbox.PathOf("vantrel.Ini"),
                               std::filesystem::perms::owner_read |
                                   std::filesystem::perms::group_read |
                                   std::filesystem::perms::others_read);
  const auto result = sandbox.RunAndClose({});
  ExpectEndedNormally(result);
  const std::string path = sandbox.PathOf("vantrel.Ini").string();
  EXPECT_NE(result.err.find("ファイル " + path + " を作成できません"), std::string::npos)
      << result.err;
  EXPECT_EQ(sandbox.ReadFile("vantrel.Ini"), settings);
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::group_read |
                                                             std::filesystem::perms::others_read);
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), kPanelCrLf);
}

TEST(ProgramFiles, APanelFileThatCannotBeReadIsNotReplacedAtClose) {
  // Root reads every file, so the program runs as an ordinary user who owns
  // the folder but may not read the panel file, which belongs to root.
  constexpr uid_t kNobody = 65534;
  ProgramSandbox sandbox;
  sandbox.WriteFile("vantrel_p.cfg", kPanelCrLf);
  std::filesystem::permissions(sandbox.PathOf("vantrel_p.cfg"), std::filesystem::perms::none);
  for (const auto& entry : std::filesystem::directory_iterator(sandbox.PathOf("."))) {
    if (entry.path().filename() != "vantrel_p.cfg") {
      ASSERT_EQ(::chown(entry.path().c_str(), kNobody, kNobody), 0);
    }
  }
  ASSERT_EQ(::chown(sandbox.PathOf(".").c_str(), kNobody, kNobody), 0);
  RunOptions asNobody;
  asNobody.user = kNobody;
  const auto result = sandbox.RunAndClose({}, asNobody);
  ExpectEndedNormally(result);
  EXPECT_NE(result.err.find("vantrel_p.cfg"), std::string::npos) << "the failed read is reported";
  std::filesystem::permissions(sandbox.PathOf("vantrel_p.cfg"), std::filesystem::perms::owner_read);
  EXPECT_EQ(sandbox.ReadFile("vantrel_p.cfg"), kPanelCrLf);
  // The settings are written as at every close.
  EXPECT_EQ(Setting(sandbox, "main", "ip"), "192.168.0.1");
}

}  // namespace
