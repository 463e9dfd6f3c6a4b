// Private-profile files: reading with defaults, writing in place, keeping
// everything else, line ends, Shift-JIS bytes and atomic replacement.
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "platform/files.h"
#include "support/temp_folder.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class Profile : public ::testing::Test {
 protected:
  void Ini(const std::string& bytes) { ASSERT_TRUE(WriteFileAtomically(ini_, bytes)); }
  std::string Bytes() const { return ReadFileBytes(ini_).value_or("<missing>"); }
  std::string Text(const std::string& section, const std::string& key) const {
    return GetPrivateProfileString(section, key, "<none>", ini_);
  }
  int Int(const char* section, const char* key) const {
    return GetPrivateProfileInt(section, key, 5, ini_);
  }
  bool Write(const std::string& section, const std::string& key, const std::string& value,
             std::string* error = nullptr) {
    return WritePrivateProfileString(section, key, value, ini_, error);
  }
  int FilesInFolder() const {
    return static_cast<int>(std::distance(fs::directory_iterator(dir_.Path()), {}));
  }

  support::TempFolder dir_;
  const std::string ini_ = dir_.File("vantrel.Ini");
};

}  // namespace

TEST_F(Profile, ReadsNamesWithoutCaseOrBlanksAndGivesTheDefaultForWhatIsMissing) {
  EXPECT_EQ(Text("main", "ip"), "<none>");
  EXPECT_EQ(Int("main", "rt"), 5);
  EXPECT_FALSE(fs::exists(ini_));
  Ini("  [ Main ]  \r\n\t IP \t=  10.0.0.1  \r\nRt=3\r\nq=\"x y\"\r\nopen=\"x\r\n"
      "e=\"\"\r\nsq=''\r\n[pos]\r\n");
  EXPECT_EQ(Text("MAIN", "ip"), "10.0.0.1");
  EXPECT_EQ(Int("main", "rt"), 3);
  EXPECT_EQ(Text("main", "q"), "x y");  // quotes round a whole value go
  EXPECT_EQ(Text("main", "open"), "\"x");
  EXPECT_EQ(Text("main", "e"), "");  // an empty quoted value is empty, not two quotes
  EXPECT_EQ(Text("main", "sq"), "");
  EXPECT_EQ(Text("pos", "ip"), "<none>");
  EXPECT_EQ(Text("other", "ip"), "<none>");
}

TEST_F(Profile, WhatIsNotAnIntegerReadsAsTheDefault) {
  Ini("[pos]\r\ntop=abc\r\nleft=12abc\r\nheight=\r\nwidth= -40 \r\np_width=+183\r\n"
      "big=99999999999\r\nneg=-2147483648\r\nsign=-\r\ntwo=+-5\r\nhex=0x10\r\n");
  const std::pair<const char*, int> cases[] = {{"top", 5},
                                               {"left", 5},
                                               {"height", 5},
                                               {"width", -40},
                                               {"p_width", 183},
                                               {"big", 5},
                                               {"neg", -2147483647 - 1},
                                               {"sign", 5},
                                               {"two", 5},
                                               {"hex", 5}};
  for (const auto& [key, expected] : cases) EXPECT_EQ(Int("pos", key), expected) << key;
}

TEST_F(Profile, AnyLineEndReadsTheSameAndAWriteTurnsTheFileToCrLf) {
  for (const std::string end : {"\r\n", "\n", "\r"}) {
    Ini("[main]" + end + "rt=1" + end + "ip=1.2.3.4" + end + "[pos]" + end + "top=7");
    EXPECT_EQ(Int("main", "rt"), 1);
    EXPECT_EQ(Text("main", "ip"), "1.2.3.4");
    EXPECT_EQ(Int("pos", "top"), 7);
    ASSERT_TRUE(Write("main", "rt", "2"));
    EXPECT_EQ(Bytes(), "[main]\r\nrt=2\r\nip=1.2.3.4\r\n[pos]\r\ntop=7\r\n");
  }
}

TEST_F(Profile, WritesCreateFileSectionsAndKeysAndKeepEverythingElseInPlace) {
  ASSERT_TRUE(Write("main", "rt", "-1"));
  EXPECT_EQ(Bytes(), "[main]\r\nrt=-1\r\n");
  Ini("; written by hand\r\n[other]\r\nkeep = me \r\n\r\n"
      "[Main]\r\n; the router\r\nIP = 10.1.1.1\r\nsingle=1\r\n\r\n"
      "[pos]\r\ntop=5\r\njunk line without equals\r\n");
  ASSERT_TRUE(Write("main", "ip", "192.168.0.254"));
  ASSERT_TRUE(Write("main", "rt", "3"));
  ASSERT_TRUE(Write("pos", "top", "77"));
  ASSERT_TRUE(Write("extra", "x", "y"));
  EXPECT_EQ(Bytes(),
            "; written by hand\r\n[other]\r\nkeep = me \r\n\r\n"
            "[Main]\r\n; the router\r\nIP=192.168.0.254\r\nsingle=1\r\nrt=3\r\n\r\n"
            "[pos]\r\ntop=77\r\njunk line without equals\r\n[extra]\r\nx=y\r\n");
}

TEST_F(Profile, ShiftJisBytesPassUnchangedAndTrailBytesKeepTheirCase) {
  // "取得" and a "ソ" whose trail byte is 0x5C, the backslash.
  const std::string value = "\x8E\xE6\x93\xBE \x83\x5C\x5C";
  ASSERT_TRUE(Write("main", "name", value));
  EXPECT_EQ(Text("main", "name"), value);
  EXPECT_EQ(Bytes(), "[main]\r\nname=" + value + "\r\n");
  // "ア" and "ダ": the trail byte of one looks like the capital of the other's.
  ASSERT_TRUE(Write("main", "\x83\x41", "1"));
  EXPECT_EQ(Text("main", "\x83\x61"), "<none>");
  EXPECT_EQ(Text("main", "\x83\x41"), "1");
}

TEST_F(Profile, AFailedWriteLeavesTheOldFileAsItWasAndSaysWhy) {
  const std::string old = "[main]\r\nrt=1\r\n; keep me\r\n";
  Ini(old);
  // Files may grow no larger than the old one, so writing the new one fails
  // halfway (tests run as root: permission bits would stop nothing).
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = old.size();
  setrlimit(RLIMIT_FSIZE, &small);
  std::string error;
  const bool written = Write("main", "ip", "192.168.0.1", &error);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(written);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Bytes(), old);
  EXPECT_EQ(FilesInFolder(), 1) << "a temporary file was left behind";

  EXPECT_FALSE(WritePrivateProfileString("main", "rt", "1", dir_.File("gone/x.ini"), &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST_F(Profile, AFileThatIsThereButCannotBeReadIsNotWrittenOver) {
  // A link to itself can't be opened; writing just our key would replace it.
  fs::create_symlink(ini_, ini_);
  std::string error;
  EXPECT_FALSE(Write("main", "rt", "1", &error));
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_symlink(ini_));
}
