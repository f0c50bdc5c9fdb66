#pragma once
// Tells an operator who is not watching: starts the [notify] command for each event of a
// run, on a thread of its own, so that the run never waits for it. Events wait in a
// bounded queue and go out one at a time, in order; each command is ended when it
// overruns its time. What could not be sent is said on the error stream: the first
// failure of the command (later ones are not repeated until it works again) and every
// event dropped from a full queue.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "app/runner/WatchConfig.h"
#include "night/NightEvents.h"

namespace np {

class Notifier : public NightEventSink {
 public:
  static constexpr std::size_t kQueueBound = 64;

  // `programFolder` and `utcNow` (the run's clock, UTC seconds) go to the command as
  // NIGHTPICK_FOLDER and NIGHTPICK_TIME. `nightSummary` makes the night-summary's text,
  // on the run's thread, when that event is to be sent.
  Notifier(NotifyConfig config, std::string programFolder, std::function<double()> utcNow,
           std::function<std::string()> nightSummary, std::ostream& err);
  // Gives what is queued its chance (finish), then stops.
  ~Notifier() override;
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  void nightEvent(NightEventKind kind, const std::string& text) override;

  // Waits until every queued event has gone out, at most the command's time and 5
  // seconds more for all of them; what is left then is dropped (and said).
  void finish();

  // The arguments a command line is started with for an event: a single word is the
  // program itself, given the kind and the text; anything else is run by /bin/sh -c,
  // with the kind and the text as $1 and $2.
  static std::vector<std::string> commandArguments(const std::string& command, const std::string& kind,
                                                   const std::string& text);

 private:
  struct Queued {
    NightEventKind kind;
    std::string text;
    double utc;
  };
  void work();
  void send(const Queued& event);
  void say(const std::string& line);

  NotifyConfig config_;
  std::string programFolder_;
  std::function<double()> utcNow_;
  std::function<std::string()> nightSummary_;
  std::ostream& err_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<Queued> queue_;
  bool busy_ = false, closing_ = false;
  bool failing_ = false;  // the last command failed (said once)
  std::thread worker_;
};

}  // namespace np
