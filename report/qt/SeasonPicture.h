#pragma once
// The season report as a picture: one row per night, down the picture from the first
// evening to the last, local time across from before the earliest sunset to after the
// latest sunrise, each row shaded by the Sun (day, twilight, dark) with the plans of its
// night on it in their groups' colours, the weather each night lost beside it, a title
// with the season's totals and a legend of the groups. Needs a QGuiApplication (any
// platform, offscreen included) for its text.
#include <QImage>
#include <QRect>
#include <cstddef>
#include <string>
#include <vector>

#include "report/SeasonReport.h"

namespace np {

// Where the picture puts things: the rows of the nights and the local time across them.
// Hours are local hours since the midnight that opens the evening's date: 12 is the noon
// that opens a night, 24 its midnight, 36 the noon that closes it.
class SeasonPictureLayout {
 public:
  // `height` 0: as tall as the nights need (rows a few pixels high, up to a cap).
  SeasonPictureLayout(const SeasonReport& report, int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  // The nights' area, the time axis across it.
  QRect plot() const { return plot_; }
  // The column of the weather each night lost, right of the plot.
  QRect weatherColumn() const { return weather_; }
  // The legend's top left corner.
  QPoint legendAt() const { return legend_; }
  double firstHour() const { return firstHour_; }
  double lastHour() const { return lastHour_; }

  // Night `night`'s row (its pixels; empty when there is no such night).
  QRect row(std::size_t night) const;
  // The x of a local hour (see above) on the time axis.
  double x(double hour) const;
  // The local hour of a UTC instant on its night `night`.
  double hourOf(const SeasonReport& report, std::size_t night, double unixSeconds) const;

 private:
  int width_ = 0, height_ = 0;
  std::size_t nights_ = 0;
  QRect plot_, weather_;
  QPoint legend_;
  double firstHour_ = 16.0, lastHour_ = 32.0;
  double rowHeight_ = 0.0;
};

// The groups that get a colour of their own, those that ran most first (at most one per
// colour of the palette); the others are drawn in one grey.
std::vector<std::size_t> seasonColouredGroups(const SeasonReport& report);

// Draws the picture at the given width; `height` 0: as tall as the nights need.
QImage drawSeasonPicture(const SeasonReport& report, int width = 1600, int height = 0);

// Draws the picture and saves it as PNG; false with `error` set when it cannot be written.
bool writeSeasonPicture(const SeasonReport& report, const std::string& path, std::string& error);

}  // namespace np
