#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/AcquisitionLog.h"
#include "host/ObservatoryConfig.h"
#include "host/UtcTime.h"
#include "host/sim/WeatherModel.h"
#include "support/SimFixture.h"

namespace np {
namespace {

using sim::WeatherModel;
using test::SimFixture;

// 2024-03-09 12:00 local at the default site (utc_offset -7): the start of a night.
constexpr double kNoon = 1710010800.0;
constexpr double kDay = 86400.0;

WeatherModel modelOf(const std::string& ini) { return WeatherModel(parseObservatoryConfig(ini, "observatory.ini")); }

double seconds(const std::vector<TimeSpan>& spans) {
  double total = 0.0;
  for (const TimeSpan& s : spans) total += s.length();
  return total;
}

bool sameSpans(const std::vector<TimeSpan>& a, const std::vector<TimeSpan>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].start != b[i].start || a[i].end != b[i].end) return false;
  }
  return true;
}

// ---- the model ----------------------------------------------------------------------

TEST(WeatherModel, TheSameSeedRepeatsTheWeatherAndAnotherSeedChangesIt) {
  const std::string ini = "[weather]\nclear_nights = 0.3\nunsafe_spell = 2\n";
  WeatherModel a = modelOf(ini + "seed = 7\n");
  WeatherModel b = modelOf(ini + "seed = 7\n");
  WeatherModel other = modelOf(ini + "seed = 8\n");
  const double end = kNoon + 60 * kDay;
  const std::vector<TimeSpan> spans = a.unsafeSpans(kNoon, end);
  EXPECT_GT(spans.size(), 60u);
  EXPECT_TRUE(sameSpans(spans, b.unsafeSpans(kNoon, end)));
  EXPECT_FALSE(sameSpans(spans, other.unsafeSpans(kNoon, end)));

  // Asked instant by instant, backwards, with the night's spells kept between questions:
  // the same answers as the spans give.
  std::size_t next = spans.size();
  for (double t = end - 30.0; t >= kNoon; t -= 600.0) {
    while (next > 0 && spans[next - 1].start > t) --next;
    const bool inSpan = next > 0 && t < spans[next - 1].end;
    ASSERT_EQ(b.isUnsafeAt(t), inSpan) << formatUtc(t);
  }
}

TEST(WeatherModel, AllNightsClearAddsNothing) {
  for (const char* seed : {"0", "1", "99"}) {
    WeatherModel model = modelOf(std::string("[weather]\nclear_nights = 1\nunsafe_spell = 0.5\nseed = ") + seed + "\n");
    EXPECT_TRUE(model.unsafeSpans(kNoon, kNoon + 400 * kDay).empty()) << seed;
    double at = 0.0;
    EXPECT_FALSE(model.firstUnsafeInstant(kNoon, at)) << seed;
    EXPECT_FALSE(model.isUnsafeAt(kNoon + 3600.0)) << seed;
  }
}

TEST(WeatherModel, NoClearNightsGivesUnsafeTimeEveryNightAboutHalfTheTime) {
  WeatherModel model = modelOf("[weather]\nclear_nights = 0\n");
  const std::int64_t first = model.nightAt(kNoon);
  // A night that is not clear stays safe throughout only when its first spell is safe and
  // outlasts the day, a chance of e^-8 / 2 with 3-hour spells; none of the first 60 does.
  for (std::int64_t night = first; night < first + 60; ++night) {
    EXPECT_FALSE(model.nightSpells(night).empty()) << night - first;
  }
  const double share = seconds(model.unsafeSpans(kNoon, kNoon + 400 * kDay)) / (400 * kDay);
  EXPECT_NEAR(share, 0.5, 0.08);
}

TEST(WeatherModel, TheShareOfWhollyClearNightsFollowsClearNights) {
  WeatherModel model = modelOf("[weather]\nclear_nights = 0.6\nseed = 3\n");
  const std::int64_t first = model.nightAt(kNoon);
  int clear = 0;
  for (std::int64_t night = first; night < first + 400; ++night) clear += model.nightSpells(night).empty();
  EXPECT_NEAR(clear / 400.0, 0.6, 0.1);
}

TEST(WeatherModel, SpellsLieApartInTheirNightAndChangeOnWholeSeconds) {
  WeatherModel model = modelOf("[site]\nutc_offset = 5.5\n[weather]\nclear_nights = 0\nunsafe_spell = 0.5\n");
  const std::int64_t first = model.nightAt(kNoon);
  for (std::int64_t night = first; night < first + 20; ++night) {
    double last = model.nightStart(night);
    for (const TimeSpan& s : model.nightSpells(night)) {
      EXPECT_TRUE(s.start >= last && s.end > s.start && s.end <= model.nightStart(night + 1)) << formatUtc(s.start);
      EXPECT_EQ(s.start, std::round(s.start));
      EXPECT_EQ(s.end, std::round(s.end));
      last = s.end;
    }
  }
}

TEST(WeatherModel, NightsRunFromLocalNoonToLocalNoon) {
  const std::string weather = "[weather]\nclear_nights = 0.5\nseed = 11\n";
  WeatherModel utc = modelOf("[site]\nutc_offset = 0\n" + weather);
  WeatherModel west = modelOf("[site]\nutc_offset = -7\n" + weather);
  const double noonUtc = kNoon - 7 * 3600.0;  // 12:00 UTC
  // 2024-03-10 21:00 UTC is 14:00 local in the west.
  EXPECT_EQ(formatUtc(utc.nightStart(utc.nightAt(noonUtc + 33 * 3600.0))), "2024-03-10 12:00:00");
  EXPECT_EQ(formatUtc(west.nightStart(west.nightAt(noonUtc + 33 * 3600.0))), "2024-03-10 19:00:00");
  EXPECT_EQ(formatUtc(west.nightStart(west.nightAt(noonUtc + 30 * 3600.0))), "2024-03-09 19:00:00");
  EXPECT_EQ(west.nightAt(kNoon) - west.nightAt(kNoon - 1.0), 1);
  // The same night number gives the same spells, each at the same local time.
  for (std::int64_t night = utc.nightAt(noonUtc); night < utc.nightAt(noonUtc) + 30; ++night) {
    std::vector<TimeSpan> shifted = utc.nightSpells(night);
    for (TimeSpan& s : shifted) {
      s.start += 7 * 3600.0;
      s.end += 7 * 3600.0;
    }
    EXPECT_TRUE(sameSpans(shifted, west.nightSpells(night))) << night;
  }
}

TEST(WeatherModel, FirstUnsafeInstantAgreesWithIsUnsafeAt) {
  WeatherModel model = modelOf("[weather]\nclear_nights = 0.3\nunsafe_spell = 1\nseed = 5\n");
  int unsafeFrom = 0;
  int laterStart = 0;
  for (double from = kNoon + 17.25; from < kNoon + 30 * kDay; from += 37 * 60.0) {
    double at = 0.0;
    ASSERT_TRUE(model.firstUnsafeInstant(from, at)) << formatUtc(from);
    ASSERT_GE(at, from);
    EXPECT_TRUE(model.isUnsafeAt(at)) << formatUtc(from);
    EXPECT_EQ(model.isUnsafeAt(from), at == from) << formatUtc(from);
    if (at > from) {
      ++laterStart;
      EXPECT_FALSE(model.isUnsafeAt(std::max(from, at - 0.5))) << formatUtc(from);
      // Nothing unsafe in between: no spell was passed over.
      for (double t = from; t < at; t += 60.0) ASSERT_FALSE(model.isUnsafeAt(t)) << formatUtc(t);
    } else {
      ++unsafeFrom;
    }
  }
  EXPECT_GT(unsafeFrom, 20);
  EXPECT_GT(laterStart, 20);
}

TEST(WeatherModel, FirstUnsafeInstantLooksAheadABoundedNumberOfNights) {
  // Rare bad nights: some of the 400-night stretches from these nights hold one, some none.
  WeatherModel model = modelOf("[weather]\nclear_nights = 0.998\nseed = 2\n");
  const std::int64_t first = model.nightAt(kNoon);
  int found = 0;
  for (std::int64_t night = first; night < first + 3000; night += 50) {
    const std::int64_t bound = night + WeatherModel::kLookAheadNights;
    std::int64_t next = night;
    while (next < bound && model.nightSpells(next).empty()) ++next;
    double at = 0.0;
    ASSERT_EQ(model.firstUnsafeInstant(model.nightStart(night), at), next < bound) << night - first;
    if (next < bound) {
      EXPECT_EQ(at, model.nightSpells(next).front().start);
      ++found;
    }
  }
  EXPECT_GT(found, 0);
  EXPECT_LT(found, 60);
}

TEST(WeatherModel, ExplicitIntervalsJoinTheModelledSpells) {
  const std::string weather = "[weather]\nclear_nights = 0\nseed = 4\n";
  WeatherModel modelOnly = modelOf(weather);
  // The first safe stretch of at least two hours, a day in; an explicit interval in its middle.
  const std::vector<TimeSpan> spells = modelOnly.unsafeSpans(kNoon + kDay, kNoon + 10 * kDay);
  ASSERT_GE(spells.size(), 2u);
  std::size_t i = 0;
  while (i + 1 < spells.size() && spells[i + 1].start - spells[i].end < 7200.0) ++i;
  ASSERT_LT(i + 1, spells.size());
  const double gap = spells[i].end;
  const TimeSpan interval{gap + 1800.0, gap + 3600.0};

  WeatherModel both = modelOf(weather + "unsafe = " + formatUtc(interval.start) + "/" + formatUtc(interval.end) + "\n");
  EXPECT_FALSE(both.isUnsafeAt(interval.start - 1.0));
  EXPECT_TRUE(both.isUnsafeAt(interval.start));
  EXPECT_TRUE(both.isUnsafeAt(interval.end - 1.0));
  EXPECT_FALSE(both.isUnsafeAt(interval.end));
  EXPECT_TRUE(both.isUnsafeAt(spells[i].end - 1.0));  // the model's spells stay unsafe
  EXPECT_TRUE(both.isUnsafeAt(spells[i + 1].start));
  double at = 0.0;
  ASSERT_TRUE(both.firstUnsafeInstant(gap, at));
  EXPECT_EQ(at, interval.start);
  ASSERT_TRUE(both.firstUnsafeInstant(interval.end, at));
  EXPECT_EQ(at, spells[i + 1].start);

  std::vector<TimeSpan> expected = spells;
  expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(i) + 1, interval);
  EXPECT_TRUE(sameSpans(both.unsafeSpans(kNoon + kDay, kNoon + 10 * kDay), expected));

  // An interval that overlaps a spell joins it into one span.
  const TimeSpan overlapping{spells[i].end - 1.0, spells[i].end + 600.0};
  WeatherModel joined =
      modelOf(weather + "unsafe = " + formatUtc(overlapping.start) + "/" + formatUtc(overlapping.end) + "\n");
  const std::vector<TimeSpan> around = joined.unsafeSpans(spells[i].start, spells[i].end + 3600.0);
  ASSERT_EQ(around.size(), 1u);
  EXPECT_EQ(around[0].start, spells[i].start);
  EXPECT_EQ(around[0].end, overlapping.end);
}

TEST(WeatherModel, ExplicitIntervalsNeedNoModelAndNoLookAheadBound) {
  WeatherModel model = modelOf("[weather]\nunsafe = 2030-01-01T00:00:00Z/2030-01-01T01:00:00Z\n");
  double at = 0.0;
  ASSERT_TRUE(model.firstUnsafeInstant(kNoon, at));
  EXPECT_EQ(formatUtc(at), "2030-01-01 00:00:00");
  EXPECT_FALSE(model.isUnsafeAt(kNoon));
}

// ---- through the simulated observatory ------------------------------------------------

constexpr const char* kStormyIni = "[weather]\nconnected = true\nclear_nights = 0\nunsafe_spell = 2\nseed = 9\n";

TEST(SimulatedWeather, SafeFollowsTheModelOverANight) {
  SimFixture sim(kStormyIni, kNoon);
  WeatherModel model = modelOf(kStormyIni);
  int safe = 0;
  int unsafe = 0;
  for (double t = kNoon; t < kNoon + kDay; t += 60.0) {
    sim.clock.set(t);
    const bool isSafe = sim.util->Weather().Safe();
    ASSERT_EQ(isSafe, !model.isUnsafeAt(t)) << formatUtc(t);
    (isSafe ? safe : unsafe) += 1;
  }
  EXPECT_GT(safe, 60);
  EXPECT_GT(unsafe, 60);
}

TEST(SimulatedWeather, AModelledSpellAbortsTheRunWhereItBegins) {
  WeatherModel model = modelOf(kStormyIni);
  // A safe stretch of at least 20 minutes, somewhere past the first night's noon.
  const std::vector<TimeSpan> spells = model.unsafeSpans(kNoon, kNoon + 5 * kDay);
  std::size_t i = 0;
  while (i + 1 < spells.size() && spells[i + 1].start - spells[i].end < 1200.0) ++i;
  ASSERT_LT(i + 1, spells.size());
  const double spell = spells[i + 1].start;
  const double start = spell - 300.0;

  SimFixture sim(kStormyIni, start);
  ASSERT_TRUE(sim.util->Weather().Safe());
  const std::string target =
      "A\t" + std::to_string(sim.meridianRa(start)) + "\t" + std::to_string(sim.telescope->SiteLatitude() - 2.0);
  sim.runPlan({target});  // 3 s start delay, 60 s overhead, 4 x 120 s: longer than 300 s
  sim.runUntilIdle();
  const auto ends = sim.events(acqlog::kEnd);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].reason, acqlog::kEndWeather);
  EXPECT_EQ(ends[0].utc, spell);
  EXPECT_EQ(sim.events(acqlog::kExposure).size(), 1u);  // at 183 s; the second would end at 303 s
}

}  // namespace
}  // namespace np
