#include "host/sim/WeatherModel.h"

#include <algorithm>
#include <cmath>

#include "host/UtcTime.h"

namespace np::sim {
namespace {

constexpr double kNoonSeconds = 43200.0;

// splitmix64's output function: a bijection of 64-bit words that scatters every input bit.
std::uint64_t mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// splitmix64, started from the seed and the night's number. Its output is fixed by
// integer arithmetic alone, and the transforms below are done here rather than by the
// standard library's distributions, whose results differ between libraries.
class NightGenerator {
 public:
  NightGenerator(std::uint64_t seed, std::int64_t night)
      : state_(mix(mix(seed) + static_cast<std::uint64_t>(night))) {}

  // Uniform in [0, 1) from the top 53 bits.
  double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

  // Exponential with the mean given.
  double exponential(double mean) { return -mean * std::log1p(-uniform()); }

 private:
  std::uint64_t next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    return mix(state_);
  }

  std::uint64_t state_;
};

}  // namespace

WeatherModel::WeatherModel(const ObservatoryConfig& config) : WeatherModel(config.weather, config.site.utcOffset) {}

WeatherModel::WeatherModel(const ObservatoryConfig::Weather& weather, double utcOffsetHours)
    : unsafe_(weather.unsafe),
      modelled_(weather.clearNights < 1.0),
      clearNights_(weather.clearNights),
      meanSpellSeconds_(weather.unsafeSpell * 3600.0),
      seed_(weather.seed),
      utcOffsetSeconds_(utcOffsetHours * 3600.0) {}

std::int64_t WeatherModel::nightAt(double unixSeconds) const {
  const double local = unixSeconds + utcOffsetSeconds_;
  auto night = static_cast<std::int64_t>(std::floor((local - kNoonSeconds) / kSecondsPerDay));
  // The division may round across a noon; the nights' own starts decide.
  while (unixSeconds < nightStart(night)) --night;
  while (unixSeconds >= nightStart(night + 1)) ++night;
  return night;
}

double WeatherModel::nightStart(std::int64_t night) const {
  return static_cast<double>(night) * kSecondsPerDay + kNoonSeconds - utcOffsetSeconds_;
}

std::vector<TimeSpan> WeatherModel::nightSpells(std::int64_t night) const {
  std::vector<TimeSpan> spells;
  if (!modelled_) return spells;
  NightGenerator generator(seed_, night);
  if (generator.uniform() < clearNights_) return spells;
  const double start = nightStart(night);
  const double end = nightStart(night + 1);
  bool unsafe = generator.uniform() < 0.5;
  double t = start;        // where the current spell begins
  double elapsed = 0.0;    // seconds from the noon to where it ends, unrounded
  while (t < end) {
    elapsed += generator.exponential(meanSpellSeconds_);
    const double next = std::clamp(std::round(start + elapsed), t, end);
    if (unsafe && next > t) {
      // A safe spell shorter than half a second vanishes between two unsafe ones.
      if (!spells.empty() && spells.back().end == t) {
        spells.back().end = next;
      } else {
        spells.push_back(TimeSpan{t, next});
      }
    }
    t = next;
    unsafe = !unsafe;
  }
  return spells;
}

const std::vector<TimeSpan>& WeatherModel::cachedSpells(std::int64_t night) {
  if (!cached_ || cachedNight_ != night) {
    cachedSpells_ = nightSpells(night);
    cachedNight_ = night;
    cached_ = true;
  }
  return cachedSpells_;
}

bool WeatherModel::isUnsafeAt(double unixSeconds) {
  if (np::isUnsafeAt(unsafe_, unixSeconds)) return true;
  if (!modelled_ || !std::isfinite(unixSeconds)) return false;
  const std::vector<TimeSpan>& spells = cachedSpells(nightAt(unixSeconds));
  return std::any_of(spells.begin(), spells.end(),
                     [&](const TimeSpan& s) { return unixSeconds >= s.start && unixSeconds < s.end; });
}

bool WeatherModel::firstUnsafeInstant(double from, double& instant) {
  double first = 0.0;
  bool found = np::firstUnsafeInstant(unsafe_, from, first);
  if (modelled_ && std::isfinite(from)) {
    const std::int64_t fromNight = nightAt(from);
    for (std::int64_t night = fromNight; night < fromNight + kLookAheadNights; ++night) {
      if (found && nightStart(night) >= first) break;  // nothing in the model comes sooner
      const std::vector<TimeSpan>& spells = cachedSpells(night);
      const auto spell =
          std::find_if(spells.begin(), spells.end(), [&](const TimeSpan& s) { return s.end > from; });
      if (spell != spells.end()) {
        const double t = std::max(spell->start, from);
        if (!found || t < first) first = t;
        found = true;
        break;
      }
    }
  }
  if (found) instant = first;
  return found;
}

std::vector<TimeSpan> WeatherModel::unsafeSpans(double from, double to) {
  std::vector<TimeSpan> spans;
  auto add = [&](const TimeSpan& s) {
    const TimeSpan clipped{std::max(s.start, from), std::min(s.end, to)};
    if (clipped.end > clipped.start) spans.push_back(clipped);
  };
  for (const TimeSpan& s : unsafe_) add(s);
  if (modelled_ && std::isfinite(from) && std::isfinite(to) && to > from) {
    for (std::int64_t night = nightAt(from); nightStart(night) < to; ++night) {
      for (const TimeSpan& s : nightSpells(night)) add(s);
    }
  }
  std::sort(spans.begin(), spans.end(), [](const TimeSpan& a, const TimeSpan& b) { return a.start < b.start; });
  std::vector<TimeSpan> joined;
  for (const TimeSpan& s : spans) {
    if (!joined.empty() && s.start <= joined.back().end) {
      joined.back().end = std::max(joined.back().end, s.end);
    } else {
      joined.push_back(s);
    }
  }
  return joined;
}

}  // namespace np::sim
