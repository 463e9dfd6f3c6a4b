#include "platform/install_layout.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files.h"

namespace platform {

namespace {

// The folder above the executable's: "/usr/bin/" gives "/usr/".
std::string TreeRoot() {
  std::string folder = ProgramDirectory();
  if (folder.size() > 1) folder.pop_back();
  const auto slash = folder.rfind('/');
  return slash == std::string::npos ? std::string("/") : folder.substr(0, slash + 1);
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return home;
  const passwd* entry = getpwuid(getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

}  // namespace

std::string InstalledLibraryFolder() { return TreeRoot() + "lib/vantrel/"; }

std::string InstalledDataFolder() { return TreeRoot() + "share/vantrel/"; }

std::string ProgramLibraryPath(const std::string& fileName) {
  const std::string beside = ProgramDirectory() + fileName;
  if (IsFile(beside)) return beside;
  const std::string installed = InstalledLibraryFolder() + fileName;
  return IsFile(installed) ? installed : beside;
}

std::string UserConfigFolder() {
  // A relative value is to be ignored, as if it were not set.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base =
      config != nullptr && *config == '/' ? std::string(config) : HomeFolder() + "/.config";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/vantrel/";
}

bool CreateFolders(const std::string& folder, unsigned mode) {
  std::string path;
  std::size_t from = 0;
  while (from < folder.size()) {
    const std::size_t slash = folder.find('/', from);
    const std::size_t end = slash == std::string::npos ? folder.size() : slash;
    path = folder.substr(0, end);
    from = end + 1;
    if (path.empty() || IsFolder(path)) continue;
    if (mkdir(path.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) return false;
  }
  return IsFolder(folder);
}

}  // namespace platform
