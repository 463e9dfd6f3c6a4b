// "Let the application process its pending messages": the socket layer and the
// command cycle ask for it without knowing the GUI toolkit. The application
// installs the real work at start-up; without it, only the platform queue of
// the calling thread is served.
#pragma once

#include <functional>

namespace platform {

// Processes everything pending in both the toolkit's queue and the platform
// queue, then returns without waiting.
void ProcessMessages();

// Blocks until at least one event of either source has arrived (or `timeoutMs`
// passed, when >= 0), then processes everything pending and returns.
void ProcessMessagesWaiting(int timeoutMs = -1);

struct MessageProcessingHooks {
  std::function<void()> processPending;
  std::function<void(int timeoutMs)> waitAndProcess;
};

// Installs the application's implementation; an empty hook restores the
// platform-queue-only default.
void SetMessageProcessingHooks(MessageProcessingHooks hooks);

// The default: dispatches every message waiting in the calling thread's
// platform queue. Returns how many were dispatched. A WM_QUIT is taken out,
// not dispatched, and ends the round; TakePlatformQuitMessage reports it.
int DispatchPendingPlatformMessages();

// True once for each WM_QUIT that DispatchPendingPlatformMessages took out on
// the calling thread; its exit code goes to `exitCode` when given.
bool TakePlatformQuitMessage(int* exitCode = nullptr);

// True on the calling thread once a WM_QUIT has been taken out of its queue
// (or the application said so): waits that would outlast the application
// give up.
bool ApplicationTerminating();
void SetApplicationTerminating(bool value);

}  // namespace platform
