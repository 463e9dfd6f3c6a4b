// Per-thread message queues and the table that finds them by thread id.
#include "platform/thread_message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

namespace win::detail {

namespace {

// Process-wide and deliberately never destroyed: helper threads of the socket
// stand-in may still post while the process runs its exit handlers.
struct QueueTable {
  std::mutex mutex;
  std::unordered_map<DWORD, std::weak_ptr<ThreadMessageQueue>> byThread;
};

QueueTable& Queues() {
  static QueueTable* table = new QueueTable;
  return *table;
}

// Thread ids are handed out once and never again, so a PostThreadMessage to a
// thread that has ended can't reach a newer one.
std::atomic<DWORD> nextThreadId{1};

DWORD ThisThreadId() {
  thread_local const DWORD id = nextThreadId.fetch_add(1);
  return id;
}

// Owns the calling thread's queue; the queue outlives the thread while windows
// created on it still refer to it.
struct QueueHolder {
  std::shared_ptr<ThreadMessageQueue> queue;
  ~QueueHolder() {
    if (!queue) return;
    QueueTable& table = Queues();
    std::lock_guard lock(table.mutex);
    table.byThread.erase(queue->ThreadId());
  }
};

thread_local QueueHolder holder;

}  // namespace

ThreadMessageQueue::ThreadMessageQueue(DWORD threadId) : threadId_(threadId) {
  eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (eventFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

ThreadMessageQueue::~ThreadMessageQueue() {
  if (eventFd_ >= 0) close(eventFd_);
}

void ThreadMessageQueue::SyncDescriptor(bool wasWaiting) {
  const bool waiting = HasWaiting();
  if (waiting == wasWaiting) return;
  if (waiting) {
    const std::uint64_t one = 1;
    // Cannot fail: the counter is 0 or 1 here, far from overflowing.
    [[maybe_unused]] ssize_t n = write(eventFd_, &one, sizeof one);
  } else {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t n = read(eventFd_, &value, sizeof value);
  }
}

void ThreadMessageQueue::Post(const MSG& msg) {
  std::lock_guard lock(mutex_);
  const bool was = HasWaiting();
  messages_.push_back(msg);
  SyncDescriptor(was);
  changed_.notify_all();
}

void ThreadMessageQueue::PostQuit(int exitCode) {
  std::lock_guard lock(mutex_);
  const bool was = HasWaiting();
  quitPending_ = true;
  quitCode_ = exitCode;
  SyncDescriptor(was);
  changed_.notify_all();
}

bool ThreadMessageQueue::Take(MSG* out, const std::function<bool(const MSG&)>& accepts, bool remove,
                              bool block) {
  std::unique_lock lock(mutex_);
  for (;;) {
    for (auto it = messages_.begin(); it != messages_.end(); ++it) {
      if (!accepts(*it)) continue;
      *out = *it;
      if (remove) {
        const bool was = HasWaiting();
        messages_.erase(it);
        SyncDescriptor(was);
      }
      return true;
    }
    if (quitPending_) {
      *out = MSG{};
      out->message = WM_QUIT;
      out->wParam = static_cast<WPARAM>(quitCode_);
      out->time = GetTickCount();
      if (remove) {
        const bool was = HasWaiting();
        quitPending_ = false;
        SyncDescriptor(was);
      }
      return true;
    }
    if (!block) return false;
    changed_.wait(lock);
  }
}

void ThreadMessageQueue::DropMessagesFor(HWND window) {
  std::lock_guard lock(mutex_);
  const bool was = HasWaiting();
  std::erase_if(messages_, [window](const MSG& m) { return m.hwnd == window; });
  SyncDescriptor(was);
}

std::shared_ptr<ThreadMessageQueue> CurrentThreadQueuePtr() {
  if (!holder.queue) {
    auto queue = std::make_shared<ThreadMessageQueue>(ThisThreadId());
    QueueTable& table = Queues();
    std::lock_guard lock(table.mutex);
    table.byThread[queue->ThreadId()] = queue;
    holder.queue = std::move(queue);
  }
  return holder.queue;
}

ThreadMessageQueue& CurrentThreadQueue() { return *CurrentThreadQueuePtr(); }

std::shared_ptr<ThreadMessageQueue> FindThreadQueue(DWORD threadId) {
  QueueTable& table = Queues();
  std::lock_guard lock(table.mutex);
  auto it = table.byThread.find(threadId);
  return it == table.byThread.end() ? nullptr : it->second.lock();
}

}  // namespace win::detail

namespace win {

DWORD GetCurrentThreadId() { return detail::ThisThreadId(); }

}  // namespace win
