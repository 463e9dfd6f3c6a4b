// The message queue of one thread (internal to the platform library). Posting
// is thread-safe; taking is done by the owning thread.
//
// The queue's descriptor is an epoll set for an outer event loop to poll. It
// holds an eventfd, signalled while a message (or a quit request) waits, and
// the descriptors a library watches through the queue (the socket stand-in's
// selected sockets), so their readiness wakes the owning thread itself. Each
// look at the queue that finds nothing to take first lets the readiness
// source prepare (post what is due, bring the watched set up to date), then
// asks the system what became ready and hands it to the source, which posts
// the notifications on this very thread.
#pragma once

#include <condition_variable>
#include <cstdint>
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
  int Descriptor() const { return epollFd_; }

  void Post(const MSG& msg);
  void PostQuit(int exitCode);

  // Adds `fd` to the watched descriptors with these epoll `events`
  // (level-triggered), reported to the source with `key`, or changes them;
  // `events` 0 takes it out. Any thread may call it.
  bool Watch(int fd, std::uint32_t events, std::uint64_t key);

  // On the owning thread: returns once a message waits, something watched
  // became ready (and was handed to the source), or `timeoutMs` (-1: none)
  // passed. The caller takes the messages right after.
  void Wait(int timeoutMs);

  // Looks for the oldest posted message that `accepts`; when there is none and
  // a quit was requested, yields WM_QUIT (the quit request is lower in rank
  // than posted messages and passes every filter). With `remove` the message
  // is taken out of the queue. With `block` waits until one turns up.
  bool Take(MSG* out, const std::function<bool(const MSG&)>& accepts, bool remove, bool block);

  // Forgets every message for `window`: it was destroyed before dispatch.
  void DropMessagesFor(HWND window);

 private:
  bool HasWaiting() const { return !messages_.empty() || quitPending_; }
  // Signals the eventfd while HasWaiting() and clears it otherwise; called
  // with the lock held. What the owning thread posts during a look is taken
  // right after it, so it is signalled only if it is left waiting.
  void SyncSignal();
  bool FindLocked(MSG* out, const std::function<bool(const MSG&)>& accepts, bool remove);
  // On the owning thread, without the lock: the source prepares, then what
  // became ready within `timeoutMs` goes to it; with `skipWait` only the
  // preparing is done. Returns false when the wait was interrupted.
  bool Look(int timeoutMs, bool skipWait);

  const DWORD threadId_;
  int eventFd_ = -1;
  int epollFd_ = -1;
  bool signalled_ = false;
  bool collecting_ = false;  // the owning thread is in Look
  // A look handed something over and no look has asked the system since: the
  // next look that finds the queue empty (the "anything else?" after handling
  // it) may skip asking again; anything that turned up meanwhile keeps the
  // descriptor readable for the caller's next wait.
  bool lookDelivered_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<MSG> messages_;
  bool quitPending_ = false;
  int quitCode_ = 0;
};

// The readiness source of every queue (see win::SetReadinessSource).
void SetQueueReadinessSource(ReadinessPrepare prepare, ReadinessDeliver deliver);

// The queue of the calling thread, created on first use.
ThreadMessageQueue& CurrentThreadQueue();
std::shared_ptr<ThreadMessageQueue> CurrentThreadQueuePtr();
// The queue of another thread, or null when that thread has none (any more).
std::shared_ptr<ThreadMessageQueue> FindThreadQueue(DWORD threadId);

}  // namespace win::detail
