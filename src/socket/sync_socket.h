// The synchronous-wait layer of the socket: waits for a flag that an event
// handler sets, keeping both event sources flowing meanwhile. The wait
// sleeps until the next event or its deadline, never spinning.
#pragma once

#include <functional>

#include "socket/line_socket.h"

namespace net {

// What a wait returns when it gave up (time out, or the application ending).
constexpr int kWaitGaveUp = 12001;

class TCustomSyncSocket : public TCustomLineSocket {
 public:
  using TCustomLineSocket::TCustomLineSocket;
  using TWaitProc = std::function<void()>;

  // Milliseconds a wait may take; 0 means no limit.
  int WaitTimeout() const { return waitTimeout_; }
  void SetWaitTimeout(int value) { waitTimeout_ = value; }

  // Clears `doneFlag`, runs `proc` when set, then waits for the flag.
  virtual int StartAndWait(const TWaitProc& proc, bool& doneFlag);
  // 0 once `doneFlag` is true, kWaitGaveUp when the wait gave up.
  virtual int WaitForFlag(bool& doneFlag);
};

}  // namespace net
