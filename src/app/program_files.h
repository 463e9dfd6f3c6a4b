// Where the settings file and the panel file live. A folder that already
// holds either file beside the program is a portable folder and keeps them;
// an installed program keeps them per user, because its own folder is not
// writable by its users and their settings would be lost at every close.
#pragma once

#include <string>
#include <utility>

namespace app {

inline constexpr char kSettingsFileName[] = "vantrel.Ini";
inline constexpr char kPanelFileName[] = "vantrel_p.cfg";

struct ProgramFiles {
  // Not explicit: a folder alone names a portable folder, the common case of
  // the tests that run the program's start-up.
  ProgramFiles(std::string folder, std::string defaultPanel = {})
      : folder(std::move(folder)), defaultPanel(std::move(defaultPanel)) {}

  // Holds both files; ends with '/'.
  std::string folder;
  // The panel read while `folder` holds no panel file yet; empty for none.
  std::string defaultPanel;
};

// The files of the program whose executable is in `programDirectory`: that
// folder when it holds vantrel.Ini or vantrel_p.cfg, else the per-user folder
// with the installed tree's panel as the default.
ProgramFiles LocateProgramFiles(const std::string& programDirectory);

// Creates the files' folder (and the folders above it) as a private folder,
// where it is missing; true when it is there.
bool PrepareFilesFolder(const std::string& folder);

}  // namespace app
