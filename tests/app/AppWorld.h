#pragma once
// A whole program on the shared simulated clock: a program folder with its files, the
// simulated observatory in "observatory" inside it, the ERFA ephemeris, real files, a
// recording message sink and a simulated event pump whose hook acts as the user.
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/FrmMain.h"
#include "support/RecordingMessageSink.h"
#include "host/ErfaEphemeris.h"
#include "base/FileSystem.h"
#include "host/sim/SimTime.h"
#include "host/sim/SimulatedObservatory.h"
#include "night/SimulatedWait.h"
#include "support/TempDir.h"
#include "support/TestText.h"

namespace np::test {

// Records what the window would show.
class RecordingView : public MainWindowView {
 public:
  void statusTextChanged(const std::string& text) override {
    if (statuses.empty() || statuses.back() != text) statuses.push_back(text);
    ++statusSets;
  }
  void buttonStatesChanged() override { ++buttonChanges; }
  void showPrefsDialog(frmPrefs& prefs) override {
    if (onPrefs) onPrefs(prefs);
  }
  void unloadOtherWindows() override { ++unloads; }

  bool saw(const std::string& text) const {
    for (const auto& s : statuses)
      if (s == text) return true;
    return false;
  }

  std::vector<std::string> statuses;  // distinct changes, in order
  long statusSets = 0;
  int buttonChanges = 0;
  int unloads = 0;
  std::function<void(frmPrefs&)> onPrefs;
};

class AppWorld {
 public:
  // `ini` is the text of observatory.ini (empty: the defaults); `startUtc` an ISO instant.
  explicit AppWorld(const std::string& ini = "", const std::string& startUtc = "2026-12-07T12:00:00Z") {
    hostDir = dir.file("observatory");
    std::filesystem::create_directories(hostDir);
    if (!ini.empty()) writeFileBytes(hostDir + "/observatory.ini", ini);
    double start = 0;
    if (!sim::parseUtcInstant(startUtc, start)) throw std::runtime_error("bad start " + startUtc);
    clock.set(start);
    observatory = std::make_unique<SimulatedObservatory>(hostDir, clock);
    platform = std::make_unique<Platform>(Platform{*observatory, ephemeris, files, clock, messages, pump,
                                                   NumberLocale{'.'}, dir.file("nightpick")});
    main = std::make_unique<frmMain>(*platform, &view);
    // A run that goes on far longer than any test means is a failure, not a hang.
    pump.setOnEvents([this, start] {
      if (onEvents) onEvents();
      if (main->running() && !main->stopFlag && clock.unixSeconds() > start + kLimitHours * 3600) {
        ADD_FAILURE() << "the run was still going after " << kLimitHours << " simulated hours";
        main->StopButton_Click();
      }
    });
  }

  void writeTargets(const std::string& text) { writeFileBytes(dir.file("targets.txt"), text); }
  std::string targets() const { return readFileBytes(dir.file("targets.txt")); }
  std::string runLog() const { return readFileBytes(hostDir + "/Logs/Nightpick.log"); }
  std::string acquisitionLog() const { return readFileBytes(hostDir + "/Logs/AcquireImages.log"); }
  std::vector<std::string> runLogLines() const { return splitLines(runLog()); }
  double hoursSinceStart(double startUnix) const { return (clock.unixSeconds() - startUnix) / 3600.0; }

  static constexpr double kLimitHours = 100;
  TempDir dir;
  std::string hostDir;
  ManualClock clock;
  std::unique_ptr<SimulatedObservatory> observatory;
  ErfaEphemerisFactory ephemeris;
  LocalFileSystem files;
  RecordingMessageSink messages;
  SimulatedEventPump pump{clock};
  std::unique_ptr<Platform> platform;
  RecordingView view;
  std::unique_ptr<frmMain> main;
  std::function<void()> onEvents;  // runs at every DoEvents: the "user"
};

}  // namespace np::test
