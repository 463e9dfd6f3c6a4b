// Running the program under measurement, and its private copy.
#include "bench/bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <exception>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The environment of the child, without a display: the program then runs on
// the offscreen platform and writes the -cd box to standard output instead of
// waiting for someone to press OK.
std::vector<std::string> HeadlessEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0) continue;
    env.push_back(entry);
  }
  return env;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

void Fail(const std::string& why) { throw std::runtime_error(why); }

std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

RunResult RunProgram(const fs::path& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> args{program.string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env = HeadlessEnvironment();
  std::vector<char*> argv = Argv(args);
  std::vector<char*> envp = Argv(env);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) Fail("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);

  RunResult result;
  const auto start = Clock::now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (rc != 0) {
    close(pipeFds[0]);
    Fail("cannot start " + program.string() + ": " + std::strerror(rc));
  }
  // Big reads, so that collecting a long answer never holds the child back.
  std::vector<char> buffer(1 << 16);
  result.outputHash = 14695981039346656037ull;  // FNV-1a
  for (;;) {
    const ssize_t n = read(pipeFds[0], buffer.data(), buffer.size());
    if (n > 0) {
      const auto got = static_cast<std::size_t>(n);
      if (result.output.size() < buffer.size()) {
        result.output.append(buffer.data(), std::min(got, buffer.size() - result.output.size()));
      }
      for (std::size_t i = 0; i < got; ++i) {
        result.outputHash =
            (result.outputHash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
      }
      result.outputBytes += got;
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

Sandbox::Sandbox(const fs::path& binDir, const std::string& address) {
  char pattern[] = "/tmp/vantrel-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("mkdtemp failed");
  dir_ = pattern;
  fs::copy_file(binDir / "vantrel", dir_ / "vantrel");
  for (const auto& entry : fs::directory_iterator(binDir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("libvantrel_", 0) == 0 && name.find(".so") != std::string::npos) {
      fs::copy(entry.path(), dir_ / name, fs::copy_options::copy_symlinks);
    }
  }
  std::ofstream(dir_ / "vantrel.Ini", std::ios::binary)
      << "[main]\r\nrt=0\r\nip=" << address << "\r\nsingle=0\r\n";
  std::ofstream(dir_ / "vantrel_p.cfg", std::ios::binary) << "";
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

ChildProcess::ChildProcess(std::vector<std::string> args, bool headless) {
  std::vector<std::string> env;
  if (headless) {
    env = HeadlessEnvironment();
  } else {
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) Fail("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  const std::vector<char*> argv = Argv(args);
  const std::vector<char*> envp = Argv(env);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  out_ = fds[0];
  if (rc != 0) Fail("cannot start " + args[0] + ": " + std::strerror(rc));
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
}

bool ChildProcess::ReadLine(std::string& line) {
  line.clear();
  char c = 0;
  for (;;) {
    const ssize_t n = read(out_, &c, 1);
    if (n == 1 && c != '\n') {
      line += c;
    } else if (n == 1) {
      return true;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return !line.empty();
    }
  }
}

int ChildProcess::Finish(rusage& usage) {
  std::string ignored;
  while (ReadLine(ignored)) {
  }
  int status = 0;
  while (wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  pid_ = 0;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

namespace {

std::vector<std::string> SimulatorArguments(const fs::path& binary, const std::string& address,
                                            std::vector<std::string> extra) {
  std::vector<std::string> args{binary.string(), "--listen", address, "--port", "23"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

}  // namespace

Simulator::Simulator(const fs::path& binary, const std::string& address,
                     std::vector<std::string> extra)
    : child_(SimulatorArguments(binary, address, std::move(extra)), false) {
  // Its first line says it is listening.
  std::string line;
  if (!child_.ReadLine(line) || line.rfind("listening on", 0) != 0) {
    Fail("the simulator did not start on " + address + ":23 (root is needed for port 23)");
  }
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

fs::path BinDir() { return fs::canonical("/proc/self/exe").parent_path(); }

int RunBenchmark(const char* name, int (*benchmarkMain)(int, char**), int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  try {
    return benchmarkMain(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", name, error.what());
    return 1;
  }
}

}  // namespace bench
