// Start-up and close of the main window: the panel file and the settings file
// (where they live: program_files.h), and the command-line switches.
//
// Departures from the old program, each on purpose:
// - the tree built at start-up selects its first entry without running it, so
//   no command reaches a router before the window exists;
// - a panel file that can't be read is reported, and start-up goes on, so the
//   settings are read and the close writes back the user's values, not ours;
//   the unreadable panel file itself is left alone at close, unless the user
//   wrote a panel of their own in the settings dialog meanwhile;
// - a file that can't be written at close is reported, the other one is still
//   written, and the window closes; the atomic write leaves the old file whole;
// - a settings file that is there but can't be read (no regular file, too
//   large, no permission) is reported, and the switches run no command, as
//   the router's address is not known; the close leaves that file alone
//   unless the user changed a setting in the settings dialog;
// - the close writes only the settings this run changed, and the panel only
//   when its text is not what the file holds, so that two instances keep
//   each other's changes; the geometry counts as changed only when the user
//   moved or resized the window.
#include <QApplication>

#include <cerrno>

#include "app/answer_box.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/program_files.h"
#include "app/router_models.h"
#include "app/session_texts.h"
#include "app/settings_file.h"
#include "app/texts.h"
#include "app/widget_text.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace {

constexpr char kDefaultHost[] = "192.168.0.1";

bool IsSwitch(const std::string& argument, const char* lower, const char* upper) {
  return argument == lower || argument == upper;
}

}  // namespace

std::string TForm1::SettingsPath() const { return programDirectory_ + app::kSettingsFileName; }

std::string TForm1::PanelPath() const { return programDirectory_ + app::kPanelFileName; }

void TForm1::FormCreate() {
  app::Guarded([this] { runStartUp(); });
}

void TForm1::runStartUp() {
  SuppressActivation = 0;
  RouterModel = 0;

  loadPanelFile();
  SuppressActivation = 1;
  Button5Click();
  SuppressActivation = 0;

  SingleSetting = 0;
  LastCommand.clear();
  TickCount = 0;
  SetHost(kDefaultHost);
  ReceiveBuffer.clear();
  Memo1Clear();
  CaptureList = std::make_unique<std::vector<app::LineSpan>>();
  // The panel is not read a second time: nothing can have changed it since.
  const bool settingsKnown = readSettings();
  applyRunSettings();
  showRouterSection();

  // An error in a cycle ends start-up here, before "-h" is seen; the program
  // entry ends a hidden run anyway.
  if (settingsKnown) {
    processSwitches();
  }
  if (hiddenRun_) {
    terminateRequested_ = true;
  }
}

bool TForm1::loadPanelFile() {
  const std::string path = panelSourcePath();
  app::PanelFile file = app::ReadPanelFile(path);
  const bool own = path == PanelPath();
  // Only the user's own file is protected; an unreadable installed default is not theirs.
  panelFileUnreadable_ = own && file.state == app::FileState::kUnreadable;
  if (file.state != app::FileState::kRead) {
    app::ShowApplicationError(app::TextWithPath(app::texts::kFileCannotBeOpened, path));
    return false;
  }
  std::vector<std::string> lines = platform::SplitLines(file.bytes);
  // A hidden run writes nothing, so it needs no copy to compare with.
  if (own && !hiddenRun_) {
    panelTextRead_ = std::move(file.bytes);
  }
  SetPanelLines(std::move(lines));
  return true;
}

bool TForm1::readSettings() {
  settingsFile_ = std::make_unique<app::SettingsFile>(SettingsPath());
  app::Settings defaults;
  defaults.routerModel = app::kAutomaticRouterModel;
  defaults.host = Host();
  defaults.singleSetting = 0;
  // The geometry defaults to what the window has.
  defaults.top = y();
  defaults.left = x();
  defaults.height = height();
  defaults.width = width();
  defaults.panelWidth = Panel1Width();
  settingsAtStart_ = settingsFile_->Values(defaults);

  RouterModel = settingsAtStart_.routerModel;
  SetHost(settingsAtStart_.host);
  SingleSetting = settingsAtStart_.singleSetting;
  move(settingsAtStart_.left, settingsAtStart_.top);
  resize(settingsAtStart_.width, settingsAtStart_.height);
  SetPanel1Width(settingsAtStart_.panelWidth);
  applySocksRoute();
  settingsRead_ = true;
  if (settingsFile_->State() == app::FileState::kUnreadable) {
    app::ShowApplicationError(app::TextWithPath(app::texts::kFileCannotBeOpened, SettingsPath()));
    return false;
  }
  return true;
}

void TForm1::processSwitches() {
  const std::size_t count = arguments_.size();
  // A window lets the user see how far an answer got; a script reading a
  // hidden run only has the exit status to tell a cut answer from a whole one.
  const auto reportIncompleteAnswer = [this] {
    if (hiddenRun_ && AnswerIncomplete()) {
      app::ReportFailure(app::texts::kAnswerIncomplete);
    }
  };
  for (std::size_t i = 0; i < count; ++i) {
    const std::string argument = arguments_[i];
    if (IsSwitch(argument, "-c", "-C")) {
      runTypedCommand(switchCommand(i + 1));
      reportIncompleteAnswer();
    }
    if (IsSwitch(argument, "-cd", "-CD")) {
      const std::optional<std::string> command = switchCommand(i + 1);
      if (!command) {
        runTypedCommand(command);
      }
      // What a cut answer kept is shown before the cap's error ends start-up.
      const bool ran = command && runCycle(*command);
      const QLatin1String caption(app::texts::kApplicationTitle);
      if (app::BoxesAreWrittenOut()) {
        app::ShowMessageBoxStreamed(
            this, caption, [this](const app::TextSink& sink) { WriteMemo1Text(sink); },
            app::BoxKind::Plain);
      } else {
        app::ShowAnswerBox(this, caption, memo1Lines_);
      }
      if (ran) {
        endCycleOnCutAnswer();
      }
      reportIncompleteAnswer();
    }
  }
}

std::optional<std::string> TForm1::switchCommand(std::size_t index) const {
  if (index >= arguments_.size()) {
    return std::string();
  }
  if (index < argumentHasNoAnsiForm_.size() && argumentHasNoAnsiForm_[index]) {
    return std::nullopt;
  }
  return arguments_[index];
}

bool TForm1::FormCloseQuery() {
  AbortRequested = 1;
  return true;
}

void TForm1::FormClose() {
  CaptureList.reset();
  app::PrepareFilesFolder(programDirectory_);

  const std::string panelPath = PanelPath();
  if (panelNeedsWriting() &&
      !platform::WriteFileAtomically(panelPath, platform::JoinLinesCrLf(panelLines_))) {
    app::ShowApplicationError(app::TextWithPath(app::texts::kFileCannotBeCreated, panelPath));
  }
  if (!writeSettings()) {
    app::ShowApplicationError(app::TextWithPath(app::texts::kFileCannotBeCreated, SettingsPath()));
  }
}

bool TForm1::panelNeedsWriting() const {
  if (panelFileUnreadable_) {
    return false;
  }
  return !panelTextRead_ || *panelTextRead_ != platform::JoinLinesCrLf(panelLines_);
}

bool TForm1::writeSettings() {
  if (!settingsFile_) {
    return true;
  }
  app::Settings now = settingsAtStart_;
  now.routerModel = routerModelToSave();
  now.host = hostToSave();
  now.singleSetting = SingleSetting;
  if (userPlacedWindow()) {
    now.top = y();
    now.left = x();
    now.height = height();
    now.width = width();
    now.panelWidth = Panel1Width();
  }
  return settingsFile_->Save(now);
}
