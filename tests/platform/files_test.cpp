// Whole-file reads, atomic writes, line splitting and the program's folder.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

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

TEST(Files, TheProgramsOwnPathAndFolder) {
  const std::string exe = ModuleFileName();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe, std::filesystem::canonical("/proc/self/exe").string());
  EXPECT_EQ(ProgramDirectory() + std::filesystem::path(exe).filename().string(), exe);
}
