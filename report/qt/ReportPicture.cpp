#include "report/qt/ReportPicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <algorithm>
#include <cmath>
#include <map>

#include "base/DateTime.h"
#include "base/NumberText.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"
#include "report/qt/ChartPainter.h"
#include "report/qt/PictureColours.h"

namespace np {

namespace {

const QColor kOtherGroup(0x5d, 0x6b, 0x82, 110);
const QColor kSun(0x20, 0x20, 0x20);
const QColor kWindowTop(0x8b, 0x1e, 0x3f);
const QColor kMinimum(0x2e, 0x7d, 0x32);
const QColor kHorizon(0x6d, 0x4c, 0x41);
const QColor kNoTarget(0x90, 0x90, 0x90);
const QColor kMoon(0x3f, 0x6f, 0xb0);

constexpr double kElevTop = 90.0, kElevBottom = -20.0;
constexpr double kLegendWidth = 330;

double localHours(const NightReport& r, double unix) { return (unix + r.utcOffsetHours * 3600.0) / 3600.0; }

QString localClock(const NightReport& r, double unix) {
  return QString::fromStdString(
      formatGeneralDate(localFromUnix(unix, r.utcOffsetHours)));
}

struct Axes {
  QRectF plot;
  double t0, t1;
  double x(double unix) const { return plot.left() + (unix - t0) / (t1 - t0) * plot.width(); }
  double y(double elev) const {
    return plot.top() + (kElevTop - std::clamp(elev, kElevBottom - 5, kElevTop + 5)) / (kElevTop - kElevBottom) *
                            plot.height();
  }
};

// The Sun's state at its elevation: 0 day, 1 twilight, 2 dark.
int sunState(double elevation, double sunElev) {
  if (elevation < sunElev) return 2;
  return elevation < 0.0 ? 1 : 0;
}

const QColor& stateColour(int state) { return state == 2 ? kDark : state == 1 ? kTwilight : kDay; }

// The night's picture, drawn a part at a time: the sky, the grid and its labels, the
// limits, the curves, the plans lane and the legend.
class NightPicture {
 public:
  NightPicture(const NightReport& r, int width, int height)
      : r_(r),
        chart_(width, height, 14),
        p_(chart_.painter()),
        fm_(chart_.font()),
        t0_(r.startUnix),
        t1_(std::max(r.endUnix, r.startUnix + 60.0)),
        ax_{QRectF(70, 60, width - 70 - kLegendWidth - 30, height - 60 - 150), t0_, t1_},
        lane_(ax_.plot.left(), ax_.plot.bottom() + 52, ax_.plot.width(), 34),
        selectionLimit_(r.minimumElevation + 1.0) {
    p_.setRenderHint(QPainter::Antialiasing);
    // Which targets ran, each with its colour.
    for (const PlanRun& plan : r.plans) {
      if (colourOf_.count(plan.target)) continue;
      colourOf_[plan.target] = kPalette[ranOrder_.size() % std::size(kPalette)];
      ranOrder_.push_back(plan.target);
    }
  }

  QImage draw() {
    title();
    sky();
    grid();
    p_.save();
    p_.setClipRect(ax_.plot);
    limits();
    curves();
    moonMarks();
    p_.restore();
    p_.setPen(QPen(Qt::black, 1));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(ax_.plot);
    plansLane();
    legend();
    return chart_.finish();
  }

 private:
  void title() {
    // With a point in every locale, as the report's text.
    const std::string latLon =
        "latitude " + formatPrintfFixed(r_.latitude, 2) + "°, longitude " + formatPrintfFixed(r_.longitude, 2) + "°";
    chart_.headline(QPointF(ax_.plot.left(), 32),
                    QString("Night report  %1 to %2 (local time)").arg(localClock(r_, t0_), localClock(r_, t1_)), 20,
                    true);
    chart_.headline(QPointF(ax_.plot.left(), 52), QString::fromStdString(latLon) +
                                                      QString("   UTC%1").arg(r_.utcOffsetHours >= 0 ? "+" : "") +
                                                      QString::number(r_.utcOffsetHours),
                    14, false);
  }

  // Day, twilight and dark from the Sun's samples, shaded over the plot and the lane.
  void sky() {
    const std::vector<SunSample>& sun = r_.sun;
    for (std::size_t i = 0; i + 1 < sun.size(); ++i) {
      double mid = 0.5 * (sun[i].elevation + sun[i + 1].elevation);
      QColor c = stateColour(sunState(mid, r_.sunElev));
      double xa = ax_.x(sun[i].unix), xb = ax_.x(sun[i + 1].unix);
      p_.fillRect(QRectF(xa, ax_.plot.top(), xb - xa + 0.8, ax_.plot.height()), c);
      p_.fillRect(QRectF(xa, lane_.top(), xb - xa + 0.8, lane_.height()), c);
    }
    // The dark spans are known to the second: draw their edges exactly.
    p_.setPen(Qt::NoPen);
    for (const TimeSpan& s : r_.dark) {
      p_.fillRect(QRectF(ax_.x(s.start), ax_.plot.top(), ax_.x(s.end) - ax_.x(s.start), ax_.plot.height()), kDark);
      p_.fillRect(QRectF(ax_.x(s.start), lane_.top(), ax_.x(s.end) - ax_.x(s.start), lane_.height()), kDark);
    }
  }

  // Grid: elevation every 10 degrees, time every hour (or every few hours on a long run).
  void grid() {
    p_.setPen(QPen(QColor(0, 0, 0, 40), 1));
    for (int e = -20; e <= 90; e += 10)
      p_.drawLine(QPointF(ax_.plot.left(), ax_.y(e)), QPointF(ax_.plot.right(), ax_.y(e)));
    const double spanHours = (t1_ - t0_) / 3600.0;
    const int hourStep = spanHours <= 30 ? 1 : spanHours <= 60 ? 2 : spanHours <= 120 ? 6 : 12;
    const int labelStep = spanHours <= 16 ? 1 : spanHours <= 30 ? 2 : hourStep * 2;
    for (double h = std::ceil(localHours(r_, t0_)); (h - r_.utcOffsetHours) * 3600.0 <= t1_; h += 1) {
      const int hour = hourOfDay(h);
      if (hour % hourStep != 0) continue;
      double unix = (h - r_.utcOffsetHours) * 3600.0;
      double x = ax_.x(unix);
      p_.setPen(QPen(QColor(0, 0, 0, hour == 0 ? 110 : 40), hour == 0 ? 1.5 : 1));
      p_.drawLine(QPointF(x, ax_.plot.top()), QPointF(x, ax_.plot.bottom()));
      if (hour % labelStep == 0) {
        p_.setPen(Qt::black);
        chart_.hourLabel(x, ax_.plot.bottom() + 4, hour, Qt::AlignTop);
        if (hour == 0) {
          QString date = localClock(r_, unix).left(10);
          p_.drawText(QRectF(x - 60, ax_.plot.bottom() + 20, 120, 18), Qt::AlignHCenter | Qt::AlignTop, date);
        }
      }
    }
    p_.setPen(Qt::black);
    for (int e = -20; e <= 90; e += 10)
      p_.drawText(QRectF(ax_.plot.left() - 46, ax_.y(e) - 9, 40, 18), Qt::AlignRight | Qt::AlignVCenter,
                  QString("%1°").arg(e));
    p_.save();
    p_.translate(18, ax_.plot.center().y());
    p_.rotate(-90);
    p_.drawText(QRectF(-120, -10, 240, 20), Qt::AlignCenter, "elevation (degrees)");
    p_.restore();
    p_.drawText(QRectF(ax_.plot.left(), lane_.bottom() + 6, ax_.plot.width(), 18), Qt::AlignHCenter, "local time");
  }

  void hLine(double elev, QPen pen) {
    p_.setPen(pen);
    p_.drawLine(QPointF(ax_.plot.left(), ax_.y(elev)), QPointF(ax_.plot.right(), ax_.y(elev)));
  }

  // The site's limits and the observing window.
  void limits() {
    if (r_.limitsKnown && r_.maxElevation < kElevTop) {
      p_.fillRect(QRectF(ax_.plot.left(), ax_.plot.top(), ax_.plot.width(), ax_.y(r_.maxElevation) - ax_.plot.top()),
                  QBrush(QColor(0x8b, 0x1e, 0x3f, 60), Qt::BDiagPattern));
      hLine(r_.maxElevation, QPen(kWindowTop, 2, Qt::DashLine));
    }
    if (r_.limitsKnown) {
      p_.fillRect(
          QRectF(ax_.plot.left(), ax_.y(selectionLimit_), ax_.plot.width(), ax_.plot.bottom() - ax_.y(selectionLimit_)),
          QColor(255, 255, 255, 70));
      hLine(selectionLimit_, QPen(kMinimum, 2, Qt::DashLine));
      if (r_.horizonMax > 0) hLine(r_.horizonMax + 1.0, QPen(kHorizon, 2, Qt::DotLine));
    }
    hLine(r_.sunElev, QPen(kSun, 1, Qt::DotLine));
  }

  // A group's elevation from `from` to `to` in `steps` even steps.
  QPainterPath path(const ReportGroup& g, double from, double to, int steps) const {
    QPainterPath path;
    for (int i = 0; i <= steps; ++i) {
      double t = from + (to - from) * i / steps;
      double elev = horizontalAt(g.ra, g.dec, r_.latitude, r_.longitude, julianDateFromUnix(t)).elevation;
      QPointF pt(ax_.x(t), ax_.y(elev));
      if (i == 0) path.moveTo(pt); else path.lineTo(pt);
    }
    return path;
  }

  // A group's elevation at the Sun's samples.
  QPainterPath curve(const ReportGroup& g) const {
    QPainterPath path;
    for (std::size_t i = 0; i < r_.sun.size(); ++i) {
      double jd = julianDateFromUnix(r_.sun[i].unix);
      double elev = horizontalAt(g.ra, g.dec, r_.latitude, r_.longitude, jd).elevation;
      QPointF pt(ax_.x(r_.sun[i].unix), ax_.y(elev));
      if (i == 0) path.moveTo(pt); else path.lineTo(pt);
    }
    return path;
  }

  // Every group's elevation, those that ran in their colours and thick while their plans
  // ran, and the Sun's.
  void curves() {
    std::map<std::string, const ReportGroup*> groupOf;
    p_.setBrush(Qt::NoBrush);
    for (const ReportGroup& g : r_.groups) {
      groupOf.emplace(g.name, &g);
      if (colourOf_.count(g.name)) continue;
      p_.setPen(QPen(kOtherGroup, 1));
      p_.drawPath(curve(g));
    }
    for (const std::string& name : ranOrder_) {
      auto it = groupOf.find(name);
      if (it == groupOf.end()) continue;
      QColor light = colourOf_[name];
      light.setAlpha(150);
      p_.setPen(QPen(light, 1.6));
      p_.drawPath(curve(*it->second));
    }
    for (const PlanRun& plan : r_.plans) {
      auto it = groupOf.find(plan.target);
      if (it == groupOf.end() || plan.endUnix <= plan.startUnix) continue;
      const int n = std::max(2, static_cast<int>((plan.endUnix - plan.startUnix) / 60.0));
      p_.setPen(QPen(colourOf_[plan.target], 5, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
      p_.drawPath(path(*it->second, plan.startUnix, plan.endUnix, n));
    }
    p_.setPen(QPen(kSun, 1.6, Qt::DashDotLine));
    p_.drawPath(samplesPath(r_.sun));
    p_.setPen(QPen(kMoon, 1.6, Qt::DashLine));
    p_.drawPath(samplesPath(r_.moon));
  }

  // The Sun's or the Moon's curve through its samples.
  QPainterPath samplesPath(const std::vector<SunSample>& samples) const {
    QPainterPath path;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      QPointF pt(ax_.x(samples[i].unix), ax_.y(samples[i].elevation));
      if (i == 0) path.moveTo(pt); else path.lineTo(pt);
    }
    return path;
  }

  // A mark along the top of the sky for every time the Moon alone kept a group out.
  void moonMarks() {
    p_.setPen(QPen(kMoon.darker(130), 0.8));
    p_.setBrush(kMoon);
    for (const MoonKeptOut& mark : r_.moonKeptOut) {
      if (mark.unixSeconds < t0_ || mark.unixSeconds > t1_) continue;
      const double x = ax_.x(mark.unixSeconds);
      QPolygonF tick;
      tick << QPointF(x - 4, ax_.plot.top() + 2) << QPointF(x + 4, ax_.plot.top() + 2) << QPointF(x, ax_.plot.top() + 10);
      p_.drawPolygon(tick);
    }
  }

  void waitBand(const std::vector<TimeSpan>& spans, const QColor& colour, Qt::BrushStyle style, const QString& label) {
    for (const TimeSpan& s : spans) {
      double xa = ax_.x(s.start), xb = ax_.x(s.end);
      QRectF band(xa, lane_.top() + 4, std::max(1.5, xb - xa), lane_.height() - 8);
      p_.fillRect(band, QColor(255, 255, 255, 160));
      p_.fillRect(band, QBrush(colour, style));
      p_.setPen(QPen(colour, 1));
      p_.setBrush(Qt::NoBrush);
      p_.drawRect(band);
      if (fm_.horizontalAdvance(label) + 8 < xb - xa) {
        p_.setPen(Qt::black);
        p_.drawText(band, Qt::AlignCenter, label);
      }
    }
  }

  // The plans lane: one band per plan run, labelled where there is room (runs of the same
  // target in a row share one label).
  void plansLane() {
    p_.setPen(Qt::black);
    p_.drawText(QRectF(0, lane_.top(), lane_.left() - 6, lane_.height()), Qt::AlignRight | Qt::AlignVCenter, "plans");
    waitBand(r_.weatherWaits, kWeather, Qt::BDiagPattern, "weather");
    waitBand(r_.noTargetWaits, kNoTarget, Qt::Dense6Pattern, "no target");
    for (const PlanRun& plan : r_.plans) {
      double xa = ax_.x(std::max(plan.startUnix, t0_)), xb = ax_.x(std::min(plan.endUnix, t1_));
      QColor c = colourOf_[plan.target];
      p_.setPen(QPen(c.darker(140), 0.8));
      p_.setBrush(c);
      p_.drawRect(QRectF(xa, lane_.top() + 4, std::max(1.5, xb - xa), lane_.height() - 8));
    }
    const std::vector<PlanRun>& plans = r_.plans;
    for (std::size_t i = 0; i < plans.size();) {
      std::size_t j = i;
      while (j + 1 < plans.size() && plans[j + 1].target == plans[i].target &&
             plans[j + 1].startUnix - plans[j].endUnix < 120.0)
        ++j;
      double xa = ax_.x(std::max(plans[i].startUnix, t0_)), xb = ax_.x(std::min(plans[j].endUnix, t1_));
      QString shown = fm_.elidedText(QString::fromStdString(plans[i].target), Qt::ElideRight, static_cast<int>(xb - xa - 6));
      if (shown.size() >= 3 && shown != "…") {
        p_.setPen(Qt::white);
        p_.drawText(QRectF(xa + 3, lane_.top(), xb - xa - 6, lane_.height()), Qt::AlignCenter, shown);
      }
      i = j + 1;
    }
  }

  void legend() {
    LegendStyle style;
    style.row = 21;
    style.gap = 6;
    style.swatchPen = QPen(Qt::black, 0.5);
    style.swatchAt = QPointF(0, -9);
    Legend legend(&p_, chart_.font(), QPointF(ax_.plot.right() + 30, ax_.plot.top() + 12), style);
    skyLegend(legend, QString("%1").arg(r_.sunElev));
    legend.line(QPen(kSun, 1.6, Qt::DashDotLine), "Sun's elevation");
    if (!r_.moon.empty()) legend.line(QPen(kMoon, 1.6, Qt::DashLine), "Moon's altitude");
    if (!r_.moonKeptOut.empty()) {
      std::vector<std::string> names;
      for (const MoonKeptOut& mark : r_.moonKeptOut)
        if (std::find(names.begin(), names.end(), mark.name) == names.end()) names.push_back(mark.name);
      std::string joined;
      for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
      legend.swatch(kMoon, "kept out by the Moon (marks at the top):");
      legend.note(QString::fromStdString(joined), kLegendWidth - 20);
    }
    legend.gap();
    limitsLegend(legend);
    legend.gap();
    groupsLegend(legend);
    legend.gap();
    summary(legend);
  }

  void limitsLegend(Legend& legend) {
    legend.heading("Limits");
    if (!r_.limitsKnown) legend.text("not in the run log, not drawn");
    if (r_.limitsKnown) legend.line(QPen(kMinimum, 2, Qt::DashLine), QString("minimum elevation + 1° (%1°)").arg(selectionLimit_));
    if (r_.limitsKnown && r_.horizonMax > 0)
      legend.line(QPen(kHorizon, 2, Qt::DotLine), QString("highest horizon point + 1° (%1°)").arg(r_.horizonMax + 1.0));
    if (r_.limitsKnown && r_.maxElevation < kElevTop)
      legend.line(QPen(kWindowTop, 2, Qt::DashLine), QString("observing window top (%1°)").arg(r_.maxElevation));
  }

  // The groups that ran, with their runs and images, those that did not, and the plans lane.
  void groupsLegend(Legend& legend) {
    legend.heading("Target groups");
    const std::size_t maxListed = 12;
    for (std::size_t i = 0; i < ranOrder_.size() && i < maxListed; ++i) {
      int runs = 0, images = 0;
      for (const PlanRun& plan : r_.plans)
        if (plan.target == ranOrder_[i]) ++runs, images += plan.imagesTaken;
      QString line = fm_.elidedText(QString::fromStdString(ranOrder_[i]), Qt::ElideRight, 190);
      legend.line(QPen(colourOf_[ranOrder_[i]], 5), QString("%1  %2×, %3 img").arg(line).arg(runs).arg(images));
    }
    if (ranOrder_.size() > maxListed) legend.text(QString("… and %1 more that ran").arg(ranOrder_.size() - maxListed));
    std::size_t others = r_.groupsNotListed;
    for (const ReportGroup& g : r_.groups) others += colourOf_.count(g.name) ? 0 : 1;
    legend.line(QPen(kOtherGroup, 1), QString("%1 group%2 not run").arg(others).arg(others == 1 ? "" : "s"));
    legend.note("thick: while its plan ran; thin: its elevation through the run", kLegendWidth);
    legend.heading("Plans lane");
    legend.swatch(QColor(0x1f, 0x77, 0xb4), "a plan running (its target's colour)");
    if (!r_.weatherWaits.empty())
      legend.patternSwatch(QBrush(kWeather, Qt::BDiagPattern),
                           r_.weatherFromGaps ? "before a search, not in the log (weather?)" : "waiting for safe weather");
    if (!r_.noTargetWaits.empty())
      legend.patternSwatch(QBrush(kNoTarget, Qt::Dense6Pattern), "no viable target, sleeping");
  }

  void summary(Legend& legend) {
    auto duration = [](double seconds) { return QString::fromStdString(formatDuration(seconds)); };
    legend.heading("Summary");
    legend.text(QString("%1 plans, %2 images taken, %3 skipped").arg(r_.plans.size()).arg(r_.imagesTaken).arg(r_.imagesSkipped),
                0);
    legend.text(QString("waiting for dusk %1").arg(duration(r_.waitDuskSeconds)), 0);
    legend.text(QString("waiting for weather %1").arg(duration(r_.waitWeatherSeconds)), 0);
    legend.text(QString("waiting for a target %1").arg(duration(r_.waitTargetSeconds)), 0);
    if (r_.darkSeconds > 0) {
      legend.text(QString("dark %1, exposing %2 (%3%)")
                      .arg(duration(r_.darkSeconds), duration(r_.exposingSecondsInDark))
                      .arg(100.0 * r_.exposingSecondsInDark / r_.darkSeconds, 0, 'f', 1),
                  0);
    }
    if (r_.neverEligible.empty()) return;
    legend.gap();
    legend.heading("Never eligible: first failed test, passes");
    const std::size_t maxKept = 8;
    for (std::size_t i = 0; i < r_.neverEligible.size() && i < maxKept; ++i) {
      const KeptOutGroup& g = r_.neverEligible[i];
      const QString name = fm_.elidedText(QString::fromStdString(g.name), Qt::ElideRight, 140);
      legend.text(QString("%1  %2 %3/%4").arg(name, QString::fromStdString(g.test)).arg(g.failedThere).arg(g.passes), 0);
    }
    if (r_.neverEligible.size() > maxKept) legend.text(QString("… and %1 more").arg(r_.neverEligible.size() - maxKept), 0);
  }

  const NightReport& r_;
  ChartPainter chart_;
  QPainter& p_;
  const QFontMetrics fm_;
  const double t0_, t1_;
  const Axes ax_;
  const QRectF lane_;
  const double selectionLimit_;
  std::map<std::string, QColor> colourOf_;
  std::vector<std::string> ranOrder_;
};

}  // namespace

QImage drawReportPicture(const NightReport& r, int width, int height) { return NightPicture(r, width, height).draw(); }

bool writeReportPicture(const NightReport& report, const std::string& path, std::string& error) {
  return savePicture([&report] { return drawReportPicture(report); }, path, error);
}

}  // namespace np
