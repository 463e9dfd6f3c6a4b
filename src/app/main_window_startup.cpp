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
//   written, and the window closes; the atomic write leaves the old file whole.
#include <QApplication>

#include <cerrno>

#include "app/answer_box.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/program_files.h"
#include "app/router_models.h"
#include "app/session_texts.h"
#include "app/texts.h"
#include "app/widget_text.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace {

constexpr char kDefaultHost[] = "192.168.0.1";

constexpr char kMainSection[] = "main";
constexpr char kPositionSection[] = "pos";

// `pattern` with its "%s" replaced by the path, as the user's code page shows
// it (file names on disk are UTF-8).
std::string TextWithPath(const char* pattern, const std::string& path) {
  std::string text = pattern;
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) {
    text.replace(at, 2, platform::Utf8ToAnsi(path));
  }
  return text;
}

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

  const bool panelLoaded = loadPanelFile(true);
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
  // A file that could not be read a moment ago has been reported once already.
  loadPanelFile(panelLoaded);
  readSettings();
  applyRunSettings();

  // An error in a cycle ends start-up here, before "-h" is seen; the program
  // entry ends a hidden run anyway.
  processSwitches();
  if (hiddenRun_) {
    terminateRequested_ = true;
  }
}

bool TForm1::loadPanelFile(bool reportFailure) {
  const std::string path = panelSourcePath();
  int error = 0;
  const std::optional<std::string> bytes = platform::ReadFileBytes(path, &error);
  // Only the user's own file is protected; an unreadable installed default is not theirs.
  panelFileUnreadable_ = !bytes && error != ENOENT && path == PanelPath();
  if (!bytes) {
    if (reportFailure) {
      app::ShowApplicationError(TextWithPath(app::texts::kFileCannotBeOpened, path));
    }
    return false;
  }
  SetPanelLines(platform::SplitLines(*bytes));
  return true;
}

void TForm1::readSettings() {
  const std::string ini = SettingsPath();
  RouterModel = platform::GetPrivateProfileInt(kMainSection, "rt", app::kAutomaticRouterModel, ini);
  SetHost(platform::GetPrivateProfileString(kMainSection, "ip", Host(), ini));
  // Any value but 0 means double-click mode; it goes back to the file as 1.
  SingleSetting = platform::GetPrivateProfileInt(kMainSection, "single", 0, ini) != 0 ? 1 : 0;

  // Each value is applied as it is read, and defaults to what the window has.
  move(x(), platform::GetPrivateProfileInt(kPositionSection, "top", y(), ini));
  move(platform::GetPrivateProfileInt(kPositionSection, "left", x(), ini), y());
  resize(width(), platform::GetPrivateProfileInt(kPositionSection, "height", height(), ini));
  resize(platform::GetPrivateProfileInt(kPositionSection, "width", width(), ini), height());
  SetPanel1Width(platform::GetPrivateProfileInt(kPositionSection, "p_width", Panel1Width(), ini));
  applySocksRoute();
  settingsRead_ = true;
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
  if (!panelFileUnreadable_ &&
      !platform::WriteFileAtomically(panelPath, platform::JoinLinesCrLf(panelLines_))) {
    app::ShowApplicationError(TextWithPath(app::texts::kFileCannotBeCreated, panelPath));
  }
  if (!writeSettings()) {
    app::ShowApplicationError(TextWithPath(app::texts::kFileCannotBeCreated, SettingsPath()));
  }
}

bool TForm1::writeSettings() {
  const std::string ini = SettingsPath();
  const auto write = [&ini](const char* section, const char* key, const std::string& value) {
    return platform::WritePrivateProfileString(section, key, value, ini);
  };
  return write(kMainSection, "rt", std::to_string(routerModelToSave())) &&
         write(kMainSection, "ip", hostToSave()) &&
         write(kMainSection, "single", std::to_string(SingleSetting)) &&
         write(kPositionSection, "top", std::to_string(y())) &&
         write(kPositionSection, "left", std::to_string(x())) &&
         write(kPositionSection, "height", std::to_string(height())) &&
         write(kPositionSection, "width", std::to_string(width())) &&
         write(kPositionSection, "p_width", std::to_string(Panel1Width()));
}
