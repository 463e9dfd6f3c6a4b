// Private-profile files: reading with defaults, writing in place, keeping
// everything else, line ends, Shift-JIS bytes and atomic replacement.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files.h"
#include "temp_folder.h"

using namespace platform;
using test_support::TempFolder;

namespace {

std::string Read(const std::string& path) { return ReadFileBytes(path).value_or("<missing>"); }

void Write(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(WriteFileAtomically(path, bytes));
}

}  // namespace

TEST(Profile, AMissingFileReadsAsTheDefaults) {
  TempFolder dir;
  const std::string ini = dir.File("vantrel.Ini");
  EXPECT_EQ(GetPrivateProfileString("main", "ip", "192.168.0.1", ini), "192.168.0.1");
  EXPECT_EQ(GetPrivateProfileInt("main", "rt", -1, ini), -1);
  EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST(Profile, MissingSectionOrKeyReadsAsTheDefault) {
  TempFolder dir;
  const std::string ini = dir.File("a.ini");
  Write(ini, "[main]\r\nrt=2\r\n");
  EXPECT_EQ(GetPrivateProfileInt("pos", "rt", 7, ini), 7);
  EXPECT_EQ(GetPrivateProfileInt("main", "single", 0, ini), 0);
  EXPECT_EQ(GetPrivateProfileString("main", "ip", "dflt", ini), "dflt");
  EXPECT_EQ(GetPrivateProfileInt("main", "rt", 7, ini), 2);
}

TEST(Profile, NamesCompareWithoutCaseAndBlanksAroundNamesAndValuesDoNotCount) {
  TempFolder dir;
  const std::string ini = dir.File("a.ini");
  Write(ini, "  [ Main ]  \r\n\t IP \t=  10.0.0.1  \r\nRt=3\r\n");
  EXPECT_EQ(GetPrivateProfileString("main", "ip", "", ini), "10.0.0.1");
  EXPECT_EQ(GetPrivateProfileString("MAIN", "Ip", "", ini), "10.0.0.1");
  EXPECT_EQ(GetPrivateProfileInt("main", "RT", 0, ini), 3);
}

TEST(Profile, IntegersThatAreNotIntegersGiveTheDefault) {
  TempFolder dir;
  const std::string ini = dir.File("a.ini");
  Write(ini,
        "[pos]\r\ntop=abc\r\nleft=12abc\r\nheight=\r\nwidth= -40 \r\np_width=+183\r\n"
        "big=99999999999\r\nneg=-2147483648\r\nsign=-\r\ntwo=+-5\r\nhex=0x10\r\n");
  EXPECT_EQ(GetPrivateProfileInt("pos", "top", 101, ini), 101);
  EXPECT_EQ(GetPrivateProfileInt("pos", "left", 164, ini), 164);
  EXPECT_EQ(GetPrivateProfileInt("pos", "height", 369, ini), 369);
  EXPECT_EQ(GetPrivateProfileInt("pos", "width", 678, ini), -40);
  EXPECT_EQ(GetPrivateProfileInt("pos", "p_width", 0, ini), 183);
  EXPECT_EQ(GetPrivateProfileInt("pos", "big", 5, ini), 5);
  EXPECT_EQ(GetPrivateProfileInt("pos", "neg", 5, ini), -2147483647 - 1);
  EXPECT_EQ(GetPrivateProfileInt("pos", "sign", 5, ini), 5);
  EXPECT_EQ(GetPrivateProfileInt("pos", "two", 5, ini), 5);
  EXPECT_EQ(GetPrivateProfileInt("pos", "hex", 5, ini), 5);
}

TEST(Profile, CrLfAndLoneCrFilesReadTheSame) {
  TempFolder dir;
  for (const std::string& end : {std::string("\r\n"), std::string("\n"), std::string("\r")}) {
    const std::string ini = dir.File("ends.ini");
    Write(ini, "[main]" + end + "rt=1" + end + "ip=1.2.3.4" + end + "[pos]" + end + "top=5");
    EXPECT_EQ(GetPrivateProfileInt("main", "rt", -1, ini), 1);
    EXPECT_EQ(GetPrivateProfileString("main", "ip", "", ini), "1.2.3.4");
    EXPECT_EQ(GetPrivateProfileInt("pos", "top", 0, ini), 5);
    // A write turns the whole file to CR LF and keeps its content.
    ASSERT_TRUE(WritePrivateProfileString("main", "rt", "2", ini));
    EXPECT_EQ(Read(ini), "[main]\r\nrt=2\r\nip=1.2.3.4\r\n[pos]\r\ntop=5\r\n");
  }
}

TEST(Profile, WritingCreatesFileSectionAndKeyWithCrLf) {
  TempFolder dir;
  const std::string ini = dir.File("vantrel.Ini");
  ASSERT_TRUE(WritePrivateProfileString("main", "rt", "-1", ini));
  ASSERT_TRUE(WritePrivateProfileString("main", "ip", "192.168.0.1", ini));
  ASSERT_TRUE(WritePrivateProfileString("main", "single", "0", ini));
  ASSERT_TRUE(WritePrivateProfileString("pos", "top", "101", ini));
  ASSERT_TRUE(WritePrivateProfileString("pos", "left", "164", ini));
  EXPECT_EQ(Read(ini),
            "[main]\r\nrt=-1\r\nip=192.168.0.1\r\nsingle=0\r\n[pos]\r\ntop=101\r\nleft=164\r\n");
  EXPECT_EQ(GetPrivateProfileInt("pos", "left", 0, ini), 164);
}

TEST(Profile, RoundTripKeepsUnrelatedSectionsKeysCommentsBlankLinesAndOrder) {
  TempFolder dir;
  const std::string ini = dir.File("vantrel.Ini");
  const std::string before =
      "; written by hand\r\n"
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
      "junk line without equals\r\n";
  Write(ini, before);
  ASSERT_TRUE(WritePrivateProfileString("main", "ip", "192.168.0.254", ini));
  ASSERT_TRUE(WritePrivateProfileString("main", "rt", "3", ini));
  ASSERT_TRUE(WritePrivateProfileString("pos", "top", "77", ini));
  ASSERT_TRUE(WritePrivateProfileString("extra", "x", "y", ini));
  EXPECT_EQ(Read(ini),
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
  EXPECT_EQ(GetPrivateProfileString("other", "keep", "", ini), "me");
  EXPECT_EQ(GetPrivateProfileInt("main", "rt", -1, ini), 3);
  EXPECT_EQ(GetPrivateProfileString("main", "ip", "", ini), "192.168.0.254");
}

TEST(Profile, ShiftJisValueBytesPassUnchanged) {
  TempFolder dir;
  const std::string ini = dir.File("sjis.ini");
  // "取得" and a "ソ" whose trail byte is 0x5C, the backslash.
  const std::string value = "\x8E\xE6\x93\xBE \x83\x5C\x5C";
  ASSERT_TRUE(WritePrivateProfileString("main", "name", value, ini));
  EXPECT_EQ(GetPrivateProfileString("main", "name", "", ini), value);
  EXPECT_EQ(Read(ini), "[main]\r\nname=" + value + "\r\n");
  // A Shift-JIS key whose trail byte looks like a capital letter keeps its case.
  const std::string key = "\x83\x41";    // "ア"
  const std::string other = "\x83\x61";  // "ダ"
  ASSERT_TRUE(WritePrivateProfileString("main", key, "1", ini));
  EXPECT_EQ(GetPrivateProfileString("main", other, "none", ini), "none");
  EXPECT_EQ(GetPrivateProfileString("main", key, "none", ini), "1");
}

TEST(Profile, QuotedValuesReadWithoutTheirQuotes) {
  TempFolder dir;
  const std::string ini = dir.File("q.ini");
  Write(ini, "[s]\r\na=\"x y\"\r\nb='z'\r\nc=\"open\r\n");
  EXPECT_EQ(GetPrivateProfileString("s", "a", "", ini), "x y");
  EXPECT_EQ(GetPrivateProfileString("s", "b", "", ini), "z");
  EXPECT_EQ(GetPrivateProfileString("s", "c", "", ini), "\"open");
}

TEST(Profile, AFailedWriteLeavesTheOldFileAndSaysWhy) {
  TempFolder dir;
  // The settings "file" is a folder: the rename over it fails.
  const std::string blocked = dir.File("vantrel.Ini");
  std::filesystem::create_directory(blocked);
  std::filesystem::create_directory(blocked + "/inside");
  std::string error;
  EXPECT_FALSE(WritePrivateProfileString("main", "rt", "1", blocked, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(std::filesystem::is_directory(blocked + "/inside"));
  // No temporary file is left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(Profile, AFailedWriteIntoAVanishedFolderIsReported) {
  TempFolder dir;
  const std::string ini = dir.File("gone/vantrel.Ini");
  std::string error;
  EXPECT_FALSE(WritePrivateProfileString("main", "rt", "1", ini, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}
