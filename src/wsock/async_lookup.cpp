// WSAAsyncGetHostByName / WSAAsyncGetHostByAddr: the lookups run one after
// another on a worker thread, so they complete in the order asked for. A
// finished lookup is copied into the caller's buffer and its completion posted
// under the worker's mutex, and WSACancelAsyncRequest takes the task out under
// that same mutex: once a cancel has returned, the buffer is never written and
// nothing is posted for the task.
#include "wsock/windows_numbers.h"

#include <array>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "wsock/error_codes.h"
#include "wsock/host_lookup.h"
#include "wsock/wsock_functions.h"

namespace wsock {

namespace {

struct LookupTask {
  ws::HANDLE handle = 0;
  win::HWND window = nullptr;
  unsigned int message = 0;
  bool byAddress = false;
  std::string name;
  std::array<std::uint8_t, 4> address{};
  char* buffer = nullptr;
  int bufferLength = 0;
};

class LookupWorker {
 public:
  static LookupWorker& Instance() {
    // Never destroyed: the worker may be inside the resolver at process exit.
    static LookupWorker* worker = new LookupWorker;
    return *worker;
  }

  ws::HANDLE Start(std::unique_ptr<LookupTask> task) {
    std::lock_guard lock(mutex_);
    const ws::HANDLE handle = nextHandle_++;
    task->handle = handle;
    pending_.insert(handle);
    queue_.push_back(std::move(task));
    if (!started_) {
      std::thread([this] { Run(); }).detach();
      started_ = true;
    }
    wake_.notify_one();
    return handle;
  }

  bool Cancel(ws::HANDLE handle) {
    std::lock_guard lock(mutex_);
    return pending_.erase(handle) != 0;
  }

  void CancelAll() {
    std::lock_guard lock(mutex_);
    pending_.clear();
  }

 private:
  LookupWorker() = default;

  void Run() {
    for (;;) {
      std::unique_ptr<LookupTask> task;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return !queue_.empty(); });
        task = std::move(queue_.front());
        queue_.pop_front();
        if (pending_.count(task->handle) == 0) continue;  // cancelled while queued
      }
      HostRecord record;
      const int error = task->byAddress ? ResolveHostAddress(task->address, &record)
                                        : ResolveHostName(task->name, &record);
      Complete(*task, error, record);
    }
  }

  void Complete(const LookupTask& task, int error, const HostRecord& record) {
    std::lock_guard lock(mutex_);
    if (pending_.erase(task.handle) == 0) return;  // cancelled meanwhile
    std::size_t length = 0;
    if (error == 0) {
      length = HostEntrySize(record);
      if (length > static_cast<std::size_t>(task.bufferLength)) {
        error = ws::WSAENOBUFS;  // the low half then tells the size needed
      } else {
        LayOutHostEntry(record, task.buffer);
      }
    }
    const long reportedLength = static_cast<long>(length > 0xFFFF ? 0xFFFF : length);
    win::PostMessage(task.window, task.message, static_cast<win::WPARAM>(task.handle),
                     static_cast<win::LPARAM>(ws::WSAMAKESELECTREPLY(reportedLength, error)));
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::unique_ptr<LookupTask>> queue_;
  // Tasks not yet completed or cancelled; a task is "known" only while here.
  std::unordered_set<ws::HANDLE> pending_;
  ws::HANDLE nextHandle_ = 1;  // 0 means failure to the caller
  bool started_ = false;
};

ws::HANDLE StartLookup(std::unique_ptr<LookupTask> task) {
  if (!IsStarted()) {
    SetLastError(ws::WSANOTINITIALISED);
    return 0;
  }
  if (task->buffer == nullptr || task->bufferLength <= 0) {
    SetLastError(ws::WSAEFAULT);
    return 0;
  }
  if (task->window == nullptr) {
    SetLastError(ws::WSAEINVAL);
    return 0;
  }
  return LookupWorker::Instance().Start(std::move(task));
}

}  // namespace

ws::HANDLE AsyncGetHostByName(win::HWND window, unsigned int message, const char* name,
                              char* buffer, int bufferLength) {
  if (name == nullptr) {
    SetLastError(IsStarted() ? ws::WSAEFAULT : ws::WSANOTINITIALISED);
    return 0;
  }
  auto task = std::make_unique<LookupTask>();
  task->window = window;
  task->message = message;
  task->name = name;
  task->buffer = buffer;
  task->bufferLength = bufferLength;
  return StartLookup(std::move(task));
}

ws::HANDLE AsyncGetHostByAddr(win::HWND window, unsigned int message, const char* address,
                              int length, int type, char* buffer, int bufferLength) {
  if (!IsStarted()) {
    SetLastError(ws::WSANOTINITIALISED);
    return 0;
  }
  if (type != wn::kPfInet) {
    SetLastError(ws::WSAEAFNOSUPPORT);
    return 0;
  }
  if (address == nullptr || length < 4) {
    SetLastError(ws::WSAEFAULT);
    return 0;
  }
  auto task = std::make_unique<LookupTask>();
  task->window = window;
  task->message = message;
  task->byAddress = true;
  std::memcpy(task->address.data(), address, 4);
  task->buffer = buffer;
  task->bufferLength = bufferLength;
  return StartLookup(std::move(task));
}

int CancelAsyncRequest(ws::HANDLE task) {
  if (!IsStarted()) return Fail(ws::WSANOTINITIALISED);
  if (!LookupWorker::Instance().Cancel(task)) return Fail(ws::WSAEINVAL);
  return 0;
}

void CancelAllLookups() { LookupWorker::Instance().CancelAll(); }

}  // namespace wsock
