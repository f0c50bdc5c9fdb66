#pragma once
#include <cstdint>
#include <vector>

#include "base/DateTime.h"
#include "host/ObservatoryConfig.h"

namespace np::sim {

// The weather of the simulated observatory: unsafe during the explicit intervals of
// [weather] unsafe and during the spells the statistical model makes up, safe otherwise.
//
// The model goes night by night, a night running from local noon (site.utc_offset, a
// fixed offset) to the next local noon. A generator seeded from weather.seed and the
// night's number alone decides the night: wholly clear with the chance clear_nights;
// otherwise cut, from its noon on, into alternating unsafe and safe spells of exponential
// lengths with the mean unsafe_spell hours each, the first one unsafe or safe with even
// chances, the last one cut at the next noon. Spells change on whole UTC seconds, so that
// a last-bit difference in a library's logarithm never moves a change.
//
// The weather is therefore a function of the instant alone: the order of the questions
// does not matter, and the same configuration gives the same weather on every run and
// every build. The spells of the night last asked about are kept, since Weather.Safe asks
// about the same night many times over.
class WeatherModel {
 public:
  // firstUnsafeInstant looks this many nights ahead in the model, no further.
  static constexpr int kLookAheadNights = 400;

  // Never unsafe.
  WeatherModel() = default;
  explicit WeatherModel(const ObservatoryConfig& config);
  WeatherModel(const ObservatoryConfig::Weather& weather, double utcOffsetHours);

  // True when the weather is unsafe at the instant (UTC seconds since 1970).
  bool isUnsafeAt(double unixSeconds);

  // The first instant at or after `from` at which the weather is unsafe: `from` itself
  // when it is unsafe then. False when there is none among the explicit intervals and
  // none in the model within kLookAheadNights nights of `from`'s night.
  bool firstUnsafeInstant(double from, double& instant);

  // The unsafe time within [from, to): the spans of the explicit intervals and of the
  // model together, in time order, those that overlap or touch joined into one.
  std::vector<TimeSpan> unsafeSpans(double from, double to);

  // The number of the night that holds the instant, and the instant its local noon
  // begins. Night n + 1 begins where night n ends.
  std::int64_t nightAt(double unixSeconds) const;
  double nightStart(std::int64_t night) const;

  // The model's unsafe spells of a night, in time order and apart from one another;
  // none on a clear night or when clear_nights is 1.
  std::vector<TimeSpan> nightSpells(std::int64_t night) const;

 private:
  const std::vector<TimeSpan>& cachedSpells(std::int64_t night);

  std::vector<TimeSpan> unsafe_;  // the explicit intervals
  bool modelled_ = false;         // clear_nights < 1
  double clearNights_ = 1.0;
  double meanSpellSeconds_ = 3.0 * 3600.0;
  std::uint64_t seed_ = 1;
  double utcOffsetSeconds_ = 0.0;

  bool cached_ = false;
  std::int64_t cachedNight_ = 0;
  std::vector<TimeSpan> cachedSpells_;
};

}  // namespace np::sim
