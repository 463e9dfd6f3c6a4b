// Hidden windows and the per-thread message queue: classes, slots, posting from
// other threads, the queue descriptor, quit and the order of dispatch.
#include "platform/window_messages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/test_window.h"
#include "support/thread_state.h"

using namespace win;
using support::Readable;

namespace {

thread_local std::vector<MSG>* seen = nullptr;

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (seen != nullptr) seen->push_back({hwnd, message, wParam, lParam, 0});
  if (message == WM_USER + 99) return static_cast<LRESULT>(wParam * 2);
  if (message == WM_USER + 98) {  // destroys its own window
    EXPECT_EQ(DestroyWindow(hwnd), 1);
    EXPECT_EQ(PostMessage(hwnd, WM_USER, 0, 0), 0);
    return 7;
  }
  return DefWindowProc(hwnd, message, wParam, lParam);
}

HWND NewWindow(const char* className = "TestRecordingClass") {
  HWND h = support::NewTestWindow(className, RecordingProc);
  EXPECT_NE(h, nullptr);
  return h;
}

// Takes out and dispatches the whole queue; the number taken out.
int DispatchAll() {
  MSG m;
  int count = 0;
  for (; PeekMessage(&m, nullptr, 0, 0, PM_REMOVE); ++count) DispatchMessage(&m);
  return count;
}

class WindowMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    DispatchAll();
    seen = &log;
  }
  void TearDown() override {
    seen = nullptr;
    DispatchAll();
  }
  std::vector<MSG> log;
};

}  // namespace

TEST_F(WindowMessages, ClassesAreNamedWithoutCaseAndStayWhileAWindowUsesThem) {
  HWND h = NewWindow("DupClass");
  WNDCLASS wc;
  wc.lpfnWndProc = DefWindowProc;
  wc.lpszClassName = "DUPCLASS";
  EXPECT_EQ(RegisterClass(&wc), 0);
  WNDCLASS info;
  ASSERT_EQ(GetClassInfo("dupclass", &info), 1);
  EXPECT_EQ(info.lpfnWndProc, &RecordingProc);
  EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(UnregisterClass("DupClass"), 0);
  DestroyWindow(h);
  EXPECT_EQ(UnregisterClass("dupclass"), 1);
}

TEST_F(WindowMessages, SlotsArePointerSizedEvenInFourExtraBytes) {
  HWND h = support::NewTestWindow("FourByteClass", RecordingProc, 4);
  const auto big = static_cast<LONG_PTR>(0x1234567890ABCDEFLL);
  EXPECT_EQ(SetWindowLong(h, 0, big), 0);
  EXPECT_EQ(GetWindowLong(h, 0), big);
  EXPECT_EQ(SetWindowLong(h, 0, 5), big);
  EXPECT_EQ(SetWindowLong(h, GWL_USERDATA, 42), 0);
  EXPECT_EQ(GetWindowLong(h, GWL_USERDATA), 42);
  EXPECT_EQ(SetWindowLong(h, 8, 5), 0);  // beyond the extra storage: nothing stored
  EXPECT_EQ(GetWindowLong(h, 8), 0);
  DestroyWindow(h);
  EXPECT_EQ(GetWindowLong(h, 0), 0);
}

TEST_F(WindowMessages, MessagesComeInPostingOrderAndDispatchReturnsTheProceduresResult) {
  HWND a = NewWindow();
  HWND b = NewWindow();
  ASSERT_EQ(PostMessage(b, WM_USER + 99, 21, -3), 1);
  for (int i = 0; i < 20; ++i) PostMessage(i % 3 == 0 ? a : b, WM_USER + 1, i, 0);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE), 1);
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(m.hwnd, b);
  EXPECT_EQ(m.lParam, -3);
  EXPECT_EQ(DispatchMessage(&m), 42);
  // Filters by window and by message range.
  ASSERT_EQ(PeekMessage(&m, b, WM_USER + 1, WM_USER + 1, PM_REMOVE), 1);
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_EQ(PeekMessage(&m, a, WM_USER + 2, WM_USER + 50, PM_REMOVE), 0);
  EXPECT_EQ(DispatchAll(), 19);
  ASSERT_EQ(log.size(), 20u);
  for (int i = 0, at = 1; i < 20; ++i) {
    if (i == 1) continue;
    EXPECT_EQ(log[at].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(log[at++].hwnd, i % 3 == 0 ? a : b);
  }
  // A thread message (no window) is taken out but reaches no procedure.
  ASSERT_EQ(PostMessage(nullptr, WM_USER + 4, 1, 2), 1);
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(m.hwnd, nullptr);
  EXPECT_EQ(DispatchMessage(&m), 0);
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST_F(WindowMessages, ADestroyedWindowTakesItsQueuedMessagesAndItsHandleWithIt) {
  EXPECT_EQ(PostMessage(reinterpret_cast<HWND>(0x5), WM_USER, 0, 0), 0);
  HWND doomed = NewWindow();
  HWND other = NewWindow();
  PostMessage(doomed, WM_USER + 1, 0, 0);
  PostMessage(other, WM_USER + 2, 0, 0);
  PostMessage(doomed, WM_USER + 3, 0, 0);
  DestroyWindow(doomed);
  ASSERT_EQ(log.size(), 1u);  // WM_DESTROY, while the window still existed
  EXPECT_EQ(log[0].message, WM_DESTROY);
  EXPECT_EQ(DispatchAll(), 1);
  EXPECT_EQ(log.back().hwnd, other);
  EXPECT_EQ(PostMessage(doomed, WM_USER, 0, 0), 0);
  EXPECT_EQ(DestroyWindow(doomed), 0);

  // A window may destroy itself inside its own procedure; what was queued
  // for it dies with it.
  PostMessage(other, WM_USER + 98, 0, 0);
  PostMessage(other, WM_USER + 3, 0, 0);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(DispatchMessage(&m), 7);
  EXPECT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 0);
  EXPECT_EQ(log.back().message, WM_DESTROY);

  std::vector<HWND> handles{doomed, other};
  for (int i = 0; i < 100; ++i) {
    HWND h = NewWindow();
    for (HWND old : handles) ASSERT_NE(h, old);
    handles.push_back(h);
    DestroyWindow(h);
  }
}

TEST_F(WindowMessages, DescriptorIsReadableExactlyWhileAMessageWaits) {
  const int fd = MessageQueueDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(Readable(fd));
  HWND h = NewWindow();
  PostMessage(h, WM_USER, 0, 0);
  PostMessage(h, WM_USER + 1, 0, 0);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE), 1);
  EXPECT_TRUE(Readable(fd));
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_TRUE(Readable(fd));
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_FALSE(Readable(fd));
  PostMessage(h, WM_USER, 0, 0);
  DestroyWindow(h);  // its waiting message goes with it
  EXPECT_FALSE(Readable(fd));
  PostQuitMessage(0);
  EXPECT_TRUE(Readable(fd));
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_FALSE(Readable(fd));
}

TEST_F(WindowMessages, PostMessageFromAnotherThreadWakesABlockedGetMessage) {
  HWND h = NewWindow();
  const pid_t waiter = gettid();
  std::thread poster([&] {
    // Post only once the main thread really sleeps inside GetMessage.
    EXPECT_TRUE(support::WaitUntilThreadSleeps(waiter));
    EXPECT_EQ(PostMessage(h, WM_USER + 5, 77, 0), 1);
  });
  MSG m;
  EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
  poster.join();
  EXPECT_EQ(m.message, WM_USER + 5);
  EXPECT_EQ(m.wParam, 77u);
  DestroyWindow(h);
}

TEST_F(WindowMessages, PostMessageFromManyThreadsLosesNothingAndKeepsEachThreadsOrder) {
  HWND h = NewWindow();
  constexpr int kThreads = 4, kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([h, t] {
      for (int i = 0; i < kEach; ++i) PostMessage(h, WM_USER, static_cast<WPARAM>(t), i);
    });
  std::vector<LPARAM> last(kThreads, -1);
  for (int received = 0; received < kThreads * kEach; ++received) {
    MSG m;
    ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.lParam, last[m.wParam] + 1);
    last[m.wParam] = m.lParam;
  }
  for (auto& t : threads) t.join();
  DestroyWindow(h);
}

TEST_F(WindowMessages, AWindowsMessagesGoToTheQueueOfTheThreadThatMadeIt) {
  std::atomic<HWND> theirs{nullptr};
  std::atomic<DWORD> theirId{0};
  std::vector<WPARAM> got;
  std::thread worker([&] {
    theirs = NewWindow();
    theirId = GetCurrentThreadId();
    MSG m;
    while (GetMessage(&m, nullptr, 0, 0) > 0) got.push_back(m.wParam);
    got.push_back(m.wParam);
    DestroyWindow(theirs);
  });
  ASSERT_TRUE(support::WaitUntil([&] { return theirId != 0; }));
  EXPECT_EQ(PostMessage(theirs, WM_USER, 5, 0), 1);
  EXPECT_EQ(PostThreadMessage(theirId, WM_QUIT, 3, 0), 1);
  worker.join();
  EXPECT_EQ(got, (std::vector<WPARAM>{5, 3}));
  EXPECT_FALSE(Readable(MessageQueueDescriptor()));
  EXPECT_EQ(PostThreadMessage(theirId, WM_USER, 0, 0), 0);  // that thread and its queue are gone
}

TEST_F(WindowMessages, QuitComesAfterPostedMessagesPassesEveryFilterAndEndsGetMessage) {
  HWND h = NewWindow();
  PostQuitMessage(9);
  PostMessage(h, WM_USER, 1, 0);
  MSG m;
  ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_USER);
  ASSERT_EQ(PeekMessage(&m, nullptr, 1025, 1027, PM_NOREMOVE), 1);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 9u);
  EXPECT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 0);
  DestroyWindow(h);
}

TEST(TickCount, AdvancesInMillisecondsAndSleepZeroReturns) {
  const DWORD a = GetTickCount();
  Sleep(0);
  Sleep(20);
  // Unsigned difference: right across the 2^32 wrap as well.
  const DWORD elapsed = GetTickCount() - a;
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 10000u);
}
