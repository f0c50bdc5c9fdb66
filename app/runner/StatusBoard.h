#pragma once
// What a status page shows of a run, taken on the run's thread and handed over whole: the
// run publishes a new snapshot under a lock, readers (the page's server threads) take the
// latest one and never hold the run. Also the page and its data as text: the HTML page
// (every text from the list, the log or the host escaped) and status.json.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "night/NightEvents.h"
#include "report/NightReport.h"

namespace np {

struct StatusSnapshot {
  double unixSeconds = 0.0;    // when it was taken (the run's clock, UTC)
  std::string localTime;       // the same, "YYYY-MM-DD HH:MM:SS" local
  std::string status;          // the status line
  bool running = false;        // a run is under way
  struct Plan {
    std::string target;
    std::string start, end;    // local times; end empty while it runs
    std::string endReason;     // done, quit, aborted, weather, error; empty while it runs
    int images = 0;
  };
  std::optional<Plan> underWay;  // the plan the host runs now
  std::vector<Plan> plans;       // tonight's, in order (the one under way last)
  struct Group {
    std::string name;
    int remaining = 0;
  };
  std::vector<Group> list;       // targets.txt as it stands
  int runsLeft = 0;              // the positive counts added up
  int groupsWithRunsLeft = 0;    // groups whose count is not 0
  std::string weather;           // "safe", "unsafe", "not connected"
  std::vector<std::string> log;  // the run log's last lines
  std::string picture;           // the night so far as a PNG picture; empty: none yet
};

// Where a snapshot's parts come from; each is called on the run's thread.
struct StatusSources {
  std::function<double()> unixSeconds;
  std::function<std::string(double)> localTime;        // "YYYY-MM-DD HH:MM:SS"
  std::function<bool()> running;
  std::function<std::string()> weather;                // as StatusSnapshot::weather
  std::function<NightReport()> nightSoFar;             // tonight's report as it stands
  std::function<std::string(const NightReport&)> drawPicture;  // PNG bytes; empty: none
  std::string runLogPath;
  std::function<std::vector<ReportGroup>()> list;
};

class StatusBoard : public NightEventSink {
 public:
  static constexpr std::size_t kLogLines = 30;

  explicit StatusBoard(StatusSources sources);

  // The run's side.
  void statusChanged(const std::string& text);
  void nightEvent(NightEventKind kind, const std::string& text) override;
  // Takes a new snapshot when the last is older than `seconds` of real time (or at once
  // when `seconds` is 0); the picture at most once a minute.
  void refresh(double seconds = 5.0);

  // The readers' side: the latest snapshot (never null).
  std::shared_ptr<const StatusSnapshot> snapshot() const;

 private:
  StatusSources sources_;
  std::string status_;
  double lastRefresh_ = -1e300, lastPicture_ = -1e300;
  std::string picture_;
  mutable std::mutex mutex_;
  std::shared_ptr<const StatusSnapshot> latest_;
};

// The last `count` lines of a text file (CR LF or LF), read from its end; none when it
// cannot be read.
std::vector<std::string> lastLines(const std::string& path, std::size_t count);

// Text safe inside HTML elements and attribute values.
std::string escapeHtml(const std::string& text);
// Text as a JSON string, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(const std::string& text);

// The page: refreshes itself every `refreshSeconds`; the picture is /night.png.
std::string statusPageHtml(const StatusSnapshot& snapshot, int refreshSeconds = 15);
std::string statusJson(const StatusSnapshot& snapshot);

}  // namespace np
