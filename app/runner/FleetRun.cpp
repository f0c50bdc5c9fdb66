#include "app/runner/FleetRun.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <thread>

#include "app/runner/ListConfig.h"
#include "app/runner/OpenHost.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "host/ObservatoryConfig.h"
#include "host/UtcTime.h"
#include "targets/ListCopy.h"
#include "targets/TargetList.h"

namespace np {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

// The sites' clocks as the timeline knows them. A site's own thread moves its time on;
// a site that is about to touch the list waits until it comes first: every other site's
// time is later than its own, or the same with the other later in the order (the sites
// whose runs have ended are at kNever). Clocks only go forward, so a site's time is the
// earliest at which it can still touch the list.
class Timeline {
 public:
  Timeline(std::size_t sites, double start, double stallSeconds)
      : times_(sites), stallSeconds_(stallSeconds) {
    for (auto& t : times_) t.store(start);
  }

  void moved(std::size_t site, double unixSeconds) {
    times_[site].store(unixSeconds);
    // A site waiting at a time this one has now reached may go on.
    if (unixSeconds >= wakeAt_.load()) {
      std::lock_guard lock(mutex_);
      wake_.notify_all();
    }
  }

  void ended(std::size_t site) { moved(site, kNever); }

  void awaitTurn(std::size_t site) {
    const double at = times_[site].load();
    if (first(site, at)) return;
    std::unique_lock lock(mutex_);
    const auto waiting = waitingAt_.insert(at);
    wakeAt_.store(*waitingAt_.begin());
    std::vector<double> seen = snapshot();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(stallSeconds_);
    while (!first(site, at)) {
      wake_.wait_for(lock, std::chrono::milliseconds(200));
      std::vector<double> now = snapshot();
      if (now != seen) {
        seen = std::move(now);
        deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(stallSeconds_);
      } else if (std::chrono::steady_clock::now() > deadline) {
        waitingAt_.erase(waiting);
        wakeAt_.store(waitingAt_.empty() ? kNever : *waitingAt_.begin());
        throw RunTimeError("the fleet's other sites did not move on for " + std::to_string(stallSeconds_) +
                           " s: this site's run is given up");
      }
    }
    waitingAt_.erase(waiting);
    wakeAt_.store(waitingAt_.empty() ? kNever : *waitingAt_.begin());
  }

 private:
  bool first(std::size_t site, double at) const {
    for (std::size_t other = 0; other < times_.size(); ++other) {
      if (other == site) continue;
      const double t = times_[other].load();
      if (t < at || (t == at && other < site)) return false;
    }
    return true;
  }
  std::vector<double> snapshot() const {
    std::vector<double> t;
    for (const auto& time : times_) t.push_back(time.load());
    return t;
  }

  std::vector<std::atomic<double>> times_;
  const double stallSeconds_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::multiset<double> waitingAt_;  // the times the waiting sites wait at
  std::atomic<double> wakeAt_{kNever};
};

// A site's way to the shared list: each read and take in its turn on the timeline, each
// run taken recorded for the fleet's report.
class TimedList : public ListStore {
 public:
  TimedList(ListStore& list, Timeline& timeline, std::size_t site, std::mutex& takesMutex,
            std::vector<FleetTake>& takes)
      : list_(list), timeline_(timeline), site_(site), takesMutex_(takesMutex), takes_(takes) {}

  std::string listText() override {
    timeline_.awaitTurn(site_);
    return list_.listText();
  }
  std::optional<std::int16_t> takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                      const std::string& plan) override {
    timeline_.awaitTurn(site_);
    const std::optional<std::int16_t> left = list_.takeRun(delimiterLine, unixTime, plan);
    if (left) {
      std::lock_guard lock(takesMutex_);
      takes_.push_back({site_, delimiterLine, static_cast<double>(unixTime), *left});
    }
    return left;
  }

 private:
  ListStore& list_;
  Timeline& timeline_;
  std::size_t site_;
  std::mutex& takesMutex_;
  std::vector<FleetTake>& takes_;
};

std::string hostDirOf(const HeadlessOptions& options) {
  return options.hostDir.empty() ? joinPath(options.programDir.empty() ? "." : options.programDir, "observatory")
                                 : options.hostDir;
}

}  // namespace

FleetResult runFleet(const std::vector<FleetSite>& sites, const FleetOptions& options) {
  FleetResult result;
  if (sites.empty()) throw RunTimeError("a fleet needs one site at least");
  registerBackEnds();
  double start = 0;
  if (options.start.empty()) {
    start = clockStartUnixSeconds(loadObservatoryConfig(hostDirOf(sites.front().options)), systemUnixSeconds());
  } else if (!parseUtcInstant(options.start, start)) {
    throw RunTimeError("--start: not an ISO 8601 UTC instant: '" + options.start + "'");
  }
  // Every site from the same whole second.
  const std::string startText = formatUtc(start);
  parseUtcInstant(startText, start);
  const std::vector<CountedGroup> groups = countedGroups(sites.front().list->listText());

  Timeline timeline(sites.size(), start, options.stallSeconds);
  std::mutex takesMutex;
  std::vector<std::unique_ptr<TimedList>> lists;
  for (std::size_t i = 0; i < sites.size(); ++i)
    lists.push_back(std::make_unique<TimedList>(*sites[i].list, timeline, i, takesMutex, result.takes));
  result.sites.resize(sites.size());
  std::vector<std::ostringstream> errors(sites.size());
  {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < sites.size(); ++i) {
      threads.emplace_back([&, i] {
        // The status lines are the run's own; the reports are printed from the results.
        std::ostream discard(nullptr);
        try {
          HeadlessOptions site = sites[i].options;
          site.start = startText;
          site.hours = options.hours;
          site.list = lists[i].get();
          site.clockMoved = [&timeline, i](double unixSeconds) { timeline.moved(i, unixSeconds); };
          result.sites[i] = runHeadless(site, discard, errors[i]);
        } catch (const std::exception& e) {
          result.sites[i].exitCode = 1;
          result.sites[i].error = e.what();
          errors[i] << "error: " << e.what() << '\n';
        }
        timeline.ended(i);
      });
    }
    for (std::thread& t : threads) t.join();
  }
  std::vector<std::string> names;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    names.push_back(sites[i].name);
    result.errors.push_back(errors[i].str());
    if (result.sites[i].exitCode != 0) result.exitCode = 1;
  }
  result.report = buildFleetReport(start, start + options.hours * 3600.0, std::move(names), groups, result.takes);
  return result;
}

int runFleetDryRun(const std::vector<std::string>& programDirs, const FleetOptions& options, std::ostream& out,
                   std::ostream& err) {
  try {
    registerBackEnds();
    if (programDirs.empty()) throw RunTimeError("--fleet: no program folder given");
    std::vector<FleetSite> sites;
    std::set<std::string> folders, names;
    for (const std::string& dir : programDirs) {
      std::error_code ec;
      const std::filesystem::path folder = std::filesystem::weakly_canonical(std::filesystem::absolute(dir), ec);
      if (ec || !std::filesystem::is_directory(folder)) throw RunTimeError("--fleet: not a folder: '" + dir + "'");
      if (!folders.insert(folder.string()).second) throw RunTimeError("--fleet: '" + dir + "' is given twice");
      FleetSite site;
      site.options.programDir = folder.string();
      // The dry run reads [list] for the site's name only; its database is never contacted.
      const std::string hostDir = hostDirOf(site.options);
      const std::string ini = joinPath(hostDir, kObservatoryIniName);
      if (std::filesystem::exists(ini)) site.name = readListConfig(loadObservatoryConfig(hostDir), ini).site;
      if (site.name.empty()) site.name = folder.filename().string();
      if (!names.insert(site.name).second)
        throw RunTimeError("--fleet: two sites are named '" + site.name + "': give one a [list] site of its own");
      sites.push_back(std::move(site));
    }
    const std::string listPath = joinPath(sites.front().options.programDir, std::string(kTargetListName));
    std::ifstream in(listPath, std::ios::binary);
    if (!in) throw RunTimeError("--fleet: cannot read the list '" + listPath + "'");
    std::ostringstream text;
    text << in.rdbuf();
    ListCopy copy(text.str());
    for (FleetSite& site : sites) site.list = &copy;

    const FleetResult result = runFleet(sites, options);
    for (std::size_t i = 0; i < sites.size(); ++i) {
      std::istringstream lines(result.errors[i]);
      for (std::string line; std::getline(lines, line);) err << sites[i].name << ": " << line << '\n';
      const HeadlessResult& site = result.sites[i];
      out << "=== " << sites[i].name << " (" << site.programDir << ") ===\n";
      if (!site.hasReport) {
        out << "no report: " << site.error << "\n\n";
        continue;
      }
      if (site.isSeason) {
        SeasonReport season = site.season;
        season.notes.push_back(
            "the list is shared: the plans and counts above are this site's alone (a group the other sites "
            "finished shows as kept out by its count); the fleet's report below has the list's own");
        out << formatSeasonReport(season) << '\n';
      } else {
        out << formatNightReport(site.report) << '\n';
      }
    }
    out << "=== the fleet ===\n" << formatFleetReport(result.report);
    out.flush();
    err.flush();
    return result.exitCode;
  } catch (const std::exception& e) {
    err << "error: " << e.what() << std::endl;
    return 1;
  }
}

}  // namespace np
