// Whole-file reads, atomic writes, line splitting and the program's folder.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "support/temp_folder.h"

using namespace platform;
using support::TempFolder;

TEST(Lines, SplitAtAllThreeLineEndsAndJoinWithCrLf) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), V{});
  EXPECT_EQ(SplitLines("a"), V{"a"});
  EXPECT_EQ(SplitLines("a\r\n"), V{"a"});
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\nb\r\r\n"), (V{"a", "", "b", ""}));
  EXPECT_EQ(SplitLines("\n"), V{""});
  EXPECT_EQ(SplitLines("\n\r"), (V{"", ""}));
  EXPECT_EQ(SplitLines(std::string("x\0y\r\n", 5)), V{std::string("x\0y", 3)});
  EXPECT_EQ(JoinLinesCrLf({}), "");
  EXPECT_EQ(JoinLinesCrLf({"a", "", "\x83\x5C"}), "a\r\n\r\n\x83\x5C\r\n");
  EXPECT_EQ(JoinLinesCrLf(SplitLines("a\nb\rc")), "a\r\nb\r\nc\r\n");
}

TEST(Files, AReplacedFileHoldsTheNewBytesAndKeepsItsPermissionsAndTheLinkToIt) {
  TempFolder dir;
  const std::string real = dir.File("real.ini");
  const std::string link = dir.File("link.ini");
  ASSERT_TRUE(WriteFileAtomically(real, "old"));
  chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, link);
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  ASSERT_TRUE(WriteFileAtomically(link, bytes));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), bytes);
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  int error = 0;
  EXPECT_FALSE(ReadFileBytes(dir.File("missing"), &error).has_value());
  EXPECT_EQ(error, ENOENT);
}

// The set-id and sticky bits survive a rewrite too, also in a folder with the
// sticky bit, where the new file is made beside the old one.
TEST(Files, AReplacedFileKeepsItsSetIdAndStickyBitsAlsoInAStickyFolder) {
  for (const mode_t folderMode : {0755, 01777}) {
    for (const mode_t mode : {04755, 02750, 01640}) {
      SCOPED_TRACE(std::to_string(folderMode) + " " + std::to_string(mode));
      TempFolder dir;
      ASSERT_EQ(chmod(dir.Path().c_str(), folderMode), 0);
      const std::string path = dir.File("vantrel.Ini");
      ASSERT_TRUE(WriteFileAtomically(path, "old"));
      ASSERT_EQ(chmod(path.c_str(), mode), 0);
      ASSERT_TRUE(WriteFileAtomically(path, "new"));
      struct stat st {};
      ASSERT_EQ(stat(path.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, mode);
      EXPECT_EQ(ReadFileBytes(path), "new");
    }
  }
}

TEST(Files, TheProgramsOwnPathAndFolder) {
  const std::string exe = ModuleFileName();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe, std::filesystem::canonical("/proc/self/exe").string());
  EXPECT_EQ(ProgramDirectory() + std::filesystem::path(exe).filename().string(), exe);
}

// What may stand where a file is expected, and what a bounded read makes of it.
struct ReadCase {
  const char* name;
  FileReadOutcome outcome;
  // Puts the thing at `path` (in `dir`); returns false when it can't here.
  std::function<bool(const std::string& path, const TempFolder& dir)> make;
};

std::string ReadCaseName(const testing::TestParamInfo<ReadCase>& info) { return info.param.name; }

constexpr std::size_t kBound = 1000;

bool MakeFile(const std::string& path, std::size_t size) {
  return WriteFileAtomically(path, std::string(size, 'x'));
}

class BoundedRead : public testing::TestWithParam<ReadCase> {};

TEST_P(BoundedRead, OnlyARegularFileWithinTheBoundIsReadAndNothingIsWaitedOn) {
  TempFolder dir;
  const std::string path = dir.File("file");
  ASSERT_TRUE(GetParam().make(path, dir));
  const BoundedFile file = ReadRegularFile(path, kBound);
  EXPECT_EQ(file.outcome, GetParam().outcome);
  if (file.outcome == FileReadOutcome::kRead) {
    EXPECT_EQ(file.bytes, support::ReadWholeFile(path));
  } else {
    EXPECT_EQ(file.bytes, "");
    EXPECT_NE(file.error, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BoundedRead,
    testing::Values(
        ReadCase{"Empty", FileReadOutcome::kRead,
                 [](const std::string& p, const TempFolder&) { return MakeFile(p, 0); }},
        ReadCase{"AtTheBound", FileReadOutcome::kRead,
                 [](const std::string& p, const TempFolder&) { return MakeFile(p, kBound); }},
        ReadCase{"OneByteOver", FileReadOutcome::kTooLarge,
                 [](const std::string& p, const TempFolder&) { return MakeFile(p, kBound + 1); }},
        ReadCase{"LinkToAFile", FileReadOutcome::kRead,
                 [](const std::string& p, const TempFolder& d) {
                   return MakeFile(d.File("real"), 10) && symlink("real", p.c_str()) == 0;
                 }},
        ReadCase{"Missing", FileReadOutcome::kMissing,
                 [](const std::string&, const TempFolder&) { return true; }},
        ReadCase{"LinkToNothing", FileReadOutcome::kMissing,
                 [](const std::string& p, const TempFolder&) {
                   return symlink("nothing", p.c_str()) == 0;
                 }},
        ReadCase{"LinkToItself", FileReadOutcome::kFailed,
                 [](const std::string& p, const TempFolder&) {
                   return symlink("file", p.c_str()) == 0;
                 }},
        ReadCase{
            "Folder", FileReadOutcome::kNotRegular,
            [](const std::string& p, const TempFolder&) { return mkdir(p.c_str(), 0755) == 0; }},
        ReadCase{
            "FifoWithoutWriter", FileReadOutcome::kNotRegular,
            [](const std::string& p, const TempFolder&) { return mkfifo(p.c_str(), 0644) == 0; }},
        ReadCase{"LinkToDevZero", FileReadOutcome::kNotRegular,
                 [](const std::string& p, const TempFolder&) {
                   return symlink("/dev/zero", p.c_str()) == 0;
                 }}),
    ReadCaseName);

std::string ModeOf(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return "missing";
  char text[16];
  std::snprintf(text, sizeof text, "%04o", info.st_mode & 07777);
  return text;
}

std::vector<std::string> FolderEntries(const TempFolder& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Files, AFileItsOwnerMayNotWriteIsNeverReplaced) {
  TempFolder dir;
  const std::string path = dir.File("settings.ini");
  ASSERT_TRUE(WriteFileAtomically(path, "old"));
  for (const mode_t mode : {0444, 0040, 0000}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    std::string error;
    // Even root, who could, leaves it.
    EXPECT_FALSE(WriteFileAtomically(path, "new", &error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(support::ReadWholeFile(path), "old");
  }
  EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"settings.ini"});
}

TEST(Files, WhatIsNoRegularFileIsNeverReplaced) {
  TempFolder dir;
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string folder = dir.File("folder");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string device = dir.File("device");
  ASSERT_EQ(symlink("/dev/null", device.c_str()), 0);
  for (const std::string& path : {fifo, folder, device}) {
    SCOPED_TRACE(path);
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(path, "new", &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(std::filesystem::read_symlink(device), "/dev/null");
  EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"device", "fifo", "folder"}));
}

TEST(Files, ANewFileTakesTheUmaskAndADanglingLinkGetsItsTarget) {
  TempFolder dir;
  const mode_t previous = umask(027);
  EXPECT_TRUE(WriteFileAtomically(dir.File("new"), "a"));
  ASSERT_EQ(symlink("target", dir.File("link").c_str()), 0);
  EXPECT_TRUE(WriteFileAtomically(dir.File("link"), "b"));
  umask(previous);
  EXPECT_EQ(ModeOf(dir.File("new")), "0640");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link")));
  EXPECT_EQ(support::ReadWholeFile(dir.File("target")), "b");
}
