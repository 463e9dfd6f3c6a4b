// What the benchmarks share: running the program headless and measuring it
// from spawn to reaped, a private copy of the program to run, and medians.
#pragma once

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct RunResult {
  double wallSeconds = 0;
  double cpuSeconds = 0;  // user + system time of the child
  double peakMiB = 0;     // the child's peak resident memory
  int exitStatus = -1;
  // The first 64 KiB of standard output, and a hash and count of all of it:
  // a long answer is compared without being kept, so this process stays
  // small (a child starts with its parent's peak memory).
  std::string output;
  std::uint64_t outputHash = 0;
  std::size_t outputBytes = 0;
};

[[noreturn]] void Fail(const std::string& why);

std::vector<char*> Argv(std::vector<std::string>& args);

// Runs the program to its end without a display and measures it from spawn
// to reaped; its standard output is collected.
RunResult RunProgram(const std::filesystem::path& program,
                     const std::vector<std::string>& arguments);

// A private copy of the program with its libraries, settings for the router
// at `address` (model MT128-NET) and an empty panel, so a benchmark never
// touches the build's own settings. Removed again by the returned guard.
class Sandbox {
 public:
  Sandbox(const std::filesystem::path& binDir, const std::string& address);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  const std::filesystem::path& Dir() const { return dir_; }
  std::filesystem::path Program() const { return dir_ / "vantrel"; }

 private:
  std::filesystem::path dir_;
};

// A child process with its standard output on a pipe we read line by line;
// ended with SIGTERM if it still runs when this goes.
class ChildProcess {
 public:
  // `headless`: without DISPLAY and WAYLAND_DISPLAY.
  ChildProcess(std::vector<std::string> args, bool headless);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // The next line of output; false at its end.
  bool ReadLine(std::string& line);
  // Reads the rest of the output, then reaps the child: its exit status, or
  // 128 + the signal that ended it.
  int Finish(rusage& usage);

 private:
  pid_t pid_ = 0;
  int out_ = -1;
};

// The router simulator on `address`, port 23, from construction until it
// goes; `extra` are more of its options.
class Simulator {
 public:
  Simulator(const std::filesystem::path& binary, const std::string& address,
            std::vector<std::string> extra);
  // The next event line of the simulator.
  bool NextEvent(std::string& line) { return child_.ReadLine(line); }

 private:
  ChildProcess child_;
};

double Median(std::vector<double> values);

// The folder of the running benchmark: the build's bin folder.
std::filesystem::path BinDir();

// Runs a benchmark's `main` with SIGPIPE ignored (a peer may go away while we
// write) and turns an error that leaves it into a message and status 1.
int RunBenchmark(const char* name, int (*benchmarkMain)(int, char**), int argc, char** argv);

}  // namespace bench
