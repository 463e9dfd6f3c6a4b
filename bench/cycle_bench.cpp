// How long `vantrel -h -cd SHOW` takes against the router simulator, how long
// one command cycle takes inside it, and how much processor time a cycle burns
// while a slow router keeps it waiting. Not a test: it prints numbers.
//
//   vantrel-cycle-bench [--runs N] [--cycles K] [--address 127.0.0.x]
//
// The program and the simulator are taken from the folder this benchmark lives
// in (the build's bin folder). The simulator must be able to listen on port 23
// of the loopback address, so run it as root.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

#include "bench/bench_support.h"

namespace fs = std::filesystem;
using namespace bench;

namespace {

bool Succeeded(const RunResult& r) { return r.exitStatus == 0 && !r.output.empty(); }

// A failed run is counted and left out of the numbers; the program's own
// report of it (on its standard error) shows what went wrong.
int failedRuns = 0;

bool Checked(const RunResult& r) {
  if (Succeeded(r)) return true;
  ++failedRuns;
  return false;
}

std::vector<std::string> CycleArguments(int cycles) {
  std::vector<std::string> args{"-h"};
  for (int i = 1; i < cycles; ++i) {
    args.push_back("-c");
    args.push_back("SHOW");
  }
  args.push_back("-cd");
  args.push_back("SHOW");
  return args;
}

int Main(int argc, char** argv) {
  int runs = 10;
  int cycles = 11;
  std::string address = "127.0.0.77";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else if (key == "--cycles") {
      cycles = std::max(2, std::atoi(argv[i + 1]));
    } else if (key == "--address") {
      address = argv[i + 1];
    } else {
      Fail("unknown option " + key);
    }
  }
  const fs::path binDir = BinDir();
  const Sandbox sandbox(binDir, address);
  const fs::path program = sandbox.Program();
  const fs::path simulatorBinary = binDir / "vantrel-routersim";

  std::vector<double> wall, cpu, cycleTimes;
  {
    Simulator router(simulatorBinary, address, {"--model", "MT128-NET", "--quiet"});
    if (!Succeeded(RunProgram(program, CycleArguments(1)))) {
      Fail("the warm-up run of -h -cd SHOW failed");
    }
    for (int i = 0; i < runs; ++i) {
      const RunResult one = RunProgram(program, CycleArguments(1));
      const RunResult many = RunProgram(program, CycleArguments(cycles));
      const bool oneOk = Checked(one);
      const bool manyOk = Checked(many);
      if (oneOk) {
        wall.push_back(one.wallSeconds);
        cpu.push_back(one.cpuSeconds);
      }
      if (oneOk && manyOk) {
        cycleTimes.push_back((many.wallSeconds - one.wallSeconds) / (cycles - 1));
      }
    }
  }
  if (wall.empty() || cycleTimes.empty()) Fail("every run failed");
  RunResult slow;
  {
    Simulator router(simulatorBinary, address, {"--model", "MT128-NET", "--quiet", "--delay", "3000"});
    slow = RunProgram(program, CycleArguments(1));
    if (!Succeeded(slow)) Fail("the run against the slow router failed");
  }

  std::printf("vantrel -h -cd SHOW against the simulator at %s:23 (%d runs, medians)\n",
              address.c_str(), runs);
  std::printf("  whole process, wall time          %8.1f ms\n", Median(wall) * 1e3);
  std::printf("  whole process, processor time     %8.1f ms\n", Median(cpu) * 1e3);
  std::printf("  one command cycle, wall time      %8.1f ms  (from runs of 1 and %d cycles)\n",
              Median(cycleTimes) * 1e3, cycles);
  std::printf("router answering after 3 s (one run)\n");
  std::printf("  whole process, wall time          %8.1f ms\n", slow.wallSeconds * 1e3);
  std::printf("  whole process, processor time     %8.1f ms\n", slow.cpuSeconds * 1e3);
  std::printf("  processor time spent waiting      %8.1f ms  (against the prompt router)\n",
              (slow.cpuSeconds - Median(cpu)) * 1e3);
  if (failedRuns > 0) std::printf("failed runs, left out above: %d\n", failedRuns);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return bench::RunBenchmark("vantrel-cycle-bench", Main, argc, argv); }
