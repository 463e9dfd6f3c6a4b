// The synchronous wait.
#include "socket/sync_socket.h"

#include "platform/message_processing.h"

namespace net {

int TCustomSyncSocket::StartAndWait(const TWaitProc& proc, bool& doneFlag) {
  doneFlag = false;
  if (proc) proc();
  return WaitForFlag(doneFlag);
}

int TCustomSyncSocket::WaitForFlag(bool& doneFlag) {
  const win::DWORD start = win::GetTickCount();
  waitDeadline_ = static_cast<int>(start + static_cast<win::DWORD>(waitTimeout_));
  for (;;) {
    if (doneFlag) return 0;
    int left = -1;
    if (waitTimeout_ > 0) {
      // Unsigned differences stay right when the tick count wraps.
      const win::DWORD elapsed = win::GetTickCount() - start;
      if (elapsed > static_cast<win::DWORD>(waitTimeout_)) return kWaitGaveUp;
      left = static_cast<int>(static_cast<win::DWORD>(waitTimeout_) - elapsed) + 1;
    }
    if (platform::ApplicationTerminating() || terminated_) return kWaitGaveUp;
    WaitForMessages(left);
  }
}

}  // namespace net
