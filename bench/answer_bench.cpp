// Big answers, whole process: `vantrel -h -cd SHOW` and a minimal reference
// client of our own, side by side against the same loopback peer, for answers
// of 1, 10 and 50 MB sent at once and 4 MB trickled 4 KiB per millisecond,
// and the program alone with 70 MB, past the 64 MiB it keeps.
// Prints wall time, processor time and peak memory of both and their ratios,
// the processor time per MB, and how soon a 10 MB answer shows in the window.
// Not a test: it prints numbers.
//
//   vantrel-answer-bench [--runs N] [--address 127.0.0.x] [--program DIR]
//
// --program takes `vantrel` and its libraries from DIR instead of the build's
// bin folder (to measure another build against the same reference). Runs as
// root: the peer listens on port 23. With strace installed, the system calls
// of one run of each client are counted too, per trickled piece.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/answer_peer.h"
#include "bench/bench_support.h"

namespace fs = std::filesystem;
using namespace bench;

namespace {

struct Scenario {
  const char* name;
  std::size_t bytes;
  bool trickle;
};

constexpr std::size_t kMB = 1000 * 1000;
const Scenario kScenarios[] = {
    {"SHOW, 1 KB", 1000, false},        {"1 MB at once", kMB, false},
    {"10 MB at once", 10 * kMB, false}, {"50 MB at once", 50 * kMB, false},
    {"4 MB trickled", 4 * kMB, true},
};

struct Figures {
  std::vector<double> wall, cpu, peak;
  void Add(const RunResult& r) {
    wall.push_back(r.wallSeconds);
    cpu.push_back(r.cpuSeconds);
    peak.push_back(r.peakMiB);
  }
};

const fs::path kStrace = "/usr/bin/strace";

// System calls of one run of `program` in all its threads, counted by strace;
// -1 when that could not be done.
double SystemCalls(const fs::path& program, const std::vector<std::string>& arguments) {
  char pattern[] = "/tmp/vantrel-strace-XXXXXX";
  const int fd = mkstemp(pattern);
  if (fd < 0) return -1;
  close(fd);
  std::vector<std::string> args{"-f", "-c", "-o", pattern, program.string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  const RunResult run = RunProgram(kStrace, args);
  std::ifstream summary(pattern);
  double calls = -1;
  // The summary's last row: "100.00 seconds usecs/call calls [errors] total".
  for (std::string line; std::getline(summary, line);) {
    std::istringstream fields(line);
    std::string percent;
    double seconds = 0;
    if (fields >> percent >> seconds && percent == "100.00") {
      std::vector<std::string> words;
      for (std::string word; fields >> word;) words.push_back(word);
      if (words.size() >= 3) calls = std::atof(words[1].c_str());
    }
  }
  std::remove(pattern);
  return run.exitStatus == 0 ? calls : -1;
}

int Main(int argc, char** argv) {
  int runs = 5;
  std::string address = "127.0.0.79";
  fs::path programDir = BinDir();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else if (key == "--address") {
      address = argv[i + 1];
    } else if (key == "--program") {
      programDir = fs::canonical(argv[i + 1]);
    } else {
      Fail("unknown option " + key);
    }
  }
  const Sandbox sandbox(programDir, address);
  const fs::path reference = BinDir() / "vantrel-reference-client";
  int failures = 0;
  int mismatches = 0;

  std::printf("%d paired runs each, medians; the machine's other load makes them noisy\n", runs);
  std::printf("%-15s %-9s %9s %9s %9s\n", "answer", "client", "wall ms", "cpu ms", "peak MiB");
  std::vector<double> cpuPerMB;
  double showCpu = 0;
  double showCalls = -1;
  double showReferenceCalls = -1;
  {
    for (const Scenario& scenario : kScenarios) {
      const AnswerPeer peer(address, scenario.bytes, scenario.trickle,
                            AnswerPeer::Where::ChildProcess);
      Figures ours, floor;
      for (int run = 0; run <= runs; ++run) {
        const RunResult mine = RunProgram(sandbox.Program(), {"-h", "-cd", "SHOW"});
        const RunResult theirs = RunProgram(reference, {address, "SHOW"});
        if (mine.exitStatus != 0 || theirs.exitStatus != 0) {
          ++failures;
          continue;
        }
        if (mine.outputHash != theirs.outputHash || mine.outputBytes != theirs.outputBytes) {
          ++mismatches;
        }
        if (run == 0) continue;  // warm-up
        ours.Add(mine);
        floor.Add(theirs);
      }
      const auto row = [&](const char* who, const Figures& f) {
        std::printf("%-15s %-9s %9.1f %9.1f %9.1f\n", scenario.name, who, Median(f.wall) * 1e3,
                    Median(f.cpu) * 1e3, Median(f.peak));
      };
      row("vantrel", ours);
      row("reference", floor);
      std::printf("%-15s %-9s %9.2f %9.2f %9.2f\n", scenario.name, "ratio",
                  Median(ours.wall) / Median(floor.wall), Median(ours.cpu) / Median(floor.cpu),
                  Median(ours.peak) / Median(floor.peak));
      if (scenario.bytes == 1000) showCpu = Median(ours.cpu);
      if (fs::exists(kStrace) && (scenario.bytes == 1000 || scenario.trickle)) {
        const double mineCalls = SystemCalls(sandbox.Program(), {"-h", "-cd", "SHOW"});
        const double theirCalls = SystemCalls(reference, {address, "SHOW"});
        if (scenario.bytes == 1000) {
          showCalls = mineCalls;
          showReferenceCalls = theirCalls;
        } else if (mineCalls >= 0 && showCalls >= 0) {
          const double pieces = static_cast<double>(scenario.bytes) / AnswerPeer::kTrickleBytes;
          std::printf(
              "%-15s system calls per piece beyond a SHOW run: vantrel %.2f, reference %.2f\n",
              scenario.name, (mineCalls - showCalls) / pieces,
              (theirCalls - showReferenceCalls) / pieces);
        }
      }
      if (!scenario.trickle && scenario.bytes >= kMB) {
        cpuPerMB.push_back((Median(ours.cpu) - showCpu) * 1e3 / (scenario.bytes / kMB));
      }
    }
  }
  {
    // Past the 64 MiB the program keeps: it shows what it kept and fails.
    // The reference keeps everything, so the program runs alone here.
    const AnswerPeer peer(address, 70 * kMB, false, AnswerPeer::Where::ChildProcess);
    Figures capped;
    for (int run = 0; run <= runs; ++run) {
      const RunResult mine = RunProgram(sandbox.Program(), {"-h", "-cd", "SHOW"});
      if (mine.exitStatus != 1 || mine.outputBytes < 60 * kMB) {
        ++failures;
        continue;
      }
      if (run > 0) capped.Add(mine);
    }
    std::printf("%-15s %-9s %9.1f %9.1f %9.1f\n", "70 MB, capped", "vantrel",
                Median(capped.wall) * 1e3, Median(capped.cpu) * 1e3, Median(capped.peak));
  }
  std::printf("vantrel processor time per MB beyond a SHOW run:");
  for (double perMB : cpuPerMB) std::printf(" %.1f ms", perMB);
  std::printf("  (1, 10, 50 MB)\n");
  if (failures > 0) std::printf("failed runs, left out above: %d\n", failures);
  if (mismatches > 0)
    std::printf("runs whose output differed from the reference: %d\n", mismatches);

  const fs::path paneBench = BinDir() / "vantrel-pane-bench";
  if (fs::exists(paneBench)) {
    const RunResult pane =
        RunProgram(paneBench, {"--address", address, "--runs", std::to_string(runs)});
    std::printf("%s", pane.output.c_str());
  }
  return failures == 0 && mismatches == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) { return bench::RunBenchmark("vantrel-answer-bench", Main, argc, argv); }
