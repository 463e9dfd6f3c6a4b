#include "platform/install_layout.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files.h"

namespace platform {

namespace {

#if !defined(VANTREL_BIN_TO_PRIVATE_LIBDIR) || !defined(VANTREL_BIN_TO_PKGDATADIR)
#error "the build gives the installed folders relative to the executable's"
#endif

// `relative` (ending with '/') seen from the executable's folder, with each
// leading "../" taken off that folder: "/usr/bin/" and "../lib/vantrel/" give
// "/usr/lib/vantrel/".
std::string FromProgramFolder(std::string relative) {
  std::string folder = ProgramDirectory();
  while (relative.rfind("../", 0) == 0 && folder.size() > 1) {
    folder.pop_back();
    folder.erase(folder.rfind('/') + 1);
    relative.erase(0, 3);
  }
  return folder + relative;
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

std::string InstalledLibraryFolder() { return FromProgramFolder(VANTREL_BIN_TO_PRIVATE_LIBDIR); }

std::string InstalledDataFolder() { return FromProgramFolder(VANTREL_BIN_TO_PKGDATADIR); }

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
