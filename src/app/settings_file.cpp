#include "app/settings_file.h"

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace app {

namespace {

struct Key {
  const char* section;
  const char* name;
};

// In the order they are read and written.
constexpr Key kKeys[] = {{"main", "rt"},   {"main", "ip"},    {"main", "single"},
                         {"pos", "top"},   {"pos", "left"},   {"pos", "height"},
                         {"pos", "width"}, {"pos", "p_width"}};
// "rt", "ip" and "single": what the settings dialog edits.
constexpr std::size_t kDialogKeys = 3;

FileState StateOf(platform::FileReadOutcome outcome) {
  switch (outcome) {
    case platform::FileReadOutcome::kRead:
      return FileState::kRead;
    case platform::FileReadOutcome::kMissing:
      return FileState::kMissing;
    default:
      return FileState::kUnreadable;
  }
}

}  // namespace

PanelFile ReadPanelFile(const std::string& path) {
  platform::BoundedFile file = platform::ReadRegularFile(path, kPanelFileLimit);
  return PanelFile{StateOf(file.outcome), std::move(file.bytes)};
}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {
  platform::BoundedFile file = platform::ReadRegularFile(path_, kSettingsFileLimit);
  state_ = StateOf(file.outcome);
  if (state_ == FileState::kRead) contents_ = platform::ProfileText(file.bytes);
}

SettingsFile::Texts SettingsFile::AsTexts(const Settings& settings) {
  return {std::to_string(settings.routerModel),   settings.host,
          std::to_string(settings.singleSetting), std::to_string(settings.top),
          std::to_string(settings.left),          std::to_string(settings.height),
          std::to_string(settings.width),         std::to_string(settings.panelWidth)};
}

Settings SettingsFile::Values(const Settings& defaults) {
  Settings values = defaults;
  if (state_ == FileState::kRead) {
    const auto integer = [this](std::size_t key, int fallback) {
      return contents_.Int(kKeys[key].section, kKeys[key].name, fallback);
    };
    values.routerModel = integer(0, defaults.routerModel);
    values.host = contents_.String(kKeys[1].section, kKeys[1].name, defaults.host);
    values.singleSetting = integer(2, defaults.singleSetting) != 0 ? 1 : 0;
    values.top = integer(3, defaults.top);
    values.left = integer(4, defaults.left);
    values.height = integer(5, defaults.height);
    values.width = integer(6, defaults.width);
    values.panelWidth = integer(7, defaults.panelWidth);
  }
  const Texts texts = AsTexts(values);
  for (std::size_t key = 0; key < kKeyCount; ++key) {
    // Of a file we could not read, every key counts as read with the value
    // the run starts with: nothing is written unless the user changes it.
    const bool present = state_ == FileState::kUnreadable ||
                         contents_.Value(kKeys[key].section, kKeys[key].name).has_value();
    read_[key] = present ? std::optional<std::string>(texts[key]) : std::nullopt;
  }
  return values;
}

bool SettingsFile::Save(const Settings& now, std::string* error) const {
  const Texts texts = AsTexts(now);
  const std::size_t keys = state_ == FileState::kUnreadable ? kDialogKeys : kKeyCount;
  std::vector<std::size_t> changed;
  for (std::size_t key = 0; key < keys; ++key) {
    if (!read_[key] || *read_[key] != texts[key]) changed.push_back(key);
  }
  if (changed.empty()) return true;

  platform::BoundedFile file = platform::ReadRegularFile(path_, kSettingsFileLimit);
  platform::ProfileText profile;
  if (file.outcome == platform::FileReadOutcome::kRead) {
    profile = platform::ProfileText(file.bytes);
  } else if (file.outcome == platform::FileReadOutcome::kMissing) {
    // Gone since start-up: all of this run's values, not a file of a few keys.
    changed.clear();
    for (std::size_t key = 0; key < kKeyCount; ++key) changed.push_back(key);
  } else {
    // Writing our keys alone would lose whatever else the file holds.
    if (error != nullptr) *error = "cannot read " + path_ + ": " + std::strerror(file.error);
    return false;
  }
  for (const std::size_t key : changed)
    profile.Set(kKeys[key].section, kKeys[key].name, texts[key]);
  return platform::WriteFileAtomically(path_, profile.Bytes(), error);
}

}  // namespace app
