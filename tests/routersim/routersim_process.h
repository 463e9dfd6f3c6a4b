// Runs vantrel-routersim as a child process for a test: start it with
// arguments, wait (with a deadline) for its "listening on ADDR:PORT" line, watch
// its event lines, stop it with SIGTERM. The destructor kills it if it still
// runs. Header-only, so any test folder can include it.
//
//   RoutersimProcess sim({"--listen", "127.0.0.9", "--port", "0"});
//   ASSERT_TRUE(sim.wait_ready());
//   ... connect to sim.address():sim.port() ...
//   ASSERT_TRUE(sim.wait_for_line("session 1 closed"));
//   EXPECT_EQ(sim.stop(), 0);
//
// The executable is $VANTREL_ROUTERSIM if set, else vantrel-routersim beside
// the running test binary (all binaries land in <build>/bin). The simulator
// gets --watch-stdin with a pipe held by this object, so it also ends when the
// test process dies without cleaning up.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace routersim_test {

class RoutersimProcess {
 public:
  using Duration = std::chrono::milliseconds;

  static std::string default_executable() {
    if (const char* env = std::getenv("VANTREL_ROUTERSIM"); env != nullptr && *env != '\0') {
      return env;
    }
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "vantrel-routersim")
        .string();
  }

  explicit RoutersimProcess(std::vector<std::string> args,
                            std::string executable = default_executable()) {
    args.insert(args.begin(), executable);
    args.push_back("--watch-stdin");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    int in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_fd_ = in[1];
    reader_ = std::thread([this, fd = out[0]] { read_lines(fd); });
  }

  ~RoutersimProcess() {
    if (pid_ > 0 && !exited()) {
      ::kill(pid_, SIGKILL);
      reap();
    }
    close_stdin();
    if (reader_.joinable()) reader_.join();
  }

  RoutersimProcess(const RoutersimProcess&) = delete;
  RoutersimProcess& operator=(const RoutersimProcess&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& address() const { return address_; }
  std::uint16_t port() const { return port_; }

  // Waits for the ready line and takes the address and port from it.
  bool wait_ready(Duration timeout = std::chrono::seconds(20)) {
    auto line = wait_for_line("listening on ", timeout);
    if (!line) return false;
    std::string where = line->substr(line->find("listening on ") + 13);
    auto colon = where.rfind(':');
    if (colon == std::string::npos) return false;
    address_ = where.substr(0, colon);
    if (address_.size() > 2 && address_.front() == '[') {
      address_ = address_.substr(1, address_.size() - 2);
    }
    port_ = static_cast<std::uint16_t>(std::stoi(where.substr(colon + 1)));
    return true;
  }

  // The `occurrence`-th line of standard output that contains `needle`;
  // nullopt when the deadline passes or the process ends without printing it.
  std::optional<std::string> wait_for_line(const std::string& needle,
                                           Duration timeout = std::chrono::seconds(20),
                                           int occurrence = 1) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<std::string> found;
    changed_.wait_for(lock, timeout, [&] {
      int seen = 0;
      for (const auto& line : lines_) {
        if (line.find(needle) != std::string::npos && ++seen == occurrence) {
          found = line;
          return true;
        }
      }
      return end_of_output_;
    });
    return found;
  }

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

  // Sends `signal_number` and waits for the exit. Returns the exit status
  // (128 + n when killed by signal n), or -1 when it had to be killed.
  int signal_and_wait(int signal_number, Duration timeout = std::chrono::seconds(20)) {
    if (pid_ <= 0) return -1;
    if (!exited()) ::kill(pid_, signal_number);
    if (!wait_for_end_of_output(timeout)) {
      ::kill(pid_, SIGKILL);
      reap();
      return -1;
    }
    return reap();
  }

  int stop(Duration timeout = std::chrono::seconds(20)) {
    return signal_and_wait(SIGTERM, timeout);
  }

  // Closes the simulator's standard input, which --watch-stdin treats as a stop.
  void close_stdin() {
    if (stdin_fd_ >= 0) {
      ::close(stdin_fd_);
      stdin_fd_ = -1;
    }
  }

  // Waits for the process to end by itself; its exit status, or -1 on timeout.
  int wait_exit(Duration timeout = std::chrono::seconds(20)) {
    if (!wait_for_end_of_output(timeout)) return -1;
    return reap();
  }

 private:
  void read_lines(int fd) {
    std::string partial;
    char buffer[4096];
    while (true) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      std::lock_guard<std::mutex> lock(mutex_);
      partial.append(buffer, static_cast<std::size_t>(n));
      for (auto end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
        lines_.push_back(partial.substr(0, end));
        partial.erase(0, end + 1);
      }
      changed_.notify_all();
    }
    ::close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!partial.empty()) lines_.push_back(partial);
    end_of_output_ = true;
    changed_.notify_all();
  }

  // Standard output closes when the process exits.
  bool wait_for_end_of_output(Duration timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return end_of_output_; });
  }

  bool exited() const { return status_.has_value(); }

  int reap() {
    if (pid_ <= 0) return -1;
    if (status_) return *status_;
    int raw = 0;
    while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
    }
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return *status_;
  }

  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  std::string address_;
  std::uint16_t port_ = 0;
  std::optional<int> status_;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool end_of_output_ = false;
};

}  // namespace routersim_test
