// The settings file as a run reads it once and writes back only what it
// changed.
#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/files.h"
#include "support/temp_folder.h"

namespace {

using app::FileState;
using app::Settings;
using app::SettingsFile;

const std::string kComplete =
    "[main]\r\nrt=2\r\nip=10.0.0.1\r\nsingle=1\r\n[pos]\r\ntop=50\r\nleft=60\r\n"
    "height=400\r\nwidth=700\r\np_width=150\r\n";

struct SaveCase {
  const char* name;
  std::string before;  // the file at start-up
  std::function<void(Settings&)> change;  // what the run changed
  // Another instance's write between this run's start and close; may be empty.
  std::string meanwhile;
  std::string after;  // the file after the close
};

std::string SaveCaseName(const testing::TestParamInfo<SaveCase>& info) { return info.param.name; }

class SaveOnlyWhatChanged : public testing::TestWithParam<SaveCase> {};

TEST_P(SaveOnlyWhatChanged, KeepsEveryOtherKeyAsTheFileHoldsItAtClose) {
  const SaveCase& c = GetParam();
  support::TempFolder dir;
  const std::string path = dir.File("vantrel.Ini");
  if (!c.before.empty()) {
    ASSERT_TRUE(platform::WriteFileAtomically(path, c.before));
  }
  SettingsFile file(path);
  Settings now = file.Values(Settings{});
  c.change(now);
  if (!c.meanwhile.empty()) {
    ASSERT_TRUE(platform::WriteFileAtomically(path, c.meanwhile));
  }
  std::string error;
  EXPECT_TRUE(file.Save(now, &error)) << error;
  EXPECT_EQ(support::ReadWholeFile(path), c.after);
}

const auto kNoChange = [](Settings&) {};

INSTANTIATE_TEST_SUITE_P(
    Settings, SaveOnlyWhatChanged,
    testing::Values(
        SaveCase{"FirstRunWritesAllEightKeys", "", kNoChange, "",
                 "[main]\r\nrt=-1\r\nip=192.168.0.1\r\nsingle=0\r\n[pos]\r\ntop=101\r\n"
                 "left=164\r\nheight=369\r\nwidth=678\r\np_width=183\r\n"},
        SaveCase{"NothingChangedNothingWritten", kComplete, kNoChange,
                 "[main]\r\nrt=3\r\n", "[main]\r\nrt=3\r\n"},
        SaveCase{"ValuesTheReadingRulesBentStay",
                 "[main]\r\nrt=abc\r\nip=x\r\nsingle=5\r\n[pos]\r\ntop=1\r\nleft=2\r\nheight=3\r\n"
                 "width=4\r\np_width=z\r\n",
                 kNoChange, "",
                 "[main]\r\nrt=abc\r\nip=x\r\nsingle=5\r\n[pos]\r\ntop=1\r\nleft=2\r\nheight=3\r\n"
                 "width=4\r\np_width=z\r\n"},
        SaveCase{"AMissingKeyIsAdded", "[main]\r\nrt=2\r\n", kNoChange, "",
                 "[main]\r\nrt=2\r\nip=192.168.0.1\r\nsingle=0\r\n[pos]\r\ntop=101\r\n"
                 "left=164\r\nheight=369\r\nwidth=678\r\np_width=183\r\n"},
        SaveCase{"TwoInstancesKeepBothChanges", kComplete,
                 [](Settings& s) { s.routerModel = 0; },
                 "[main]\r\nrt=2\r\nip=10.9.9.9\r\n; theirs\r\n",
                 "[main]\r\nrt=0\r\nip=10.9.9.9\r\n; theirs\r\n"}),
    SaveCaseName);

TEST(SettingsFile, FileGoneSinceStartUpIsWrittenWhole) {
  support::TempFolder dir;
  const std::string path = dir.File("vantrel.Ini");
  ASSERT_TRUE(platform::WriteFileAtomically(path, "[main]\r\nrt=2\r\n[pos]\r\ntop=50\r\n"));
  SettingsFile file(path);
  Settings now = file.Values(Settings{});
  now.singleSetting = 1;
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_TRUE(file.Save(now));
  EXPECT_EQ(support::ReadWholeFile(path),
            "[main]\r\nrt=2\r\nip=192.168.0.1\r\nsingle=1\r\n[pos]\r\ntop=50\r\nleft=164\r\n"
            "height=369\r\nwidth=678\r\np_width=183\r\n");
}

TEST(SettingsFile, AnUnreadableFileIsWrittenOnlyForADialogsChangeAndNeverOverWhatItHolds) {
  support::TempFolder dir;
  const std::string path = dir.File("vantrel.Ini");
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  SettingsFile file(path);
  EXPECT_EQ(file.State(), FileState::kUnreadable);
  Settings defaults;
  defaults.host = "router";
  Settings now = file.Values(defaults);
  EXPECT_EQ(now.host, "router");
  // The window's place alone is no reason to write.
  now.top = 5;
  EXPECT_TRUE(file.Save(now));
  // A setting the user changed is, but a folder is not replaced.
  now.routerModel = 1;
  std::string error;
  EXPECT_FALSE(file.Save(now, &error));
  EXPECT_FALSE(error.empty());
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST(SettingsFile, ValuesFollowTheReadingRulesAndTheSocksSectionIsThere) {
  support::TempFolder dir;
  const std::string path = dir.File("vantrel.Ini");
  ASSERT_TRUE(platform::WriteFileAtomically(
      path, "[main]\r\nrt=x\r\nsingle=-3\r\n[pos]\r\nwidth=+640\r\n[socks]\r\nserver=gw\r\n"));
  SettingsFile file(path);
  Settings defaults;
  defaults.top = 7;
  const Settings values = file.Values(defaults);
  EXPECT_EQ(values.routerModel, -1);
  EXPECT_EQ(values.singleSetting, 1);
  EXPECT_EQ(values.width, 640);
  EXPECT_EQ(values.top, 7);
  EXPECT_EQ(file.Contents().String("socks", "server", ""), "gw");
}

// Each file is read up to its bound and refused one byte past it.
TEST(SettingsFile, TheSettingsAndThePanelAreReadUpToTheirBoundsAndNotAByteMore) {
  support::TempFolder dir;
  const std::string path = dir.File("file");
  const std::function<FileState()> readers[] = {[&] { return SettingsFile(path).State(); },
                                                [&] { return app::ReadPanelFile(path).state; }};
  const std::size_t bounds[] = {app::kSettingsFileLimit, app::kPanelFileLimit};
  for (int kind = 0; kind < 2; ++kind) {
    for (const std::size_t size : {bounds[kind], bounds[kind] + 1}) {
      ASSERT_TRUE(platform::WriteFileAtomically(path, ""));
      std::filesystem::resize_file(path, size);
      EXPECT_EQ(readers[kind](), size == bounds[kind] ? FileState::kRead : FileState::kUnreadable)
          << kind << " " << size;
    }
  }
}

}  // namespace
