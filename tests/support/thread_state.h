// Lets a test wait, with a deadline, until another thread of the process is
// asleep in the kernel, so "a post wakes a blocked wait" is tested against a
// thread that is really blocked, without a fixed sleep.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/deadline.h"

namespace support {

// The state letter of thread `tid` of this process ('R' running, 'S' asleep,
// ...), or '?' when it can't be read. It follows the command name, which is in
// parentheses and may hold blanks: "1234 (name) S ...".
inline char ThreadState(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

inline bool WaitUntilThreadSleeps(pid_t tid, milliseconds deadline = kDeadline) {
  // Several readings in a row, so a thread passing through a short sleep on
  // its way does not count.
  int asleep = 0;
  return WaitUntil(
      [&] {
        asleep = ThreadState(tid) == 'S' ? asleep + 1 : 0;
        return asleep >= 3;
      },
      deadline);
}

}  // namespace support
