// What the benchmarks share: a private copy of the program with its
// libraries, settings pointing at the simulator on `address` (model
// MT128-NET) and an empty panel, so a benchmark never touches the build's own
// settings (removed again when it goes); and the frame of a benchmark's main.
#pragma once

#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class BenchSandbox {
 public:
  BenchSandbox(const std::filesystem::path& binDir, const std::string& address) {
    char pattern[] = "/tmp/vantrel-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    std::filesystem::copy_file(binDir / "vantrel", dir_ / "vantrel");
    for (const auto& entry : std::filesystem::directory_iterator(binDir)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("libvantrel_", 0) == 0 && name.find(".so") != std::string::npos) {
        std::filesystem::copy(entry.path(), dir_ / name,
                              std::filesystem::copy_options::copy_symlinks);
      }
    }
    std::ofstream(dir_ / "vantrel.Ini", std::ios::binary)
        << "[main]\r\nrt=0\r\nip=" << address << "\r\nsingle=0\r\n";
    std::ofstream(dir_ / "vantrel_p.cfg", std::ios::binary) << "";
  }
  ~BenchSandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  BenchSandbox(const BenchSandbox&) = delete;
  BenchSandbox& operator=(const BenchSandbox&) = delete;

  std::filesystem::path Program() const { return dir_ / "vantrel"; }

 private:
  std::filesystem::path dir_;
};

// Runs a benchmark's main: a peer that went away must not kill it (SIGPIPE),
// and a failure is one line on standard error with status 1.
inline int RunBenchmark(const char* name, int (*benchMain)(int, char**), int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  try {
    return benchMain(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", name, error.what());
    return 1;
  }
}
