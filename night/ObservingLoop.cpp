#include "night/ObservingLoop.h"

#include <type_traits>

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
// Pauses between two tries to reach a shared list's store that could not be reached.
constexpr int kListRetryPauses = 30;

// A wait for a shared list's store that ended before the store could be reached: the
// stop flag was set or the night is over. The pass ends without a run.
struct ListWaitEnded {};

// The run log is buffered: it is flushed before anything that holds the run (a pause, a
// message box) and at the end of every pass, so that whoever follows the log sees every
// line while the run waits and a kill loses at most the lines of the pass under way.
void flushLog(NightRun& run) {
  if (run.logFile) run.logFile->Flush();
}

// The window's message boxes, with the run log flushed before each is shown.
class FlushingMessages : public MessageSink {
 public:
  FlushingMessages(MessageSink& messages, NightRun& run) : messages_(messages), run_(run) {}
  void showMessage(const std::string& text) override {
    flushLog(run_);
    messages_.showMessage(text);
  }

 private:
  MessageSink& messages_;
  NightRun& run_;
};

class Run {
 public:
  Run(const Services& services, NightRun& run)
      : messages_(services.messages, run),
        s_{.util = services.util,
           .telescope = services.telescope,
           .acpApp = services.acpApp,
           .ephemeris = services.ephemeris,
           .files = services.files,
           .clock = services.clock,
           .events = services.events,
           .messages = messages_,
           .setStatusText = services.setStatusText,
           .locale = services.locale,
           .programFolder = services.programFolder},
        run_(run) {}

  void nights() {
    while (!run_.stopFlag) {
      const DateTime nextDawn = dawnOrDusk(true);
      const DateTime nextDusk = dawnOrDusk(false);
      if (nextDawn > nextDusk) {
        if (nightSeen_) {
          // Dawn after a night: whoever sums it up reads the log as it stands.
          nightSeen_ = false;
          flushLog(run_);
          tell(NightEventKind::NightSummary, "");
        }
        dayPass(nextDusk);
      } else {
        nightSeen_ = true;
        nightPass(nextDawn);
      }
      flushLog(run_);
    }
  }

  void waitForIdleHost() {
    while (!run_.stopFlag && s_.util.ScriptActive()) {
      status(kWaitingForHost);
      pause();
    }
  }

  void log(const std::string& line) { run_.logFile->WriteLine(line); }
  void tell(NightEventKind kind, const std::string& text) {
    if (run_.events) run_.events->nightEvent(kind, text);
  }
  void started() { tell(NightEventKind::Started, "Nightpick started at " + now()); }

 private:
  DateTime dawnOrDusk(bool dawn) { return NextDawnDusk(s_, run_.earthEphem, run_.settings.sunElev, dawn); }
  void pause() {
    flushLog(run_);
    Pause(s_.events);
  }
  void status(std::string_view text) { s_.setStatusText(std::string(text)); }
  std::string now() { return s_.util.FormatVar(s_.clock.nowLocal(), "General Date"); }
  std::string planDir() { return s_.util.Prefs().LocalUser().DefaultPlanDir(); }

  void dayPass(DateTime nextDusk) {
    log(daytimeLine(now(), s_.util.FormatVar(nextDusk, "General Date")));
    bool canPark = s_.telescope.CanPark();
    bool canUnpark = s_.telescope.CanUnpark();
    if (canPark && canUnpark) s_.telescope.Park();
    while (!run_.stopFlag && s_.clock.nowLocal() < nextDusk) {
      status(std::string(kWaitingForDusk) + formatSingle(run_.settings.sunElev, s_.locale.decimalSeparator) +
             " degrees");
      pause();
    }
    canPark = s_.telescope.CanPark();
    canUnpark = s_.telescope.CanUnpark();
    if (canPark && canUnpark) s_.telescope.Unpark();
    // Unparked for the night, whatever parked it; a list still away secures it again.
    parkedForList_ = false;
    securedForList_ = false;
  }

  void nightPass(DateTime nextDawn) {
    // The host reads the quit time as UTC. The Julian date of the dawn is UTC already, so
    // its date-time is written as is: estimating the zone from the longitude would put the
    // quit time hours off wherever the clock's zone is not longitude / 15.
    const DateTime quitTime{s_.util.Date_Julian(nextDawn) - kSerialEpochJD};

    if (s_.util.WeatherConnected()) {
      while (!run_.stopFlag) {
        const bool safe = s_.util.Weather().Safe();
        weatherSeen(safe);
        if (safe) break;
        status(kWaitingForWeather);
        pause();
      }
    }
    // A plan is never handed to a host that still runs a script (a slow start of the last
    // one, or a script the operator started).
    waitForIdleHost();
    // A wait that lasted into the day ends the pass: the next one parks for the day instead
    // of spending a count on a plan that would quit at once.
    if (!(s_.clock.nowLocal() < nextDawn)) return;
    // Secured while the shared list was away and kept so by the weather since: opened now
    // that the weather is safe.
    if (parkedForList_ && !listAway_) reopenAfterList();

    const std::string runOnce = joinPath(planDir(), kRunPlanOnceName);
    if (s_.files.FileExists(runOnce)) s_.files.Remove(runOnce);

    log(starsLine());
    log(searchBannerLine(now()));
    log(starsLine());

    std::optional<ChosenGroup> chosen;
    std::optional<std::int16_t> left;
    if (run_.list) {
      // A shared list: the run is taken where the list is kept, and when another
      // observatory took the group's last run since this pass read the list, the pass
      // selects again on the list as it is now. A store that cannot be reached is waited
      // for (a take under way is tried again as it was, which the store counts once).
      PatientList list(*this, nextDawn);
      try {
        for (;;) {
          status(kSelectingStatus);
          const std::string listText = list.listText();
          // The list came back while the weather keeps the observatory secured: nothing is
          // taken, and the next pass waits for the weather.
          if (parkedForList_ && !listAway_) return;
          chosen = selectTargetIn(s_, std::make_unique<TextLines>(listText), *run_.logFile, run_.settings,
                                  run_.stopFlag, run_.observer, &passedOver_);
          if (run_.stopFlag) return;
          if (!chosen) break;
          const StoreTake take = takeFromStore(s_, *run_.logFile, run_.settings, run_.saveConfig, quitTime,
                                               listText, chosen->start, list);
          if (take.taken) {
            left = take.left;
            break;
          }
          log(takenElsewhereLine(chosen->start + 1));
        }
      } catch (const ListWaitEnded&) {
        return;
      }
    } else {
      chosen = selectTarget(s_, *run_.logFile, run_.settings, run_.stopFlag, run_.observer, &passedOver_);
      if (run_.stopFlag) return;  // the loop test ends the run
      if (chosen) left = updateTarget(s_, *run_.logFile, run_.settings, run_.saveConfig, quitTime, chosen->start);
    }

    if (chosen) {
      runGroup(*chosen, left);
    } else {
      status(kNoViableTarget);
      log(std::string(kNoViableTarget));
      for (int i = 0; i < kNoTargetPauses; ++i) {
        pause();
        if (run_.stopFlag) break;
      }
    }
  }

  // A shared list tried until it answers, each failure waited out by waitForList.
  class PatientList : public ListStore {
   public:
    PatientList(Run& run, DateTime nextDawn) : run_(run), nextDawn_(nextDawn) {}
    std::string listText() override {
      return run_.reachingList([&] { return run_.run_.list->listText(); }, nextDawn_);
    }
    std::optional<std::int16_t> takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                        const std::string& plan) override {
      return run_.reachingList([&] { return run_.run_.list->takeRun(delimiterLine, unixTime, plan); }, nextDawn_);
    }

   private:
    Run& run_;
    DateTime nextDawn_;
  };

  template <typename Step>
  std::invoke_result_t<Step> reachingList(Step&& step, DateTime nextDawn) {
    for (;;) {
      try {
        auto result = step();
        if (listAway_) listBack();
        return result;
      } catch (const ListStoreUnavailable& e) {
        waitForList(e.what(), nextDawn);
      }
    }
  }

  // One wait between two tries to reach the shared list. Nothing can be observed
  // meanwhile, so the observatory is secured at the first one. While the weather is unsafe
  // the status line says so (it is the weather that keeps the observatory closed then, and
  // the reports count the time as the weather's), and the weather's changes are told.
  // Throws ListWaitEnded when the stop flag is set or the night ends during the wait.
  void waitForList(const std::string& cause, DateTime nextDawn) {
    const std::string text = std::string(kWaitingForList) + cause;
    if (!listAway_) {
      listAway_ = true;
      log(text);
    }
    if (!securedForList_) secureForList(cause);
    for (int i = 0; i < kListRetryPauses; ++i) {
      status(weatherUnsafeNow() ? kWaitingForWeather : std::string_view(text));
      pause();
      if (run_.stopFlag || !(s_.clock.nowLocal() < nextDawn)) throw ListWaitEnded{};
    }
  }

  // The observatory left as safe as at the end of a run: the host's own securing (the
  // exposure ended, the mount parked, the roof closed), and where the host keeps none or
  // could not make all of it safe, the telescope parked when it can both park and unpark.
  void secureForList(const std::string& cause) {
    securedForList_ = true;
    const SecuringOutcome outcome =
        run_.secure ? run_.secure("the list's database cannot be reached: " + cause) : SecuringOutcome{};
    if (outcome.kept) parkedForList_ = true;
    if (outcome.kept && outcome.secured) return;
    if (s_.telescope.CanPark() && s_.telescope.CanUnpark()) {
      s_.telescope.Park();
      parkedForList_ = true;
    }
  }

  // The list is back: the observatory opens again at once, unless the weather keeps it
  // secured; then the next pass opens it once the weather is safe.
  void listBack() {
    listAway_ = false;
    securedForList_ = false;
    log(std::string(kListBack));
    if (parkedForList_ && !weatherUnsafeNow()) reopenAfterList();
  }

  void reopenAfterList() {
    parkedForList_ = false;
    if (s_.telescope.CanUnpark()) s_.telescope.Unpark();
  }

  // True when the weather source is connected and says unsafe now.
  bool weatherUnsafeNow() {
    if (!s_.util.WeatherConnected()) return false;
    const bool safe = s_.util.Weather().Safe();
    weatherSeen(safe);
    return !safe;
  }

  // Tells of a change of the weather as the loop sees it; safe weather at the first look
  // is no change.
  void weatherSeen(bool safe) {
    if (weatherSafe_ == safe || (!weatherSafe_ && safe)) {
      weatherSafe_ = safe;
      return;
    }
    weatherSafe_ = safe;
    tell(safe ? NightEventKind::WeatherSafe : NightEventKind::WeatherUnsafe,
         std::string(safe ? "The weather is safe again at " : "The weather is unsafe at ") + now());
  }

  // True when no group of the list has runs left (a count that cannot be read is none).
  bool listFinished() {
    // The selection has told the operator of a malformed line already.
    struct Quiet : MessageSink {
      void showMessage(const std::string&) override {}
    } quiet;
    std::unique_ptr<TextReader> list;
    if (run_.list) {
      try {
        list = std::make_unique<TextLines>(run_.list->listText());
      } catch (const ListStoreUnavailable&) {
        return false;  // cannot tell now; the next pass finds out
      }
    } else {
      list = s_.files.OpenTextFile(s_.programFolder + std::string(kTargetListName));
    }
    while (!list->AtEndOfStream()) {
      const std::string line = list->ReadLine();
      std::int16_t remaining = 0;
      if (isDelimiterLine(line) && parseTargetConfig(quiet, line, remaining) && remaining != 0) return false;
    }
    return true;
  }

  // Hands the plan written for `chosen` to the host and waits until its script has ended;
  // `left` is the count written back.
  void runGroup(const ChosenGroup& chosen, std::optional<std::int16_t> left) {
    auto runOnce = s_.files.CreateTextFile(joinPath(planDir(), kRunPlanOnceName));
    runOnce->WriteLine(planFilePath(s_.util));
    runOnce->Close();

    // The name stays from the group before when the line has none to give.
    extractName(s_.messages, chosen.targetLine, targetName_);
    status(std::string(kRunningPlanStatus) + targetName_);
    log(runningPlanLine(targetName_));

    s_.util.LoadScript(joinPath(joinPath(s_.acpApp.Path(), "Scripts"), "AcquireImages.js"));
    s_.util.RunScript();

    int waited = 0;
    while (!run_.stopFlag && !s_.util.ScriptActive()) {
      if (waited == kScriptStartPauses) {
        log(std::string(kScriptNotSeen));
        s_.util.AbortScript();  // a start still pending would refuse the next plan
        break;
      }
      pause();
      ++waited;
    }
    while (!run_.stopFlag && s_.util.ScriptActive()) pause();
    if (run_.stopFlag) return;
    // A plan the devices cannot run as written (a filter the wheel does not have) costs
    // its group this one count, not the night: the group is passed over from now on.
    const std::string planError = s_.util.LastPlanError();
    if (!planError.empty()) {
      passedOver_.insert({chosen.start, chosen.targetLine});
      const std::string line = passedOverLine(targetName_, chosen.start + 1, planError);
      log(line);
      s_.messages.showMessage(line);
    }
    if (left && *left == 0 && run_.events) {
      tell(NightEventKind::GroupFinished, targetName_ + ": the group's last run is done");
      if (listFinished()) tell(NightEventKind::ListFinished, "No group of the target list has runs left");
    }
  }

  FlushingMessages messages_;
  const Services s_;  // the run's services, with message boxes that flush the log first
  NightRun& run_;
  std::string targetName_;  // kept from plan to plan
  std::optional<bool> weatherSafe_;  // as last seen; none before the first look
  bool nightSeen_ = false;           // a night pass since the last dawn
  bool listAway_ = false;       // the shared list's store could not be reached at the last try
  bool securedForList_ = false;  // the observatory secured for the wait under way
  bool parkedForList_ = false;   // secured or parked for the shared list, not yet opened again
  PassedOverGroups passedOver_;  // for the rest of the run
};

// Closes the run log, keeping a failure to report.
std::exception_ptr closeLog(NightRun& run) {
  std::unique_ptr<TextWriter> log = std::move(run.logFile);
  if (!log) return nullptr;
  try {
    log->Close();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

}  // namespace

RunEnd runObservingLoop(const Services& services, NightRun& night) {
  RunEnd end;
  Run run(services, night);
  try {
    run.waitForIdleHost();
    night.logFile = services.files.OpenTextFileForAppending(
        joinPath(services.util.Prefs().LocalUser().DefaultLogDir(), kRunLogName));
    run.started();
    run.nights();
  } catch (const NoTwilightError& e) {
    // The Sun never reaches the dusk and dawn elevation: nothing can be observed with this
    // setting, so the run ends (the user can change the elevation and start again).
    if (night.logFile) {
      try {
        run.log(e.what());
      } catch (const std::exception&) {
      }
    }
    end.message = e.what();
  } catch (...) {
    // A run-time failure: keep what was logged, pass it on.
    closeLog(night);
    throw;
  }
  end.closeFailure = closeLog(night);
  return end;
}

}  // namespace np
