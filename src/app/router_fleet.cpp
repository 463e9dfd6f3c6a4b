#include "app/router_fleet.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/console_run.h"
#include "app/json_text.h"
#include "app/message_box.h"
#include "app/ordered_output.h"
#include "app/router_list.h"
#include "app/router_models.h"
#include "app/settings_file.h"
#include "app/standard_output.h"
#include "app/socks_url.h"
#include "app/termination_signals.h"
#include "app/texts.h"
#include "cycle/command_cycle.h"
#include "cycle/cycle_texts.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "telnet/telnet_connection.h"

namespace app {

namespace {

constexpr std::size_t kPieceSize = 64 * 1024;

std::string Formatted(const char* ansiFormat, int first, int second) {
  char text[256];
  std::snprintf(text, sizeof text, ansiFormat, first, second);
  return platform::AnsiToUtf8(text);
}

// One line on standard error, redrawn in place, only when that is a terminal.
class ProgressLine {
 public:
  ProgressLine(int total, bool wanted)
      : total_(total), shown_(wanted && ::isatty(STDERR_FILENO) == 1) {}
  void Done(int done) {
    done_ = done;
    Draw();
  }
  void Draw() {
    if (!shown_) return;
    const std::string text = "\r" + Formatted(texts::kRoutersDone, done_, total_) + "\033[K";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
  }
  // Before anything else goes to the terminal.
  void Clear() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
  }

 private:
  int total_;
  int done_ = 0;
  bool shown_;
  bool drawn_ = false;
};

// A router's file in the output folder, written under no name until it is
// whole and then put in place at once, so a reader never sees half of it.
class RouterFile {
 public:
  RouterFile(const std::string& folder, const std::string& name) : path_(folder + "/" + name) {
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      // A file system without unnamed files.
      temporary_ = folder + "/." + name + ".XXXXXX";
      fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
      if (fd_ < 0) temporary_.clear();
      if (fd_ >= 0) ::fchmod(fd_, 0644);
    }
    ok_ = fd_ >= 0;
  }
  ~RouterFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
  }
  RouterFile(const RouterFile&) = delete;
  RouterFile& operator=(const RouterFile&) = delete;

  const std::string& Path() const { return path_; }

  void Write(std::string_view bytes) {
    while (ok_ && !bytes.empty()) {
      const ssize_t wrote = ::write(fd_, bytes.data(), bytes.size());
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) ok_ = false;
      if (wrote > 0) bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
  }

  // False when the file could not be written whole or put in place.
  bool Commit() {
    if (!ok_ || ::fsync(fd_) != 0) return false;
    if (temporary_.empty()) {
      // An unnamed file gets a name of its own first, then takes the real
      // one in one step.
      const std::string fdPath = "/proc/self/fd/" + std::to_string(fd_);
      for (int attempt = 0; attempt < 100 && temporary_.empty(); ++attempt) {
        std::string name =
            path_ + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        if (::linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
          temporary_ = name;
        } else if (errno != EEXIST) {
          return false;
        }
      }
      if (temporary_.empty()) return false;
    }
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) return false;
    temporary_.clear();
    return true;
  }

 private:
  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  bool ok_ = false;
};

// Why `folder` can't take the routers' files, empty when it can: made if
// missing and tried with a file of its own, before any router is contacted,
// so a poll of many offices never ends with their answers nowhere.
std::string OutputFolderProblem(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return error.message();
  } else if (!S_ISDIR(info.st_mode)) {
    return std::strerror(ENOTDIR);
  }
  std::string probe = folder + "/.vantrel-probe-XXXXXX";
  const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  const bool written = ::write(fd, "\n", 1) == 1 && ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  ::unlink(probe.c_str());
  return written ? std::string() : std::strerror(error);
}

// A router as the run polls it: the name its block and its messages carry,
// the host its connection is given, and the model whose prompt it awaits.
struct Target {
  std::string label;     // UTF-8, as given; empty for the one router of a plain run
  std::string ansiHost;  // Shift-JIS
  int routerModel = -1;
};

// How much of `ansi` can be converted now: all of it, unless it ends on a
// lead byte whose trail byte is still to come.
std::size_t CharacterBoundary(std::string_view ansi) {
  std::size_t at = 0;
  while (at < ansi.size()) {
    const auto b = static_cast<unsigned char>(ansi[at]);
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    if (lead && at + 1 == ansi.size()) return at;
    at += lead ? 2 : 1;
  }
  return ansi.size();
}

// The lines of a message as the run writes them: its line ends dropped, and
// of the lines after the first only those with text.
std::vector<std::string> MessageLines(const std::string& utf8) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= utf8.size()) {
    std::size_t end = utf8.find('\n', start);
    if (end == std::string::npos) end = utf8.size();
    std::string line = utf8.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() || start == 0) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// Now, as RFC 3339 local time with milliseconds and the local offset.
std::string LocalTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char base[32];
  std::strftime(base, sizeof base, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff;
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char text[128];
  std::snprintf(text, sizeof text, "%s.%03ld%c%02ld:%02ld", base, now.tv_nsec / 1000000,
                offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

std::string ModelName(int routerModel) {
  if (routerModel == kAutomaticRouterModel) return "auto";
  if (routerModel >= 0 && routerModel < static_cast<int>(kRouterModelNames.size())) {
    return kRouterModelNames[static_cast<std::size_t>(routerModel)];
  }
  return std::to_string(routerModel);
}

// The closing signal's name, for the JSON line a signal ends.
std::string SignalName(int signal) {
  switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(signal);
  }
}

class Fleet;

// One router: its cycle, its switches one after another, and where its
// answers go.
class RouterRun {
 public:
  RouterRun(Fleet& fleet, std::size_t index) : fleet_(fleet), index_(index) {}
  void Start();
  // What a signal leaves to write of this router's open JSON line, which
  // then ends as failed; empty when no line is open.
  std::string ClosingBySignal(int signal);

 private:
  void nextCommand();
  void finished(const cycle::CycleResult& result);
  void answerText(std::string_view ansi, bool lineEnds);
  // A command's JSON line: its start (up to the answer) and its end.
  void beginObject(const std::string& commandUtf8);
  void endObject(const char* status, const std::string& message);
  std::string objectHead(const std::string& commandUtf8, const std::string& started) const;
  void flush();
  void report(const std::string& utf8, bool aboutCommand = true);
  // A message's lines as this router's messages show them.
  std::vector<std::string> messageLines(const std::string& utf8) const;
  void end();

  Fleet& fleet_;
  std::size_t index_;
  std::unique_ptr<cycle::CommandCycle> cycle_;
  std::unique_ptr<RouterFile> file_;
  std::size_t next_ = 0;
  std::string commandLabel_;  // UTF-8, for messages when several commands run
  bool showing_ = false;
  std::size_t linesShown_ = 0;
  std::string piece_;
  std::string carried_;  // a lead byte that ended a long line's piece
  bool failed_ = false;
  // JSON: the command's line is open, and within it the answer's string,
  // and the answer's last line goes on in the next piece.
  bool objectOpen_ = false;
  bool answerOpen_ = false;
  bool lineOpen_ = false;
  std::chrono::steady_clock::time_point started_;
};

class Fleet {
 public:
  Fleet(const CommandLine& commandLine, const ProgramFiles& files)
      : commandLine_(commandLine),
        single_(!commandLine.ManyRouters()),
        commands_(SwitchCommands(commandLine)),
        progress_(static_cast<int>(commandLine.routers.size()), !single_),
        output_(
            single_ ? 1 : commandLine.routers.size(),
            [this](std::string_view bytes) { writeOut(bytes); },
            [this](std::string_view line) { writeError(std::string(line)); }) {
    output_.OnSpoolFailed = [this](const std::string& reason) {
      writeError("vantrel: answers that wait for their turn are kept in memory: " + reason);
    };
    if (const std::optional<std::string> problem = PanelProblem(files)) applicationError(*problem);
    // Read once, regular files only, within their bound, as a window's run does.
    const std::string ini = files.folder + kSettingsFileName;
    SettingsFile file(ini);
    const Settings settings = file.Values(Settings{});
    const int routerModel = commandLine.runSettings.routerModel.value_or(settings.routerModel);
    socks_ = commandLine.runSettings.socks ? *commandLine.runSettings.socks
                                           : ReadSocksSection(file.Contents());
    if (single_) {
      targets_.push_back({{}, commandLine.runSettings.host.value_or(settings.host), routerModel});
    } else {
      for (const RouterEntry& router : commandLine.routers) {
        targets_.push_back({router.address, platform::Utf8ToAnsi(router.address),
                            router.routerModel.value_or(routerModel)});
      }
    }
    // Without its settings the run does not know how to reach the routers.
    settingsUnreadable_ = file.State() == FileState::kUnreadable;
    if (settingsUnreadable_) applicationError(CannotOpenText(ini));
  }

  int Run() {
    if (settingsUnreadable_) return 1;
    if (const auto& folder = commandLine_.outputDir) {
      if (const std::string problem = OutputFolderProblem(*folder); !problem.empty()) {
        writeError("vantrel: cannot write the answers to the folder " + PrintableText(*folder) +
                   ": " + problem);
        return 1;
      }
    }
    const std::size_t count = targets_.size();
    runs_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) runs_.push_back(std::make_unique<RouterRun>(*this, i));
    QEventLoop loop;
    done_ = [&loop] { loop.quit(); };
    // A signal never leaves half a JSON line: the router whose turn it is
    // ends its line first.
    if (Json()) {
      SetBeforeEndBySignal([this](int signal) {
        if (output_.Current() < runs_.size()) {
          stdout_.WriteIfRoom(runs_[output_.Current()]->ClosingBySignal(signal));
        }
      });
    }
    while (!stopped_ && started_ < count && running_ < static_cast<std::size_t>(commandLine_.jobs)) {
      startNext();
    }
    if (!stopped_ && finishedCount_ < count) loop.exec();
    done_ = nullptr;
    SetBeforeEndBySignal(nullptr);
    // The last routers' cycles were let go while the loop still ran; those
    // a failed output left running go now.
    runs_.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    progress_.Clear();
    stdout_.Close();
    if (stdout_.Failed()) {
      stdout_.ReportFailure();
      return 1;
    }
    if (failedCount_ == 0 && !otherFailure_ && !ErrorBoxRaised()) return 0;
    if (!single_) {
      writeError(Formatted(texts::kRoutersFailed, static_cast<int>(count), failedCount_));
    }
    return 1;
  }

  // --- for the routers --------------------------------------------------------------
  bool Single() const { return single_; }
  bool Json() const { return commandLine_.json; }
  const Target& Router(std::size_t index) const { return targets_[index]; }
  const std::vector<SwitchCommand>& Commands() const { return commands_; }
  const std::optional<std::string>& OutputFolder() const { return commandLine_.outputDir; }
  const telnet::SocksRoute& Socks() const { return socks_; }
  OrderedOutput& Output() { return output_; }

  void RouterEnded(std::size_t index, bool failed) {
    output_.Close(index);
    ++finishedCount_;
    --running_;
    if (failed) ++failedCount_;
    progress_.Done(static_cast<int>(finishedCount_));
    if (stopped_) return;
    if (started_ < runs_.size()) {
      startNext();
    } else if (finishedCount_ == runs_.size() && done_) {
      done_();
    }
  }

 private:
  void startNext() {
    ++running_;
    runs_[started_++]->Start();
  }

  void applicationError(const std::string& ansiMessage) {
    otherFailure_ = true;
    writeError(std::string(texts::kApplicationTitle) + ": " + platform::AnsiToUtf8(ansiMessage));
  }

  // Everything the run prints goes this one way: checked, and on a terminal
  // with the routers' control characters made harmless. The first failed
  // write ends the run; what is still running is let go.
  void writeOut(std::string_view bytes) {
    if (stdout_.Failed()) return;
    progress_.Clear();
    stdout_.Write(bytes);
    if (!stdout_.Failed() || stopped_) return;
    stopped_ = true;
    if (done_) done_();
  }

  void writeError(const std::string& utf8) {
    progress_.Clear();
    WriteOut(stderr, utf8);
    progress_.Draw();
  }

  const CommandLine& commandLine_;
  bool single_;
  std::vector<SwitchCommand> commands_;
  ProgressLine progress_;
  StandardOutputWriter stdout_;
  OrderedOutput output_;
  std::vector<Target> targets_;
  telnet::SocksRoute socks_;
  bool otherFailure_ = false;
  bool settingsUnreadable_ = false;
  bool stopped_ = false;
  std::vector<std::unique_ptr<RouterRun>> runs_;
  std::size_t started_ = 0;
  std::size_t running_ = 0;
  std::size_t finishedCount_ = 0;
  int failedCount_ = 0;
  std::function<void()> done_;
};

void RouterRun::Start() {
  const Target& router = fleet_.Router(index_);
  if (const auto& folder = fleet_.OutputFolder()) {
    file_ = std::make_unique<RouterFile>(
        *folder, OutputFileStem(router.label) + (fleet_.Json() ? ".jsonl" : ".txt"));
  } else if (!fleet_.Single() && !fleet_.Json()) {
    fleet_.Output().Write(index_, "== " + router.label + " ==\n");
  }
  cycle_ = std::make_unique<cycle::CommandCycle>();
  telnet::TTelnetConnection& connection = cycle_->Connection();
  ConfigureConnection(connection);
  connection.SetHost(router.ansiHost);
  connection.SetSocks(fleet_.Socks());
  cycle_->SetRouterModel(router.routerModel);
  cycle_->SetEndWaitOnRefusal(true);
  cycle_->SocksRouteProblem = app::SocksRouteProblem;
  cycle_->OnAnswerLine = [this](std::string_view text, bool lineEnds) {
    answerText(text, lineEnds);
  };
  cycle_->OnFinished = [this](const cycle::CycleResult& result) {
    // Out of the cycle's own call before the next one starts on it.
    QMetaObject::invokeMethod(
        cycle_.get(), [this, result] { finished(result); }, Qt::QueuedConnection);
  };
  nextCommand();
}

void RouterRun::nextCommand() {
  if (next_ >= fleet_.Commands().size()) {
    end();
    return;
  }
  const SwitchCommand& command = fleet_.Commands()[next_++];
  showing_ = command.show;
  linesShown_ = 0;
  lineOpen_ = false;
  const std::string commandUtf8 = platform::AnsiToUtf8(command.command);
  commandLabel_ = PrintableText(commandUtf8);
  if (fleet_.Json()) beginObject(commandUtf8);
  if (command.noAnsiForm) {
    // Refused before connecting, and, as an error box would, it ends this
    // router's switches.
    failed_ = true;
    const std::string message = std::string(texts::kApplicationTitle) + ": " +
                                platform::AnsiToUtf8(cycle::texts::kCommandNotShiftJis);
    if (fleet_.Json()) endObject("failed", message);
    report(message);
    end();
    return;
  }
  cycle_->Start(command.command);
}

std::string RouterRun::objectHead(const std::string& commandUtf8,
                                  const std::string& started) const {
  const Target& router = fleet_.Router(index_);
  const std::string name =
      fleet_.Single() ? platform::AnsiToUtf8(router.ansiHost) : router.label;
  return "{\"router\":" + JsonString(name) + ",\"model\":" +
         JsonString(ModelName(router.routerModel)) + ",\"command\":" + JsonString(commandUtf8) +
         ",\"started\":" + started + ",\"answer\":";
}

void RouterRun::beginObject(const std::string& commandUtf8) {
  started_ = std::chrono::steady_clock::now();
  piece_ += objectHead(commandUtf8, JsonString(LocalTimeNow()));
  objectOpen_ = true;
  // A -c answer is shown nowhere: null, as the text form shows nothing.
  answerOpen_ = showing_;
  if (answerOpen_) piece_ += '"';
}

void RouterRun::endObject(const char* status, const std::string& message) {
  if (!objectOpen_) return;
  piece_ += answerOpen_ ? "\"" : "null";
  piece_ += ",\"status\":\"";
  piece_ += status;
  piece_ += "\",\"message\":";
  if (message.empty()) {
    piece_ += "null";
  } else {
    std::string lines;
    for (const std::string& line : messageLines(message)) {
      lines += (lines.empty() ? "" : "\n") + line;
    }
    piece_ += JsonString(lines);
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started_);
  piece_ += ",\"elapsed_ms\":" + std::to_string(elapsed.count()) + "}\n";
  objectOpen_ = false;
  answerOpen_ = false;
}

std::string RouterRun::ClosingBySignal(int signal) {
  if (!objectOpen_) return {};
  endObject("failed", "vantrel: ended by " + SignalName(signal));
  std::string closing;
  closing.swap(piece_);
  return closing;
}

void RouterRun::answerText(std::string_view ansi, bool lineEnds) {
  // A -c answer stays unseen, as it stays in the output pane of a window.
  if (!showing_) return;
  // A long line's pieces come as they arrived, so one may end on a lead
  // byte: that byte waits for the next piece.
  std::string_view whole = ansi;
  if (!carried_.empty()) {
    carried_.append(ansi);
    whole = carried_;
  }
  const std::size_t convert = lineEnds ? whole.size() : CharacterBoundary(whole);
  if (fleet_.Json()) {
    // The lines joined by "\n" inside the answer's string.
    if (!lineOpen_ && linesShown_ > 0) piece_ += "\\n";
    std::string utf8;
    platform::AppendAnsiAsUtf8(utf8, whole.substr(0, convert));
    AppendJsonEscaped(piece_, utf8);
    lineOpen_ = !lineEnds;
  } else {
    platform::AppendAnsiAsUtf8(piece_, whole.substr(0, convert));
    if (lineEnds) piece_ += '\n';
  }
  std::string rest(whole.substr(convert));
  carried_.swap(rest);
  if (lineEnds) ++linesShown_;
  if (piece_.size() >= kPieceSize) flush();
}

void RouterRun::flush() {
  if (piece_.empty()) return;
  if (file_) {
    file_->Write(piece_);
  } else {
    fleet_.Output().Write(index_, piece_);
  }
  piece_.clear();
}

void RouterRun::report(const std::string& utf8, bool aboutCommand) {
  // Every line of a text, also the second line of a proxy's reason, names
  // the router (and the command, when it runs several) unless it is the
  // run's only router.
  if (fleet_.Single()) {
    // As a hidden window's run writes its box.
    fleet_.Output().Report(index_, utf8);
    return;
  }
  const Target& router = fleet_.Router(index_);
  std::string prefix = router.label + ": ";
  if (aboutCommand && fleet_.Commands().size() > 1) prefix += commandLabel_ + ": ";
  for (const std::string& line : messageLines(utf8)) fleet_.Output().Report(index_, prefix + line);
}

std::vector<std::string> RouterRun::messageLines(const std::string& utf8) const {
  std::vector<std::string> lines = MessageLines(utf8);
  // A name Shift-JIS can't say reached the lower layers with '?' in its
  // place; the user reads it as typed.
  const Target& router = fleet_.Router(index_);
  const std::string asConnected = platform::AnsiToUtf8(router.ansiHost);
  if (fleet_.Single() || asConnected.empty() || asConnected == router.label) return lines;
  for (std::string& line : lines) {
    for (std::size_t at = 0; (at = line.find(asConnected, at)) != std::string::npos;
         at += router.label.size()) {
      line.replace(at, asConnected.size(), router.label);
    }
  }
  return lines;
}

void RouterRun::finished(const cycle::CycleResult& result) {
  using cycle::Outcome;
  // An empty answer is an empty line, as in a run with one router.
  const bool shown =
      result.outcome != Outcome::Failed || result.failure == cycle::Failure::AnswerTooLong;
  if (showing_ && shown && linesShown_ == 0 && !fleet_.Json()) piece_ += '\n';
  const std::string text = platform::AnsiToUtf8(cycle::MessageText(result));
  std::string message;
  const char* status = "complete";
  switch (result.outcome) {
    case Outcome::Complete:
      break;
    case Outcome::Aborted:
      status = "failed";
      break;
    case Outcome::NotConnected:
      status = "failed";
      message = platform::AnsiToUtf8(cycle::texts::kErrorCaption) + ": " + text;
      break;
    case Outcome::Incomplete:
      status = "incomplete";
      message = text;
      break;
    case Outcome::Failed:
      status = result.failure == cycle::Failure::AnswerTooLong ? "cut" : "failed";
      message = std::string(texts::kApplicationTitle) + ": " + text;
      break;
  }
  if (fleet_.Json()) endObject(status, message);
  flush();
  if (result.outcome != Outcome::Complete && result.outcome != Outcome::Aborted) failed_ = true;
  if (!message.empty()) report(message);
  // As an error box ends a hidden run's start-up: this router's later
  // switches are not run.
  if (result.outcome == Outcome::Failed) {
    end();
    return;
  }
  nextCommand();
}

void RouterRun::end() {
  // The commands a failure left are told as skipped, each on its line.
  while (fleet_.Json() && next_ < fleet_.Commands().size()) {
    const SwitchCommand& command = fleet_.Commands()[next_++];
    piece_ += objectHead(platform::AnsiToUtf8(command.command), "null") +
              "null,\"status\":\"skipped\",\"message\":null,\"elapsed_ms\":null}\n";
  }
  flush();
  if (file_ && !file_->Commit()) {
    failed_ = true;
    std::string text = texts::kFileCannotBeCreated;
    text.replace(text.find("%s"), 2, platform::Utf8ToAnsi(file_->Path()));
    report(std::string(texts::kApplicationTitle) + ": " + platform::AnsiToUtf8(text), false);
  }
  file_.reset();
  // The cycle may still be on the call stack; it goes once the loop is back.
  cycle_->OnAnswerLine = nullptr;
  cycle_->OnFinished = nullptr;
  cycle_.release()->deleteLater();
  fleet_.RouterEnded(index_, failed_);
}

}  // namespace

int RunRouterFleet(const CommandLine& commandLine, const ProgramFiles& files) {
  return WithConsoleLoop([&] { return Fleet(commandLine, files).Run(); });
}

}  // namespace app
