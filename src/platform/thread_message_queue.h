// The message queue of one thread (internal to the platform library). Posting
// is thread-safe; taking is done by the owning thread. An eventfd mirrors the
// queue: it is readable exactly while a message (or a quit request) waits, so
// an outer event loop can poll it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/window_messages.h"

namespace win::detail {

class ThreadMessageQueue {
 public:
  explicit ThreadMessageQueue(DWORD threadId);
  ~ThreadMessageQueue();

  ThreadMessageQueue(const ThreadMessageQueue&) = delete;
  ThreadMessageQueue& operator=(const ThreadMessageQueue&) = delete;

  DWORD ThreadId() const { return threadId_; }
  int Descriptor() const { return eventFd_; }

  void Post(const MSG& msg);
  void PostQuit(int exitCode);

  // Looks for the oldest posted message that `accepts`; when there is none and
  // a quit was requested, yields WM_QUIT (the quit request is lower in rank
  // than posted messages and passes every filter). With `remove` the message
  // is taken out of the queue. With `block` waits until one turns up.
  bool Take(MSG* out, const std::function<bool(const MSG&)>& accepts, bool remove, bool block);

  // Forgets every message for `window`: it was destroyed before dispatch.
  void DropMessagesFor(HWND window);

 private:
  bool HasWaiting() const { return !messages_.empty() || quitPending_; }
  // Keeps the eventfd readable exactly while HasWaiting(); called with the lock
  // held after every change.
  void SyncDescriptor(bool wasWaiting);

  const DWORD threadId_;
  int eventFd_ = -1;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<MSG> messages_;
  bool quitPending_ = false;
  int quitCode_ = 0;
};

// The queue of the calling thread, created on first use.
ThreadMessageQueue& CurrentThreadQueue();
std::shared_ptr<ThreadMessageQueue> CurrentThreadQueuePtr();
// The queue of another thread, or null when that thread has none (any more).
std::shared_ptr<ThreadMessageQueue> FindThreadQueue(DWORD threadId);

}  // namespace win::detail
