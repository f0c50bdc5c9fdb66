// The automation client against the stand-in in a process of its own (a local server, as
// the host is), made to misbehave by its switches: a host that ends while it is used, a
// busy host that refuses calls, a long Park, a host without a weather object.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include "base/Errors.h"
#include "com/LocalStandin.h"
#include "host/com/ComHost.h"
#include "host/com/ComSupport.h"
#include "host/com/MessageFilter.h"

namespace np::test {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

// The failure of `call`, or "" when it did not fail.
template <class F>
std::string failureOf(F&& call) {
  try {
    call();
  } catch (const RunTimeError& e) {
    return e.what();
  }
  return "";
}

class LocalServer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(standin.registered()); }

  com::ComApartment apartment;
  TempDir dir;
  LocalStandin standin{dir};
  com::ComHostFactory factory;
};

TEST_F(LocalServer, AHostThatEndsWhileItIsUsedIsSaidToHaveGoneByEveryMemberAfter) {
  standin.setSwitches("exit_after = SysJulianDate\r\n");
  auto util = factory.createUtil();
  auto telescope = factory.createTelescope();
  EXPECT_GT(util->SysJulianDate(), 2400000.0);
  ASSERT_TRUE(within(30, [] { return !processRunning(L"observatory-standin.exe"); }));
  const std::string gone =
      ": the observatory host is no longer running (it was closed or restarted); start it again, then start Nightpick";
  // A member called before (its DISPID known) and members never called (looked up first).
  EXPECT_THAT(failureOf([&] { util->SysJulianDate(); }), HasSubstr("Util.SysJulianDate" + gone));
  EXPECT_THAT(failureOf([&] { util->ScriptActive(); }), HasSubstr("Util.ScriptActive" + gone));
  EXPECT_THAT(failureOf([&] { telescope->Park(); }), HasSubstr("Telescope.Park" + gone));
}

TEST_F(LocalServer, ARefusedCallFailsAtOnceWithoutAFilter) {
  auto util = factory.createUtil();
  EXPECT_FALSE(util->ScriptActive());
  standin.setSwitches("busy = 60\r\n");
  EXPECT_THAT(failureOf([&] { util->ScriptActive(); }),
              HasSubstr("Util.ScriptActive: the observatory host was busy and refused the call"));
}

// Wine hands the refusal straight back (it never asks the filter's RetryRejectedCall):
// under Wine this is the client's own retry by the filter's rule; on Windows COM retries first.
TEST_F(LocalServer, ACallThatABusyHostRefusesSucceedsOnceTheHostIsFree) {
  const com::BusyHostFilter filter(60s, 200ms);
  auto util = factory.createUtil();
  EXPECT_FALSE(util->ScriptActive());
  standin.setSwitches("busy = 2\r\n");
  EXPECT_EQ(failureOf([&] { EXPECT_FALSE(util->ScriptActive()); }), "");
  EXPECT_GT(util->SysJulianDate(), 2400000.0);
}

TEST_F(LocalServer, ACallThatABusyHostRefusesLongerThanThePatienceFailsSayingSo) {
  const com::BusyHostFilter filter(2s, 200ms);
  auto util = factory.createUtil();
  EXPECT_FALSE(util->ScriptActive());
  standin.setSwitches("busy = 60\r\n");
  EXPECT_THAT(failureOf([&] { util->ScriptActive(); }),
              HasSubstr("Util.ScriptActive: the observatory host stayed busy for 2 s and refused the call"));
}

TEST_F(LocalServer, WithoutAWeatherObjectTheHostSaysSoAndTheObjectIsNothing) {
  standin.setSwitches("no_weather = 1\r\n");
  auto util = factory.createUtil();
  EXPECT_FALSE(util->WeatherConnected());
  EXPECT_THAT(failureOf([&] { util->Weather().Safe(); }),
              HasSubstr("Util.Weather: the host returned Nothing where an object was expected"));
}

// A window of this thread that counts its paints.
struct PaintCounter {
  static LRESULT CALLBACK proc(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_PAINT) {
      PAINTSTRUCT ps;
      BeginPaint(w, &ps);
      EndPaint(w, &ps);
      ++paints;
      return 0;
    }
    return DefWindowProcW(w, message, wp, lp);
  }
  PaintCounter() {
    WNDCLASSW c{};
    c.lpfnWndProc = proc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = L"NightpickPaintCounter";
    RegisterClassW(&c);
    window = CreateWindowW(L"NightpickPaintCounter", L"paints", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                           nullptr, nullptr, c.hInstance, nullptr);
    UpdateWindow(window);
  }
  ~PaintCounter() { DestroyWindow(window); }
  HWND window;
  static inline int paints = 0;
};

// During a Park of seconds the window is repainted: the thread's messages are processed
// while the call is under way (the filter's PENDINGMSG_WAITDEFPROCESS lets WM_PAINT through
// on Windows; Wine processes the messages during a call with or without a filter).
TEST_F(LocalServer, TheWindowIsPaintedWhileALongParkIsUnderWay) {
  const com::BusyHostFilter filter(60s, 200ms);
  auto telescope = factory.createTelescope();
  ASSERT_TRUE(telescope->CanPark());
  standin.setSwitches("park = 2\r\n");
  PaintCounter counter;
  ASSERT_NE(counter.window, nullptr);
  const int before = PaintCounter::paints;
  InvalidateRect(counter.window, nullptr, TRUE);
  telescope->Park();  // no message is processed here but by the call's own wait
  EXPECT_GT(PaintCounter::paints, before);
}

}  // namespace
}  // namespace np::test
