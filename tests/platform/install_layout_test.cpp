// The per-user folder and the folders of an installed tree.
#include "platform/install_layout.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/files.h"
#include "support/temp_folder.h"

using namespace platform;

namespace {

// Sets or removes one variable for the scope, and puts back what was there.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST(InstallLayout, UserConfigFolderFollowsAnAbsoluteXdgConfigHomeOnly) {
  const ScopedVariable home("HOME", "/home/u");
  for (const auto& [xdg, expected] :
       std::vector<std::tuple<std::optional<std::string>, std::string>>{
           {"/cfg", "/cfg/vantrel/"},
           {"/cfg//", "/cfg/vantrel/"},
           {"relative/cfg", "/home/u/.config/vantrel/"},
           {"", "/home/u/.config/vantrel/"},
           {std::nullopt, "/home/u/.config/vantrel/"}}) {
    const ScopedVariable config("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(UserConfigFolder(), expected) << xdg.value_or("(unset)");
  }
}

// Along the configured relative paths, without ".." left in them.
TEST(InstallLayout, TreeFoldersLieAlongTheConfiguredPathsFromTheExecutablesFolder) {
  const std::filesystem::path bin = ProgramDirectory();
  for (const auto& [folder, relative] : std::vector<std::tuple<std::string, std::string>>{
           {InstalledLibraryFolder(), VANTREL_BIN_TO_PRIVATE_LIBDIR},
           {InstalledDataFolder(), VANTREL_BIN_TO_PKGDATADIR}}) {
    EXPECT_EQ(folder, (bin / relative).lexically_normal().string()) << relative;
    EXPECT_EQ(folder.find("/../"), std::string::npos) << folder;
  }
}

TEST(InstallLayout, CreateFoldersMakesTheMissingOnesPrivateAndLeavesOthersAlone) {
  support::TempFolder temp;
  ASSERT_EQ(chmod(temp.Path().c_str(), 0755), 0);
  const std::string nested = temp.File("a/b/vantrel/");
  EXPECT_TRUE(CreateFolders(nested, 0700));
  EXPECT_TRUE(CreateFolders(nested, 0700)) << "an existing folder is fine";
  for (const auto& [path, mode] : std::vector<std::tuple<std::string, unsigned>>{
           {temp.Path().string(), 0755u}, {temp.File("a"), 0700u}, {nested, 0700u}}) {
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mode & 0777, mode) << path;
  }
  // A file where a folder should be is no folder.
  support::TempFolder other;
  { std::ofstream(other.File("file")) << "x"; }
  EXPECT_FALSE(CreateFolders(other.File("file/vantrel/"), 0700));
}
