// Private-profile files: reading with defaults, writing in place, keeping
// everything else, line ends, Shift-JIS bytes and atomic replacement.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files.h"
#include "support/temp_folder.h"

using namespace platform;

namespace {

class Profile : public ::testing::Test {
 protected:
  // The test's settings file, holding `bytes`.
  const std::string& Ini(const std::string& bytes) {
    EXPECT_TRUE(WriteFileAtomically(ini_, bytes));
    return ini_;
  }
  std::string Bytes() const { return ReadFileBytes(ini_).value_or("<missing>"); }
  int Int(const char* section, const char* key, int fallback) const {
    return GetPrivateProfileInt(section, key, fallback, ini_);
  }
  std::string Text(const std::string& section, const std::string& key) const {
    return GetPrivateProfileString(section, key, "<none>", ini_);
  }
  bool Write(const std::string& section, const std::string& key, const std::string& value) {
    return WritePrivateProfileString(section, key, value, ini_);
  }

  support::TempFolder dir_;
  const std::string ini_ = dir_.File("vantrel.Ini");
};

}  // namespace

TEST_F(Profile, MissingFileSectionOrKeyReadsAsTheDefault) {
  EXPECT_EQ(Text("main", "ip"), "<none>");
  EXPECT_EQ(Int("main", "rt", -1), -1);
  EXPECT_FALSE(std::filesystem::exists(ini_));
  Ini("[main]\r\nrt=2\r\n");
  EXPECT_EQ(Int("pos", "rt", 7), 7);
  EXPECT_EQ(Int("main", "single", 0), 0);
  EXPECT_EQ(Int("main", "rt", 7), 2);
}

TEST_F(Profile, NamesCompareWithoutCaseAndBlanksAroundNamesAndValuesDoNotCount) {
  Ini("  [ Main ]  \r\n\t IP \t=  10.0.0.1  \r\nRt=3\r\n");
  EXPECT_EQ(Text("main", "ip"), "10.0.0.1");
  EXPECT_EQ(Text("MAIN", "Ip"), "10.0.0.1");
  EXPECT_EQ(Int("main", "RT", 0), 3);
}

TEST_F(Profile, IntegersThatAreNotIntegersGiveTheDefault) {
  Ini("[pos]\r\ntop=abc\r\nleft=12abc\r\nheight=\r\nwidth= -40 \r\np_width=+183\r\n"
      "big=99999999999\r\nneg=-2147483648\r\nsign=-\r\ntwo=+-5\r\nhex=0x10\r\n");
  const struct {
    const char* key;
    int expected;
  } cases[] = {{"top", 5},   {"left", 5},    {"height", 5},           {"width", -40},
               {"p_width", 183}, {"big", 5}, {"neg", -2147483647 - 1}, {"sign", 5},
               {"two", 5},   {"hex", 5}};
  for (const auto& c : cases) EXPECT_EQ(Int("pos", c.key, 5), c.expected) << c.key;
}

TEST_F(Profile, AnyLineEndReadsTheSameAndAWriteTurnsTheFileToCrLf) {
  for (const std::string& end : {std::string("\r\n"), std::string("\n"), std::string("\r")}) {
    Ini("[main]" + end + "rt=1" + end + "ip=1.2.3.4" + end + "[pos]" + end + "top=5");
    EXPECT_EQ(Int("main", "rt", -1), 1);
    EXPECT_EQ(Text("main", "ip"), "1.2.3.4");
    EXPECT_EQ(Int("pos", "top", 0), 5);
    ASSERT_TRUE(Write("main", "rt", "2"));
    EXPECT_EQ(Bytes(), "[main]\r\nrt=2\r\nip=1.2.3.4\r\n[pos]\r\ntop=5\r\n");
  }
}

TEST_F(Profile, WritingCreatesFileSectionAndKeyWithCrLf) {
  ASSERT_TRUE(Write("main", "rt", "-1"));
  ASSERT_TRUE(Write("main", "ip", "192.168.0.1"));
  ASSERT_TRUE(Write("pos", "top", "101"));
  EXPECT_EQ(Bytes(), "[main]\r\nrt=-1\r\nip=192.168.0.1\r\n[pos]\r\ntop=101\r\n");
}

TEST_F(Profile, RoundTripKeepsUnrelatedSectionsKeysCommentsBlankLinesAndOrder) {
  Ini("; written by hand\r\n"
      "[other]\r\n"
      "keep = me \r\n"
      "\r\n"
      "[Main]\r\n"
      "; the router\r\n"
      "IP = 10.1.1.1\r\n"
      "single=1\r\n"
      "\r\n"
      "[pos]\r\n"
      "top=5\r\n"
      "junk line without equals\r\n");
  ASSERT_TRUE(Write("main", "ip", "192.168.0.254"));
  ASSERT_TRUE(Write("main", "rt", "3"));
  ASSERT_TRUE(Write("pos", "top", "77"));
  ASSERT_TRUE(Write("extra", "x", "y"));
  EXPECT_EQ(Bytes(),
            "; written by hand\r\n"
            "[other]\r\n"
            "keep = me \r\n"
            "\r\n"
            "[Main]\r\n"
            "; the router\r\n"
            "IP=192.168.0.254\r\n"
            "single=1\r\n"
            "rt=3\r\n"
            "\r\n"
            "[pos]\r\n"
            "top=77\r\n"
            "junk line without equals\r\n"
            "[extra]\r\n"
            "x=y\r\n");
  EXPECT_EQ(Text("other", "keep"), "me");
}

TEST_F(Profile, ShiftJisBytesPassUnchangedAndTrailBytesKeepTheirCase) {
  // "取得" and a "ソ" whose trail byte is 0x5C, the backslash.
  const std::string value = "\x8E\xE6\x93\xBE \x83\x5C\x5C";
  ASSERT_TRUE(Write("main", "name", value));
  EXPECT_EQ(Text("main", "name"), value);
  EXPECT_EQ(Bytes(), "[main]\r\nname=" + value + "\r\n");
  // "ア" and "ダ": the trail bytes of one look like the capital of the other's.
  ASSERT_TRUE(Write("main", "\x83\x41", "1"));
  EXPECT_EQ(Text("main", "\x83\x61"), "<none>");
  EXPECT_EQ(Text("main", "\x83\x41"), "1");
}

TEST_F(Profile, QuotedValuesReadWithoutTheirQuotes) {
  Ini("[s]\r\na=\"x y\"\r\nb='z'\r\nc=\"open\r\n");
  EXPECT_EQ(Text("s", "a"), "x y");
  EXPECT_EQ(Text("s", "b"), "z");
  EXPECT_EQ(Text("s", "c"), "\"open");
}

TEST_F(Profile, AFailedWriteLeavesWhatWasThereAndSaysWhy) {
  // The settings "file" is a folder: the rename over it fails.
  std::filesystem::create_directories(ini_ + "/inside");
  std::string error;
  EXPECT_FALSE(WritePrivateProfileString("main", "rt", "1", ini_, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(std::filesystem::is_directory(ini_ + "/inside"));
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_FALSE(WritePrivateProfileString("main", "rt", "1", dir_.File("gone/x.ini"), &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}
