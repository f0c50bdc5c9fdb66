#include "night/win32/Win32EventPump.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "base/win32/WinText.h"

namespace np {

std::string waitTimerNameFor(const std::string& executablePath) {
  const size_t slash = executablePath.find_last_of("\\/");
  std::string name = slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name + "Timer";
}

Win32EventPump::Win32EventPump() : timerName_(waitTimerNameFor(ansiFromWide(modulePathW()))) {}

void Win32EventPump::dispatch(MSG& msg) {
  if (msg.hwnd) {
    // Tab, the arrow keys, Esc and Enter move between and press the controls of the
    // window the message is for.
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root && IsDialogMessageW(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32EventPump::DoEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Kept for the program's message loop. Put back, it would wake every message wait
      // at once and turn the rest of a run's waits into a busy loop.
      quitSeen_ = true;
      quitCode_ = static_cast<int>(msg.wParam);
      return;
    }
    dispatch(msg);
  }
}

int Win32EventPump::RunMessageLoop() {
  MSG msg;
  while (!quitSeen_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) return 1;
    if (got == 0) return static_cast<int>(msg.wParam);
    dispatch(msg);
  }
  return quitCode_;
}

namespace {

// What is left of a wait whose timer cannot be used: a plain sleep, then one pass of
// event processing, so that the wait still ends.
void sleepUntil(std::chrono::steady_clock::time_point deadline) {
  const auto now = std::chrono::steady_clock::now();
  if (deadline > now) std::this_thread::sleep_for(deadline - now);
}

}  // namespace

void Win32EventPump::WaitSeconds(int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds > 0 ? seconds : 0);
  HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, timerName_.c_str());
  if (!timer) {
    sleepUntil(deadline);
    DoEvents();
    return;
  }
  // 100-nanosecond units, negative: relative to now. A signed 32-bit count of seconds
  // times 10,000,000 fits in 64 bits either way.
  LARGE_INTEGER due;
  due.QuadPart = -(static_cast<std::int64_t>(seconds) * 10'000'000);
  if (!SetWaitableTimer(timer, &due, 0, nullptr, nullptr, TRUE)) {
    CloseHandle(timer);
    sleepUntil(deadline);
    DoEvents();
    return;
  }
  for (;;) {
    const DWORD woke = MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, 0xFF);
    if (woke == WAIT_OBJECT_0) break;
    if (woke == WAIT_FAILED) {
      sleepUntil(deadline);
      break;
    }
    DoEvents();
  }
  DoEvents();
  CloseHandle(timer);
}

}  // namespace np
