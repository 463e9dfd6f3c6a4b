// The toolkit-free message processing: the default serves the calling thread's
// platform queue; installed hooks take over.
#include "platform/message_processing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/window_messages.h"
#include "thread_state.h"

using namespace win;

namespace {

thread_local std::vector<WPARAM>* received = nullptr;

LRESULT CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER && received != nullptr) {
    received->push_back(wParam);
    // A message posted from inside a handler is served in the same round.
    if (wParam == 1) PostMessage(hwnd, WM_USER, 100, 0);
  }
  return DefWindowProc(hwnd, message, wParam, lParam);
}

HWND NewWindow() {
  WNDCLASS wc;
  if (!GetClassInfo("ProcessingTestClass", &wc)) {
    wc.lpfnWndProc = CountingProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = "ProcessingTestClass";
    RegisterClass(&wc);
  }
  return CreateWindowEx(0, "ProcessingTestClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                        nullptr);
}

class MessageProcessing : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageProcessingHooks({});
    platform::DispatchPendingPlatformMessages();
    platform::TakePlatformQuitMessage();
    received = &log;
    window = NewWindow();
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    received = nullptr;
    DestroyWindow(window);
    platform::SetMessageProcessingHooks({});
  }
  std::vector<WPARAM> log;
  HWND window = nullptr;
};

}  // namespace

TEST_F(MessageProcessing, DefaultDispatchesEverythingPendingInOrder) {
  PostMessage(window, WM_USER, 1, 0);
  PostMessage(window, WM_USER, 2, 0);
  platform::ProcessMessages();
  EXPECT_EQ(log, (std::vector<WPARAM>{1, 2, 100}));
  EXPECT_EQ(platform::DispatchPendingPlatformMessages(), 0);
}

TEST_F(MessageProcessing, QuitIsTakenOutNotDispatchedAndReported) {
  PostMessage(window, WM_USER, 2, 0);
  PostQuitMessage(4);
  EXPECT_EQ(platform::DispatchPendingPlatformMessages(), 1);
  int code = 0;
  EXPECT_TRUE(platform::TakePlatformQuitMessage(&code));
  EXPECT_EQ(code, 4);
  EXPECT_FALSE(platform::TakePlatformQuitMessage());
  MSG m;
  EXPECT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 0);
}

TEST_F(MessageProcessing, WaitingDefaultReturnsOnTimeout) {
  const auto begin = std::chrono::steady_clock::now();
  platform::ProcessMessagesWaiting(30);
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(took, std::chrono::milliseconds(25));
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_TRUE(log.empty());
}

TEST_F(MessageProcessing, WaitingDefaultWakesForAPostFromAnotherThread) {
  const pid_t me = gettid();
  std::thread poster([&] {
    EXPECT_TRUE(test_support::WaitUntilThreadSleeps(me, std::chrono::seconds(10)));
    PostMessage(window, WM_USER, 7, 0);
  });
  const auto begin = std::chrono::steady_clock::now();
  // The timeout is only a safety net: the post must end the wait long before.
  platform::ProcessMessagesWaiting(20000);
  const auto took = std::chrono::steady_clock::now() - begin;
  poster.join();
  EXPECT_EQ(log, (std::vector<WPARAM>{7}));
  EXPECT_LT(took, std::chrono::seconds(10));
}

TEST_F(MessageProcessing, InstalledHooksTakeOverAndEmptyOnesRestoreTheDefault) {
  int pending = 0, waited = 0, lastTimeout = 0;
  platform::SetMessageProcessingHooks({[&] { ++pending; },
                                       [&](int timeoutMs) {
                                         ++waited;
                                         lastTimeout = timeoutMs;
                                       }});
  PostMessage(window, WM_USER, 3, 0);
  platform::ProcessMessages();
  platform::ProcessMessagesWaiting(250);
  EXPECT_EQ(pending, 1);
  EXPECT_EQ(waited, 1);
  EXPECT_EQ(lastTimeout, 250);
  EXPECT_TRUE(log.empty());
  platform::SetMessageProcessingHooks({});
  platform::ProcessMessages();
  EXPECT_EQ(log, (std::vector<WPARAM>{3}));
}
