#include "app/program_files.h"

#include <sys/stat.h>

#include "platform/install_layout.h"

namespace app {

namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

ProgramFiles LocateProgramFiles(const std::string& programDirectory) {
  if (Exists(programDirectory + kSettingsFileName) || Exists(programDirectory + kPanelFileName)) {
    return ProgramFiles(programDirectory);
  }
  return ProgramFiles(platform::UserConfigFolder(),
                      platform::InstalledDataFolder() + kPanelFileName);
}

bool PrepareFilesFolder(const std::string& folder) {
  // The settings name the user's routers; nobody else needs to read them.
  return platform::CreateFolders(folder, 0700);
}

}  // namespace app
