#pragma once
// The plan writer: writes the host's observing plan for the chosen group and rewrites the
// target list with that group's remaining count one lower, in one pass over the list.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/DateTime.h"
#include "settings/Settings.h"
#include "targets/ListStore.h"
#include "targets/Services.h"

namespace np {

inline constexpr const char* kUpdatingStatus = "Updating targets file";
inline constexpr std::string_view kPlanFileName = "nightpickplan.txt";
// Minutes to days as the autofocus interval has always been converted (not exactly 1/1440).
inline constexpr double kMinutesToDays = 0.0006944444;

// The plan file in the host's default plan folder.
std::string planFilePath(IUtil& util);

// True when more than focusInterval minutes (converted with kMinutesToDays) have passed
// from lastFocusJD to nowJD.
bool autofocusDue(double nowJD, double lastFocusJD, std::int16_t focusInterval);

// The count written back after a run: one lower, but -32768 stays -32768.
std::int16_t lowerCount(std::int16_t remaining);

// updateTarget: writes the plan for the group that starts after line `bestTargetstart`
// (0: the first group) and puts a copy of the list with that group's count lowered in
// place of targets.txt in one step (through newtargets.txt), so that targets.txt always
// holds a complete list. The plan quits at `quitTime` and asks for an autofocus when
// settings.lastFocusJD is more than focusInterval minutes old; it then sets lastFocusJD
// and calls `saveConfig`. The group's delimiter line keeps its condition items (moon=,
// after=, ...) in place, only the count's value changing (rewrittenDelimiterLine); one
// without them is written "**** remaining=<n>". A delimiter line whose count cannot be read is copied
// unchanged. The plan is written and closed before the list is replaced, so a plan that
// cannot be written costs no count; a list that is a symbolic link is rewritten where it
// leads, and a UTF-8 byte-order mark stays at its head but never reaches the plan.
// Returns the count written back, or nullopt when it could not be read. Failures
// propagate as RunTimeError.
std::optional<std::int16_t> updateTarget(const Services& services, TextWriter& log, Settings& settings,
                                         const std::function<void()>& saveConfig, DateTime quitTime,
                                         std::int64_t bestTargetstart);

// What became of a run taken from a shared list.
struct StoreTake {
  bool taken = false;                // false: no run was left, nothing logged or counted
  std::optional<std::int16_t> left;  // the count written back (nothing when none was read)
};

// updateTarget for a list kept in `store`: the plan for the group after line
// `bestTargetstart` of `listText` (the text the selection read) is written as updateTarget
// writes it, then the group's run is taken in the store with the plan's text. Only a taken
// run is logged ("Updating targets file", the autofocus request, the count written back),
// the lines updateTarget logs, and only then does an autofocus request move
// settings.lastFocusJD and call `saveConfig`: a run another observatory took first
// leaves no trace but the plan file, which the next pass writes anew.
StoreTake takeFromStore(const Services& services, TextWriter& log, Settings& settings,
                        const std::function<void()>& saveConfig, DateTime quitTime, const std::string& listText,
                        std::int64_t bestTargetstart, ListStore& store);

}  // namespace np
