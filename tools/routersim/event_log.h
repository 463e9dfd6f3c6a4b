// The simulator's standard output: one line per event, written through at
// once, so a test (or a person) watching it knows where every session stands.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace routersim {

class EventLog {
 public:
  explicit EventLog(bool quiet) : quiet_(quiet) {}

  // The ready line is printed even when quiet: scripts wait for it.
  void ready(const std::string& line) { write(line); }

  void session(int id, std::string_view what, std::string_view detail = {}) {
    if (quiet_) return;
    std::string line = "session " + std::to_string(id) + " " + std::string(what);
    if (!detail.empty()) {
      line += ' ';
      // One event, one line: control bytes (and a stray line end) become '?'.
      for (char c : detail) {
        line.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c);
      }
    }
    write(line);
  }

 private:
  void write(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

  bool quiet_;
  std::mutex mutex_;
};

}  // namespace routersim
