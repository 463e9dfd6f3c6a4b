// Whether the program holds steady over a long life and against hostile
// routers. Not a test: it prints numbers.
//
//   vantrel-soak-bench [--cycles N] [--address 127.0.0.x] [--no-faults]
//
// 1. One process runs N command cycles (`-h -c SHOW` N times, default 10,000)
//    against the simulator; every 1,000 cycles (counted by the simulator's
//    closed sessions) it reports the program's open descriptors and resident
//    memory, read from /proc. Both should stay flat.
// 2. One `-h -cd SHOW` run per fault mode of the simulator (endless output at
//    full speed and at 1 MiB/s, a flood of option requests with and without
//    reading): how long until the program ended, its exit status and its peak
//    resident memory.
//
// The program and the simulator come from this benchmark's own folder (the
// build's bin folder); the simulator listens on port 23, so run it as root.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_support.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using bench::ChildProcess;
using bench::Fail;
using bench::Simulator;

int OpenDescriptors(pid_t pid) {
  int count = 0;
  std::error_code error;
  for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
       !error && it != fs::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
}

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

void Soak(const fs::path& program, const fs::path& simulator, const std::string& address,
          int cycles) {
  Simulator router(simulator, address, {});
  std::vector<std::string> args{program.string(), "-h"};
  for (int i = 0; i < cycles; ++i) {
    args.push_back("-c");
    args.push_back("SHOW");
  }
  const auto start = Clock::now();
  ChildProcess vantrel(args, true);
  std::printf("%d cycles in one process (-h -c SHOW ...)\n", cycles);
  std::printf("  %8s %10s %12s %10s\n", "cycles", "open fds", "resident KB", "seconds");
  int closed = 0;
  std::string event;
  while (closed < cycles && router.NextEvent(event)) {
    if (event.find(" closed") == std::string::npos) continue;
    ++closed;
    // The last session may close after the program has already gone.
    if ((closed % 1000 == 0 || closed == 1) && closed < cycles) {
      std::printf("  %8d %10d %12ld %10.1f\n", closed, OpenDescriptors(vantrel.Pid()),
                  ResidentKb(vantrel.Pid()),
                  std::chrono::duration<double>(Clock::now() - start).count());
      std::fflush(stdout);
    }
  }
  rusage usage{};
  const int status = vantrel.Finish(usage);
  std::printf("  exit status %d, peak resident %ld KB\n", status, usage.ru_maxrss);
}

void FaultRun(const fs::path& program, const fs::path& simulator, const std::string& address,
              const char* name, const std::vector<std::string>& mode) {
  Simulator router(simulator, address, mode);
  const bench::RunResult run = bench::RunProgram(program, {"-h", "-cd", "SHOW"});
  std::printf("  %-34s %8.1f s %6d %12.0f MiB\n", name, run.wallSeconds, run.exitStatus,
              run.peakMiB);
  std::fflush(stdout);
}

int Main(int argc, char** argv) {
  int cycles = 10000;
  std::string address = "127.0.0.79";
  bool faults = true;
  for (int i = 1; i < argc; ++i) {
    const std::string key = argv[i];
    if (key == "--no-faults") {
      faults = false;
    } else if (key == "--cycles" && i + 1 < argc) {
      cycles = std::max(1, std::atoi(argv[++i]));
    } else if (key == "--address" && i + 1 < argc) {
      address = argv[++i];
    } else {
      Fail("unknown option " + key);
    }
  }
  const fs::path binDir = bench::BinDir();
  const bench::Sandbox sandbox(binDir, address);
  const fs::path program = sandbox.Program();
  const fs::path simulator = binDir / "vantrel-routersim";

  Soak(program, simulator, address, cycles);
  if (!faults) return 0;
  std::printf("one -h -cd SHOW per fault mode\n");
  std::printf("  %-34s %10s %6s %16s\n", "router", "ends after", "status", "peak resident");
  FaultRun(program, simulator, address, "endless output, full speed", {"--endless-output"});
  FaultRun(program, simulator, address, "endless output, 1 MiB/s",
           {"--endless-output", "--output-rate", "1048576"});
  FaultRun(program, simulator, address, "option flood, router reads",
           {"--option-flood", "--no-login"});
  FaultRun(program, simulator, address, "option flood, router never reads",
           {"--option-flood", "--no-read"});
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return bench::RunBenchmark("vantrel-soak-bench", Main, argc, argv); }
