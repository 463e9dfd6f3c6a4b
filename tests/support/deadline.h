// Bounded waits for tests: every wait has a deadline, and none sleeps for a
// fixed time.
#pragma once

#include <poll.h>

#include <chrono>
#include <thread>

namespace support {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Far above what any wait should take, even on a loaded machine under the
// sanitizers; it only decides how long a broken test hangs.
inline constexpr milliseconds kDeadline{10000};

// Yields until `done` holds; false when the deadline passes first.
template <typename Condition>
bool WaitUntil(Condition done, milliseconds deadline = kDeadline) {
  const auto end = Clock::now() + deadline;
  while (!done()) {
    if (Clock::now() >= end) return false;
    std::this_thread::yield();
  }
  return true;
}

// Whether `fd` polls readable (data, end of stream or error) within `wait`.
inline bool Readable(int fd, milliseconds wait = milliseconds(0)) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(wait.count())) > 0;
}

}  // namespace support
