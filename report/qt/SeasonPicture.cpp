#include "report/qt/SeasonPicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "report/ReportPictureModule.h"
#include "report/qt/PictureColours.h"
#include "base/DateTime.h"
#include "base/NumberText.h"

namespace np {

namespace {

const QColor kOtherGroups(0x8c, 0x8c, 0x8c);
const QColor kNotListed(0x33, 0x33, 0x33);
const QColor kNoTarget(0xb4, 0xb4, 0xb4);
// Laid over the part of a night outside the run.
const QColor kOutsideRun(255, 255, 255, 175);

// The frame around the rows: the dates on the left, the title and the hours above, the
// hours below, then the weather column and the legend on the right.
constexpr int kLeft = 112, kTop = 100, kBottom = 58, kRight = 16;
constexpr int kWeatherGap = 36, kWeatherWidth = 96, kLegendGap = 28, kLegendWidth = 340;
// Rows a few pixels high however many nights; the nights' area stops growing at the cap.
constexpr double kRowMax = 24.0, kRowMin = 3.0, kPlotCap = 3000.0;

bool finite(const TimeSpan& s) { return std::isfinite(s.start) && std::isfinite(s.end) && s.end > s.start; }

QString hoursText(double seconds) { return QString::fromStdString(formatPrintfFixed(seconds / 3600.0, 1)) + " h"; }

QString dateText(DateTime evening) {
  const CivilTime c = toCivil(evening);
  return QString("%1-%2-%3")
      .arg(c.year, 4, 10, QChar('0'))
      .arg(c.month, 2, 10, QChar('0'))
      .arg(c.day, 2, 10, QChar('0'));
}

QString offsetText(double hours) {
  QString text = QString("UTC%1").arg(hours >= 0 ? "+" : "-");
  const double a = std::fabs(hours);
  const int whole = static_cast<int>(a);
  const int minutes = static_cast<int>(std::lround((a - whole) * 60.0));
  text += QString::number(whole);
  if (minutes != 0) text += QString(":%1").arg(minutes, 2, 10, QChar('0'));
  return text;
}

// How many plans each group ran (kNoGroup and unknown indices left out).
std::vector<int> plansByGroup(const SeasonReport& r) {
  std::vector<int> n(r.groups.size(), 0);
  for (const SeasonPlan& p : r.plans)
    if (p.group < n.size()) ++n[p.group];
  return n;
}

// A colour under the veil of kOutsideRun.
QColor faded(const QColor& c) {
  const double a = kOutsideRun.alphaF();
  auto mix = [a](int under, int over) { return static_cast<int>(std::lround(under * (1.0 - a) + over * a)); };
  return QColor(mix(c.red(), kOutsideRun.red()), mix(c.green(), kOutsideRun.green()),
                mix(c.blue(), kOutsideRun.blue()));
}

void swatch(QPainter& p, QPointF at, const QColor& fill) {
  p.setPen(QPen(QColor(0, 0, 0, 160), 1));
  p.setBrush(fill);
  p.drawRect(QRectF(at.x() + 0.5, at.y() - 10.5, 22, 12));
}

// The legend, line by line.
struct LegendEntry {
  enum Kind { Heading, Swatch, Text, Gap } kind = Text;
  QString text;
  QString suffix;  // kept whole when the text is cut short
  QColor colour;
};
constexpr int kLegendLine = 20, kLegendGapHeight = 8;

std::vector<LegendEntry> legendEntries(const SeasonReport& r) {
  std::vector<LegendEntry> e;
  auto plural = [](long n, const char* one, const char* many) {
    return QString("%1 %2").arg(n).arg(n == 1 ? one : many);
  };
  const QString sunElev = QString::fromStdString(formatPrintfGeneral(r.sunElev, 4));
  e.push_back({LegendEntry::Heading, "Sky", {}, {}});
  e.push_back({LegendEntry::Swatch, "day (Sun above 0°)", {}, kDay});
  e.push_back({LegendEntry::Swatch, QString("twilight (0° to %1°)").arg(sunElev), {}, kTwilight});
  e.push_back({LegendEntry::Swatch, QString("dark (Sun below %1°)").arg(sunElev), {}, kDark});
  e.push_back({LegendEntry::Swatch, "outside the run (faded)", {}, faded(kDay)});
  e.push_back({LegendEntry::Gap, {}, {}, {}});

  const std::vector<int> plans = plansByGroup(r);
  const std::vector<std::size_t> coloured = seasonColouredGroups(r);
  const long ran = std::count_if(plans.begin(), plans.end(), [](int n) { return n > 0; });
  e.push_back({LegendEntry::Heading, "Target groups", {}, {}});
  e.push_back({LegendEntry::Text,
               QString("%1 of %2 ran").arg(ran).arg(plural(static_cast<long>(r.groups.size()), "group", "groups")),
               {},
               {}});
  for (std::size_t k = 0; k < coloured.size(); ++k) {
    const std::size_t g = coloured[k];
    e.push_back({LegendEntry::Swatch, QString::fromStdString(r.groups[g].name),
                 QString("  %1, %2 img").arg(plural(plans[g], "plan", "plans")).arg(r.groups[g].images), kPalette[k]});
  }
  if (ran > static_cast<long>(coloured.size())) {
    int otherPlans = 0;
    for (std::size_t g = 0; g < plans.size(); ++g)
      if (std::find(coloured.begin(), coloured.end(), g) == coloured.end()) otherPlans += plans[g];
    e.push_back({LegendEntry::Swatch,
                 plural(ran - static_cast<long>(coloured.size()), "other group", "other groups") + ", " +
                     plural(otherPlans, "plan", "plans"),
                 {},
                 kOtherGroups});
  }
  const long notListed = std::count_if(r.plans.begin(), r.plans.end(), [&](const SeasonPlan& p) {
    return p.group >= r.groups.size() && p.night < r.nights.size();
  });
  if (notListed > 0)
    e.push_back({LegendEntry::Swatch, "not in the target list, " + plural(notListed, "plan", "plans"), {}, kNotListed});
  const long finished =
      std::count_if(r.groups.begin(), r.groups.end(), [](const SeasonGroup& g) { return g.finishedNight >= 0; });
  const long never =
      std::count_if(r.groups.begin(), r.groups.end(), [](const SeasonGroup& g) { return g.neverEligible; });
  if (finished > 0) e.push_back({LegendEntry::Text, plural(finished, "group", "groups") + " finished", {}, {}});
  if (never > 0) e.push_back({LegendEntry::Text, plural(never, "group", "groups") + " never eligible", {}, {}});
  e.push_back({LegendEntry::Gap, {}, {}, {}});

  e.push_back({LegendEntry::Heading, "Time lost, beside each night", {}, {}});
  e.push_back({LegendEntry::Swatch, "waiting for safe weather", {}, kWeather});
  e.push_back({LegendEntry::Swatch, "no viable target, sleeping", {}, kNoTarget});
  return e;
}

int legendHeight(const SeasonReport& r) {
  int h = 0;
  for (const LegendEntry& e : legendEntries(r)) h += e.kind == LegendEntry::Gap ? kLegendGapHeight : kLegendLine;
  return h;
}

}  // namespace

SeasonPictureLayout::SeasonPictureLayout(const SeasonReport& r, int width, int height)
    : width_(width), nights_(r.nights.size()) {
  const int plotWidth = std::max(120, width - kLeft - kWeatherGap - kWeatherWidth - kLegendGap - kLegendWidth - kRight);
  const double n = static_cast<double>(std::max<std::size_t>(nights_, 1));
  int plotHeight = 0;
  if (height > 0) {
    height_ = height;
    plotHeight = std::max(1, height - kTop - kBottom);
    rowHeight_ = plotHeight / n;
  } else {
    // Rows shrink as the nights grow, the whole growing all the same (12 * sqrt(30 n)):
    // 24 pixels for a week, 12 for a month, 5 for half a year, 3 from 480 nights.
    rowHeight_ = std::clamp(12.0 * std::sqrt(30.0 / n), kRowMin, kRowMax);
    if (rowHeight_ * n > kPlotCap) rowHeight_ = kPlotCap / n;
    plotHeight = std::max(1, static_cast<int>(std::lround(rowHeight_ * n)));
    // Tall enough for the legend when there are few nights.
    height_ = std::max(kTop + plotHeight + kBottom, kTop + 12 + legendHeight(r) + 12);
  }
  plot_ = QRect(kLeft, kTop, plotWidth, plotHeight);
  weather_ = QRect(plot_.right() + 1 + kWeatherGap, kTop, kWeatherWidth, plotHeight);
  legend_ = QPoint(weather_.right() + 1 + kLegendGap, kTop + 12);

  // Across: from an hour before the earliest sunset (or plan) to an hour after the latest
  // sunrise (or plan), whole hours within the night's noon to noon.
  double earliest = INFINITY, latest = -INFINITY;
  auto take = [&](std::size_t night, double from, double to) {
    earliest = std::min(earliest, std::clamp(hourOf(r, night, from), 12.0, 36.0));
    latest = std::max(latest, std::clamp(hourOf(r, night, to), 12.0, 36.0));
  };
  for (std::size_t i = 0; i < r.nights.size(); ++i)
    if (finite(r.nights[i].sunDown)) take(i, r.nights[i].sunDown.start, r.nights[i].sunDown.end);
  for (const SeasonPlan& p : r.plans)
    if (p.night < r.nights.size() && p.endUnix >= p.startUnix) take(p.night, p.startUnix, p.endUnix);
  if (earliest <= latest) {
    firstHour_ = std::max(12.0, std::floor(earliest) - 1.0);
    lastHour_ = std::min(36.0, std::ceil(latest) + 1.0);
  }
  if (lastHour_ - firstHour_ < 4.0) {
    const double mid = std::clamp(0.5 * (firstHour_ + lastHour_), 14.0, 34.0);
    firstHour_ = mid - 2.0;
    lastHour_ = mid + 2.0;
  }
}

QRect SeasonPictureLayout::row(std::size_t night) const {
  if (night >= nights_) return {};
  const int top = plot_.top() + static_cast<int>(std::lround(static_cast<double>(night) * rowHeight_));
  const int bottom = plot_.top() + static_cast<int>(std::lround(static_cast<double>(night + 1) * rowHeight_));
  return QRect(plot_.left(), top, plot_.width(), std::max(1, bottom - top));
}

double SeasonPictureLayout::x(double hour) const {
  return plot_.left() + (hour - firstHour_) / (lastHour_ - firstHour_) * plot_.width();
}

double SeasonPictureLayout::hourOf(const SeasonReport& r, std::size_t night, double unixSeconds) const {
  if (night >= r.nights.size()) return NAN;
  return 12.0 + (unixSeconds - r.nights[night].windowStart) / 3600.0;
}

std::vector<std::size_t> seasonColouredGroups(const SeasonReport& r) {
  const std::vector<int> plans = plansByGroup(r);
  std::vector<std::size_t> ran;
  for (std::size_t g = 0; g < plans.size(); ++g)
    if (plans[g] > 0) ran.push_back(g);
  std::stable_sort(ran.begin(), ran.end(), [&](std::size_t a, std::size_t b) {
    if (plans[a] != plans[b]) return plans[a] > plans[b];
    return r.groups[a].images > r.groups[b].images;
  });
  if (ran.size() > kPaletteSize) ran.resize(kPaletteSize);
  return ran;
}

QImage drawSeasonPicture(const SeasonReport& r, int width, int height) {
  const SeasonPictureLayout L(r, width, height);
  QImage image(L.width(), L.height(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter p(&image);
  QFont font("DejaVu Sans");
  font.setPixelSize(13);
  p.setFont(font);
  const QFontMetrics fm(font);
  const QRect plot = L.plot();
  const std::size_t nightCount = r.nights.size();

  // The rows are drawn pixel for pixel: no antialiasing, so that a row is one band and a
  // plan's bar its group's colour to the edge.
  p.setRenderHint(QPainter::Antialiasing, false);
  auto span = [&](const QRect& row, double fromHour, double toHour) {
    const double a = std::max(fromHour, L.firstHour()), b = std::min(toHour, L.lastHour());
    if (!(b > a)) return QRect();
    const int xa = static_cast<int>(std::lround(L.x(a))), xb = static_cast<int>(std::lround(L.x(b)));
    return QRect(xa, row.top(), std::max(1, xb - xa), row.height());
  };

  // The sky of every night, and a veil over what lies outside the run.
  for (std::size_t i = 0; i < nightCount; ++i) {
    const SeasonNight& night = r.nights[i];
    const QRect row = L.row(i);
    p.fillRect(row, kDay);
    if (finite(night.sunDown))
      p.fillRect(span(row, L.hourOf(r, i, night.sunDown.start), L.hourOf(r, i, night.sunDown.end)), kTwilight);
    if (finite(night.dark))
      p.fillRect(span(row, L.hourOf(r, i, night.dark.start), L.hourOf(r, i, night.dark.end)), kDark);
    const double runFrom = L.hourOf(r, i, r.startUnix), runTo = L.hourOf(r, i, r.endUnix);
    if (runFrom > L.firstHour()) p.fillRect(span(row, L.firstHour(), runFrom), kOutsideRun);
    if (runTo < L.lastHour()) p.fillRect(span(row, runTo, L.lastHour()), kOutsideRun);
  }

  // The hours, under the plans: a faint line every hour, midnight darker.
  const double hourPixels = plot.width() / (L.lastHour() - L.firstHour());
  const int labelStep = hourPixels >= 44 ? 1 : hourPixels >= 22 ? 2 : 3;
  for (double h = std::ceil(L.firstHour()); h <= L.lastHour(); h += 1.0) {
    const int x = static_cast<int>(std::lround(L.x(h)));
    const int hourOfDay = static_cast<int>(std::fmod(h, 24.0));
    const bool midnight = hourOfDay == 0;
    if (x > plot.left() && x < plot.right()) {
      p.setPen(QPen(QColor(0, 0, 0, midnight ? 120 : 30), 1));
      p.drawLine(x, plot.top(), x, plot.bottom());
    }
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(x, plot.top() - 5, x, plot.top() - 1);
    p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + 5);
    if (hourOfDay % labelStep == 0) {
      const QString label = QString("%1:00").arg(hourOfDay, 2, 10, QChar('0'));
      QFont f = font;
      f.setBold(midnight);
      p.setFont(f);
      p.drawText(QRect(x - 30, plot.top() - 24, 60, 18), Qt::AlignHCenter | Qt::AlignBottom, label);
      p.drawText(QRect(x - 30, plot.bottom() + 7, 60, 18), Qt::AlignHCenter | Qt::AlignTop, label);
      p.setFont(font);
    }
  }
  p.drawText(
      QRect(plot.left(), plot.bottom() + 26, plot.width(), 18), Qt::AlignHCenter | Qt::AlignTop,
      QString("local time (%1), each night from its evening into the next morning").arg(offsetText(r.utcOffsetHours)));

  // A faint line above every labelled night (a week apart when the rows are thin).
  const double rowPixels = nightCount > 0 ? static_cast<double>(plot.height()) / nightCount : plot.height();
  const std::size_t dateStep = rowPixels >= 16 ? 1 : 7 * static_cast<std::size_t>(std::ceil(16.0 / (7.0 * rowPixels)));
  p.setPen(QPen(QColor(0, 0, 0, 45), 1));
  for (std::size_t i = dateStep; i < nightCount && dateStep > 1; i += dateStep)
    p.drawLine(plot.left(), L.row(i).top(), plot.right(), L.row(i).top());

  // The plans, each on its night's row in its group's colour.
  const std::vector<std::size_t> coloured = seasonColouredGroups(r);
  std::vector<QColor> groupColour(r.groups.size(), kOtherGroups);
  for (std::size_t k = 0; k < coloured.size(); ++k) groupColour[coloured[k]] = kPalette[k];
  for (const SeasonPlan& plan : r.plans) {
    if (plan.night >= nightCount || !(plan.endUnix >= plan.startUnix)) continue;
    const bool listed = plan.group < r.groups.size();
    const QRect bar =
        span(L.row(plan.night), L.hourOf(r, plan.night, plan.startUnix), L.hourOf(r, plan.night, plan.endUnix));
    if (!bar.isEmpty()) p.fillRect(bar, listed ? groupColour[plan.group] : kNotListed);
  }

  // The frame.
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(plot.adjusted(-1, -1, 0, 0));

  // The evenings' dates, every night or every week.
  for (std::size_t i = 0; i < nightCount; i += dateStep) {
    const QRect row = L.row(i);
    const int y = row.top() + row.height() / 2;
    p.drawLine(plot.left() - 6, y, plot.left() - 2, y);
    p.drawText(QRect(0, y - 9, plot.left() - 10, 18), Qt::AlignRight | Qt::AlignVCenter, dateText(r.nights[i].evening));
  }

  // Beside each night, what it lost: waiting for weather, then for a target.
  const QRect wcol = L.weatherColumn();
  double scale = 3600.0;
  for (const SeasonNight& night : r.nights) scale = std::max(scale, night.weatherSeconds + night.noTargetSeconds);
  scale = std::ceil(scale / 3600.0) * 3600.0;
  for (std::size_t i = 0; i < nightCount; ++i) {
    const QRect row = L.row(i);
    const int w1 = static_cast<int>(std::lround(r.nights[i].weatherSeconds / scale * wcol.width()));
    const int w2 = static_cast<int>(std::lround(r.nights[i].noTargetSeconds / scale * wcol.width()));
    if (w1 > 0) p.fillRect(QRect(wcol.left(), row.top(), w1, row.height()), kWeather);
    if (w2 > 0) p.fillRect(QRect(wcol.left() + w1, row.top(), w2, row.height()), kNoTarget);
  }
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(wcol.left() - 1, wcol.top() - 1, wcol.left() - 1, wcol.bottom());
  p.drawLine(wcol.left() - 1, wcol.bottom() + 1, wcol.right(), wcol.bottom() + 1);
  p.drawText(QRect(wcol.left(), wcol.top() - 24, wcol.width() + 20, 18), Qt::AlignLeft | Qt::AlignBottom, "time lost");
  p.drawText(QRect(wcol.left(), wcol.bottom() + 7, 20, 18), Qt::AlignLeft | Qt::AlignTop, "0");
  p.drawText(QRect(wcol.right() - 40, wcol.bottom() + 7, 60, 18), Qt::AlignRight | Qt::AlignTop,
             QString("%1 h").arg(static_cast<int>(scale / 3600.0)));

  // Title: the season's dates and its totals.
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  QFont titleFont = font;
  titleFont.setPixelSize(20);
  titleFont.setBold(true);
  p.setFont(titleFont);
  p.setPen(Qt::black);
  QString title = "Season report";
  if (nightCount > 0)
    title += QString("  %1 to %2, %3 night%4")
                 .arg(dateText(r.nights.front().evening), dateText(r.nights.back().evening))
                 .arg(nightCount)
                 .arg(nightCount == 1 ? "" : "s");
  else
    title += ": no nights";
  p.drawText(QPointF(plot.left(), 30),
             QFontMetrics(titleFont).elidedText(title, Qt::ElideRight, L.width() - plot.left()));
  QFont totalsFont = font;
  totalsFont.setPixelSize(15);
  p.setFont(totalsFont);
  QString totals = QString("%1 plans, %2 images taken").arg(r.plans.size()).arg(r.imagesTaken);
  if (r.imagesSkipped > 0) totals += QString(", %1 skipped").arg(r.imagesSkipped);
  totals += QString(";  exposing %1 of %2 dark").arg(hoursText(r.exposingSeconds), hoursText(r.darkSeconds));
  if (r.darkSeconds > 0)
    totals +=
        QString(" (%1%)").arg(QString::fromStdString(formatPrintfFixed(100.0 * r.exposingSeconds / r.darkSeconds, 0)));
  totals += QString(";  %1 lost to weather").arg(hoursText(r.weatherSeconds));
  if (r.noTargetSeconds > 0) totals += QString(", %1 without a target").arg(hoursText(r.noTargetSeconds));
  p.drawText(QPointF(plot.left(), 54),
             QFontMetrics(totalsFont).elidedText(totals, Qt::ElideRight, L.width() - plot.left()));
  p.setFont(font);

  // Legend.
  const QPoint at = L.legendAt();
  double ly = at.y();
  for (const LegendEntry& e : legendEntries(r)) {
    QFont f = font;
    f.setBold(e.kind == LegendEntry::Heading);
    p.setFont(f);
    if (e.kind == LegendEntry::Swatch) swatch(p, QPointF(at.x(), ly), e.colour);
    p.setPen(Qt::black);
    const int indent = e.kind == LegendEntry::Swatch ? 30 : 0;
    const int room = kLegendWidth - indent - fm.horizontalAdvance(e.suffix);
    if (e.kind != LegendEntry::Gap)
      p.drawText(QPointF(at.x() + indent, ly), QFontMetrics(f).elidedText(e.text, Qt::ElideRight, room) + e.suffix);
    ly += e.kind == LegendEntry::Gap ? kLegendGapHeight : kLegendLine;
  }
  p.end();
  return image;
}

bool writeSeasonPicture(const SeasonReport& report, const std::string& path, std::string& error) {
  if (!isReportPicturePath(path)) {
    error = "cannot draw '" + path + "': only .png pictures are written";
    return false;
  }
  const QImage image = drawSeasonPicture(report);
  if (!image.save(QString::fromStdString(path), "PNG")) {
    error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

}  // namespace np
