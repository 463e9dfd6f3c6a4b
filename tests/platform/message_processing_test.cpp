// The toolkit-free message processing: without the application's hooks it
// serves the calling thread's platform queue.
#include "platform/message_processing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "support/test_window.h"
#include "support/thread_state.h"

using namespace win;

namespace {

thread_local std::vector<WPARAM>* received = nullptr;

LRESULT CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER && received != nullptr) {
    received->push_back(wParam);
    // A message posted from inside a handler is served in the same round.
    if (wParam == 1) PostMessage(hwnd, WM_USER, 100, 0);
    // A message that always posts its successor: a queue that never empties.
    if (wParam == 5) PostMessage(hwnd, WM_USER, 5, 0);
    // The same with handlers that each take a millisecond.
    if (wParam == 6) {
      const auto end = support::Clock::now() + std::chrono::milliseconds(1);
      while (support::Clock::now() < end) {
      }
      PostMessage(hwnd, WM_USER, 6, 0);
    }
  }
  return DefWindowProc(hwnd, message, wParam, lParam);
}

class MessageProcessing : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageProcessingHooks({});
    received = &log;
    window = support::NewTestWindow("ProcessingTestClass", CountingProc);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    received = nullptr;
    DestroyWindow(window);
    platform::SetMessageProcessingHooks({});
  }
  // Takes the chain's last message out undispatched.
  void DropTheEndlessChain() {
    received = nullptr;
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE) != 0) {
    }
  }
  std::vector<WPARAM> log;
  HWND window = nullptr;
};

}  // namespace

TEST_F(MessageProcessing, DefaultDispatchesEverythingPendingInOrderAndTakesQuitOut) {
  PostMessage(window, WM_USER, 1, 0);
  PostMessage(window, WM_USER, 2, 0);
  platform::ProcessMessages();
  EXPECT_EQ(log, (std::vector<WPARAM>{1, 2, 100}));

  PostMessage(window, WM_USER, 3, 0);
  PostQuitMessage(4);
  EXPECT_EQ(platform::DispatchPendingPlatformMessages(), 1);
  int code = 0;
  EXPECT_TRUE(platform::TakePlatformQuitMessage(&code));
  EXPECT_EQ(code, 4);
  EXPECT_FALSE(platform::TakePlatformQuitMessage());
  MSG m;
  EXPECT_EQ(PeekMessage(&m, nullptr, 0, 0, PM_REMOVE), 0);
}

TEST_F(MessageProcessing, WaitingDefaultEndsAtItsTimeoutOrAtAPostFromAnotherThread) {
  const auto begin = support::Clock::now();
  platform::ProcessMessagesWaiting(30);
  EXPECT_GE(support::Clock::now() - begin, std::chrono::milliseconds(25));
  EXPECT_TRUE(log.empty());

  const pid_t me = gettid();
  std::thread poster([&] {
    EXPECT_TRUE(support::WaitUntilThreadSleeps(me));
    PostMessage(window, WM_USER, 7, 0);
  });
  const auto waited = support::Clock::now();
  platform::ProcessMessagesWaiting(20000);
  EXPECT_LT(support::Clock::now() - waited, std::chrono::seconds(10));
  poster.join();
  EXPECT_EQ(log, (std::vector<WPARAM>{7}));
}

TEST_F(MessageProcessing, AQueueThatNeverEmptiesStillHandsBackControl) {
  PostMessage(window, WM_USER, 5, 0);
  const int first = platform::DispatchPendingPlatformMessages();
  EXPECT_GT(first, 1);
  // The round ended with its successor still waiting, for the next round.
  EXPECT_GT(platform::DispatchPendingPlatformMessages(), 0);
  DropTheEndlessChain();
}

TEST_F(MessageProcessing, ARoundOfSlowHandlersEndsAfterAFewOfThem) {
  PostMessage(window, WM_USER, 6, 0);
  // Each handler takes at least a millisecond, so a round of a few
  // milliseconds has room for a few of them, and never for fifty.
  const int handled = platform::DispatchPendingPlatformMessages();
  EXPECT_GT(handled, 0);
  EXPECT_LT(handled, 50);
  DropTheEndlessChain();
}
