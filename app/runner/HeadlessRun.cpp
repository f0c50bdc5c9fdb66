#include "app/runner/HeadlessRun.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>

#include "app/FrmMain.h"
#include "app/runner/PrintingMessageSink.h"
#include "app/runner/PrintingView.h"
#include "app/runner/RunReport.h"
#include "app/runner/StatusBoard.h"
#include "app/runner/ListConfig.h"
#include "app/runner/WatchConfig.h"
#include "host/ErfaEphemeris.h"
#include "host/InterpolatedEphemeris.h"
#include "base/FileSystem.h"
#include "host/ObservatoryConfig.h"
#include "host/UtcTime.h"
#include "app/runner/OpenHost.h"
#include "host/HostSkeleton.h"
#include "night/ObservingLoop.h"
#include "night/SimulatedWait.h"
#include "targets/TargetList.h"

namespace np {

namespace {

std::string absoluteFolder(const std::string& folder) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(folder, ec);
  return ec ? folder : abs.lexically_normal().string();
}

// The whole file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return true;
}

std::string withoutTrailingSeparator(std::string folder) {
  folder = absoluteFolder(folder);
  return withoutSeparator(folder);
}

}  // namespace

HeadlessResult runHeadless(const HeadlessOptions& options, std::ostream& out, std::ostream& err) {
  HeadlessResult result;
  result.programDir = withoutTrailingSeparator(options.programDir.empty() ? "." : options.programDir);
  result.hostDir = options.hostDir.empty() ? joinPath(result.programDir, "observatory")
                                           : withoutTrailingSeparator(options.hostDir);
  try {
    if (!(options.hours >= 0)) throw RunTimeError("--hours must be a number of hours, 0 or more");
    registerBackEnds();
    ObservatoryConfig config = loadObservatoryConfig(result.hostDir);
    // A dry run reads the keys of those who watch a run too, so that a misspelt one shows
    // before the service meets it.
    readNotifyConfig(config, joinPath(result.hostDir, kObservatoryIniName));
    readStatusConfig(config, joinPath(result.hostDir, kObservatoryIniName));
    // The dry run keeps to the program folder's targets.txt: it never takes a shared list's runs.
    readListConfig(config, joinPath(result.hostDir, kObservatoryIniName));
    double start = clockStartUnixSeconds(config, systemUnixSeconds());
    if (!options.start.empty() && !parseUtcInstant(options.start, start))
      throw RunTimeError("--start: not an ISO 8601 UTC instant: '" + options.start + "'");
    result.startUnix = start;
    const double end = start + options.hours * 3600.0;

    LocalFileSystem files(options.diskSync);
    HostRequest dryRun;
    dryRun.manualStart = start;
    OpenedHost opened = openHost(result.hostDir, files, dryRun);
    ManualClock& clock = *opened.manualClock;
    HostSkeleton& observatory = *opened.skeleton;
    result.utcOffsetHours = clock.utcOffsetHours();
    ErfaEphemerisFactory exactEphemeris;
    InterpolatedEphemerisFactory interpolatedEphemeris(exactEphemeris);
    IEphemerisFactory& ephemeris = options.interpolatedSun ? static_cast<IEphemerisFactory&>(interpolatedEphemeris)
                                                           : exactEphemeris;
    PrintingMessageSink messages(err, result.messages);
    SimulatedEventPump events(clock);
    std::unique_ptr<IHostFactory> reached = options.reachHost ? options.reachHost(observatory) : nullptr;
    Platform platform{reached ? *reached : observatory, ephemeris, files, clock, messages, events, NumberLocale{'.'},
                      joinPath(result.programDir, "nightpick-sim")};
    result.isSeason = options.hours > kSeasonAfterHours;
    PrintingView view(out, clock, result.isSeason ? nullptr : &result.statuses);
    frmMain main(platform, &view);
    EligibilityTally tally(&clock);
    main.selectionObserver = &tally;
    main.listStore = options.list;

    // What the report needs from before the run: where this run's part of the run log
    // begins, and the target list as it stood.
    const std::string runLogPath = joinPath(observatory.logDir(), kRunLogName);
    std::error_code ec;
    std::uintmax_t runLogStart = std::filesystem::file_size(runLogPath, ec);
    if (ec) runLogStart = 0;
    std::vector<ReportGroup> groups;
    {
      std::string list;
      if (options.list)
        list = options.list->listText();
      else
        readWholeFile(joinPath(result.programDir, kTargetListName), list);  // none: no groups
      if (!list.empty()) {
        auto util = observatory.createUtil();
        groups = readReportGroups(*util, list);
      }
    }

    // What the night report of the run so far is made from.
    auto reportSource = [&](std::vector<KeptOutGroup> neverEligible, std::vector<MoonKeptOut> moonKeptOut) {
      return RunReportSource{.observatory = observatory,
                             .utcOffsetHours = result.utcOffsetHours,
                             .runLogPath = runLogPath,
                             .runLogStart = runLogStart,
                             .statuses = &result.statuses,
                             .sunElev = main.settings.sunElev,
                             .maxElevation = main.settings.maxElevation,
                             .interpolatedSun = options.interpolatedSun,
                             .groups = groups,
                             .neverEligible = std::move(neverEligible),
                             .moonKeptOut = std::move(moonKeptOut)};
    };

    // A status page over the run, when asked for: the night from the run's start.
    std::optional<StatusBoard> board;
    std::shared_ptr<void> statusServer;
    std::unique_ptr<IUtil> boardUtil;
    if (options.serveStatus) {
      boardUtil = observatory.createUtil();
      StatusSources sources;
      sources.unixSeconds = [&clock] { return clock.unixSeconds(); };
      sources.localTime = [&clock](double unix) { return formatGeneralDate(localFromUnix(unix, clock.utcOffsetHours())); };
      sources.running = [&main] { return main.running(); };
      sources.weather = [&boardUtil]() -> std::string {
        if (!boardUtil->WeatherConnected()) return "not connected";
        return boardUtil->Weather().Safe() ? "safe" : "unsafe";
      };
      sources.nightSoFar = [&] { return buildRunReport(reportSource({}, {}), result.startUnix, clock.unixSeconds()); };
      sources.runLogPath = runLogPath;
      const std::string listPath = joinPath(result.programDir, kTargetListName);
      sources.list = [&observatory, listPath] { return reportGroupsOf(observatory, listPath); };
      board.emplace(sources);
      main.nightEvents = &*board;
      statusServer = options.serveStatus(*board);
    }

    // The runner's "user": Stop at the end of the stretch, or once enough plans are done.
    bool stopPressed = false;
    events.setOnEvents([&] {
      if (options.clockMoved) options.clockMoved(clock.unixSeconds());
      if (board) board->refresh();
      if (stopPressed || !main.running()) return;
      if (clock.unixSeconds() >= end ||
          (options.stopAfterPlans > 0 && observatory.runCount() >= options.stopAfterPlans &&
           !observatory.scriptRunning())) {
        stopPressed = true;
        main.StopButton_Click();
      }
    });

    // A season gathers its statuses as they come, so that its memory follows the nights.
    std::optional<SeasonReportBuilder> season;
    if (result.isSeason) {
      season.emplace(result.startUnix, result.utcOffsetHours, groups);
      view.setObserver([&season](const StatusChange& change) { season->status(change.unixSeconds, change.text); });
    } else if (board) {
      view.setObserver([&board](const StatusChange& change) { board->statusChanged(change.text); });
    }

    std::string failure;
    bool started = false;
    try {
      main.Form_Load();
      if (season) {
        const ObservatoryConfig& site = observatory.config();
        season->setSun(ReportSun(site.site.latitude, site.site.longitude, options.interpolatedSun),
                       main.settings.sunElev);
      }
      view.statusTextChanged(main.statusText());
      started = true;
      main.StartButton_Click();
      // A copy refused by the folder's lock leaves the folder to the copy that runs: the
      // settings it loaded may be older than that copy's last save.
      if (!main.startRefused()) main.Form_Unload();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    result.endUnix = clock.unixSeconds();
    if (!failure.empty()) {
      result.exitCode = 1;
      result.error = failure;
      err << "error: " << failure << std::endl;
    } else if (!stopPressed) {
      result.exitCode = 1;
      result.error = result.messages.empty() ? "the run ended without a stop" : result.messages.back();
      err << "error: " << result.error << std::endl;
    }

    if (started && season) {
      observatory.update();
      result.season =
          season->finish(result.endUnix, observatory.acquisitionLogPath(), tally.neverEligible(), tally.moonKeptOut());
      result.hasReport = true;
      out << '\n' << formatSeasonReport(result.season);
      out.flush();
    } else if (started) {
      result.report = buildRunReport(reportSource(tally.neverEligible(), tally.moonKeptOut()), result.startUnix,
                                     result.endUnix);
      result.hasReport = true;
      out << '\n' << formatNightReport(result.report);
      out.flush();
    }
  } catch (const std::exception& e) {
    result.exitCode = 1;
    result.error = e.what();
    err << "error: " << e.what() << std::endl;
  }
  return result;
}

}  // namespace np
