// Hidden windows and the per-thread message queue: classes, slots, posting from
// other threads, the queue descriptor, quit and the order of dispatch.
#include "platform/window_messages.h"

#include <unistd.h>

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "thread_state.h"

using namespace win;

namespace {

struct Seen {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

thread_local std::vector<Seen>* seen = nullptr;

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (seen != nullptr) seen->push_back({hwnd, message, wParam, lParam});
  if (message == WM_USER + 99) return static_cast<LRESULT>(wParam * 2);
  return DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT SelfDestroyingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (seen != nullptr) seen->push_back({hwnd, message, wParam, lParam});
  if (message == WM_USER + 1) {
    EXPECT_EQ(DestroyWindow(hwnd), 1);
    EXPECT_EQ(IsWindow(hwnd), 0);
    EXPECT_EQ(PostMessage(hwnd, WM_USER + 2, 0, 0), 0);
    return 7;
  }
  return DefWindowProc(hwnd, message, wParam, lParam);
}

void EnsureClass(const char* name, WNDPROC proc, int extra = static_cast<int>(sizeof(LONG_PTR))) {
  WNDCLASS existing;
  if (GetClassInfo(name, &existing)) return;
  WNDCLASS wc;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = extra;
  wc.lpszClassName = name;
  ASSERT_EQ(RegisterClass(&wc), 1);
}

HWND NewWindow(const char* className = "TestRecordingClass", WNDPROC proc = RecordingProc) {
  EnsureClass(className, proc);
  HWND h = CreateWindowEx(0x80, className, "", 0x80000000u, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                          nullptr);
  EXPECT_NE(h, nullptr);
  return h;
}

bool Readable(int fd, int timeoutMs = 0) {
  pollfd pfd{fd, POLLIN, 0};
  return poll(&pfd, 1, timeoutMs) == 1 && (pfd.revents & POLLIN) != 0;
}

void DrainQueue() {
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
  }
}

class WindowMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainQueue();
    seen = &log;
  }
  void TearDown() override {
    seen = nullptr;
    DrainQueue();
  }
  std::vector<Seen> log;
};

}  // namespace

TEST_F(WindowMessages, RegisterClassRefusesDuplicateNamesInAnyCase) {
  EnsureClass("DupClass", RecordingProc);
  WNDCLASS wc;
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "DUPCLASS";
  EXPECT_EQ(RegisterClass(&wc), 0);
  WNDCLASS info;
  ASSERT_EQ(GetClassInfo("dupclass", &info), 1);
  EXPECT_EQ(info.lpfnWndProc, &RecordingProc);
  EXPECT_STREQ(info.lpszClassName, "DupClass");
  EXPECT_EQ(GetClassInfo("NoSuchClass", &info), 0);
}

TEST_F(WindowMessages, CreateWindowOfUnknownClassFails) {
  EXPECT_EQ(
      CreateWindowEx(0, "NeverRegistered", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
      nullptr);
}

TEST_F(WindowMessages, UnregisterClassOnlyWhenNoWindowUsesIt) {
  EnsureClass("ShortLivedClass", RecordingProc);
  HWND h = NewWindow("ShortLivedClass");
  EXPECT_EQ(UnregisterClass("ShortLivedClass"), 0);
  DestroyWindow(h);
  EXPECT_EQ(UnregisterClass("shortlivedclass"), 1);
  EXPECT_EQ(UnregisterClass("ShortLivedClass"), 0);
}

TEST_F(WindowMessages, SlotsArePointerSizedAndReturnThePreviousValue) {
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
}

TEST_F(WindowMessages, FourExtraBytesStillHoldAPointer) {
  EnsureClass("FourByteClass", RecordingProc, 4);
  HWND h = NewWindow("FourByteClass");
  const LONG_PTR big = static_cast<LONG_PTR>(0x1234567890ABCDEFLL);
  SetWindowLong(h, 0, big);
  EXPECT_EQ(GetWindowLong(h, 0), big);
  DestroyWindow(h);
}

TEST_F(WindowMessages, DispatchCallsTheProcedureAndReturnsItsResult) {
  HWND h = NewWindow();
  ASSERT_EQ(PostMessage(h, WM_USER + 99, 21, -3), 1);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 1);
  EXPECT_EQ(m.hwnd, h);
  EXPECT_EQ(m.message, WM_USER + 99);
  EXPECT_EQ(m.lParam, -3);
  EXPECT_EQ(TranslateMessage(&m), 0);
  EXPECT_EQ(DispatchMessage(&m), 42);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].wParam, 21u);
  DestroyWindow(h);
}

TEST_F(WindowMessages, MessagesAreDispatchedInPostingOrder) {
  HWND a = NewWindow();
  HWND b = NewWindow();
  for (int i = 0; i < 50; ++i)
    PostMessage(i % 3 == 0 ? a : b, WM_USER + static_cast<UINT>(i), i, 0);
  MSG m;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
  ASSERT_EQ(log.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(log[i].wParam, static_cast<WPARAM>(i));
    EXPECT_EQ(log[i].hwnd, i % 3 == 0 ? a : b);
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

TEST_F(WindowMessages, PostingToAnUnknownOrDestroyedWindowFails) {
  EXPECT_EQ(PostMessage(reinterpret_cast<HWND>(0x5), WM_USER, 0, 0), 0);
  HWND h = NewWindow();
  DestroyWindow(h);
  EXPECT_EQ(IsWindow(h), 0);
  EXPECT_EQ(PostMessage(h, WM_USER, 0, 0), 0);
  EXPECT_EQ(DestroyWindow(h), 0);
}

TEST_F(WindowMessages, QueuedMessagesOfADestroyedWindowAreDropped) {
  HWND doomed = NewWindow();
  HWND other = NewWindow();
  PostMessage(doomed, WM_USER + 1, 0, 0);
  PostMessage(other, WM_USER + 2, 0, 0);
  PostMessage(doomed, WM_USER + 3, 0, 0);
  DestroyWindow(doomed);
  log.clear();
  MSG m;
  int count = 0;
  while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
    EXPECT_EQ(m.hwnd, other);
    DispatchMessage(&m);
    ++count;
  }
  EXPECT_EQ(count, 1);
  DestroyWindow(other);
}

TEST_F(WindowMessages, DestroyWindowSendsWmDestroyWhileTheWindowStillExists) {
  HWND h = NewWindow();
  log.clear();
  DestroyWindow(h);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].message, WM_DESTROY);
  EXPECT_EQ(log[0].hwnd, h);
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
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].message, WM_DESTROY);
}

TEST_F(WindowMessages, HandlesAreNeverReused) {
  std::vector<HWND> handles;
  for (int i = 0; i < 200; ++i) {
    HWND h = NewWindow();
    for (HWND old : handles) ASSERT_NE(h, old);
    handles.push_back(h);
    DestroyWindow(h);
  }
  // A late message for any of them reaches no one.
  for (HWND old : handles) EXPECT_EQ(PostMessage(old, WM_USER, 0, 0), 0);
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

TEST_F(WindowMessages, EachThreadHasItsOwnQueueAndDescriptor) {
  const int mine = MessageQueueDescriptor();
  int theirs = -1;
  DWORD theirId = 0;
  std::thread([&] {
    theirs = MessageQueueDescriptor();
    theirId = GetCurrentThreadId();
  }).join();
  EXPECT_NE(theirs, mine);
  EXPECT_NE(theirId, GetCurrentThreadId());
  // That thread is gone, and with it its queue.
  EXPECT_EQ(PostThreadMessage(theirId, WM_USER, 0, 0), 0);
}

TEST_F(WindowMessages, PostMessageFromAnotherThreadWakesABlockedGetMessage) {
  HWND h = NewWindow();
  const pid_t waiter = gettid();
  std::thread poster([&] {
    // Post only once the main thread really sleeps inside GetMessage.
    EXPECT_TRUE(test_support::WaitUntilThreadSleeps(waiter, std::chrono::seconds(10)));
    EXPECT_EQ(PostMessage(h, WM_USER + 5, 77, 0), 1);
  });
  const auto begin = std::chrono::steady_clock::now();
  MSG m;
  EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
  const auto took = std::chrono::steady_clock::now() - begin;
  poster.join();
  EXPECT_EQ(m.message, WM_USER + 5);
  EXPECT_EQ(m.wParam, 77u);
  EXPECT_LT(took, std::chrono::seconds(5));
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
  int received = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (received < kThreads * kEach && std::chrono::steady_clock::now() < deadline) {
    MSG m;
    ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.lParam, last[m.wParam] + 1);
    last[m.wParam] = m.lParam;
    ++received;
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(received, kThreads * kEach);
  DestroyWindow(h);
}

TEST_F(WindowMessages, PostThreadMessageReachesTheOtherThreadsGetMessage) {
  std::atomic<DWORD> workerId{0};
  std::atomic<int> got{-1};
  std::thread worker([&] {
    MessageQueueDescriptor();  // make the queue exist before anyone posts
    workerId = GetCurrentThreadId();
    MSG m;
    while (GetMessage(&m, nullptr, 0, 0) > 0) got = static_cast<int>(m.wParam);
    got = got * 100 + static_cast<int>(m.wParam);
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (workerId == 0 && std::chrono::steady_clock::now() < deadline) Sleep(1);
  ASSERT_NE(workerId.load(), 0u);
  EXPECT_EQ(PostThreadMessage(workerId, WM_USER, 5, 0), 1);
  EXPECT_EQ(PostThreadMessage(workerId, WM_QUIT, 3, 0), 1);
  worker.join();
  EXPECT_EQ(got.load(), 503);
}

TEST_F(WindowMessages, QuitComesAfterPostedMessagesAndEndsGetMessage) {
  HWND h = NewWindow();
  PostQuitMessage(9);
  PostMessage(h, WM_USER, 1, 0);
  MSG m;
  ASSERT_EQ(GetMessage(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_USER);
  // A peek without removal leaves the quit request in place.
  ASSERT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_NOREMOVE), 1);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(GetMessage(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 9u);
  EXPECT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 0);
  DestroyWindow(h);
}

TEST_F(WindowMessages, QuitPassesEveryFilter) {
  PostQuitMessage(1);
  MSG m;
  ASSERT_EQ(PeekMessage(&m, nullptr, 1025, 1027, PM_REMOVE), 1);
  EXPECT_EQ(m.message, WM_QUIT);
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

TEST_F(WindowMessages, GetMessageForAWindowThatDoesNotExistFails) {
  MSG m;
  EXPECT_EQ(GetMessage(&m, reinterpret_cast<HWND>(0x7), 0, 0), -1);
}

TEST(TickCount, AdvancesInMillisecondsAndSleepZeroReturns) {
  const DWORD a = GetTickCount();
  Sleep(0);
  Sleep(20);
  const DWORD b = GetTickCount();
  // Unsigned difference: right across the 2^32 wrap as well.
  const DWORD elapsed = b - a;
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 10000u);
}
