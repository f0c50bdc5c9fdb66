#pragma once
// What a run tells whoever listens beside the status line and the run log: the moments
// an operator who is not watching wants to hear of (a notifier, a status page). The loop
// and the window only call the sink; what it does with an event (a command, a page) is
// the program's, outside the loop, and must not hold it.
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace np {

enum class NightEventKind {
  Started,        // a run began (its run log is open)
  NightSummary,   // dawn after a night: the night's report
  WeatherUnsafe,  // the weather turned unsafe (once per change)
  WeatherSafe,    // and safe again
  Secured,        // the end of a run secured the observatory
  NotSecured,     // the end of a run could not secure it: it may be open
  Stopped,        // the run ended, with the reason
  Failure,        // a run-time failure ended the run; the program exits
  GroupFinished,  // a group's last run is done
  ListFinished,   // no group of the list has runs left
};

inline constexpr std::array<std::string_view, 10> kNightEventNames = {
    "started", "night-summary", "weather-unsafe", "weather-safe", "secured",
    "not-secured", "stopped", "failure", "group-finished", "list-finished"};

inline std::string_view nightEventName(NightEventKind kind) { return kNightEventNames[static_cast<int>(kind)]; }

inline std::optional<NightEventKind> nightEventNamed(std::string_view name) {
  for (std::size_t i = 0; i < kNightEventNames.size(); ++i)
    if (kNightEventNames[i] == name) return static_cast<NightEventKind>(i);
  return std::nullopt;
}

// Hears a run's events, on the loop's thread, in the order they happen. It must return
// at once: anything slow (a program to start, a client to serve) goes elsewhere.
class NightEventSink {
 public:
  virtual ~NightEventSink() = default;
  virtual void nightEvent(NightEventKind kind, const std::string& text) = 0;
};

}  // namespace np
