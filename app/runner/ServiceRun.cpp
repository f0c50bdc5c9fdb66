#include "app/runner/ServiceRun.h"

#include <exception>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "app/FrmMain.h"
#include "base/FileSystem.h"
#include "base/Paths.h"
#include "host/ErfaEphemeris.h"
#include "night/RealTimeWait.h"
#include "app/runner/OpenHost.h"
#include "app/runner/PrintingMessageSink.h"
#include "app/runner/PrintingView.h"
#include "app/runner/Notifier.h"
#include "app/runner/RunReport.h"
#include "app/runner/ListConfig.h"
#include "app/runner/WatchConfig.h"
#include "app/runner/StatusBoard.h"
#include "report/ReportPictureModule.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include <fstream>
#include <sstream>
#include "host/HostSkeleton.h"
#include "report/NightReport.h"
#include "targets/RunLog.h"
#include "targets/TargetList.h"

namespace np {

namespace {

constexpr char kExecutableName[] = "nightpick-headless";

std::string absoluteFolder(const std::string& folder) {
  std::error_code ec;
  const auto abs = std::filesystem::absolute(folder.empty() ? "." : folder, ec);
  return withoutSeparator(ec ? folder : abs.lexically_normal().string());
}

}  // namespace

int runService(const ServiceOptions& options, const std::function<bool()>& stopRequested, std::ostream& out,
               std::ostream& err) {
  try {
    const std::string programDir = absoluteFolder(options.programDir);
    const std::string hostDir =
        options.hostDir.empty() ? joinPath(programDir, "observatory") : absoluteFolder(options.hostDir);

    // The file system outlives the host, which writes through it; the host's clock and
    // objects outlive the window's logic, which holds the objects.
    LocalFileSystem files;
    OpenedHost opened = openHost(hostDir, files);
    ErfaEphemerisFactory ephemeris;
    PrintingMessageSink messages(err);
    RealTimeEventPump events(*opened.clock);
    Platform platform{*opened.host, ephemeris, files,           *opened.clock,
                      messages,     events,    options.locale, joinPath(programDir, kExecutableName)};
    // The night's status changes, kept for its summary at dawn and begun anew after it.
    std::vector<StatusChange> nightStatuses;
    PrintingView view(out, *opened.clock, &nightStatuses, true);
    EligibilityTally tally;

    // The events of the run to the [notify] command. The notifier outlives the window's
    // logic, which tells it of the run's end, and gives its queue a bounded time to go out.
    NotifyConfig notify;
    if (opened.skeleton) notify = readNotifyConfig(opened.skeleton->config(), joinPath(hostDir, kObservatoryIniName));
    const Clock& clock = *opened.clock;
    const std::string runLogPath = opened.skeleton ? joinPath(opened.skeleton->logDir(), kRunLogName) : std::string();
    const std::string listPath = joinPath(programDir, std::string(kTargetListName));
    // A fleet member's list is kept in the fleet's database; what shows the list while the
    // run goes shows it as the run last read it.
    ListConfig listConfig;
    if (opened.skeleton) listConfig = readListConfig(opened.skeleton->config(), joinPath(hostDir, kObservatoryIniName));
    std::unique_ptr<LastReadList> sharedList = openSharedList(listConfig);
    auto listGroups = [&](bool readIfNone) -> std::vector<ReportGroup> {
      if (!opened.skeleton) return {};
      if (!sharedList) return reportGroupsOf(*opened.skeleton, listPath);
      const std::optional<std::string> text = sharedList->lastRead(readIfNone);
      return text ? reportGroupsOfText(*opened.skeleton, *text) : std::vector<ReportGroup>{};
    };
    double nightStart = clock.unixSeconds();
    std::uint64_t nightLogStart = 0;
    std::vector<ReportGroup> nightGroups;
    auto beginNight = [&] {
      std::error_code ec;
      nightLogStart = std::filesystem::file_size(runLogPath, ec);
      if (ec) nightLogStart = 0;
      nightStart = clock.unixSeconds();
      nightStatuses.clear();
      tally = EligibilityTally{};
      nightGroups = listGroups(true);
    };
    frmMain* window = nullptr;
    auto nightSoFar = [&]() -> NightReport {
      if (!opened.skeleton || !window) return {};
      RunReportSource source{.observatory = *opened.skeleton,
                             .utcOffsetHours = clock.utcOffsetHours(),
                             .runLogPath = runLogPath,
                             .runLogStart = nightLogStart,
                             .statuses = &nightStatuses,
                             .sunElev = window->settings.sunElev,
                             .maxElevation = window->settings.maxElevation,
                             .interpolatedSun = false,
                             .groups = nightGroups,
                             .neverEligible = tally.neverEligible(),
                             .moonKeptOut = tally.moonKeptOut()};
      return buildRunReport(source, nightStart, clock.unixSeconds());
    };
    auto nightSummary = [&]() -> std::string { return formatNightReport(nightSoFar()); };
    beginNight();
    Notifier notifier(notify, programDir, [&clock] { return clock.unixSeconds(); }, nightSummary, err);

    // The status page's board, filled on this thread; the server only reads it.
    StatusConfig statusConfig;
    if (opened.skeleton)
      statusConfig = readStatusConfig(opened.skeleton->config(), joinPath(hostDir, kObservatoryIniName));
    std::unique_ptr<IUtil> boardUtil = opened.skeleton ? opened.skeleton->createUtil() : nullptr;
    StatusSources sources;
    sources.unixSeconds = [&clock] { return clock.unixSeconds(); };
    sources.localTime = [&clock](double unix) {
      return formatGeneralDate(localFromUnix(unix, clock.utcOffsetHours()));
    };
    sources.running = [&window] { return window && window->running(); };
    sources.weather = [&boardUtil]() -> std::string {
      if (!boardUtil || !boardUtil->WeatherConnected()) return "not connected";
      return boardUtil->Weather().Safe() ? "safe" : "unsafe";
    };
    sources.nightSoFar = nightSoFar;
    if (!options.pictureModuleFolder.empty()) {
      sources.drawPicture = [&options, &runLogPath](const NightReport& report) -> std::string {
        const std::string path = runLogPath + ".status.png";
        std::string error;
        if (!writeReportPictureWithModule(options.pictureModuleFolder, report, path, error)) return {};
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return bytes.str();
      };
    }
    sources.runLogPath = runLogPath;
    sources.list = [&] { return listGroups(false); };
    StatusBoard board(sources);
    std::shared_ptr<void> statusServer;
    // A page that cannot be served (its port taken, an address not this computer's) is
    // said, and the night goes on without it: the observatory matters more than its page.
    if (statusConfig.enabled && options.serveStatus) {
      try {
        statusServer = options.serveStatus(board, statusConfig);
      } catch (const std::exception& e) {
        err << "status: " << e.what() << "; the run goes on without the page" << std::endl;
      }
    }
    const bool serving = statusServer != nullptr;
    if (serving) view.setObserver([&board](const StatusChange& change) { board.statusChanged(change.text); });

    // The notifier and the board hear the run's events; at dawn, once both have seen the
    // night, the next one begins.
    struct NightSinks : NightEventSink {
      Notifier& notifier;
      StatusBoard* board;
      std::function<void()> dawn;
      NightSinks(Notifier& n, StatusBoard* b, std::function<void()> d) : notifier(n), board(b), dawn(std::move(d)) {}
      void nightEvent(NightEventKind kind, const std::string& text) override {
        notifier.nightEvent(kind, text);
        if (board) board->nightEvent(kind, text);
        if (kind == NightEventKind::NightSummary) dawn();
      }
    } sinks(notifier, serving ? &board : nullptr, beginNight);

    frmMain main(platform, &view);
    window = &main;
    main.listStore = sharedList.get();
    main.selectionObserver = &tally;
    main.nightEvents = &sinks;

    // The service's "user": a stop request presses Stop Nightpick and ACP, once, while a
    // run is under way; a wait under way then ends at once, so the run sees the stop at
    // its next check.
    bool stopPressed = false;
    events.setOnEvents([&] {
      if (serving) board.refresh(10.0);
      if (stopPressed || !main.running() || !stopRequested()) return;
      stopPressed = true;
      main.StopAndAbortButton_Click();
    });
    events.setEndWait([&] { return main.stopFlag; });

    main.Form_Load();
    main.StartButton_Click();
    // A copy refused by the folder's lock leaves the folder to the copy that runs: the
    // settings it loaded may be older than that copy's last save.
    if (main.startRefused()) return kServiceFailed;
    main.Form_Unload();
    if (!stopPressed) {
      err << "error: the run ended without a stop request" << std::endl;
      return kServiceFailed;
    }
    return kServiceStopped;
  } catch (const std::exception& e) {
    err << "error: " << e.what() << std::endl;
  } catch (...) {
    err << "error: unknown error" << std::endl;
  }
  return kServiceFailed;
}

}  // namespace np
