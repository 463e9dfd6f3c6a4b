// Many routers in one run: how long a hundred slow routers take all at once
// and eight at a time, how much memory that needs, and what a router costs in
// processor time when a thousand are polled, beside one more cycle of a run
// for one router, and how much memory 64 hostile routers polled at once take
// (a flood before the log-in, one endless line, endless output), beside
// healthy ones that must still come out whole. Not a test: it prints numbers.
//
//   vantrel-fleet-bench [--runs N] [--network 127.0.3]
//
// One simulator plays each group of routers on a range of loopback
// addresses, port 23, so run it as root. --network names the first of ten
// blocks of 256 it uses (default 127.0.3, so 127.0.3 to 127.0.12): in the
// first, .1-100 answer after 1 s; from the second's .1 on (into the fifth),
// a thousand answer at once; the sixth to eighth hold 64 hostile ones each,
// the ninth 8 healthy ones, the tenth a 64 MB answer among three small ones.
// The hostile runs need about 400 MB of temporary space.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace fs = std::filesystem;
using namespace bench;

namespace {

// The first two numbers of the addresses and the third of the first block.
std::string networkPrefix = "127.0.";
int firstBlock = 3;

// Address `last` of block `block` (0 the first).
std::string At(int block, int last) {
  return networkPrefix + std::to_string(firstBlock + block) + "." + std::to_string(last);
}

// Addresses `first` to `last` of block `block`, as a simulator's range.
std::string Range(int block, int first, int last) {
  return At(block, first) + "-" + std::to_string(last);
}

// `count` addresses from `first` on, one a line.
fs::path HostsFile(const fs::path& folder, const std::string& name, const std::string& first,
                   int count) {
  const auto dot = first.rfind('.');
  const auto dot2 = first.rfind('.', dot - 1);
  const int third = std::atoi(first.substr(dot2 + 1, dot - dot2 - 1).c_str());
  const int fourth = std::atoi(first.substr(dot + 1).c_str());
  const std::string prefix = first.substr(0, dot2 + 1);
  std::ofstream file(folder / name);
  for (int i = 0; i < count; ++i) {
    const int n = third * 256 + fourth + i;
    file << prefix << n / 256 << '.' << n % 256 << '\n';
  }
  return folder / name;
}

RunResult Checked(const RunResult& run, const char* what) {
  if (run.exitStatus != 0) Fail(std::string("the run ") + what + " failed");
  return run;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> Fleet(const fs::path& hosts, int jobs) {
  return {"-h", "-cd", "SHOW", "--hosts", hosts.string(), "--jobs", std::to_string(jobs)};
}

int Main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else if (key == "--network") {
      const std::string network = argv[i + 1];
      const auto dot = network.rfind('.');
      if (dot == std::string::npos || network.rfind("127.", 0) != 0) {
        Fail("--network wants the first three numbers of a loopback address, e.g. 127.0.3");
      }
      networkPrefix = network.substr(0, dot + 1);
      firstBlock = std::atoi(network.substr(dot + 1).c_str());
      if (firstBlock < 0 || firstBlock > 246) Fail("--network leaves no room for ten blocks");
    } else {
      Fail("unknown option " + key);
    }
  }
  const fs::path binDir = BinDir();
  const std::string quickFirst = At(1, 1);
  const Sandbox sandbox(binDir, quickFirst);
  const fs::path program = sandbox.Program();
  const fs::path simulator = binDir / "vantrel-routersim";
  const fs::path slowHosts = HostsFile(sandbox.Dir(), "slow", At(0, 1), 100);
  const fs::path quickHosts = HostsFile(sandbox.Dir(), "quick", quickFirst, 1000);

  std::vector<double> allWall, allPeak, eightWall;
  {
    Simulator slow(simulator, Range(0, 1, 100), {"--quiet", "--delay", "1000"});
    for (int i = 0; i < runs; ++i) {
      const RunResult all = Checked(RunProgram(program, Fleet(slowHosts, 100)), "--jobs 100");
      allWall.push_back(all.wallSeconds);
      allPeak.push_back(all.peakMiB);
    }
    eightWall.push_back(Checked(RunProgram(program, Fleet(slowHosts, 8)), "--jobs 8").wallSeconds);
  }

  std::vector<double> perRouter, perCycle;
  {
    Simulator quick(simulator, quickFirst + "-" + At(4, 232), {"--quiet"});
    Checked(RunProgram(program, {"-h", "-cd", "SHOW"}), "warm-up");
    for (int i = 0; i < runs; ++i) {
      // One router's run is the start-up and one cycle; the thousand's run
      // less that is what 999 more routers cost.
      const RunResult one = Checked(RunProgram(program, {"-h", "-cd", "SHOW"}), "of one router");
      const RunResult eleven =
          Checked(RunProgram(program, {"-h",   "-c", "SHOW", "-c", "SHOW", "-c",  "SHOW", "-c",
                                       "SHOW", "-c", "SHOW", "-c", "SHOW", "-c",  "SHOW", "-c",
                                       "SHOW", "-c", "SHOW", "-c", "SHOW", "-cd", "SHOW"}),
                  "of eleven cycles");
      const RunResult thousand =
          Checked(RunProgram(program, Fleet(quickHosts, 64)), "of a thousand routers");
      perCycle.push_back((eleven.cpuSeconds - one.cpuSeconds) / 10);
      perRouter.push_back((thousand.cpuSeconds - one.cpuSeconds) / 999);
    }
  }

  struct Hostile {
    const char* what;
    int block;
    std::vector<std::string> faults;
  };
  const Hostile hostile[] = {
      {"a flood before the log-in", 5, {"--flood-before-login"}},
      {"one endless line", 6, {"--endless-line"}},
      {"endless output", 7, {"--endless-output"}},
  };
  const fs::path healthyFront = HostsFile(sandbox.Dir(), "healthy-front", At(8, 1), 4);
  const fs::path healthyBack = HostsFile(sandbox.Dir(), "healthy-back", At(8, 5), 4);
  std::vector<std::pair<const char*, double>> hostilePeaks;
  std::vector<const char*> incomplete;
  {
    Simulator healthy(simulator, Range(8, 1, 8), {"--quiet"});
    // What the healthy routers' files hold when they are polled alone.
    const fs::path reference = sandbox.Dir() / "alone";
    Checked(RunProgram(program, {"-h", "-cd", "SHOW", "--hosts", healthyFront.string(), "--hosts",
                                 healthyBack.string(), "--output-dir", reference.string()}),
            "of the healthy routers alone");
    for (const Hostile& kind : hostile) {
      std::vector<std::string> faults{"--quiet", "--flood-seconds", "4", "--output-rate",
                                      "1000000"};
      faults.insert(faults.end(), kind.faults.begin(), kind.faults.end());
      Simulator routers(simulator, Range(kind.block, 1, 64), faults);
      const fs::path hosts = HostsFile(sandbox.Dir(), "hostile", At(kind.block, 1), 64);
      const std::vector<std::string> list{"-h",
                                          "-cd",
                                          "SHOW",
                                          "--hosts",
                                          healthyFront.string(),
                                          "--hosts",
                                          hosts.string(),
                                          "--hosts",
                                          healthyBack.string(),
                                          "--jobs",
                                          "64"};
      std::vector<double> peaks;
      for (int i = 0; i < runs; ++i) peaks.push_back(RunProgram(program, list).peakMiB);
      hostilePeaks.emplace_back(kind.what, Median(peaks));
      // The healthy routers' files are whole, whatever the others did.
      const fs::path folder = sandbox.Dir() / "answers";
      fs::remove_all(folder);
      std::vector<std::string> toFolder = list;
      toFolder.insert(toFolder.end(), {"--output-dir", folder.string()});
      RunProgram(program, toFolder);
      for (int n = 1; n <= 8; ++n) {
        const std::string name = At(8, n) + ".txt";
        if (ReadAll(folder / name) != ReadAll(reference / name)) incomplete.push_back(kind.what);
      }
      fs::remove_all(folder);
    }
  }

  // A 64 MB answer among three small ones, as text and as JSON Lines: the
  // JSON string is escaped as the lines arrive, so it needs no more memory.
  std::vector<double> textPeak, jsonPeak;
  {
    Simulator big(simulator, At(9, 1), {"--quiet", "--answer-bytes", "64000000"});
    Simulator small(simulator, Range(9, 2, 4), {"--quiet"});
    std::vector<std::string> list{"-h", "-cd", "SHOW"};
    for (int n = 1; n <= 4; ++n) list.insert(list.end(), {"--host", At(9, n)});
    std::vector<std::string> json = list;
    json.push_back("--json");
    for (int i = 0; i < runs; ++i) {
      textPeak.push_back(Checked(RunProgram(program, list), "of the text form").peakMiB);
      jsonPeak.push_back(Checked(RunProgram(program, json), "of JSON Lines").peakMiB);
    }
  }

  std::printf("100 routers answering after 1 s, -cd SHOW (%d runs, medians)\n", runs);
  std::printf("  --jobs 100: whole run, wall time        %8.2f s   (goal: at most 1.5 s)\n",
              Median(allWall));
  std::printf("  --jobs 100: peak memory                 %8.1f MiB (goal: under 100 MiB)\n",
              Median(allPeak));
  std::printf("  --jobs 8:   whole run, wall time        %8.2f s   (goal: at most 15.6 s)\n",
              Median(eightWall));
  std::printf("1000 routers answering at once, --jobs 64 (%d runs, medians)\n", runs);
  std::printf("  processor time per router               %8.2f ms\n", Median(perRouter) * 1e3);
  std::printf("  one more cycle of a run for one router  %8.2f ms\n", Median(perCycle) * 1e3);
  std::printf("  ratio                                   %8.2f    (goal: at most 1.5)\n",
              Median(perRouter) / Median(perCycle));
  std::printf("64 hostile routers and 8 healthy ones, --jobs 64 (%d runs, medians)\n", runs);
  for (const auto& [what, peak] : hostilePeaks) {
    std::printf("  %-26s peak memory %8.1f MiB (goal: under 256 MiB)\n", what, peak);
  }
  std::printf("  healthy routers with an empty file      %8zu     (goal: 0)\n", incomplete.size());
  std::printf("A 64 MB answer among three small ones (%d runs, medians)\n", runs);
  std::printf("  peak memory, text                       %8.1f MiB\n", Median(textPeak));
  std::printf("  peak memory, JSON Lines                 %8.1f MiB (goal: within 4 MiB of text)\n",
              Median(jsonPeak));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return bench::RunBenchmark("vantrel-fleet-bench", Main, argc, argv);
}
