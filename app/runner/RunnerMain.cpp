// nightpick-sim: the headless runner. The program's own observing loop against the
// simulated observatory, on a clock that runs as fast as the machine allows.
#include <CLI/CLI.hpp>

#include <cmath>
#include <map>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <type_traits>

#include "base/Clock.h"
#include "app/runner/Explain.h"
#include "app/runner/FleetRun.h"
#include "app/runner/HeadlessRun.h"
#include "app/runner/OpenHost.h"
#include "report/LogReport.h"
#include "report/ReportPictureModule.h"
#include "host/ObservatoryConfig.h"
#include "host/UtcTime.h"
#include "settings/ConfigFile.h"

namespace {

// The picture's module lies beside the program.
template <typename Report>
int drawPicture(const Report& report, const std::string& file, int exitCode) {
  std::string error;
  const std::string folder = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  bool written = false;
  if constexpr (std::is_same_v<Report, np::SeasonReport>)
    written = np::writeSeasonPictureWithModule(folder, report, file, error);
  else
    written = np::writeReportPictureWithModule(folder, report, file, error);
  if (!written) {
    std::cerr << "error: --report: " << error << std::endl;
    return exitCode != 0 ? exitCode : 1;
  }
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  np::registerBackEnds();
  np::HeadlessOptions options;
  CLI::App app{"Runs Nightpick's observing loop against the simulated observatory, as fast as it can."};
  app.add_option("--program-dir", options.programDir, "folder holding targets.txt and config.ini")
      ->capture_default_str();
  app.add_option("--host-dir", options.hostDir, "the simulated observatory's folder (default: observatory in it)");
  app.add_option("--start", options.start, "UTC instant at which the run starts, ISO 8601 (default: clock.start)");
  app.add_option("--hours", options.hours, "simulated hours until Stop is pressed")->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--stop-after-plans", options.stopAfterPlans, "press Stop once N plans have finished")
      ->check(CLI::PositiveNumber);
  std::string reportFile;
  auto* report = app.add_option("--report", reportFile, "also draw the night report as a PNG picture");
  bool explain = false, csv = false;
  std::string at;
  auto* explainFlag = app.add_flag("--explain", explain,
                                   "instead of a run: why each group of targets.txt is chosen or not, at one instant");
  auto* atOption = app.add_option("--at", at, "with --explain: the UTC instant, ISO 8601 (default: clock.start)");
  auto* csvFlag = app.add_flag("--csv", csv, "with --explain: CSV instead of a table");
  atOption->needs(explainFlag);
  csvFlag->needs(explainFlag);
  explainFlag->excludes(report);
  for (const char* runOnly : {"--start", "--hours", "--stop-after-plans"}) explainFlag->excludes(app.get_option(runOnly));

  std::string fromLog;
  np::LogReportOptions logOptions;
  auto* fromLogOption = app.add_option("--report-from-log", fromLog,
                                       "instead of a run: the night report of a run log (Nightpick.log) that is over");
  auto* latitude = app.add_option("--latitude", logOptions.latitude, "with --report-from-log: the site's latitude, "
                                  "degrees north");
  auto* longitude = app.add_option("--longitude", logOptions.longitude, "with --report-from-log: the site's longitude, "
                                   "degrees east");
  auto* utcOffset = app.add_option("--utc-offset", logOptions.utcOffsetHours,
                                   "with --report-from-log: hours east of UTC of the log's times (default: the "
                                   "site's observatory.ini, else longitude / 15 rounded)");
  auto* sunElev = app.add_option("--sun-elev", logOptions.sunElev,
                                 "with --report-from-log: the Sun's elevation of dusk and dawn, degrees")
                      ->capture_default_str();
  auto* acquisition = app.add_option("--acquisition-log", logOptions.acquisitionLogPath,
                                     "with --report-from-log: the acquisition log (default: AcquireImages.log beside it)");
  std::map<std::string, np::LogDateOrder> orders{{"auto", np::LogDateOrder::Automatic},
                                                 {"mdy", np::LogDateOrder::MonthDayYear},
                                                 {"dmy", np::LogDateOrder::DayMonthYear},
                                                 {"ymd", np::LogDateOrder::YearMonthDay}};
  auto* dateOrder = app.add_option("--date-order", logOptions.dateOrder,
                                   "with --report-from-log: how the log's dates are written (auto, mdy, dmy, ymd)")
                        ->transform(CLI::CheckedTransformer(orders, CLI::ignore_case));
  for (CLI::Option* o : {latitude, longitude, utcOffset, sunElev, acquisition, dateOrder}) o->needs(fromLogOption);
  fromLogOption->excludes(explainFlag);
  fromLogOption->excludes(app.get_option("--stop-after-plans"));
  latitude->needs(longitude);
  longitude->needs(latitude);

  std::vector<std::string> fleetDirs;
  auto* fleet = app.add_option("--fleet", fleetDirs,
                               "instead of one folder: a fleet's dry run, the program folders DIR1,DIR2,... each a "
                               "site with its own observatory, on one timeline from --start for --hours, sharing a "
                               "copy in memory of the first folder's targets.txt (never written; no [list] database "
                               "is contacted): each site's report, then the fleet's")
                    ->delimiter(',');
  for (const char* single : {"--program-dir", "--host-dir", "--stop-after-plans", "--report", "--explain",
                             "--report-from-log"})
    fleet->excludes(app.get_option(single));
  CLI11_PARSE(app, argc, argv);

  if (!fleetDirs.empty()) {
    np::FleetOptions fleetOptions;
    fleetOptions.start = options.start;
    fleetOptions.hours = options.hours;
    return np::runFleetDryRun(fleetDirs, fleetOptions, std::cout, std::cerr);
  }

  if (!fromLog.empty()) {
    if (!reportFile.empty() && !np::isReportPicturePath(reportFile)) {
      std::cerr << "error: --report: only .png pictures are written: '" << reportFile << "'" << std::endl;
      return 2;
    }
    // The site: from the command line, or the observatory's configuration (--host-dir, or
    // the observatory of --program-dir, whose config.ini also gives the dusk elevation).
    if (app.get_option("--program-dir")->count() > 0) {
      if (options.hostDir.empty()) options.hostDir = np::joinPath(options.programDir, "observatory");
      if (sunElev->count() == 0) {
        np::LocalFileSystem files;
        np::Settings settings;
        try {
          np::loadConfigFile(files, np::joinPath(options.programDir, np::kConfigFileName), settings);
        } catch (const std::exception& e) {
          std::cerr << "error: " << e.what() << std::endl;
          return 2;
        }
        logOptions.sunElev = settings.sunElev;
      }
    }
    if (!options.hostDir.empty()) {
      const std::string ini = (std::filesystem::path(options.hostDir) / np::kObservatoryIniName).string();
      std::ifstream in(ini, std::ios::binary);
      if (!in) {
        std::cerr << "error: " << (app.get_option("--host-dir")->count() > 0 ? "--host-dir" : "--program-dir")
                  << ": cannot read '" << ini << "'" << std::endl;
        return 2;
      }
      std::ostringstream text;
      text << in.rdbuf();
      try {
        const np::ObservatoryConfig config = np::parseObservatoryConfig(text.str(), ini);
        // Every host but the simulated one runs on the computer's clock and may leave the
        // site to its mount.
        const bool realDevices = config.host.kind != np::kSimulatedKind;
        if (latitude->count() == 0) {
          // A mount that keeps the site cannot be asked by the report.
          if (realDevices && !(config.site.latitudeGiven && config.site.longitudeGiven)) {
            std::cerr << "error: '" << ini << "' leaves the site to the mount: give --latitude and --longitude"
                      << std::endl;
            return 2;
          }
          logOptions.latitude = config.site.latitude;
          logOptions.longitude = config.site.longitude;
        }
        if (utcOffset->count() == 0) {
          // A real observatory's logs are in the computer's own zone (as of the stretch asked
          // for, or of now); the simulated observatory's in its site's zone.
          double at = np::systemUnixSeconds();
          if (!options.start.empty()) np::parseUtcInstant(options.start, at);
          logOptions.utcOffsetHours = realDevices ? np::SystemClock::utcOffsetHoursAt(at) : config.site.utcOffset;
        }
        logOptions.limitsKnown = true;
        logOptions.minimumElevation = config.limits.minimumElevation;
        for (const np::HorizonPoint& p : config.limits.horizon)
          logOptions.horizonMax = std::max(logOptions.horizonMax, p.elevation);
      } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << std::endl;
        return 2;
      }
    } else if (latitude->count() == 0) {
      std::cerr << "error: --report-from-log needs the site: --latitude and --longitude, or --host-dir" << std::endl;
      return 2;
    } else if (utcOffset->count() == 0) {
      logOptions.utcOffsetHours = std::round(logOptions.longitude / 15.0);
    }
    if (!options.start.empty()) {
      double start = 0;
      if (!np::parseUtcInstant(options.start, start)) {
        std::cerr << "error: --start: not an ISO 8601 date-time: '" << options.start << "'" << std::endl;
        return 2;
      }
      logOptions.startUnix = start;
      logOptions.endUnix = start + options.hours * 3600.0;
    } else if (app.get_option("--hours")->count() > 0) {
      std::cerr << "error: --hours needs --start with --report-from-log" << std::endl;
      return 2;
    }
    logOptions.logPath = fromLog;
    const np::LogReportResult result = np::buildReportFromLog(logOptions);
    if (!result.ok) {
      std::cerr << "error: " << result.error << std::endl;
      return 1;
    }
    std::cout << np::formatNightReport(result.report);
    std::cout.flush();
    return reportFile.empty() ? 0 : drawPicture(result.report, reportFile, 0);
  }

  if (explain) {
    np::ExplainOptions explainOptions{options.programDir, options.hostDir, at};
    const np::ExplainResult result = np::explainSelection(explainOptions, std::cerr);
    if (result.exitCode == 0) std::cout << (csv ? np::formatExplainCsv(result) : np::formatExplainText(result));
    std::cout.flush();
    return result.exitCode;
  }
  if (!reportFile.empty() && !np::isReportPicturePath(reportFile)) {
    std::cerr << "error: --report: only .png pictures are written: '" << reportFile << "'" << std::endl;
    return 2;
  }

  np::HeadlessResult result = np::runHeadless(options, std::cout, std::cerr);
  std::cout.flush();
  if (!reportFile.empty() && result.hasReport && result.isSeason)
    return drawPicture(result.season, reportFile, result.exitCode);
  if (!reportFile.empty() && result.hasReport) return drawPicture(result.report, reportFile, result.exitCode);
  return result.exitCode;
}
