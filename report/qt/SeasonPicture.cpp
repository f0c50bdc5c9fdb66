#include "report/qt/SeasonPicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "report/qt/ChartPainter.h"
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

constexpr int kLegendLine = 20, kLegendGapHeight = 8;

// The legend: the sky, the groups that ran in their colours, and the time lost. Painted
// with `legend`'s painter, or only measured.
void seasonLegend(Legend& legend, const SeasonReport& r) {
  auto plural = [](long n, const char* one, const char* many) {
    return QString("%1 %2").arg(n).arg(n == 1 ? one : many);
  };
  skyLegend(legend, QString::fromStdString(formatPrintfGeneral(r.sunElev, 4)));
  legend.swatch(faded(kDay), "outside the run (faded)");
  legend.gap();

  const std::vector<int> plans = plansByGroup(r);
  const std::vector<std::size_t> coloured = seasonColouredGroups(r);
  const long ran = std::count_if(plans.begin(), plans.end(), [](int n) { return n > 0; });
  legend.heading("Target groups");
  legend.text(QString("%1 of %2 ran").arg(ran).arg(plural(static_cast<long>(r.groups.size()), "group", "groups")), 0);
  for (std::size_t k = 0; k < coloured.size(); ++k) {
    const std::size_t g = coloured[k];
    legend.swatch(kPalette[k], QString::fromStdString(r.groups[g].name),
                  QString("  %1, %2 img").arg(plural(plans[g], "plan", "plans")).arg(r.groups[g].images));
  }
  if (ran > static_cast<long>(coloured.size())) {
    int otherPlans = 0;
    for (std::size_t g = 0; g < plans.size(); ++g)
      if (std::find(coloured.begin(), coloured.end(), g) == coloured.end()) otherPlans += plans[g];
    legend.swatch(kOtherGroups, plural(ran - static_cast<long>(coloured.size()), "other group", "other groups") +
                                    ", " + plural(otherPlans, "plan", "plans"));
  }
  const long notListed = std::count_if(r.plans.begin(), r.plans.end(), [&](const SeasonPlan& p) {
    return p.group >= r.groups.size() && p.night < r.nights.size();
  });
  if (notListed > 0) legend.swatch(kNotListed, "not in the target list, " + plural(notListed, "plan", "plans"));
  const long finished =
      std::count_if(r.groups.begin(), r.groups.end(), [](const SeasonGroup& g) { return g.finishedNight >= 0; });
  const long never =
      std::count_if(r.groups.begin(), r.groups.end(), [](const SeasonGroup& g) { return g.neverEligible; });
  if (finished > 0) legend.text(plural(finished, "group", "groups") + " finished", 0);
  if (never > 0) legend.text(plural(never, "group", "groups") + " never eligible", 0);
  legend.gap();

  legend.heading("Time lost, beside each night");
  legend.swatch(kWeather, "waiting for safe weather");
  legend.swatch(kNoTarget, "no viable target, sleeping");
}

LegendStyle seasonLegendStyle() {
  LegendStyle style;
  style.row = kLegendLine;
  style.gap = kLegendGapHeight;
  style.swatchPen = QPen(QColor(0, 0, 0, 160), 1);
  style.swatchAt = QPointF(0.5, -10.5);
  style.width = kLegendWidth;
  return style;
}

int legendHeight(const SeasonReport& r) {
  QFont font("DejaVu Sans");
  font.setPixelSize(13);
  Legend measure(nullptr, font, QPointF(0, 0), seasonLegendStyle());
  seasonLegend(measure, r);
  return static_cast<int>(measure.height());
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

namespace {

// The season's picture, drawn a part at a time: the nights' rows with their sky, the
// hours, the plans, the dates, the time lost beside each night, the title and the legend.
class SeasonPicture {
 public:
  SeasonPicture(const SeasonReport& r, int width, int height)
      : r_(r), L_(r, width, height), chart_(L_.width(), L_.height(), 13), p_(chart_.painter()), plot_(L_.plot()) {
    const double rowPixels =
        r.nights.empty() ? plot_.height() : static_cast<double>(plot_.height()) / r.nights.size();
    dateStep_ = rowPixels >= 16 ? 1 : 7 * static_cast<std::size_t>(std::ceil(16.0 / (7.0 * rowPixels)));
  }

  QImage draw() {
    // The rows are drawn pixel for pixel: no antialiasing, so that a row is one band and a
    // plan's bar its group's colour to the edge.
    p_.setRenderHint(QPainter::Antialiasing, false);
    sky();
    hours();
    plans();
    dates();
    timeLost();
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    title();
    Legend legend(&p_, chart_.font(), L_.legendAt(), seasonLegendStyle());
    seasonLegend(legend, r_);
    return chart_.finish();
  }

 private:
  // The pixels of a row from one local hour to another, within the time axis.
  QRect span(const QRect& row, double fromHour, double toHour) const {
    const double a = std::max(fromHour, L_.firstHour()), b = std::min(toHour, L_.lastHour());
    if (!(b > a)) return QRect();
    const int xa = static_cast<int>(std::lround(L_.x(a))), xb = static_cast<int>(std::lround(L_.x(b)));
    return QRect(xa, row.top(), std::max(1, xb - xa), row.height());
  }

  // The sky of every night, and a veil over what lies outside the run.
  void sky() {
    for (std::size_t i = 0; i < r_.nights.size(); ++i) {
      const SeasonNight& night = r_.nights[i];
      const QRect row = L_.row(i);
      p_.fillRect(row, kDay);
      if (finite(night.sunDown))
        p_.fillRect(span(row, L_.hourOf(r_, i, night.sunDown.start), L_.hourOf(r_, i, night.sunDown.end)), kTwilight);
      if (finite(night.dark))
        p_.fillRect(span(row, L_.hourOf(r_, i, night.dark.start), L_.hourOf(r_, i, night.dark.end)), kDark);
      const double runFrom = L_.hourOf(r_, i, r_.startUnix), runTo = L_.hourOf(r_, i, r_.endUnix);
      if (runFrom > L_.firstHour()) p_.fillRect(span(row, L_.firstHour(), runFrom), kOutsideRun);
      if (runTo < L_.lastHour()) p_.fillRect(span(row, runTo, L_.lastHour()), kOutsideRun);
    }
  }

  // The hours, under the plans: a faint line every hour, midnight darker, labelled above
  // and below; and a faint line above every labelled night when they are a week apart.
  void hours() {
    const double hourPixels = plot_.width() / (L_.lastHour() - L_.firstHour());
    const int labelStep = hourPixels >= 44 ? 1 : hourPixels >= 22 ? 2 : 3;
    for (double h = std::ceil(L_.firstHour()); h <= L_.lastHour(); h += 1.0) {
      const int x = static_cast<int>(std::lround(L_.x(h)));
      const int hour = hourOfDay(h);
      const bool midnight = hour == 0;
      if (x > plot_.left() && x < plot_.right()) {
        p_.setPen(QPen(QColor(0, 0, 0, midnight ? 120 : 30), 1));
        p_.drawLine(x, plot_.top(), x, plot_.bottom());
      }
      p_.setPen(QPen(Qt::black, 1));
      p_.drawLine(x, plot_.top() - 5, x, plot_.top() - 1);
      p_.drawLine(x, plot_.bottom() + 1, x, plot_.bottom() + 5);
      if (hour % labelStep == 0) {
        QFont f = chart_.font();
        f.setBold(midnight);
        p_.setFont(f);
        chart_.hourLabel(x, plot_.top() - 24, hour, Qt::AlignBottom);
        chart_.hourLabel(x, plot_.bottom() + 7, hour, Qt::AlignTop);
        p_.setFont(chart_.font());
      }
    }
    p_.drawText(
        QRect(plot_.left(), plot_.bottom() + 26, plot_.width(), 18), Qt::AlignHCenter | Qt::AlignTop,
        QString("local time (%1), each night from its evening into the next morning").arg(offsetText(r_.utcOffsetHours)));
    p_.setPen(QPen(QColor(0, 0, 0, 45), 1));
    for (std::size_t i = dateStep_; i < r_.nights.size() && dateStep_ > 1; i += dateStep_)
      p_.drawLine(plot_.left(), L_.row(i).top(), plot_.right(), L_.row(i).top());
  }

  // The plans, each on its night's row in its group's colour, and the frame around them.
  void plans() {
    const std::vector<std::size_t> coloured = seasonColouredGroups(r_);
    std::vector<QColor> groupColour(r_.groups.size(), kOtherGroups);
    for (std::size_t k = 0; k < coloured.size(); ++k) groupColour[coloured[k]] = kPalette[k];
    for (const SeasonPlan& plan : r_.plans) {
      if (plan.night >= r_.nights.size() || !(plan.endUnix >= plan.startUnix)) continue;
      const bool listed = plan.group < r_.groups.size();
      const QRect bar =
          span(L_.row(plan.night), L_.hourOf(r_, plan.night, plan.startUnix), L_.hourOf(r_, plan.night, plan.endUnix));
      if (!bar.isEmpty()) p_.fillRect(bar, listed ? groupColour[plan.group] : kNotListed);
    }
    p_.setPen(QPen(Qt::black, 1));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(plot_.adjusted(-1, -1, 0, 0));
  }

  // The evenings' dates, every night or every week.
  void dates() {
    for (std::size_t i = 0; i < r_.nights.size(); i += dateStep_) {
      const QRect row = L_.row(i);
      const int y = row.top() + row.height() / 2;
      p_.drawLine(plot_.left() - 6, y, plot_.left() - 2, y);
      p_.drawText(QRect(0, y - 9, plot_.left() - 10, 18), Qt::AlignRight | Qt::AlignVCenter,
                  dateText(r_.nights[i].evening));
    }
  }

  // Beside each night, what it lost: waiting for weather, then for a target.
  void timeLost() {
    const QRect wcol = L_.weatherColumn();
    double scale = 3600.0;
    for (const SeasonNight& night : r_.nights) scale = std::max(scale, night.weatherSeconds + night.noTargetSeconds);
    scale = std::ceil(scale / 3600.0) * 3600.0;
    for (std::size_t i = 0; i < r_.nights.size(); ++i) {
      const QRect row = L_.row(i);
      const int w1 = static_cast<int>(std::lround(r_.nights[i].weatherSeconds / scale * wcol.width()));
      const int w2 = static_cast<int>(std::lround(r_.nights[i].noTargetSeconds / scale * wcol.width()));
      if (w1 > 0) p_.fillRect(QRect(wcol.left(), row.top(), w1, row.height()), kWeather);
      if (w2 > 0) p_.fillRect(QRect(wcol.left() + w1, row.top(), w2, row.height()), kNoTarget);
    }
    p_.setPen(QPen(Qt::black, 1));
    p_.drawLine(wcol.left() - 1, wcol.top() - 1, wcol.left() - 1, wcol.bottom());
    p_.drawLine(wcol.left() - 1, wcol.bottom() + 1, wcol.right(), wcol.bottom() + 1);
    p_.drawText(QRect(wcol.left(), wcol.top() - 24, wcol.width() + 20, 18), Qt::AlignLeft | Qt::AlignBottom,
                "time lost");
    p_.drawText(QRect(wcol.left(), wcol.bottom() + 7, 20, 18), Qt::AlignLeft | Qt::AlignTop, "0");
    p_.drawText(QRect(wcol.right() - 40, wcol.bottom() + 7, 60, 18), Qt::AlignRight | Qt::AlignTop,
                QString("%1 h").arg(static_cast<int>(scale / 3600.0)));
  }

  // Title: the season's dates and its totals.
  void title() {
    const std::size_t nightCount = r_.nights.size();
    QString title = "Season report";
    if (nightCount > 0)
      title += QString("  %1 to %2, %3 night%4")
                   .arg(dateText(r_.nights.front().evening), dateText(r_.nights.back().evening))
                   .arg(nightCount)
                   .arg(nightCount == 1 ? "" : "s");
    else
      title += ": no nights";
    chart_.headline(QPointF(plot_.left(), 30), title, 20, true, L_.width() - plot_.left());
    QString totals = QString("%1 plans, %2 images taken").arg(r_.plans.size()).arg(r_.imagesTaken);
    if (r_.imagesSkipped > 0) totals += QString(", %1 skipped").arg(r_.imagesSkipped);
    totals += QString(";  exposing %1 of %2 dark").arg(hoursText(r_.exposingSeconds), hoursText(r_.darkSeconds));
    if (r_.darkSeconds > 0)
      totals += QString(" (%1%)").arg(
          QString::fromStdString(formatPrintfFixed(100.0 * r_.exposingSeconds / r_.darkSeconds, 0)));
    totals += QString(";  %1 lost to weather").arg(hoursText(r_.weatherSeconds));
    if (r_.noTargetSeconds > 0) totals += QString(", %1 without a target").arg(hoursText(r_.noTargetSeconds));
    chart_.headline(QPointF(plot_.left(), 54), totals, 15, false, L_.width() - plot_.left());
  }

  const SeasonReport& r_;
  const SeasonPictureLayout L_;
  ChartPainter chart_;
  QPainter& p_;
  const QRect plot_;
  std::size_t dateStep_ = 1;
};

}  // namespace

QImage drawSeasonPicture(const SeasonReport& r, int width, int height) { return SeasonPicture(r, width, height).draw(); }

bool writeSeasonPicture(const SeasonReport& report, const std::string& path, std::string& error) {
  return savePicture([&report] { return drawSeasonPicture(report); }, path, error);
}

}  // namespace np
