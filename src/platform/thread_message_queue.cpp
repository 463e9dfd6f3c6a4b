// Per-thread message queues and the table that finds them by thread id.
#include "platform/thread_message_queue.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace win::detail {

namespace {

// Process-wide and deliberately never destroyed: the socket stand-in's lookup
// threads may still post while the process runs its exit handlers.
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

struct ReadinessSource {
  std::atomic<ReadinessPrepare> prepare{nullptr};
  std::atomic<ReadinessDeliver> deliver{nullptr};
};

ReadinessSource& Source() {
  static ReadinessSource* source = new ReadinessSource;
  return *source;
}

// The eventfd's key in the epoll set; watched descriptors have keys of their
// own, which are never 0.
constexpr std::uint64_t kEventFdKey = 0;

}  // namespace

void SetQueueReadinessSource(ReadinessPrepare prepare, ReadinessDeliver deliver) {
  Source().deliver.store(deliver);
  Source().prepare.store(prepare);
}

ThreadMessageQueue::ThreadMessageQueue(DWORD threadId) : threadId_(threadId) {
  eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (eventFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kEventFdKey;
  if (epollFd_ < 0 || epoll_ctl(epollFd_, EPOLL_CTL_ADD, eventFd_, &event) != 0) {
    const int error = errno;
    close(eventFd_);
    if (epollFd_ >= 0) close(epollFd_);
    throw std::system_error(error, std::generic_category(), "epoll");
  }
}

ThreadMessageQueue::~ThreadMessageQueue() {
  close(epollFd_);
  close(eventFd_);
}

void ThreadMessageQueue::SyncSignal() {
  const bool waiting = HasWaiting();
  if (waiting == signalled_) return;
  if (waiting) {
    const std::uint64_t one = 1;
    // Cannot fail: the counter is 0 or 1 here, far from overflowing.
    [[maybe_unused]] ssize_t n = write(eventFd_, &one, sizeof one);
  } else {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t n = read(eventFd_, &value, sizeof value);
  }
  signalled_ = waiting;
}

void ThreadMessageQueue::Post(const MSG& msg) {
  std::lock_guard lock(mutex_);
  messages_.push_back(msg);
  changed_.notify_all();
  if (collecting_ && GetCurrentThreadId() == threadId_) return;
  SyncSignal();
}

void ThreadMessageQueue::PostQuit(int exitCode) {
  std::lock_guard lock(mutex_);
  quitPending_ = true;
  quitCode_ = exitCode;
  changed_.notify_all();
  SyncSignal();
}

bool ThreadMessageQueue::Watch(int fd, std::uint32_t events, std::uint64_t key) {
  if (events == 0) return epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr) == 0 || errno == ENOENT;
  epoll_event event{};
  event.events = events;
  event.data.u64 = key;
  if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &event) == 0) return true;
  return errno == ENOENT && epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) == 0;
}

bool ThreadMessageQueue::Look(int timeoutMs, bool skipWait) {
  {
    std::lock_guard lock(mutex_);
    collecting_ = true;
  }
  struct Done {
    ThreadMessageQueue& queue;
    ~Done() {
      std::lock_guard lock(queue.mutex_);
      queue.collecting_ = false;
    }
  } done{*this};
  ReadinessSource& source = Source();
  if (ReadinessPrepare prepare = source.prepare.load()) prepare();
  if (skipWait) return true;
  {
    // What the preparing posted is due now: no waiting for more.
    std::lock_guard lock(mutex_);
    if (HasWaiting()) timeoutMs = 0;
  }
  constexpr int kMaxEvents = 64;
  epoll_event events[kMaxEvents];
  const int n = epoll_wait(epollFd_, events, kMaxEvents, timeoutMs);
  if (n < 0) return false;
  std::uint64_t keys[kMaxEvents];
  std::uint32_t bits[kMaxEvents];
  int count = 0;
  for (int i = 0; i < n; ++i) {
    if (events[i].data.u64 == kEventFdKey) continue;
    keys[count] = events[i].data.u64;
    bits[count] = events[i].events;
    ++count;
  }
  ReadinessDeliver deliver = source.deliver.load();
  if (count > 0 && deliver != nullptr) deliver(keys, bits, count);
  std::lock_guard lock(mutex_);
  lookDelivered_ = count > 0;
  return true;
}

void ThreadMessageQueue::Wait(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (HasWaiting()) return;
    }
    int wait = timeoutMs;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    // Interrupted by a signal: the wait goes on for the time that is left.
    if (Look(wait, false)) return;
  }
}

bool ThreadMessageQueue::FindLocked(MSG* out, const std::function<bool(const MSG&)>& accepts,
                                    bool remove) {
  for (auto it = messages_.begin(); it != messages_.end(); ++it) {
    if (!accepts(*it)) continue;
    *out = *it;
    if (remove) messages_.erase(it);
    return true;
  }
  if (!quitPending_) return false;
  *out = MSG{};
  out->message = WM_QUIT;
  out->wParam = static_cast<WPARAM>(quitCode_);
  out->time = GetTickCount();
  if (remove) quitPending_ = false;
  return true;
}

bool ThreadMessageQueue::Take(MSG* out, const std::function<bool(const MSG&)>& accepts, bool remove,
                              bool block) {
  bool looked = false;
  for (;;) {
    bool skipWait = false;
    {
      std::unique_lock lock(mutex_);
      if (FindLocked(out, accepts, remove)) {
        SyncSignal();
        return true;
      }
      if (looked) {
        if (!block) {
          SyncSignal();
          return false;
        }
        if (HasWaiting()) {
          // Only messages the filter passes over wait, so the descriptor stays
          // readable; sleep until the next post instead, looking at the
          // watched descriptors now and then.
          changed_.wait_for(lock, std::chrono::milliseconds(10));
          looked = false;
          continue;
        }
      } else {
        skipWait = !block && std::exchange(lookDelivered_, false);
      }
    }
    Look(looked ? -1 : 0, skipWait);
    looked = true;
  }
}

void ThreadMessageQueue::DropMessagesFor(HWND window) {
  std::lock_guard lock(mutex_);
  std::erase_if(messages_, [window](const MSG& m) { return m.hwnd == window; });
  SyncSignal();
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
