// The season's picture on a synthetic half year: a row per night, each plan's bar in its
// group's colour at its night and local hour (after midnight too), the sky shaded from
// the nights' Sun, the groups beyond the palette in one grey, the picture's height
// following the nights up to a cap, and the PNG it writes.
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <set>

#include "report/qt/PictureColours.h"
#include "report/qt/SeasonPicture.h"
#include "base/DateTime.h"

namespace {

using np::SeasonPictureLayout;
using np::SeasonReport;

constexpr double kOffset = -7.0;
// Nights left without generated plans, for the checks: 20 is a cloudy night, 30 has one
// plan after midnight.
const std::set<int> kQuiet = {19, 20, 21, 29, 30, 31};
constexpr int kCloudy = 20, kAfterMidnight = 30;

double sunsetHour(int night) { return 18.5 + 0.8 * std::sin(2.0 * M_PI * night / 365.0); }
double sunriseHour(int night) { return 29.5 - 0.8 * std::sin(2.0 * M_PI * night / 365.0); }
double darkFrom(int night) { return sunsetHour(night) + 1.4; }
double darkTo(int night) { return sunriseHour(night) - 1.4; }

// The UTC instant of a local hour (12 to 36) on a night of the season.
double at(const SeasonReport& r, int night, double hour) {
  return r.nights[night].windowStart + (hour - 12.0) * 3600.0;
}

// `nights` nights from the evening of 2025-03-01 at UTC-7 and `groups` groups; plans fill
// the dark of every night but the quiet ones, the groups drawn with a strong skew so that
// a few run most; every ninth night loses its second half to the weather.
SeasonReport syntheticSeason(int nights, int groups) {
  SeasonReport r;
  r.utcOffsetHours = kOffset;
  const np::DateTime first = np::fromCivil({2025, 3, 1, 0, 0, 0.0});
  for (int i = 0; i < nights; ++i) {
    np::SeasonNight n;
    n.evening = np::DateTime{first.serial + i};
    n.windowStart = np::unixFromLocal(np::DateTime{n.evening.serial + 0.5}, kOffset);
    r.nights.push_back(n);
  }
  for (int i = 0; i < nights; ++i) {
    np::SeasonNight& n = r.nights[i];
    n.sunDown = {at(r, i, sunsetHour(i)), at(r, i, sunriseHour(i))};
    n.dark = {at(r, i, darkFrom(i)), at(r, i, darkTo(i))};
    n.darkSeconds = n.dark.length();
  }
  for (int g = 0; g < groups; ++g) {
    np::SeasonGroup group;
    group.name = "group " + std::to_string(g);
    group.remainingAtStart = 50;
    r.groups.push_back(group);
  }
  unsigned seed = 12345;
  auto uniform = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return ((seed >> 8) & 0xffffff) / double(0x1000000);
  };
  for (int i = 0; i < nights; ++i) {
    np::SeasonNight& n = r.nights[i];
    if (kQuiet.count(i)) {
      if (i == kCloudy) n.weatherSeconds = n.darkSeconds;
      continue;
    }
    double hour = darkFrom(i);
    const double stop = i % 9 == 4 ? 0.5 * (darkFrom(i) + darkTo(i)) : darkTo(i);
    if (stop < darkTo(i)) n.weatherSeconds = (darkTo(i) - stop) * 3600.0;
    while (hour + 0.5 < stop) {
      const double length = 0.6 + 0.6 * uniform();
      const auto g = static_cast<std::uint32_t>(groups * std::pow(uniform(), 3.0));
      const double end = std::min(hour + length, stop);
      r.plans.push_back({at(r, i, hour), at(r, i, end), g, static_cast<std::uint32_t>(i)});
      ++r.groups[g].plans;
      r.groups[g].images += 4;
      ++n.plans;
      n.images += 4;
      n.exposingSeconds += (end - hour) * 3000.0;
      hour = end + 0.03;
    }
  }
  r.startUnix = at(r, 0, 20.0);  // the run began after dusk on its first evening
  r.endUnix = at(r, nights - 1, 35.0);
  for (const np::SeasonNight& n : r.nights) {
    r.darkSeconds += n.darkSeconds;
    r.exposingSeconds += n.exposingSeconds;
    r.weatherSeconds += n.weatherSeconds;
    r.imagesTaken += n.images;
  }
  return r;
}

QColor pixel(const QImage& image, double x, const QRect& row) {
  return image.pixelColor(static_cast<int>(std::lround(x)), row.center().y());
}

bool isSky(const QColor& c) { return c == np::kDay || c == np::kTwilight || c == np::kDark; }

}  // namespace

class TstSeasonPicture : public QObject {
  Q_OBJECT

 private slots:
  void eachNightIsARowAndThePictureGrowsWithTheNights() {
    const SeasonReport half = syntheticSeason(180, 40), month = syntheticSeason(30, 40);
    const QImage image = np::drawSeasonPicture(half);
    const SeasonPictureLayout layout(half, 1600, 0);
    QCOMPARE(image.size(), QSize(layout.width(), layout.height()));
    // The rows tile the nights' area top to bottom, a few pixels each.
    QCOMPARE(layout.row(0).top(), layout.plot().top());
    QCOMPARE(layout.row(179).bottom(), layout.plot().bottom());
    for (std::size_t i = 0; i + 1 < 180; ++i) {
      QCOMPARE(layout.row(i + 1).top(), layout.row(i).bottom() + 1);
      QVERIFY(layout.row(i).height() >= 3 && layout.row(i).height() <= 8);
    }
    QVERIFY(layout.row(180).isEmpty());
    const SeasonPictureLayout shorter(month, 1600, 0);
    QVERIFY(shorter.plot().height() < layout.plot().height());
    QVERIFY(shorter.row(0).height() > layout.row(0).height());
    // Six years of nights stop at the cap, one row still for each.
    const SeasonReport years = syntheticSeason(2200, 40);
    const SeasonPictureLayout capped(years, 1600, 0);
    QVERIFY(capped.height() <= 3200);
    QVERIFY(capped.height() > layout.height());
    QVERIFY(capped.row(2199).top() > capped.row(2198).top());
    // Across: from before the earliest sunset to after the latest sunrise.
    QVERIFY(layout.firstHour() < sunsetHour(90) - 0.5 && layout.firstHour() >= 16.0);
    QVERIFY(layout.lastHour() > sunriseHour(0) + 0.5 && layout.lastHour() <= 32.0);
  }

  void aPlanIsABarInItsGroupsColourOnItsNightAtItsTime() {
    const SeasonReport r = syntheticSeason(180, 40);
    const QImage image = np::drawSeasonPicture(r);
    const SeasonPictureLayout layout(r, 1600, 0);
    const std::vector<std::size_t> coloured = np::seasonColouredGroups(r);
    QCOMPARE(coloured.size(), np::kPaletteSize);
    // Those that ran most, most first.
    for (std::size_t k = 0; k + 1 < coloured.size(); ++k)
      QVERIFY(r.groups[coloured[k]].plans >= r.groups[coloured[k + 1]].plans);
    for (std::size_t g = 0; g < r.groups.size(); ++g)
      if (std::find(coloured.begin(), coloured.end(), g) == coloured.end())
        QVERIFY(r.groups[g].plans <= r.groups[coloured.back()].plans);

    int checkedColoured = 0, checkedOther = 0;
    QColor other;
    for (const np::SeasonPlan& plan : r.plans) {
      if (plan.endUnix - plan.startUnix < 1800) continue;
      const QRect row = layout.row(plan.night);
      const double mid = layout.x(layout.hourOf(r, plan.night, 0.5 * (plan.startUnix + plan.endUnix)));
      const QColor c = pixel(image, mid, row);
      const auto k = std::find(coloured.begin(), coloured.end(), plan.group) - coloured.begin();
      if (k < static_cast<long>(coloured.size())) {
        QCOMPARE(c, np::kPalette[k]);
        // The bar fills its row and stays in it.
        QCOMPARE(image.pixelColor(static_cast<int>(mid), row.top()), np::kPalette[k]);
        QCOMPARE(image.pixelColor(static_cast<int>(mid), row.bottom()), np::kPalette[k]);
        ++checkedColoured;
      } else {
        // The groups beyond the palette share one grey, neither sky nor a group's colour.
        if (!other.isValid()) other = c;
        QCOMPARE(c, other);
        QVERIFY(!isSky(c));
        for (const QColor& p : np::kPalette) QVERIFY(c != p);
        ++checkedOther;
      }
    }
    QVERIFY(checkedColoured > 500);
    QVERIFY(checkedOther > 20);
    // The rows next to the quiet nights keep their plans to themselves.
    const QRect cloudy = layout.row(kCloudy);
    for (double h = darkFrom(kCloudy) + 0.2; h < darkTo(kCloudy) - 0.2; h += 0.25)
      if (std::fabs(h - std::round(h)) > 0.05) QCOMPARE(pixel(image, layout.x(h), cloudy), np::kDark);
  }

  void theSkyIsShadedFromEachNightsSunAndFadedOutsideTheRun() {
    const SeasonReport r = syntheticSeason(180, 40);
    const QImage image = np::drawSeasonPicture(r);
    const SeasonPictureLayout layout(r, 1600, 0);
    const QRect row = layout.row(kCloudy);
    QCOMPARE(pixel(image, layout.x(layout.firstHour() + 0.3), row), np::kDay);
    QCOMPARE(pixel(image, layout.x(sunsetHour(kCloudy) + 0.7), row), np::kTwilight);
    QCOMPARE(pixel(image, layout.x(darkFrom(kCloudy) + 0.3), row), np::kDark);
    QCOMPARE(pixel(image, layout.x(darkTo(kCloudy) + 0.7), row), np::kTwilight);
    QCOMPARE(pixel(image, layout.x(sunriseHour(kCloudy) + 0.3), row), np::kDay);
    // The first evening's twilight came before the run began: faded, unlike the next one's.
    QVERIFY(pixel(image, layout.x(sunsetHour(0) + 0.7), layout.row(0)) != np::kTwilight);
    QCOMPARE(pixel(image, layout.x(sunsetHour(1) + 0.7), layout.row(1)), np::kTwilight);
  }

  void aPlanAfterMidnightLandsRightOfTheMidnightTick() {
    SeasonReport r = syntheticSeason(180, 40);
    const std::size_t top = np::seasonColouredGroups(r).front();
    // 01:00 to 02:00 local on the morning after the evening of night 30.
    r.plans.push_back({at(r, kAfterMidnight, 25.0), at(r, kAfterMidnight, 26.0), static_cast<std::uint32_t>(top),
                       static_cast<std::uint32_t>(kAfterMidnight)});
    const QImage image = np::drawSeasonPicture(r);
    const SeasonPictureLayout layout(r, 1600, 0);
    QCOMPARE(np::seasonColouredGroups(r).front(), top);
    const double midnight = layout.x(24.0);
    QVERIFY(midnight > layout.plot().left() && midnight < layout.plot().right());
    // The midnight tick crosses the rows: a line darker than the dark sky.
    const QColor tick = pixel(image, midnight, layout.row(kCloudy));
    QVERIFY(tick != np::kDark && tick.lightness() < np::kDark.lightness());

    const QRect row = layout.row(kAfterMidnight);
    int first = -1, last = -1;
    for (int x = layout.plot().left(); x <= layout.plot().right(); ++x)
      if (image.pixelColor(x, row.center().y()) == np::kPalette[0]) {
        if (first < 0) first = x;
        last = x;
      }
    QVERIFY(first > midnight + 0.25 * (layout.x(25.0) - midnight));
    QVERIFY(std::abs(first - layout.x(25.0)) <= 1.0);
    QVERIFY(std::abs(last + 1 - layout.x(26.0)) <= 1.0);  // the bar ends before its end's pixel
    // On its own night, not the evening before or after.
    for (int n : {kAfterMidnight - 1, kAfterMidnight + 1})
      QVERIFY(pixel(image, layout.x(25.5), layout.row(n)) != np::kPalette[0]);
  }

  void thePictureWritesAPngThatLoadsBack() {
    const SeasonReport r = syntheticSeason(180, 40);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string path = dir.filePath("season.png").toStdString();
    std::string error;
    QVERIFY2(np::writeSeasonPicture(r, path, error), error.c_str());
    QImage loaded;
    QVERIFY(loaded.load(QString::fromStdString(path)));
    const SeasonPictureLayout layout(r, 1600, 0);
    QCOMPARE(loaded.size(), QSize(layout.width(), layout.height()));
    QCOMPARE(loaded.pixelColor(static_cast<int>(layout.x(darkFrom(kCloudy) + 0.3)), layout.row(kCloudy).center().y()),
             np::kDark);
    if (qEnvironmentVariableIsSet("NIGHTPICK_SEASON_PICTURE"))
      np::writeSeasonPicture(r, qEnvironmentVariable("NIGHTPICK_SEASON_PICTURE").toStdString(), error);

    QVERIFY(!np::writeSeasonPicture(r, dir.filePath("season.svg").toStdString(), error));
    QVERIFY(error.find("png") != std::string::npos);
    QVERIFY(!np::writeSeasonPicture(r, dir.filePath("no/such/folder/season.png").toStdString(), error));
  }

  void aSeasonWithoutPlansOrNightsStillDraws() {
    SeasonReport r = syntheticSeason(40, 10);
    r.plans.clear();
    for (np::SeasonGroup& g : r.groups) g.plans = g.images = 0;
    const QImage image = np::drawSeasonPicture(r);
    const SeasonPictureLayout layout(r, 1600, 0);
    QVERIFY(!image.isNull());
    QVERIFY(np::seasonColouredGroups(r).empty());
    QCOMPARE(pixel(image, layout.x(darkFrom(5) + 0.3), layout.row(5)), np::kDark);

    const SeasonReport empty;
    const QImage nothing = np::drawSeasonPicture(empty);
    QVERIFY(!nothing.isNull() && nothing.height() > 0);
    const SeasonPictureLayout none(empty, 1600, 0);
    QVERIFY(none.row(0).isEmpty());
    QVERIFY(none.lastHour() > none.firstHour());

    // Nights without a Sun's span (a polar summer) take the evening's usual hours.
    SeasonReport polar = syntheticSeason(10, 3);
    for (np::SeasonNight& n : polar.nights) n.sunDown = n.dark = {NAN, NAN};
    polar.plans.clear();
    const SeasonPictureLayout light(polar, 1600, 0);
    QVERIFY(light.firstHour() >= 12.0 && light.lastHour() <= 36.0 && light.lastHour() > light.firstHour());
    const QImage day = np::drawSeasonPicture(polar);
    QCOMPARE(pixel(day, light.x(24.3), light.row(3)), np::kDay);
  }

  void anAskedHeightSharesItAmongTheNights() {
    const SeasonReport r = syntheticSeason(180, 40);
    const QImage image = np::drawSeasonPicture(r, 1200, 900);
    QCOMPARE(image.size(), QSize(1200, 900));
    const SeasonPictureLayout layout(r, 1200, 900);
    QCOMPARE(layout.row(179).bottom(), layout.plot().bottom());
    QVERIFY(layout.plot().bottom() < 900);
  }
};

QTEST_MAIN(TstSeasonPicture)
#include "tst_seasonpicture.moc"
