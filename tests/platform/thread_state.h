// Lets a test wait, with a deadline, until another thread of the process is
// asleep in the kernel, so "a post wakes a blocked wait" is tested against a
// thread that is really blocked, without a fixed sleep.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace test_support {

// The state letter of thread `tid` of this process ('R' running, 'S' asleep,
// ...), or '?' when it can't be read.
inline char ThreadState(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The command name in parentheses may hold blanks: the state follows the
  // last ')'.
  const auto close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return '?';
  return text[close + 2];
}

inline bool WaitUntilThreadSleeps(pid_t tid, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  // Several readings in a row, so a thread passing through a short sleep on
  // its way does not count.
  int asleep = 0;
  while (std::chrono::steady_clock::now() < end) {
    asleep = ThreadState(tid) == 'S' ? asleep + 1 : 0;
    if (asleep >= 3) return true;
    std::this_thread::yield();
  }
  return false;
}

}  // namespace test_support
