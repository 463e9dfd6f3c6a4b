// Where the program's own files are, found from the executable's place so that
// an installed tree can be moved as a whole: along the relative paths the build
// was configured with, from the programs' folder (bin/ by default) to the
// private libraries (lib/vantrel/) and the data (share/vantrel/). A build tree
// and a portable folder keep everything beside the executable instead.
#pragma once

#include <string>

namespace platform {

// The installed tree's folders for the program's private libraries and its
// data, each ending with '/' (they need not exist).
std::string InstalledLibraryFolder();
std::string InstalledDataFolder();

// The private library `fileName` beside the executable when it is there, else
// the one in the installed tree's library folder, else (neither exists) the
// path beside the executable, so that a failure to load names that place.
std::string ProgramLibraryPath(const std::string& fileName);

// The per-user settings folder: $XDG_CONFIG_HOME/vantrel/ (an absolute
// XDG_CONFIG_HOME only), else ~/.config/vantrel/; ends with '/'.
std::string UserConfigFolder();

// Creates `folder` and the folders missing above it, each new one with `mode`
// (an existing folder keeps its own). True when `folder` is a folder afterwards.
bool CreateFolders(const std::string& folder, unsigned mode);

}  // namespace platform
