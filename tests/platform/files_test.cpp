// Whole-file reads, atomic writes, line splitting and the program's folder.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(Files, WriteThenReadGivesTheSameBytes) {
  TempFolder dir;
  const std::string path = dir.File("panel.cfg");
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  ASSERT_TRUE(WriteFileAtomically(path, bytes));
  EXPECT_EQ(ReadFileBytes(path), bytes);
  ASSERT_TRUE(WriteFileAtomically(path, "short"));
  EXPECT_EQ(ReadFileBytes(path), "short");
  EXPECT_FALSE(ReadFileBytes(dir.File("missing")).has_value());
}

TEST(Files, AReplacedFileKeepsItsPermissionsAndTheLinkThatLedToIt) {
  TempFolder dir;
  const std::string real = dir.File("real.ini");
  const std::string link = dir.File("link.ini");
  ASSERT_TRUE(WriteFileAtomically(real, "old"));
  chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(WriteFileAtomically(link, "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), "new");
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(Files, AFailedWriteLeavesTheOldContentAndNoTemporaryFile) {
  TempFolder dir;
  const std::string path = dir.File("target");
  std::filesystem::create_directory(path);
  ASSERT_TRUE(WriteFileAtomically(path + "/old.txt", "precious"));
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(path, "new bytes", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadFileBytes(path + "/old.txt"), "precious");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()),
            1);

  EXPECT_FALSE(WriteFileAtomically(dir.File("no/such/folder/x"), "y", &error));
  EXPECT_FALSE(error.empty());
}

TEST(Files, TheProgramsOwnPathAndFolder) {
  const std::string exe = ModuleFileName();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe, std::filesystem::canonical("/proc/self/exe").string());
  const std::string folder = ProgramDirectory();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder + std::filesystem::path(exe).filename().string(), exe);
}
