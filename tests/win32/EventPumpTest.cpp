// The Windows event processing and responsive wait under a real message queue: how long
// a wait lasts, that every message arriving meanwhile is handled, the named timer, and
// what happens when the timer cannot be had.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <string>
#include <thread>

#include "night/win32/Win32EventPump.h"

using namespace np;
using Clock = std::chrono::steady_clock;

namespace {

constexpr UINT kCount = WM_APP + 1;      // counted by the window
constexpr UINT kProbe = WM_APP + 2;      // opens the wait's timer by name
constexpr UINT kRepost = WM_APP + 3;     // posts one more kCount from inside a handler

struct Counts {
  std::atomic<long> handled{0};
  std::string timerName;
  bool probed = false;
  bool timerOpenDuringWait = false;
};
Counts* counts = nullptr;

LRESULT CALLBACK countingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kCount:
    case WM_MOUSEMOVE:
      ++counts->handled;
      return 0;
    case kProbe: {
      counts->probed = true;
      HANDLE t = OpenWaitableTimerA(SYNCHRONIZE, FALSE, counts->timerName.c_str());
      counts->timerOpenDuringWait = t != nullptr;
      if (t) CloseHandle(t);
      return 0;
    }
    case kRepost:
      PostMessageW(hwnd, kCount, 0, 0);
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

// A hidden top-level window of this thread that counts the messages it handles.
class PumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    counts = &counts_;
    WNDCLASSW wc{};
    wc.lpfnWndProc = countingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"PumpTestWindow";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, L"PumpTestWindow", L"pump test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    // Nothing left over from an earlier test.
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  void TearDown() override {
    DestroyWindow(window_);
    counts = nullptr;
  }

  static double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
  }

  Counts counts_;
  HWND window_ = nullptr;
};

}  // namespace

TEST(WaitTimerName, IsTheExecutableNameWithoutExtensionAndTimer) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\Nightpick\\nightpick.exe", "nightpickTimer"},
      {"C:\\Program Files\\My.Tools\\night.pick.exe", "night.pickTimer"},
      {"D:/mixed\\slashes/np.EXE", "npTimer"},
      {"nightpick.exe", "nightpickTimer"},
      {"C:\\bin\\noextension", "noextensionTimer"},
      {"C:\\bin\\.hidden", ".hiddenTimer"},
  };
  for (const auto& c : cases) EXPECT_EQ(waitTimerNameFor(c.path), c.name) << c.path;
}

TEST_F(PumpTest, TimerIsNamedAfterTheRunningExecutable) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  EXPECT_EQ(Win32EventPump().timerName(), waitTimerNameFor(path));
  EXPECT_EQ(Win32EventPump().timerName().rfind("test_win32", 0), 0u) << Win32EventPump().timerName();
}

TEST_F(PumpTest, OneSecondWaitHandlesEveryMessageThatArrivesMeanwhile) {
  Win32EventPump pump("PumpTestTimer1");
  counts_.timerName = pump.timerName();
  std::atomic<long> posted{0};
  std::atomic<bool> started{false};
  // Another thread floods the window for 0.7 s, as fast as the window takes them (every
  // tenth message a mouse move; never more than 256 waiting, so that how fast this machine
  // handles messages does not decide how long the backlog takes after the flood), and once
  // asks the window to open the wait's timer by name.
  std::thread poster([&] {
    while (!started) std::this_thread::yield();
    const auto end = Clock::now() + std::chrono::milliseconds(700);
    bool probeSent = false;
    while (Clock::now() < end) {
      if (posted.load() - counts_.handled.load() > 256) {
        std::this_thread::yield();
        continue;
      }
      const UINT message = posted % 10 == 9 ? WM_MOUSEMOVE : kCount;
      if (PostMessageW(window_, message, 0, 0)) ++posted;
      if (!probeSent && Clock::now() > end - std::chrono::milliseconds(400)) {
        probeSent = PostMessageW(window_, kProbe, 0, 0) != 0;
      }
      if (posted % 64 == 0) std::this_thread::yield();
    }
  });
  const auto start = Clock::now();
  started = true;
  pump.WaitSeconds(1);
  const double took = secondsSince(start);
  poster.join();

  EXPECT_GE(took, 0.95);
  EXPECT_LT(took, 1.5);  // the flood does not lengthen the wait
  EXPECT_GT(posted.load(), 1000);
  EXPECT_EQ(counts_.handled.load(), posted.load());  // all handled before the wait returned
  EXPECT_TRUE(counts_.probed);
  EXPECT_TRUE(counts_.timerOpenDuringWait);
  // The timer exists only within the wait.
  SetLastError(0);
  EXPECT_EQ(OpenWaitableTimerA(SYNCHRONIZE, FALSE, pump.timerName().c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PumpTest, QuietOneSecondWaitLastsASecond) {
  Win32EventPump pump("PumpTestTimer2");
  const auto start = Clock::now();
  pump.WaitSeconds(1);
  const double took = secondsSince(start);
  EXPECT_GE(took, 0.95);
  EXPECT_LT(took, 1.5);
}

TEST_F(PumpTest, ZeroOrNegativeSecondsReturnAfterOnePass) {
  for (int seconds : {0, -1, -5, INT_MIN}) {
    Win32EventPump pump("PumpTestTimer3");
    counts_.handled = 0;
    PostMessageW(window_, kCount, 0, 0);
    PostMessageW(window_, kCount, 0, 0);
    const auto start = Clock::now();
    pump.WaitSeconds(seconds);
    EXPECT_LT(secondsSince(start), 0.5) << seconds;
    EXPECT_EQ(counts_.handled.load(), 2) << seconds;
  }
}

TEST_F(PumpTest, TimerThatCannotBeCreatedFallsBackToAPlainSleep) {
  // The name is taken by an object of another kind: CreateWaitableTimerA fails.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "PumpTestTakenTimer");
  ASSERT_NE(mutex, nullptr);
  Win32EventPump pump("PumpTestTakenTimer");
  ASSERT_EQ(CreateWaitableTimerA(nullptr, TRUE, pump.timerName().c_str()), nullptr);
  PostMessageW(window_, kCount, 0, 0);
  const auto start = Clock::now();
  pump.WaitSeconds(1);
  const double took = secondsSince(start);
  EXPECT_GE(took, 0.95);  // not an endless loop, nor no wait at all
  EXPECT_LT(took, 1.5);
  EXPECT_EQ(counts_.handled.load(), 1);  // pending events processed once after the sleep
  CloseHandle(mutex);
}

TEST_F(PumpTest, DoEventsEmptiesTheQueueIncludingWhatHandlersPost) {
  Win32EventPump pump("unused");
  for (int i = 0; i < 50; ++i) PostMessageW(window_, kCount, 0, 0);
  PostMessageW(window_, kRepost, 0, 0);
  pump.DoEvents();
  EXPECT_EQ(counts_.handled.load(), 51);
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(PumpTest, QuitIsKeptForTheMessageLoopAndDoesNotShortenWaits) {
  Win32EventPump pump("PumpTestTimer4");
  PostQuitMessage(3);
  pump.DoEvents();
  EXPECT_TRUE(pump.quitSeen());
  // Taken from the queue: the next wait still sleeps its second rather than waking at
  // once again and again.
  const auto start = Clock::now();
  pump.WaitSeconds(1);
  EXPECT_GE(secondsSince(start), 0.95);
  // The program's message loop ends with the quit's code.
  EXPECT_EQ(pump.RunMessageLoop(), 3);
}
