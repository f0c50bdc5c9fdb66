#pragma once
// The night report as a picture: the run on a local time axis, shaded by the Sun (day,
// twilight, dark), the elevation of every target group through the run, the site's limits
// and the observing window, and a lane with the plans as they ran. Needs a QGuiApplication
// (any platform, offscreen included) for its text.
#include <string>

#include <QImage>

#include "report/NightReport.h"
#include "report/ReportPictureModule.h"

namespace np {

// Draws the picture at the given size.
QImage drawReportPicture(const NightReport& report, int width = 1600, int height = 900);

// Draws the picture and saves it as PNG; false with `error` set when it cannot be written.
bool writeReportPicture(const NightReport& report, const std::string& path, std::string& error);

}  // namespace np
