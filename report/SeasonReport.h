#pragma once
// The season report of a headless run longer than a day: one row per night and one per
// target group, and for the picture every plan on its night. Like the night report it is
// worked out from what the run left behind (the status line's changes: searches, plans
// and waits; the host's acquisition log: what each plan did), but gathered as it goes,
// so that its size follows the nights and the groups and never the lines of the logs.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report/NightReport.h"
#include "base/DateTime.h"

namespace np {

// The runs of a season are told apart from a single night's by their length.
inline constexpr double kSeasonAfterHours = 24.0;

// One night: local noon to the next local noon, named by the date of its evening.
struct SeasonNight {
  DateTime evening;            // local midnight of the evening's date
  double windowStart = 0.0;    // UTC of the local noon that opens it
  double darkSeconds = 0.0;    // the Sun below sunElev, within the run
  double exposingSeconds = 0.0;  // exposure time of the images that finished in the night
  double weatherSeconds = 0.0;   // "Waiting for weather to be safe", in the dark
  double noTargetSeconds = 0.0;  // "No viable target - sleeping for 5 minutes", in the dark
  int plans = 0;               // plans handed to the host in the night
  int images = 0;              // images that finished in the night
  // For the picture: the Sun below the horizon and below sunElev (NaN when it never is).
  TimeSpan sunDown{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
  TimeSpan dark{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
};

// One plan on its night, for the picture.
struct SeasonPlan {
  double startUnix = 0.0, endUnix = 0.0;
  std::uint32_t group = 0;  // index into SeasonReport::groups (kNoGroup: not in the list)
  std::uint32_t night = 0;  // index into SeasonReport::nights
};
inline constexpr std::uint32_t kNoGroup = 0xffffffffu;

// One target group of targets.txt as it stood when the run began.
struct SeasonGroup {
  std::string name;
  int remainingAtStart = 0;
  int plans = 0;            // plans run
  int images = 0;           // images taken
  int finishedNight = -1;   // the night whose plan took its count to zero; -1: not finished
  bool neverEligible = false;
  std::string keptOutBy;    // never eligible: the test it failed first in most passes
  // The nights the Moon kept it out and it ran no plan (indices into SeasonReport::nights).
  std::vector<std::uint32_t> nightsLostToTheMoon;
};

struct SeasonReport {
  double startUnix = 0.0, endUnix = 0.0;
  double utcOffsetHours = 0.0;
  double sunElev = -18.0;
  std::vector<SeasonNight> nights;
  std::vector<SeasonGroup> groups;
  std::vector<SeasonPlan> plans;  // in the order they ran
  int searches = 0;
  int plansNotListed = 0;  // plans of a target not in the list as it stood at the start
  double weatherSeconds = 0.0, noTargetSeconds = 0.0, darkSeconds = 0.0, exposingSeconds = 0.0;
  int imagesTaken = 0, imagesSkipped = 0;
  std::vector<std::string> notes;  // what the report could not know, printed after it
};

// Gathers a season while the run goes and from its logs once it is over.
class SeasonReportBuilder {
 public:
  SeasonReportBuilder(double startUnix, double utcOffsetHours, const std::vector<ReportGroup>& groups);

  // The Sun at the site and the elevation below which it is dark (the settings' dusk),
  // once they are known: each night's dark time and twilight. Only the time waited in the
  // dark counts as lost (a wait for the weather may go on into the day).
  void setSun(ReportSun sun, double sunElev);

  // A change of the status line at a UTC instant (the run's statuses, in order).
  void status(double unixSeconds, std::string_view text);

  // Closes the season at `endUnix`: the last status up to then, the plans paired in order
  // with the acquisition log's runs, and the groups no pass found eligible.
  SeasonReport finish(double endUnix, const std::string& acquisitionLogPath,
                      const std::vector<KeptOutGroup>& neverEligible, const std::vector<MoonKeptOut>& moonKeptOut = {});

 private:
  std::size_t nightAt(double unixSeconds);
  void addSun(SeasonNight& night);
  void addSpan(double from, double to, int kind);
  // The acquisition log's runs and images within the season, each run paired with the
  // next plan handed over (planRan).
  void readAcquisition(const std::string& path);
  void planRan(double begin, double end);
  // The groups' plans and counts, and the groups no pass found eligible.
  void tallyGroups(const std::vector<KeptOutGroup>& neverEligible);
  // The nights each group lost to the Moon: kept out by it, and no plan of its own.
  void tallyMoon(const std::vector<MoonKeptOut>& moonKeptOut);

  SeasonReport r_;
  std::unordered_map<std::string, std::uint32_t> groupByName_;  // the first group of each name
  struct LoggedPlan {  // a plan handed over, waiting for its acquisition run
    double searchUnix = 0.0;
    std::uint32_t group = kNoGroup;
  };
  std::vector<LoggedPlan> handedOver_;
  std::size_t paired_ = 0;  // the plans handed over that have their acquisition run
  double searchUnix_ = 0.0;
  std::optional<ReportSun> sun_;
  int statusKind_ = 0;  // 0 other, 1 weather, 2 no viable target
  double statusSince_ = 0.0;
};

// The season as text: the nights, then the groups; local times and dates.
std::string formatSeasonReport(const SeasonReport& report);

}  // namespace np
