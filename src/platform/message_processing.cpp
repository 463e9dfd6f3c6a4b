// The application's "process pending messages", reachable without the GUI
// toolkit: the application installs hooks; without them only the calling
// thread's platform queue is served.
#include "platform/message_processing.h"

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

constexpr std::chrono::milliseconds kDispatchSlice{4};

thread_local bool quitTaken = false;
thread_local int quitExitCode = 0;
thread_local bool terminating = false;

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
  win::WaitForMessage(timeoutMs);
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
  // A peer that sends without pause keeps the queue full for ever: after a
  // short slice the round ends with messages still waiting, so the waits,
  // the toolkit's timers and the user get their turn before the next round.
  // The round ends with a look at the queue after the last message handled,
  // which also turns what that handler left due (bytes it left unread) into
  // messages for the next round.
  const auto sliceEnd = std::chrono::steady_clock::now() + kDispatchSlice;
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
    if (std::chrono::steady_clock::now() >= sliceEnd) {
      win::PeekMessage(&msg, nullptr, 0, 0, win::PM_NOREMOVE);
      break;
    }
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
