#pragma once
// The Sun at the site of a report: its elevation through the run, which the picture draws,
// and the dark time, which is what the observing loop counts as night: from the dusk that
// its own search (NextDawnDusk) finds to the dawn after it. The report and the run so
// agree on every dusk and dawn by construction.
#include <memory>
#include <vector>

#include "base/DateTime.h"

namespace np {

class IEphemeris;
class IEphemerisFactory;

class ReportSun {
 public:
  // The Sun through the ERFA ephemeris, or through its daily table (as the loop of a dry
  // run has it by default: HeadlessOptions::interpolatedSun).
  ReportSun(double latitude, double longitude, bool fromDailyTable = false);

  double latitude() const { return latitude_; }
  double longitude() const { return longitude_; }

  // The Sun's elevation (degrees) at a UTC instant, by the simulated observatory's
  // conversion of its position.
  double elevation(double unixSeconds) const;

  // The stretches of [start, end] (UTC) in which the Sun stands below `sunElev`, as the
  // loop reads them: asked at `start` whether the next dawn comes before the next dusk
  // (night) or not (day), then from each passage to the next. A Sun that passes
  // `sunElev` in no year from `start` is below it throughout or never, by its elevation.
  std::vector<TimeSpan> darkSpans(double sunElev, double start, double end) const;

 private:
  struct Ephemerides;
  // The next passage of `sunElev` after `unixSeconds` (UTC): rising for a dawn, setting
  // for a dusk; NextDawnDusk's answer, asked at that moment.
  double nextPassage(double sunElev, double unixSeconds, bool dawn) const;

  double latitude_, longitude_;
  std::shared_ptr<Ephemerides> ephemerides_;
};

}  // namespace np
