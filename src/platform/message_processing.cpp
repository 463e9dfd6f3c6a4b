// The application's "process pending messages", reachable without the GUI
// toolkit: the application installs hooks; without them only the calling
// thread's platform queue is served.
#include "platform/message_processing.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include "platform/window_messages.h"

namespace platform {

namespace {

struct HookStore {
  std::mutex mutex;
  MessageProcessingHooks hooks;
};

HookStore& Hooks() {
  static HookStore* store = new HookStore;
  return *store;
}

MessageProcessingHooks CurrentHooks() {
  HookStore& store = Hooks();
  std::lock_guard lock(store.mutex);
  return store.hooks;
}

thread_local bool quitTaken = false;
thread_local int quitExitCode = 0;
thread_local bool terminating = false;

// Waits until the calling thread's queue holds a message or the time is up.
void WaitForPlatformMessage(int timeoutMs) {
  pollfd pfd{win::MessageQueueDescriptor(), POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int wait = timeoutMs;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    const int rc = poll(&pfd, 1, wait);
    if (rc >= 0 || errno != EINTR) return;
  }
}

}  // namespace

void ProcessMessages() {
  MessageProcessingHooks hooks = CurrentHooks();
  if (hooks.processPending)
    hooks.processPending();
  else
    DispatchPendingPlatformMessages();
}

void ProcessMessagesWaiting(int timeoutMs) {
  MessageProcessingHooks hooks = CurrentHooks();
  if (hooks.waitAndProcess) {
    hooks.waitAndProcess(timeoutMs);
    return;
  }
  WaitForPlatformMessage(timeoutMs);
  DispatchPendingPlatformMessages();
}

void SetMessageProcessingHooks(MessageProcessingHooks hooks) {
  HookStore& store = Hooks();
  std::lock_guard lock(store.mutex);
  store.hooks = std::move(hooks);
}

int DispatchPendingPlatformMessages() {
  int dispatched = 0;
  win::MSG msg;
  while (win::PeekMessage(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    if (msg.message == win::WM_QUIT) {
      quitTaken = true;
      terminating = true;
      quitExitCode = static_cast<int>(msg.wParam);
      break;
    }
    win::TranslateMessage(&msg);
    win::DispatchMessage(&msg);
    ++dispatched;
  }
  return dispatched;
}

bool ApplicationTerminating() { return terminating; }

void SetApplicationTerminating(bool value) { terminating = value; }

bool TakePlatformQuitMessage(int* exitCode) {
  if (!quitTaken) return false;
  quitTaken = false;
  if (exitCode != nullptr) *exitCode = quitExitCode;
  return true;
}

}  // namespace platform
