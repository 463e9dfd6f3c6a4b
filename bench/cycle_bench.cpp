// How long `vantrel -h -cd SHOW` takes against the router simulator, how long
// one command cycle takes inside it, and how much processor time a cycle burns
// while a slow router keeps it waiting. Not a test: it prints numbers.
//
// Then `vantrel -h -cd SHOW` paired with the reference client against a router
// that leaves its system's coalescing of small writes on (two small writes at
// log-in; the reference client acknowledges each read at once too, or it would
// stall at every turn of the dialogue), and the trickle-then-reset count: a router that coalesces,
// writes its answer in pieces 20 ms apart and resets right after its prompt.
//
//   vantrel-cycle-bench [--runs N] [--cycles K] [--address 127.0.0.x]
//                       [--resets N] [--program BIN_DIR]
//
// The simulator and the reference client are taken from the folder this
// benchmark lives in (the build's bin folder), the program from there or from
// --program. The simulator must be able to listen on port 23 of the loopback
// address, so run it as root.
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
  int resets = 20;
  std::string address = "127.0.0.77";
  fs::path programDir = BinDir();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else if (key == "--cycles") {
      cycles = std::max(2, std::atoi(argv[i + 1]));
    } else if (key == "--address") {
      address = argv[i + 1];
    } else if (key == "--resets") {
      resets = std::max(1, std::atoi(argv[i + 1]));
    } else if (key == "--program") {
      programDir = argv[i + 1];
    } else {
      Fail("unknown option " + key);
    }
  }
  const fs::path binDir = BinDir();
  const Sandbox sandbox(programDir, address);
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
    Simulator router(simulatorBinary, address,
                     {"--model", "MT128-NET", "--quiet", "--delay", "3000"});
    slow = RunProgram(program, CycleArguments(1));
    if (!Succeeded(slow)) Fail("the run against the slow router failed");
  }

  // Against the coalescing router, each run of the program paired with one
  // of the reference client.
  std::vector<double> coalescedWall, referenceWall, wallRatio;
  std::string completeAnswer;
  {
    Simulator router(simulatorBinary, address, {"--model", "MT128-NET", "--quiet", "--coalesce"});
    const fs::path reference = binDir / "vantrel-reference-client";
    for (int i = 0; i < runs; ++i) {
      const RunResult ours = RunProgram(program, CycleArguments(1));
      const RunResult theirs = RunProgram(reference, {address, "SHOW", "--ack-each-read"});
      if (!Checked(ours) || theirs.exitStatus != 0) continue;
      completeAnswer = ours.output;
      coalescedWall.push_back(ours.wallSeconds);
      referenceWall.push_back(theirs.wallSeconds);
      wallRatio.push_back(ours.wallSeconds / theirs.wallSeconds);
    }
  }
  if (coalescedWall.empty()) Fail("every run against the coalescing router failed");
  int completeRuns = 0;
  {
    Simulator router(simulatorBinary, address,
                     {"--model", "MT128-NET", "--quiet", "--coalesce", "--trickle",
                      "--trickle-piece", "128", "--trickle-gap", "20", "--reset-after-prompt"});
    for (int i = 0; i < resets; ++i) {
      const RunResult run = RunProgram(program, CycleArguments(1));
      if (run.exitStatus == 0 && run.output == completeAnswer) ++completeRuns;
    }
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
  std::printf("against a router that coalesces its small writes (%d paired runs, medians)\n",
              static_cast<int>(coalescedWall.size()));
  std::printf("  vantrel, whole process, wall time %8.1f ms\n", Median(coalescedWall) * 1e3);
  std::printf("  reference client, wall time       %8.1f ms\n", Median(referenceWall) * 1e3);
  std::printf("  wall time ratio                   %8.2f   (worst run %.2f; goal <= 3)\n",
              Median(wallRatio), *std::max_element(wallRatio.begin(), wallRatio.end()));
  std::printf("trickled in 128-byte pieces 20 ms apart, reset after the prompt\n");
  std::printf("  complete answers                  %5d of %d  (goal: all)\n", completeRuns, resets);
  if (failedRuns > 0) std::printf("failed runs, left out above: %d\n", failedRuns);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunBenchmark("vantrel-cycle-bench", Main, argc, argv);
}
