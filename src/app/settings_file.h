// The settings file and the panel file as every kind of run reads them, with
// or without a window: only regular files, within a size bound, never waited
// on; the settings read once per run; and the close writing back only what
// this run changed, so that another instance's saved change survives.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"

namespace app {

// Larger files are taken for something that is no settings or panel file.
inline constexpr std::size_t kSettingsFileLimit = std::size_t{1} << 20;
inline constexpr std::size_t kPanelFileLimit = std::size_t{16} << 20;

enum class FileState {
  kRead,
  kMissing,  // no error: a first run
  // There, but no regular file within the bound, or not readable: reported,
  // and not replaced at close by what this run made of nothing.
  kUnreadable,
};

struct PanelFile {
  FileState state = FileState::kMissing;
  // The file's bytes as read.
  std::string bytes;
};

PanelFile ReadPanelFile(const std::string& path);

// The eight values of the settings file, as they are written.
struct Settings {
  int routerModel = -1;
  std::string host = "192.168.0.1";
  int singleSetting = 0;
  int top = 101;
  int left = 164;
  int height = 369;
  int width = 678;
  int panelWidth = 183;
};

class SettingsFile {
 public:
  // Reads the file, once.
  explicit SettingsFile(std::string path);

  const std::string& Path() const { return path_; }
  FileState State() const { return state_; }
  // The whole file as read (empty unless read), for the sections the window
  // does not write.
  const platform::ProfileText& Contents() const { return contents_; }

  // The values the run starts with: each key as the file gives it under the
  // reading rules ("single" any non-zero value as 1), `defaults` for a key
  // that is missing or no integer. Remembered as what this run read.
  Settings Values(const Settings& defaults);

  // Writes the keys whose value in `now` differs from what Values gave, and
  // the keys the file lacked; every other key keeps what the file holds now,
  // read afresh. Of a file that could not be read at start-up only the keys
  // the settings dialog edits are written. Nothing to write is success.
  bool Save(const Settings& now, std::string* error = nullptr) const;

 private:
  static constexpr std::size_t kKeyCount = 8;
  using Texts = std::array<std::string, kKeyCount>;
  static Texts AsTexts(const Settings& settings);

  std::string path_;
  FileState state_ = FileState::kMissing;
  platform::ProfileText contents_;
  // Each key's value as this run read it, in written form; nothing when the
  // file lacked the key.
  std::array<std::optional<std::string>, kKeyCount> read_;
};

}  // namespace app
