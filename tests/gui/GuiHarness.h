#pragma once
// What the GUI tests share: the main window (app/qt) built on the test world as the
// start-up routine builds it, its host objects those of the fake host answering as the
// world's (counting the calls the stop buttons make), and the program's exits recorded.
#include <QCoreApplication>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/MainWindow.h"
#include "base/Errors.h"
#include "host/HostInterfaces.h"
#include "support/FakeHost.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np::test {

// 2024-06-01 19:00 UTC: noon at the default site (UTC-7), so a run starts by day.
inline constexpr double kGuiStartUnix = 1717268400.0;

// The program in a test world, its window loaded (Form_Load) but not shown; `configText`,
// when given, is written to config.ini before the load. The world's user processes the
// pending Qt events and then runs `duringRun` once, if it is set: what the user does
// while a run is in progress, at the loop's next event processing.
class GuiWorld : public TestWorld {
 public:
  explicit GuiWorld(NumberLocale locale = {}, const std::string* configText = nullptr)
      : TestWorld("", kGuiStartUnix, locale) {
    fakeHost.answerAs(*host);
    if (configText) writeFileBytes(configPath(), *configText);
    wireMain(fakeHost, files);
    main->Form_Load();
    window = std::make_unique<MainWindow>(*main);
    window->setExitHandler([this](int code) {
      exitCodes.push_back(code);
      runningAtExit.push_back(main->running());
    });
    user = [this] {
      QCoreApplication::processEvents();
      if (duringRun) {
        auto action = std::move(duringRun);
        duringRun = nullptr;
        action();
      }
    };
  }
  ~GuiWorld() {
    user = nullptr;
    window.reset();
    main.reset();
    platform.reset();
  }

  // The host's utility object as frmMain reaches it, counting the calls of each member.
  FakeUtil& hostUtil() { return fakeHost.util; }

  FakeHost fakeHost;  // the world's simulated observatory behind the fake host
  std::unique_ptr<MainWindow> window;
  std::function<void()> duringRun;
  std::vector<int> exitCodes;       // every program exit the window asked for
  std::vector<bool> runningAtExit;  // whether a run was still in progress at each
};

}  // namespace np::test
