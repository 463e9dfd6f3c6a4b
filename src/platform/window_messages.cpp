// Window classes, hidden windows and the message functions over the per-thread
// queues.
//
// A window handle is not an address: it is a number taken from a counter that
// only goes up, dressed as a pointer. A handle therefore never comes back for a
// new window, and a stale one (a late notification, a destroyed window) is
// simply not found in the table.
#include "platform/window_messages.h"

#include <strings.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/thread_message_queue.h"

namespace win {

namespace {

struct RegisteredClass {
  std::string name;
  WNDCLASS wc;
};

struct Window {
  HWND handle = nullptr;
  std::string className;
  WNDPROC proc = nullptr;
  std::vector<unsigned char> extra;
  LONG_PTR userData = 0;
  std::shared_ptr<detail::ThreadMessageQueue> queue;
  bool destroying = false;
};

std::string FoldedClassName(const char* name) {
  std::string folded(name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

// Process-wide and never destroyed (see thread_message_queue.cpp). PostMessage
// holds `mutex` while it hands the message to the queue, and DestroyWindow
// takes the window out of the table under `mutex` before it purges the queue;
// so no message for a destroyed window can slip in after the purge.
struct WindowTable {
  std::mutex mutex;
  std::unordered_map<std::string, RegisteredClass> classes;
  std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows;
  std::uintptr_t nextHandle = 0x10000;
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;
  return *table;
}

std::shared_ptr<Window> FindLocked(WindowTable& table, HWND handle) {
  auto it = table.windows.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == table.windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> Find(HWND handle) {
  if (handle == nullptr) return nullptr;
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  return FindLocked(table, handle);
}

// Extra storage is kept in whole pointer-sized slots, so a class that asks for
// 4 extra bytes (as on 32-bit Windows) still holds one pointer at index 0.
std::size_t ExtraBytesFor(int cbWndExtra) {
  if (cbWndExtra <= 0) return 0;
  const std::size_t slot = sizeof(LONG_PTR);
  return (static_cast<std::size_t>(cbWndExtra) + slot - 1) / slot * slot;
}

bool AcceptsFilter(const MSG& m, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && m.hwnd != window) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return m.message >= filterMin && m.message <= filterMax;
}

bool TakeMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove, bool block) {
  auto accepts = [=](const MSG& m) { return AcceptsFilter(m, window, filterMin, filterMax); };
  return detail::CurrentThreadQueue().Take(msg, accepts, remove, block);
}

}  // namespace

BOOL RegisterClass(const WNDCLASS* wc) {
  if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr) return 0;
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  std::string key = FoldedClassName(wc->lpszClassName);
  if (table.classes.contains(key)) return 0;
  RegisteredClass& rc = table.classes[key];
  rc.name = wc->lpszClassName;
  rc.wc = *wc;
  rc.wc.lpszClassName = rc.name.c_str();
  return 1;
}

BOOL GetClassInfo(const char* className, WNDCLASS* out) {
  if (className == nullptr) return 0;
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.classes.find(FoldedClassName(className));
  if (it == table.classes.end()) return 0;
  if (out != nullptr) *out = it->second.wc;
  return 1;
}

BOOL UnregisterClass(const char* className) {
  if (className == nullptr) return 0;
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  std::string key = FoldedClassName(className);
  auto it = table.classes.find(key);
  if (it == table.classes.end()) return 0;
  // As on Windows, a class stays while windows of it exist.
  for (const auto& [id, w] : table.windows)
    if (w->className == key) return 0;
  table.classes.erase(it);
  return 1;
}

HWND CreateWindowEx(DWORD, const char* className, const char*, DWORD, int, int, int, int, HWND,
                    void*, void*, void*) {
  if (className == nullptr) return nullptr;
  auto queue = detail::CurrentThreadQueuePtr();
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  std::string key = FoldedClassName(className);
  auto it = table.classes.find(key);
  if (it == table.classes.end()) return nullptr;
  auto w = std::make_shared<Window>();
  w->handle = reinterpret_cast<HWND>(table.nextHandle++);
  w->className = key;
  w->proc = it->second.wc.lpfnWndProc;
  w->extra.assign(ExtraBytesFor(it->second.wc.cbWndExtra), 0);
  w->queue = std::move(queue);
  table.windows.emplace(reinterpret_cast<std::uintptr_t>(w->handle), w);
  return w->handle;
}

BOOL DestroyWindow(HWND window) {
  std::shared_ptr<Window> w;
  {
    WindowTable& table = Table();
    std::lock_guard lock(table.mutex);
    w = FindLocked(table, window);
    if (!w || w->destroying) return 0;
    w->destroying = true;
  }
  // The procedure hears WM_DESTROY while the window still exists, as on
  // Windows; `w` keeps the record alive even when this runs inside the
  // window's own procedure.
  // The window goes even when the procedure throws.
  struct Remover {
    HWND window;
    detail::ThreadMessageQueue& queue;
    ~Remover() {
      {
        WindowTable& table = Table();
        std::lock_guard lock(table.mutex);
        table.windows.erase(reinterpret_cast<std::uintptr_t>(window));
      }
      queue.DropMessagesFor(window);
    }
  } remover{window, *w->queue};
  w->proc(window, WM_DESTROY, 0, 0);
  return 1;
}

BOOL IsWindow(HWND window) { return Find(window) ? 1 : 0; }

LONG_PTR SetWindowLong(HWND window, int index, LONG_PTR value) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto w = FindLocked(table, window);
  if (!w) return 0;
  LONG_PTR previous = 0;
  if (index == GWL_USERDATA) {
    previous = w->userData;
    w->userData = value;
    return previous;
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) return 0;
  std::memcpy(&previous, w->extra.data() + index, sizeof previous);
  std::memcpy(w->extra.data() + index, &value, sizeof value);
  return previous;
}

LONG_PTR GetWindowLong(HWND window, int index) {
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto w = FindLocked(table, window);
  if (!w) return 0;
  if (index == GWL_USERDATA) return w->userData;
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) return 0;
  LONG_PTR value = 0;
  std::memcpy(&value, w->extra.data() + index, sizeof value);
  return value;
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) {
    // As on Windows: a null window posts to the calling thread itself.
    return PostThreadMessage(GetCurrentThreadId(), message, wParam, lParam);
  }
  MSG m{window, message, wParam, lParam, GetTickCount()};
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto w = FindLocked(table, window);
  if (!w) return 0;
  w->queue->Post(m);
  return 1;
}

void PostQuitMessage(int exitCode) { detail::CurrentThreadQueue().PostQuit(exitCode); }

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  auto queue = detail::FindThreadQueue(threadId);
  if (!queue) return 0;
  queue->Post(MSG{nullptr, message, wParam, lParam, GetTickCount()});
  return 1;
}

BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (msg == nullptr) return 0;
  return TakeMessage(msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, false) ? 1
                                                                                               : 0;
}

BOOL GetMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  if (window != nullptr && !IsWindow(window)) return -1;
  TakeMessage(msg, window, filterMin, filterMax, true, true);
  return msg->message == WM_QUIT ? 0 : 1;
}

BOOL TranslateMessage(const MSG*) {
  // There is no keyboard input on hidden windows: nothing to translate.
  return 0;
}

namespace {
thread_local int dispatchDepth = 0;
}  // namespace

LRESULT DispatchMessage(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  auto w = Find(msg->hwnd);
  if (!w) return 0;
  struct Depth {
    Depth() { ++dispatchDepth; }
    ~Depth() { --dispatchDepth; }
  } depth;
  return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int DispatchDepth() { return dispatchDepth; }

DWORD GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int MessageQueueDescriptor() { return detail::CurrentThreadQueue().Descriptor(); }

void WaitForMessage(int timeoutMs) { detail::CurrentThreadQueue().Wait(timeoutMs); }

void SetReadinessSource(ReadinessPrepare prepare, ReadinessDeliver deliver) {
  detail::SetQueueReadinessSource(prepare, deliver);
}

BOOL WatchDescriptor(HWND window, int fd, std::uint32_t events, std::uint64_t key) {
  auto w = Find(window);
  return w && w->queue->Watch(fd, events, key) ? 1 : 0;
}

void UnwatchDescriptorHere(int fd) { detail::CurrentThreadQueue().Watch(fd, 0, 0); }

DWORD GetWindowThreadId(HWND window) {
  auto w = Find(window);
  return w ? w->queue->ThreadId() : 0;
}

}  // namespace win
