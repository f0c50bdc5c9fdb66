#include "night/ObservingLoop.h"

#include "base/Paths.h"
#include "night/Twilight.h"
#include "selection/Selection.h"
#include "targets/PlanWriter.h"
#include "targets/TargetList.h"

namespace np {

namespace {

constexpr int kNoTargetPauses = 301;
// A script that has not started after this many pauses (ten minutes) is taken as ended:
// a host script that finished before the loop first saw it running must not stall the
// night. A slow host gets all this time to start; one that has still not started by then
// is told to abort, so that the next plan finds it free.
constexpr int kScriptStartPauses = 600;
const std::string kStars(64, '*');

// The run log is buffered: it is flushed before anything that holds the run (a pause, a
// message box) and at the end of every pass, so that whoever follows the log sees every
// line while the run waits and a kill loses at most the lines of the pass under way.
void flushLog(NightContext& c) {
  if (c.logFile) c.logFile->Flush();
}

// The window's message boxes, with the run log flushed before each is shown.
class FlushingMessages : public MessageSink {
 public:
  explicit FlushingMessages(NightContext& c) : c_(c) {}
  void showMessage(const std::string& text) override {
    flushLog(c_);
    c_.messages.showMessage(text);
  }

 private:
  NightContext& c_;
};

class Run {
 public:
  explicit Run(NightContext& c) : c_(c), messages_(c) {}

  void nights() {
    while (!c_.stopFlag) {
      const DateTime nextDawn = dawnOrDusk(true);
      const DateTime nextDusk = dawnOrDusk(false);
      if (nextDawn > nextDusk) {
        dayPass(nextDusk);
      } else {
        nightPass(nextDawn);
      }
      flushLog(c_);
    }
  }

  void waitForIdleHost() {
    while (!c_.stopFlag && c_.util.ScriptActive()) {
      status(kWaitingForHost);
      pause();
    }
  }

  void log(const std::string& line) { c_.logFile->WriteLine(line); }

 private:
  DateTime dawnOrDusk(bool dawn) {
    return NextDawnDusk(c_.util, c_.telescope, c_.earthEphem, c_.ephemeris, c_.settings.sunElev, dawn);
  }
  void pause() {
    flushLog(c_);
    Pause(c_.events);
  }
  void status(std::string_view text) { c_.setStatusText(std::string(text)); }
  std::string now() { return c_.util.FormatVar(c_.clock.nowLocal(), "General Date"); }
  std::string planDir() { return c_.util.Prefs().LocalUser().DefaultPlanDir(); }

  void dayPass(DateTime nextDusk) {
    log(std::string(kDaytimeLog) + now() + ") - waiting for dusk at " + c_.util.FormatVar(nextDusk, "General Date"));
    bool canPark = c_.telescope.CanPark();
    bool canUnpark = c_.telescope.CanUnpark();
    if (canPark && canUnpark) c_.telescope.Park();
    while (!c_.stopFlag && c_.clock.nowLocal() < nextDusk) {
      status(std::string(kWaitingForDusk) + formatSingle(c_.settings.sunElev, c_.locale.decimalSeparator) + " degrees");
      pause();
    }
    canPark = c_.telescope.CanPark();
    canUnpark = c_.telescope.CanUnpark();
    if (canPark && canUnpark) c_.telescope.Unpark();
  }

  void nightPass(DateTime nextDawn) {
    // The host reads the quit time as UTC. The Julian date of the dawn is UTC already, so
    // its date-time is written as is: estimating the zone from the longitude would put the
    // quit time hours off wherever the clock's zone is not longitude / 15.
    c_.quitTime = DateTime{c_.util.Date_Julian(nextDawn) - kSerialEpochJD};

    if (c_.util.WeatherConnected()) {
      while (!c_.stopFlag && !c_.util.Weather().Safe()) {
        status(kWaitingForWeather);
        pause();
      }
    }
    // A plan is never handed to a host that still runs a script (a slow start of the last
    // one, or a script the operator started).
    waitForIdleHost();
    // A wait that lasted into the day ends the pass: the next one parks for the day instead
    // of spending a count on a plan that would quit at once.
    if (!(c_.clock.nowLocal() < nextDawn)) return;

    const std::string runOnce = joinPath(planDir(), kRunPlanOnceName);
    if (c_.files.FileExists(runOnce)) c_.files.Remove(runOnce);

    log(kStars);
    log(std::string(kSearchBanner) + now());
    log(kStars);

    const std::optional<ChosenGroup> chosen = choose();
    if (c_.stopFlag) return;  // the loop test ends the run

    if (chosen) {
      runGroup(*chosen);
    } else {
      status(kNoViableTarget);
      log(std::string(kNoViableTarget));
      for (int i = 0; i < kNoTargetPauses; ++i) {
        pause();
        if (c_.stopFlag) break;
      }
    }
    c_.ct.reset();
  }

  std::optional<ChosenGroup> choose() {
    SelectionContext selection{c_.files,    c_.util,
                               c_.telescope, *c_.logFile,
                               messages_,   c_.settings,
                               c_.stopFlag, c_.events,
                               c_.setStatusText, c_.ct,
                               c_.programFolder + std::string(kTargetListName), c_.locale,
                               c_.selectionObserver};
    return chooseGroup(selection);
  }

  void runGroup(const ChosenGroup& chosen) {
    PlanContext plan{c_.files,    c_.util,     *c_.logFile,      messages_,       c_.clock,
                     c_.settings, c_.quitTime, c_.programFolder, c_.setStatusText, c_.saveConfig};
    updateTarget(plan, chosen.start);

    auto runOnce = c_.files.CreateTextFile(joinPath(planDir(), kRunPlanOnceName));
    runOnce->WriteLine(planFilePath(c_.util));
    runOnce->Close();

    // The name stays from the group before when the line has none to give.
    extractName(messages_, chosen.targetLine, targetName_);
    status(std::string(kRunningPlanStatus) + targetName_);
    log(std::string(kRunningPlanLog) + targetName_);

    c_.util.LoadScript(joinPath(joinPath(c_.acpApp.Path(), "Scripts"), "AcquireImages.js"));
    c_.util.RunScript();

    int waited = 0;
    while (!c_.stopFlag && !c_.util.ScriptActive()) {
      if (waited == kScriptStartPauses) {
        log(std::string(kScriptNotSeen));
        c_.util.AbortScript();  // a start still pending would refuse the next plan
        break;
      }
      pause();
      ++waited;
    }
    while (!c_.stopFlag && c_.util.ScriptActive()) pause();
  }

  NightContext& c_;
  FlushingMessages messages_;
  std::string targetName_;  // kept from plan to plan
};

// Closes the run log, keeping a failure to report.
std::exception_ptr closeLog(NightContext& c) {
  std::unique_ptr<TextWriter> log = std::move(c.logFile);
  if (!log) return nullptr;
  try {
    log->Close();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

}  // namespace

RunEnd runObservingLoop(NightContext& context) {
  RunEnd end;
  Run run(context);
  try {
    run.waitForIdleHost();
    context.logFile = context.files.OpenTextFileForAppending(
        joinPath(context.util.Prefs().LocalUser().DefaultLogDir(), kRunLogName));
    run.nights();
  } catch (const NoTwilightError& e) {
    // The Sun never reaches the dusk and dawn elevation: nothing can be observed with this
    // setting, so the run ends (the user can change the elevation and start again).
    if (context.logFile) {
      try {
        run.log(e.what());
      } catch (const std::exception&) {
      }
    }
    end.message = e.what();
  } catch (...) {
    // A run-time failure: keep what was logged, pass it on.
    closeLog(context);
    context.ct.reset();
    throw;
  }
  end.closeFailure = closeLog(context);
  context.ct.reset();
  return end;
}

}  // namespace np
