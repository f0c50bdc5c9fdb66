#include "report/qt/ReportPicture.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <cmath>
#include <map>

#include "report/qt/PictureColours.h"
#include "base/DateTime.h"
#include "base/NumberText.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"

namespace np {

namespace {

const QColor kOtherGroup(0x5d, 0x6b, 0x82, 110);
const QColor kSun(0x20, 0x20, 0x20);
const QColor kWindowTop(0x8b, 0x1e, 0x3f);
const QColor kMinimum(0x2e, 0x7d, 0x32);
const QColor kHorizon(0x6d, 0x4c, 0x41);
const QColor kNoTarget(0x90, 0x90, 0x90);

constexpr double kElevTop = 90.0, kElevBottom = -20.0;

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

void legendSwatch(QPainter& p, QPointF at, const QColor& fill) {
  p.setPen(QPen(Qt::black, 0.5));
  p.setBrush(fill);
  p.drawRect(QRectF(at.x(), at.y() - 9, 22, 12));
}

void legendLine(QPainter& p, QPointF at, QPen pen) {
  p.setPen(pen);
  p.drawLine(QPointF(at.x(), at.y() - 3), QPointF(at.x() + 22, at.y() - 3));
}

}  // namespace

QImage drawReportPicture(const NightReport& r, int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QFont font("DejaVu Sans");
  font.setPixelSize(14);
  p.setFont(font);
  const QFontMetrics fm(font);

  const double t0 = r.startUnix, t1 = std::max(r.endUnix, r.startUnix + 60.0);
  const double legendWidth = 330;
  Axes ax{QRectF(70, 60, width - 70 - legendWidth - 30, height - 60 - 150), t0, t1};
  const QRectF lane(ax.plot.left(), ax.plot.bottom() + 52, ax.plot.width(), 34);

  // Title.
  QFont titleFont = font;
  titleFont.setPixelSize(20);
  titleFont.setBold(true);
  p.setFont(titleFont);
  p.setPen(Qt::black);
  // With a point in every locale, as the report's text.
  const std::string latLon =
      "latitude " + formatPrintfFixed(r.latitude, 2) + "°, longitude " + formatPrintfFixed(r.longitude, 2) + "°";
  p.drawText(QPointF(ax.plot.left(), 32),
             QString("Night report  %1 to %2 (local time)").arg(localClock(r, t0), localClock(r, t1)));
  p.setFont(font);
  p.drawText(QPointF(ax.plot.left(), 52), QString::fromStdString(latLon) +
                                               QString("   UTC%1").arg(r.utcOffsetHours >= 0 ? "+" : "") +
                                               QString::number(r.utcOffsetHours));

  // Day, twilight and dark from the Sun's samples, shaded over the plot and the lane.
  const std::vector<SunSample>& sun = r.sun;
  for (std::size_t i = 0; i + 1 < sun.size(); ++i) {
    double mid = 0.5 * (sun[i].elevation + sun[i + 1].elevation);
    QColor c = stateColour(sunState(mid, r.sunElev));
    double xa = ax.x(sun[i].unix), xb = ax.x(sun[i + 1].unix);
    p.fillRect(QRectF(xa, ax.plot.top(), xb - xa + 0.8, ax.plot.height()), c);
    p.fillRect(QRectF(xa, lane.top(), xb - xa + 0.8, lane.height()), c);
  }
  // The dark spans are known to the second: draw their edges exactly.
  p.setPen(Qt::NoPen);
  for (const TimeSpan& s : r.dark) {
    p.fillRect(QRectF(ax.x(s.start), ax.plot.top(), ax.x(s.end) - ax.x(s.start), ax.plot.height()), kDark);
    p.fillRect(QRectF(ax.x(s.start), lane.top(), ax.x(s.end) - ax.x(s.start), lane.height()), kDark);
  }

  // Grid: elevation every 10 degrees, time every hour (or every few hours on a long run).
  p.setPen(QPen(QColor(0, 0, 0, 40), 1));
  for (int e = -20; e <= 90; e += 10) p.drawLine(QPointF(ax.plot.left(), ax.y(e)), QPointF(ax.plot.right(), ax.y(e)));
  const double spanHours = (t1 - t0) / 3600.0;
  const int hourStep = spanHours <= 30 ? 1 : spanHours <= 60 ? 2 : spanHours <= 120 ? 6 : 12;
  const int labelStep = spanHours <= 16 ? 1 : spanHours <= 30 ? 2 : hourStep * 2;
  const double firstHour = std::ceil(localHours(r, t0));
  for (double h = firstHour; (h - r.utcOffsetHours) * 3600.0 <= t1; h += 1) {
    long hourOfDay = static_cast<long>(std::fmod(std::fmod(h, 24.0) + 24.0, 24.0));
    if (hourOfDay % hourStep != 0) continue;
    double unix = (h - r.utcOffsetHours) * 3600.0;
    double x = ax.x(unix);
    p.setPen(QPen(QColor(0, 0, 0, hourOfDay == 0 ? 110 : 40), hourOfDay == 0 ? 1.5 : 1));
    p.drawLine(QPointF(x, ax.plot.top()), QPointF(x, ax.plot.bottom()));
    if (hourOfDay % labelStep == 0) {
      p.setPen(Qt::black);
      QString label = QString("%1:00").arg(hourOfDay, 2, 10, QChar('0'));
      p.drawText(QRectF(x - 30, ax.plot.bottom() + 4, 60, 18), Qt::AlignHCenter | Qt::AlignTop, label);
      if (hourOfDay == 0) {
        QString date = localClock(r, unix).left(10);
        p.drawText(QRectF(x - 60, ax.plot.bottom() + 20, 120, 18), Qt::AlignHCenter | Qt::AlignTop, date);
      }
    }
  }
  p.setPen(Qt::black);
  for (int e = -20; e <= 90; e += 10)
    p.drawText(QRectF(ax.plot.left() - 46, ax.y(e) - 9, 40, 18), Qt::AlignRight | Qt::AlignVCenter,
               QString("%1°").arg(e));
  p.save();
  p.translate(18, ax.plot.center().y());
  p.rotate(-90);
  p.drawText(QRectF(-120, -10, 240, 20), Qt::AlignCenter, "elevation (degrees)");
  p.restore();
  p.drawText(QRectF(ax.plot.left(), lane.bottom() + 6, ax.plot.width(), 18), Qt::AlignHCenter,
             "local time");

  // Which targets ran, each with its colour.
  std::map<std::string, QColor> colourOf;
  std::vector<std::string> ranOrder;
  for (const PlanRun& plan : r.plans) {
    if (colourOf.count(plan.target)) continue;
    colourOf[plan.target] = kPalette[ranOrder.size() % std::size(kPalette)];
    ranOrder.push_back(plan.target);
  }

  p.save();
  p.setClipRect(ax.plot);
  // The site's limits and the observing window.
  const double selectionLimit = r.minimumElevation + 1.0;
  auto hLine = [&](double elev, QPen pen) {
    p.setPen(pen);
    p.drawLine(QPointF(ax.plot.left(), ax.y(elev)), QPointF(ax.plot.right(), ax.y(elev)));
  };
  if (r.limitsKnown && r.maxElevation < kElevTop) {
    p.fillRect(QRectF(ax.plot.left(), ax.plot.top(), ax.plot.width(), ax.y(r.maxElevation) - ax.plot.top()),
               QBrush(QColor(0x8b, 0x1e, 0x3f, 60), Qt::BDiagPattern));
    hLine(r.maxElevation, QPen(kWindowTop, 2, Qt::DashLine));
  }
  if (r.limitsKnown) {
    p.fillRect(QRectF(ax.plot.left(), ax.y(selectionLimit), ax.plot.width(), ax.plot.bottom() - ax.y(selectionLimit)),
               QColor(255, 255, 255, 70));
    hLine(selectionLimit, QPen(kMinimum, 2, Qt::DashLine));
    if (r.horizonMax > 0) hLine(r.horizonMax + 1.0, QPen(kHorizon, 2, Qt::DotLine));
  }
  hLine(r.sunElev, QPen(kSun, 1, Qt::DotLine));

  // Every group's elevation, sampled with the Sun.
  auto curve = [&](const ReportGroup& g) {
    QPainterPath path;
    for (std::size_t i = 0; i < sun.size(); ++i) {
      double jd = julianDateFromUnix(sun[i].unix);
      double elev = horizontalAt(g.ra, g.dec, r.latitude, r.longitude, jd).elevation;
      QPointF pt(ax.x(sun[i].unix), ax.y(elev));
      if (i == 0) path.moveTo(pt); else path.lineTo(pt);
    }
    return path;
  };
  std::map<std::string, const ReportGroup*> groupOf;
  p.setBrush(Qt::NoBrush);
  for (const ReportGroup& g : r.groups) {
    groupOf.emplace(g.name, &g);
    if (colourOf.count(g.name)) continue;
    p.setPen(QPen(kOtherGroup, 1));
    p.drawPath(curve(g));
  }
  for (const std::string& name : ranOrder) {
    auto it = groupOf.find(name);
    if (it == groupOf.end()) continue;
    QColor light = colourOf[name];
    light.setAlpha(150);
    p.setPen(QPen(light, 1.6));
    p.drawPath(curve(*it->second));
  }
  // The stretches that ran, thick on their target's curve.
  for (const PlanRun& plan : r.plans) {
    auto it = groupOf.find(plan.target);
    if (it == groupOf.end() || plan.endUnix <= plan.startUnix) continue;
    const ReportGroup& g = *it->second;
    QPainterPath path;
    const int n = std::max(2, static_cast<int>((plan.endUnix - plan.startUnix) / 60.0));
    for (int i = 0; i <= n; ++i) {
      double t = plan.startUnix + (plan.endUnix - plan.startUnix) * i / n;
      double elev = horizontalAt(g.ra, g.dec, r.latitude, r.longitude, julianDateFromUnix(t)).elevation;
      QPointF pt(ax.x(t), ax.y(elev));
      if (i == 0) path.moveTo(pt); else path.lineTo(pt);
    }
    p.setPen(QPen(colourOf[plan.target], 5, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(path);
  }
  // The Sun.
  {
    QPainterPath path;
    for (std::size_t i = 0; i < sun.size(); ++i) {
      QPointF pt(ax.x(sun[i].unix), ax.y(sun[i].elevation));
      if (i == 0) path.moveTo(pt); else path.lineTo(pt);
    }
    p.setPen(QPen(kSun, 1.6, Qt::DashDotLine));
    p.drawPath(path);
  }
  p.restore();
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(ax.plot);

  // The plans lane: one band per plan run, labelled where there is room (runs of the same
  // target in a row share one label).
  p.setPen(Qt::black);
  p.drawText(QRectF(0, lane.top(), lane.left() - 6, lane.height()), Qt::AlignRight | Qt::AlignVCenter, "plans");
  auto waitBand = [&](const std::vector<TimeSpan>& spans, const QColor& colour, Qt::BrushStyle style,
                      const QString& label) {
    for (const TimeSpan& s : spans) {
      double xa = ax.x(s.start), xb = ax.x(s.end);
      QRectF band(xa, lane.top() + 4, std::max(1.5, xb - xa), lane.height() - 8);
      p.fillRect(band, QColor(255, 255, 255, 160));
      p.fillRect(band, QBrush(colour, style));
      p.setPen(QPen(colour, 1));
      p.setBrush(Qt::NoBrush);
      p.drawRect(band);
      if (fm.horizontalAdvance(label) + 8 < xb - xa) {
        p.setPen(Qt::black);
        p.drawText(band, Qt::AlignCenter, label);
      }
    }
  };
  waitBand(r.weatherWaits, kWeather, Qt::BDiagPattern, "weather");
  waitBand(r.noTargetWaits, kNoTarget, Qt::Dense6Pattern, "no target");
  for (const PlanRun& plan : r.plans) {
    double xa = ax.x(std::max(plan.startUnix, t0)), xb = ax.x(std::min(plan.endUnix, t1));
    QColor c = colourOf[plan.target];
    p.setPen(QPen(c.darker(140), 0.8));
    p.setBrush(c);
    p.drawRect(QRectF(xa, lane.top() + 4, std::max(1.5, xb - xa), lane.height() - 8));
  }
  for (std::size_t i = 0; i < r.plans.size();) {
    std::size_t j = i;
    while (j + 1 < r.plans.size() && r.plans[j + 1].target == r.plans[i].target &&
           r.plans[j + 1].startUnix - r.plans[j].endUnix < 120.0)
      ++j;
    double xa = ax.x(std::max(r.plans[i].startUnix, t0)), xb = ax.x(std::min(r.plans[j].endUnix, t1));
    QString name = QString::fromStdString(r.plans[i].target);
    QString shown = fm.elidedText(name, Qt::ElideRight, static_cast<int>(xb - xa - 6));
    if (shown.size() >= 3 && shown != "…") {
      p.setPen(Qt::white);
      p.drawText(QRectF(xa + 3, lane.top(), xb - xa - 6, lane.height()), Qt::AlignCenter, shown);
    }
    i = j + 1;
  }

  // Legend.
  double lx = ax.plot.right() + 30, ly = ax.plot.top() + 12;
  const double row = 21;
  auto text = [&](const QString& s, double indent = 30) {
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPointF(lx + indent, ly), s);
    ly += row;
  };
  auto heading = [&](const QString& s) {
    QFont f = font;
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QPointF(lx, ly), s);
    p.setFont(font);
    ly += row;
  };
  heading("Sky");
  legendSwatch(p, {lx, ly}, kDay);
  text("day (Sun above 0°)");
  legendSwatch(p, {lx, ly}, kTwilight);
  text(QString("twilight (0° to %1°)").arg(r.sunElev));
  legendSwatch(p, {lx, ly}, kDark);
  text(QString("dark (Sun below %1°)").arg(r.sunElev));
  legendLine(p, {lx, ly}, QPen(kSun, 1.6, Qt::DashDotLine));
  text("Sun's elevation");
  ly += 6;
  heading("Limits");
  if (!r.limitsKnown) text("not in the run log, not drawn");
  if (r.limitsKnown) {
    legendLine(p, {lx, ly}, QPen(kMinimum, 2, Qt::DashLine));
    text(QString("minimum elevation + 1° (%1°)").arg(selectionLimit));
  }
  if (r.limitsKnown && r.horizonMax > 0) {
    legendLine(p, {lx, ly}, QPen(kHorizon, 2, Qt::DotLine));
    text(QString("highest horizon point + 1° (%1°)").arg(r.horizonMax + 1.0));
  }
  if (r.limitsKnown && r.maxElevation < kElevTop) {
    legendLine(p, {lx, ly}, QPen(kWindowTop, 2, Qt::DashLine));
    text(QString("observing window top (%1°)").arg(r.maxElevation));
  }
  ly += 6;
  heading("Target groups");
  const std::size_t maxListed = 12;
  for (std::size_t i = 0; i < ranOrder.size() && i < maxListed; ++i) {
    legendLine(p, {lx, ly}, QPen(colourOf[ranOrder[i]], 5));
    int runs = 0, images = 0;
    for (const PlanRun& plan : r.plans)
      if (plan.target == ranOrder[i]) ++runs, images += plan.imagesTaken;
    QString line = fm.elidedText(QString::fromStdString(ranOrder[i]), Qt::ElideRight, 190);
    text(QString("%1  %2×, %3 img").arg(line).arg(runs).arg(images));
  }
  if (ranOrder.size() > maxListed) text(QString("… and %1 more that ran").arg(ranOrder.size() - maxListed));
  std::size_t others = r.groupsNotListed;
  for (const ReportGroup& g : r.groups) others += colourOf.count(g.name) ? 0 : 1;
  legendLine(p, {lx, ly}, QPen(kOtherGroup, 1));
  text(QString("%1 group%2 not run").arg(others).arg(others == 1 ? "" : "s"));
  p.setPen(Qt::black);
  p.setFont(font);
  p.drawText(QRectF(lx, ly - 12, legendWidth, 36), Qt::TextWordWrap,
             "thick: while its plan ran; thin: its elevation through the run");
  ly += 44;
  heading("Plans lane");
  legendSwatch(p, {lx, ly}, QColor(0x1f, 0x77, 0xb4));
  text("a plan running (its target's colour)");
  if (!r.weatherWaits.empty()) {
    legendSwatch(p, {lx, ly}, QColor(255, 255, 255));
    p.fillRect(QRectF(lx, ly - 9, 22, 12), QBrush(kWeather, Qt::BDiagPattern));
    text(r.weatherFromGaps ? "before a search, not in the log (weather?)" : "waiting for safe weather");
  }
  if (!r.noTargetWaits.empty()) {
    legendSwatch(p, {lx, ly}, QColor(255, 255, 255));
    p.fillRect(QRectF(lx, ly - 9, 22, 12), QBrush(kNoTarget, Qt::Dense6Pattern));
    text("no viable target, sleeping");
  }
  ly += 6;

  // Summary.
  heading("Summary");
  text(QString("%1 plans, %2 images taken, %3 skipped").arg(r.plans.size()).arg(r.imagesTaken).arg(r.imagesSkipped),
       0);
  text(QString("waiting for dusk %1").arg(QString::fromStdString(formatDuration(r.waitDuskSeconds))), 0);
  text(QString("waiting for weather %1").arg(QString::fromStdString(formatDuration(r.waitWeatherSeconds))), 0);
  text(QString("waiting for a target %1").arg(QString::fromStdString(formatDuration(r.waitTargetSeconds))), 0);
  if (r.darkSeconds > 0) {
    text(QString("dark %1, exposing %2 (%3%)")
             .arg(QString::fromStdString(formatDuration(r.darkSeconds)),
                  QString::fromStdString(formatDuration(r.exposingSecondsInDark)))
             .arg(100.0 * r.exposingSecondsInDark / r.darkSeconds, 0, 'f', 1),
         0);
  }
  if (!r.neverEligible.empty()) {
    ly += 6;
    heading("Never eligible: first failed test, passes");
    const std::size_t maxKept = 8;
    for (std::size_t i = 0; i < r.neverEligible.size() && i < maxKept; ++i) {
      const KeptOutGroup& g = r.neverEligible[i];
      const QString name = fm.elidedText(QString::fromStdString(g.name), Qt::ElideRight, 140);
      text(QString("%1  %2 %3/%4").arg(name, QString::fromStdString(g.test)).arg(g.failedThere).arg(g.passes), 0);
    }
    if (r.neverEligible.size() > maxKept) text(QString("… and %1 more").arg(r.neverEligible.size() - maxKept), 0);
  }
  p.end();
  return image;
}

bool writeReportPicture(const NightReport& report, const std::string& path, std::string& error) {
  if (!isReportPicturePath(path)) {
    error = "cannot draw '" + path + "': only .png pictures are written";
    return false;
  }
  QImage image = drawReportPicture(report);
  if (!image.save(QString::fromStdString(path), "PNG")) {
    error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

}  // namespace np
