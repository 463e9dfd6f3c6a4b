// A temporary folder holding a copy of the real program and the shared
// libraries beside it (or a whole installed tree), with helpers to place its files there, run it
// with chosen arguments and environment, and collect what it printed and how it ended. Every run
// has a deadline; a program that overstays it is killed and the run is marked as timed out.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef VANTREL_BIN_DIR
#error "VANTREL_BIN_DIR must name the folder that holds the built program"
#endif

namespace e2e {

struct RunOptions {
  // Runs on Qt's offscreen platform; otherwise no platform is chosen.
  bool offscreen = false;
  // Variables to set (after DISPLAY and WAYLAND_DISPLAY have been removed).
  // XDG_CONFIG_HOME is the sandbox's folder "config" unless set here, so no
  // run ever touches the real user's settings.
  std::map<std::string, std::string> environment;
  std::chrono::milliseconds deadline{20000};
  // Runs as this user and group instead of the test's own (which is root),
  // for what only an ordinary user can run into.
  std::optional<uid_t> user;
  // A program that runs the program (its absolute path first, then its own
  // arguments), such as a tracer.
  std::vector<std::string> wrapper;
  // Where standard output goes instead of the pipe that RunResult::out reads.
  enum class Output {
    Pipe,
    Terminal,     // a pseudo-terminal in raw mode; out gets what it showed
    File,         // the file `outputPath` (such as /dev/full)
    Closed,        // no descriptor 1 at all
    PipeNoReader,  // a pipe whose reading end is closed before the start
    PipeNotRead    // a pipe whose reading end is held open and never read
  };
  Output output = Output::Pipe;
  std::string outputPath;
  // The program starts with SIGPIPE ignored, as some callers do.
  bool ignoreSigpipe = false;
  // No descriptor 0 either, instead of /dev/null.
  bool inputClosed = false;
};

struct RunResult {
  int exitCode = -1;  // the status when the program exited
  int signal = 0;     // the signal that ended it, if any
  bool timedOut = false;
  long peakRssKb = 0;  // the kernel's high-water mark of the program's memory
  std::string out;
  std::string err;
};

class RunningProgram {
 public:
  RunningProgram(pid_t pid, int outFd, int errFd, std::chrono::steady_clock::time_point deadline,
                 int heldFd = -1)
      : pid_(pid), outFd_(outFd), errFd_(errFd), heldFd_(heldFd), deadline_(deadline) {}
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  ~RunningProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    closeFd(outFd_);
    closeFd(errFd_);
    closeFd(heldFd_);
  }

  pid_t Pid() const { return pid_; }

  // Waits until the program has installed a handler for `signal` (its
  // start-up has got that far), reading its output meanwhile. False when the
  // deadline passed or the program ended first.
  bool WaitUntilHandling(int signal) {
    while (std::chrono::steady_clock::now() < deadline_) {
      if (handles(signal)) {
        return true;
      }
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        recordExit(status);
        return false;
      }
      pump(10);
    }
    return false;
  }

  void Signal(int signal) const { ::kill(pid_, signal); }

  // Bytes waiting in a standard output that is never read (PipeNotRead).
  int HeldBytes() const {
    int count = 0;
    return heldFd_ >= 0 && ::ioctl(heldFd_, FIONREAD, &count) == 0 ? count : 0;
  }

  // Sends `signal`, then reads until the program has ended; `seconds` gets
  // how long the program took to end after the signal.
  RunResult SignalAndFinish(int signal, double& seconds) {
    const auto signalled = std::chrono::steady_clock::now();
    Signal(signal);
    RunResult result = Finish();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    return result;
  }

  // Reads until the program has ended and closed its output, or the deadline.
  RunResult Finish() {
    while (outFd_ >= 0 || errFd_ >= 0) {
      if (std::chrono::steady_clock::now() >= deadline_) {
        result_.timedOut = true;
        break;
      }
      pump(50);
    }
    if (pid_ > 0) {
      int status = 0;
      while (!result_.timedOut) {
        rusage usage{};
        const pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) {
          result_.peakRssKb = usage.ru_maxrss;
          recordExit(status);
          break;
        }
        if (std::chrono::steady_clock::now() >= deadline_) {
          result_.timedOut = true;
          break;
        }
        ::poll(nullptr, 0, 10);
      }
      if (result_.timedOut && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
      }
    }
    return result_;
  }

 private:
  static void closeFd(int& fd) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }

  void recordExit(int status) {
    if (WIFEXITED(status)) {
      result_.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      result_.signal = WTERMSIG(status);
    }
    pid_ = -1;
  }

  // The caught-signals mask the kernel shows for the process.
  bool handles(int signal) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("SigCgt:", 0) == 0) {
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (signal - 1)) & 1ULL;
      }
    }
    return false;
  }

  void pump(int timeoutMs) {
    pollfd fds[2];
    int count = 0;
    if (outFd_ >= 0) fds[count++] = {outFd_, POLLIN, 0};
    if (errFd_ >= 0) fds[count++] = {errFd_, POLLIN, 0};
    if (count == 0) {
      ::poll(nullptr, 0, timeoutMs);
      return;
    }
    if (::poll(fds, static_cast<nfds_t>(count), timeoutMs) <= 0) {
      return;
    }
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      const bool isOut = fds[i].fd == outFd_;
      char buffer[4096];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (isOut ? result_.out : result_.err).append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        closeFd(isOut ? outFd_ : errFd_);
      }
    }
  }

  pid_t pid_;
  int outFd_;
  int errFd_;
  int heldFd_;  // a reading end nobody reads, closed at the end
  std::chrono::steady_clock::time_point deadline_;
  RunResult result_;
};

// Asks for the installed layout instead of a copy of the build folder's files.
struct InstalledTree {};

class ProgramSandbox {
 public:
  // The folder is made in `parent`, the system's temporary folder by default.
  explicit ProgramSandbox(
      const std::filesystem::path& parent = std::filesystem::temp_directory_path())
      : dir_(makeFolder(parent)) {
    const std::filesystem::path bin = VANTREL_BIN_DIR;
    std::filesystem::copy_file(bin / "vantrel", dir_ / "vantrel");
    for (const auto& entry : std::filesystem::directory_iterator(bin)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name.find(".so") != std::string::npos) {
        std::filesystem::copy_file(entry.path(), dir_ / name);
      }
    }
  }
  // The tree `cmake --install` lays out under a temporary prefix, moved as a
  // whole to the folder "tree" afterwards; the program is tree/BINDIR/vantrel.
  explicit ProgramSandbox(InstalledTree)
      : dir_(makeFolder()), program_(std::string("tree/") + VANTREL_INSTALL_BINDIR + "/vantrel") {
    const std::string command = std::string("\"") + VANTREL_CMAKE_COMMAND + "\" --install \"" +
                                VANTREL_BUILD_DIR + "\" --prefix \"" + (dir_ / "staged").string() +
                                "\" >/dev/null";
    if (std::system(command.c_str()) != 0) {
      throw std::runtime_error("cmake --install failed: " + command);
    }
    std::filesystem::rename(dir_ / "staged", dir_ / "tree");
  }
  ~ProgramSandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ProgramSandbox(const ProgramSandbox&) = delete;
  ProgramSandbox& operator=(const ProgramSandbox&) = delete;

  const std::filesystem::path& Dir() const { return dir_; }
  std::filesystem::path PathOf(const std::string& name) const { return dir_ / name; }

  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream file(dir_ / name, std::ios::binary | std::ios::trunc);
    file << bytes;
  }
  std::optional<std::string> ReadFile(const std::string& name) const {
    std::ifstream file(dir_ / name, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

  // Starts the program; the caller talks to it through the returned object.
  std::unique_ptr<RunningProgram> Start(const std::vector<std::string>& arguments,
                                        const RunOptions& options = {}) const {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    using Output = RunOptions::Output;
    std::string terminalName;
    if (options.output == Output::Terminal) {
      // The terminal's side we read takes the place of the pipe's.
      const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        throw std::runtime_error("no pseudo-terminal");
      }
      terminalName = ::ptsname(master);
      ::close(outPipe[0]);
      outPipe[0] = master;
    } else if (options.output == Output::PipeNoReader) {
      ::close(outPipe[0]);
      outPipe[0] = -1;
    }
    int held = -1;
    if (options.output == Output::PipeNotRead) std::swap(held, outPipe[0]);
    std::vector<std::string> environment = childEnvironment(options);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = (dir_ / program_).string();
    std::vector<std::string> argvStorage = options.wrapper;
    argvStorage.push_back(program);
    if (!options.wrapper.empty()) program = options.wrapper.front();
    argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argvStorage) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const auto deadline = std::chrono::steady_clock::now() + options.deadline;
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (options.ignoreSigpipe) ::signal(SIGPIPE, SIG_IGN);
      if (options.output == Output::Terminal) {
        const int terminal = ::open(terminalName.c_str(), O_RDWR | O_NOCTTY);
        termios mode{};
        ::tcgetattr(terminal, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(terminal, TCSANOW, &mode);
        ::dup2(terminal, STDOUT_FILENO);
      } else if (options.output == Output::File) {
        const int file = ::open(options.outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(file, STDOUT_FILENO);
      } else {
        ::dup2(outPipe[1], STDOUT_FILENO);
      }
      ::dup2(errPipe[1], STDERR_FILENO);
      const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      ::dup2(devNull, STDIN_FILENO);
      // Last, so that no descriptor opened here takes a number closed on purpose.
      if (options.output == Output::Closed) ::close(STDOUT_FILENO);
      if (options.inputClosed) ::close(STDIN_FILENO);
      if (options.user && (::setgid(*options.user) != 0 || ::setuid(*options.user) != 0)) {
        ::_exit(126);
      }
      if (::chdir(dir_.c_str()) != 0) {
        ::_exit(126);
      }
      ::execve(program.c_str(), argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    return std::make_unique<RunningProgram>(pid, outPipe[0], errPipe[0], deadline, held);
  }

  // Runs the program to its end.
  RunResult Run(const std::vector<std::string>& arguments, const RunOptions& options = {}) const {
    return Start(arguments, options)->Finish();
  }

  // Runs the program with a window and closes it the way a logout does
  // (SIGTERM), once the program is able to handle that.
  RunResult RunAndClose(const std::vector<std::string>& arguments, RunOptions options = {}) const {
    options.offscreen = true;
    auto running = Start(arguments, options);
    if (running->WaitUntilHandling(SIGTERM)) {
      running->Signal(SIGTERM);
    }
    return running->Finish();
  }

 private:
  static std::filesystem::path makeFolder(
      const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
    std::string pattern = (parent / "vantrel-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
  }

  std::vector<std::string> childEnvironment(const RunOptions& options) const {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::string name = text.substr(0, text.find('='));
      if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM" ||
          name == "XDG_CONFIG_HOME" || options.environment.count(name) != 0) {
        continue;
      }
      environment.push_back(text);
    }
    if (options.offscreen) environment.push_back("QT_QPA_PLATFORM=offscreen");
    if (options.environment.count("XDG_CONFIG_HOME") == 0) {
      environment.push_back("XDG_CONFIG_HOME=" + (dir_ / "config").string());
    }
    for (const auto& [name, value] : options.environment) {
      environment.push_back(name + "=" + value);
    }
    return environment;
  }

  std::filesystem::path dir_;
  std::filesystem::path program_ = "vantrel";
};

}  // namespace e2e
