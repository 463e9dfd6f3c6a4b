// Hidden windows and the per-thread message queue, with the calling shapes of
// the window functions the socket layer is written against. Windows here are
// never shown: they exist to receive posted messages through their procedure.
//
// Threading: every thread that creates a window or calls PeekMessage/GetMessage
// has its own queue. PostMessage may be called from any thread; a window's
// messages go to the queue of the thread that created it.
#pragma once

#include <cstdint>

namespace win {

struct WindowObject;
using HWND = WindowObject*;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD = std::uint32_t;
using LONG_PTR = std::intptr_t;
using BOOL = int;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// Index of the pointer-sized slot in a window's extra storage.
constexpr int GWL_USERDATA = -21;

struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  const char* lpszClassName = nullptr;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
};

// Returns false when a class of that name (compared case-insensitively) exists.
BOOL RegisterClass(const WNDCLASS* wc);
BOOL GetClassInfo(const char* className, WNDCLASS* out);
BOOL UnregisterClass(const char* className);

// Creates a hidden window of a registered class on the calling thread; null
// when the class is unknown. Position, size, parent and menu are accepted for
// the familiar shape and ignored.
HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    int x, int y, int width, int height, HWND parent, void* menu, void* instance,
                    void* param);

// The procedure receives WM_DESTROY while the window still exists; then the
// window is gone and its queued messages with it. Safe inside the window's own
// procedure. Handles are never reused, so a stale one reaches no window.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);

// The slot at `index` (0 .. cbWndExtra - sizeof(LONG_PTR), or GWL_USERDATA),
// pointer-sized. Returns the previous value. The extra storage is rounded up to
// whole pointer-sized slots, so a class declaring 4 extra bytes (as on 32-bit
// Windows) still holds a pointer at index 0.
LONG_PTR SetWindowLong(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLong(HWND window, int index);

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Thread-safe. Fails (returns 0) for a window that does not exist; a message
// whose window is destroyed before it is dispatched is dropped. A null window
// posts a thread message to the calling thread.
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
// Posts to the queue of another thread (a thread id from GetCurrentThreadId).
BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
DWORD GetCurrentThreadId();

// Filters: window null = any window of this thread (and thread messages);
// min = max = 0 = any message. Messages come in the order posted. WM_QUIT
// (from PostQuitMessage) comes only when no posted message matches, and it
// passes every filter.
BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Blocks until a message arrives; returns 0 for WM_QUIT, -1 on error, else 1.
BOOL GetMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);

// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();
// Sleep(0) yields the processor.
void Sleep(DWORD milliseconds);

// A descriptor of the calling thread's queue for an outer event loop to watch:
// it polls readable while a message waits, or while a watched descriptor has
// news that the next look at the queue (PeekMessage) turns into messages.
int MessageQueueDescriptor();

// Blocks until a message waits in the calling thread's queue (watched
// descriptors included) or `timeoutMs` (-1: no limit) passed; take the
// messages right after.
void WaitForMessage(int timeoutMs);

// Descriptor readiness straight into a thread's queue, for a library that
// turns it into posted messages (the socket stand-in) without a helper thread.
// Both run on a queue's own thread, without any lock of the queue: `prepare`
// whenever a look at the queue finds nothing to take, before the system is
// asked (to post what is due and bring the watched descriptors up to date);
// `deliver` with the keys and epoll event bits of what is ready. One source
// per process.
using ReadinessPrepare = void (*)();
using ReadinessDeliver = void (*)(const std::uint64_t* keys, const std::uint32_t* events,
                                  int count);
void SetReadinessSource(ReadinessPrepare prepare, ReadinessDeliver deliver);
// Watches `fd` for these epoll `events` (level-triggered; 0: no longer) in
// the queue of the thread that owns `window`, reported with `key` (never 0).
// False when the window does not exist or the system refused.
BOOL WatchDescriptor(HWND window, int fd, std::uint32_t events, std::uint64_t key);
// Stops watching `fd` in the calling thread's own queue.
void UnwatchDescriptorHere(int fd);
// The thread that owns `window`, or 0.
DWORD GetWindowThreadId(HWND window);
// How many DispatchMessage calls are under way on the calling thread: inside
// one, the loop that dispatched it looks at the queue again afterwards.
int DispatchDepth();

}  // namespace win
