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
  return DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT SelfDestroyingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 1) {
    EXPECT_EQ(DestroyWindow(hwnd), 1);
    EXPECT_EQ(IsWindow(hwnd), 0);
    EXPECT_EQ(PostMessage(hwnd, WM_USER + 2, 0, 0), 0);
    return 7;
  }
  return RecordingProc(hwnd, message, wParam, lParam);
}

HWND NewWindow(const char* className = "TestRecordingClass", WNDPROC proc = RecordingProc) {
  HWND h = support::NewTestWindow(className, proc);
  EXPECT_NE(h, nullptr);
  return h;
}

// The queue in order, each message dispatched; the number taken out.
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
  wc.lpfnWndProc = SelfDestroyingProc;
  wc.lpszClassName = "DUPCLASS";
  EXPECT_EQ(RegisterClass(&wc), 0);
  WNDCLASS info;
  ASSERT_EQ(GetClassInfo("dupclass", &info), 1);
  EXPECT_EQ(info.lpfnWndProc, &RecordingProc);
  EXPECT_STREQ(info.lpszClassName, "DupClass");
  EXPECT_EQ(GetClassInfo("NoSuchClass", &info), 0);
  EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
            nullptr);

  EXPECT_EQ(UnregisterClass("DupClass"), 0);
  DestroyWindow(h);
  EXPECT_EQ(UnregisterClass("dupclass"), 1);
  EXPECT_EQ(UnregisterClass("DupClass"), 0);
}

TEST_F(WindowMessages, SlotsArePointerSizedEvenInFourExtraBytes) {
  HWND h = NewWindow();
  int object = 0;
  const auto pointer = reinterpret_cast<LONG_PTR>(&object);
  EXPECT_EQ(SetWindowLong(h, 0, pointer), 0);
  EXPECT_EQ(GetWindowLong(h, 0), pointer);
  EXPECT_EQ(SetWindowLong(h, 0, 0), pointer);
  EXPECT_EQ(SetWindowLong(h, GWL_USERDATA, 42), 0);
  EXPECT_EQ(GetWindowLong(h, GWL_USERDATA), 42);
  // Outside the extra storage: nothing stored.
  EXPECT_EQ(SetWindowLong(h, 64, 5), 0);
  EXPECT_EQ(GetWindowLong(h, 64), 0);
  DestroyWindow(h);
  EXPECT_EQ(GetWindowLong(h, GWL_USERDATA), 0);

  HWND small = support::NewTestWindow("FourByteClass", RecordingProc, 4);
  const LONG_PTR big = static_cast<LONG_PTR>(0x1234567890ABCDEFLL);
  SetWindowLong(small, 0, big);
  EXPECT_EQ(GetWindowLong(small, 0), big);
  DestroyWindow(small);
}

TEST_F(WindowMessages, DispatchCallsTheProceduresInPostingOrderAndReturnsTheResult) {
  HWND a = NewWindow();
  HWND b = NewWindow();
  ASSERT_EQ(PostMessage(b, WM_USER + 99, 21, -3), 1);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(m.hwnd, b);
  EXPECT_EQ(m.lParam, -3);
  EXPECT_EQ(TranslateMessage(&m), 0);
  EXPECT_EQ(DispatchMessage(&m), 42);

  for (int i = 0; i < 50; ++i) PostMessage(i % 3 == 0 ? a : b, WM_USER + static_cast<UINT>(i), i, 0);
  EXPECT_EQ(DispatchAll(), 50);
  ASSERT_EQ(log.size(), 51u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(log[i + 1].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(log[i + 1].hwnd, i % 3 == 0 ? a : b);
  }
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST_F(WindowMessages, PeekMessageFiltersByWindowAndRangeAndCanLeaveTheMessage) {
  HWND a = NewWindow();
  HWND b = NewWindow();
  PostMessage(a, 1025, 1, 0);
  PostMessage(b, 1026, 2, 0);
  PostMessage(a, 1044, 3, 0);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, b, 0, 0, PM_NOREMOVE), 1);
  EXPECT_EQ(m.wParam, 2u);
  ASSERT_EQ(PeekMessage(&m, nullptr, 1040, 1050, PM_REMOVE), 1);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_EQ(PeekMessage(&m, a, 1026, 1026, PM_REMOVE), 0);
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(m.wParam, 1u);
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(m.wParam, 2u);
  EXPECT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 0);
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST_F(WindowMessages, ADestroyedWindowTakesItsQueuedMessagesAndItsHandleWithIt) {
  EXPECT_EQ(PostMessage(reinterpret_cast<HWND>(0x5), WM_USER, 0, 0), 0);
  MSG m;
  EXPECT_EQ(GetMessage(&m, reinterpret_cast<HWND>(0x7), 0, 0), -1);

  HWND doomed = NewWindow();
  HWND other = NewWindow();
  PostMessage(doomed, WM_USER + 1, 0, 0);
  PostMessage(other, WM_USER + 2, 0, 0);
  PostMessage(doomed, WM_USER + 3, 0, 0);
  DestroyWindow(doomed);
  // WM_DESTROY reached the window while it still existed.
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].message, WM_DESTROY);
  EXPECT_EQ(log[0].hwnd, doomed);
  EXPECT_EQ(DispatchAll(), 1);
  EXPECT_EQ(log.back().hwnd, other);
  EXPECT_EQ(PostMessage(doomed, WM_USER, 0, 0), 0);
  EXPECT_EQ(DestroyWindow(doomed), 0);
  DestroyWindow(other);

  std::vector<HWND> handles;
  for (int i = 0; i < 200; ++i) {
    HWND h = NewWindow();
    for (HWND old : handles) ASSERT_NE(h, old);
    handles.push_back(h);
    DestroyWindow(h);
  }
}

TEST_F(WindowMessages, AWindowMayDestroyItselfInsideItsOwnProcedure) {
  HWND h = NewWindow("SelfDestroyingClass", SelfDestroyingProc);
  PostMessage(h, WM_USER + 1, 0, 0);
  PostMessage(h, WM_USER + 3, 0, 0);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(DispatchMessage(&m), 7);
  // The second message died with the window.
  EXPECT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 0);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].message, WM_DESTROY);
}

TEST_F(WindowMessages, DescriptorIsReadableExactlyWhileAMessageWaits) {
  const int fd = MessageQueueDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fd, MessageQueueDescriptor());
  EXPECT_FALSE(Readable(fd));
  HWND h = NewWindow();
  PostMessage(h, WM_USER, 0, 0);
  EXPECT_TRUE(Readable(fd));
  PostMessage(h, WM_USER + 1, 0, 0);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE), 1);
  EXPECT_TRUE(Readable(fd));
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_TRUE(Readable(fd));
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_FALSE(Readable(fd));
  // Destroying a window whose messages still wait empties the queue too.
  PostMessage(h, WM_USER, 0, 0);
  EXPECT_TRUE(Readable(fd));
  DestroyWindow(h);
  EXPECT_FALSE(Readable(fd));
  PostQuitMessage(0);
  EXPECT_TRUE(Readable(fd));
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(m.message, WM_QUIT);
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

TEST_F(WindowMessages, EachThreadHasItsOwnQueueThatPostThreadMessageReaches) {
  std::atomic<DWORD> workerId{0};
  std::atomic<int> workerQueue{-1}, got{-1};
  std::thread worker([&] {
    workerQueue = MessageQueueDescriptor();  // the queue exists before anyone posts
    workerId = GetCurrentThreadId();
    MSG m;
    while (GetMessage(&m, nullptr, 0, 0) > 0) got = static_cast<int>(m.wParam);
    got = got * 100 + static_cast<int>(m.wParam);
  });
  ASSERT_TRUE(support::WaitUntil([&] { return workerId != 0; }));
  EXPECT_NE(workerId.load(), GetCurrentThreadId());
  EXPECT_NE(workerQueue.load(), MessageQueueDescriptor());
  EXPECT_EQ(PostThreadMessage(workerId, WM_USER, 5, 0), 1);
  EXPECT_EQ(PostThreadMessage(workerId, WM_QUIT, 3, 0), 1);
  worker.join();
  EXPECT_EQ(got.load(), 503);
  // That thread is gone, and with it its queue.
  EXPECT_EQ(PostThreadMessage(workerId, WM_USER, 0, 0), 0);
}

TEST_F(WindowMessages, QuitComesAfterPostedMessagesPassesEveryFilterAndEndsGetMessage) {
  HWND h = NewWindow();
  PostQuitMessage(9);
  PostMessage(h, WM_USER, 1, 0);
  MSG m;
  ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_USER);
  // A peek without removal leaves the quit request in place.
  ASSERT_EQ(PeekMessage(&m, nullptr, 1025, 1027, PM_NOREMOVE), 1);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 9u);
  EXPECT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 0);
  DestroyWindow(h);
}

TEST_F(WindowMessages, PostMessageWithoutAWindowIsAThreadMessageThatIsNotDispatched) {
  ASSERT_EQ(PostMessage(nullptr, WM_USER + 4, 1, 2), 1);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(m.hwnd, nullptr);
  EXPECT_EQ(m.message, WM_USER + 4);
  EXPECT_EQ(DispatchMessage(&m), 0);
  EXPECT_TRUE(log.empty());
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
