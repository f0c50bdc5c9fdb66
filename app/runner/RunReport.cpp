#include "app/runner/RunReport.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace np {

NightReport buildRunReport(const RunReportSource& source, double startUnix, double endUnix) {
  source.observatory.update();
  NightReportInput input;
  input.startUnix = startUnix;
  input.endUnix = endUnix;
  input.utcOffsetHours = source.utcOffsetHours;
  input.runLogPath = source.runLogPath;
  input.runLogStart = source.runLogStart;
  input.acquisition = readAcquisitionLog(source.observatory.acquisitionLogPath());
  input.statuses = source.statuses;
  input.sunElev = source.sunElev;
  const ObservatoryConfig& site = source.observatory.config();
  input.sun.emplace(site.site.latitude, site.site.longitude, source.interpolatedSun);
  NightReport report = buildNightReport(input);
  report.latitude = site.site.latitude;
  report.longitude = site.site.longitude;
  report.minimumElevation = site.limits.minimumElevation;
  for (const HorizonPoint& p : site.limits.horizon) report.horizonMax = std::max(report.horizonMax, p.elevation);
  report.maxElevation = source.maxElevation;
  report.groups = source.groups;
  report.neverEligible = source.neverEligible;
  report.moonKeptOut = source.moonKeptOut;
  addMoonAltitude(report);
  return report;
}

std::vector<ReportGroup> reportGroupsOf(HostSkeleton& observatory, const std::string& listPath) {
  std::ifstream in(listPath, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return reportGroupsOfText(observatory, text.str());
}

std::vector<ReportGroup> reportGroupsOfText(HostSkeleton& observatory, const std::string& listText) {
  auto util = observatory.createUtil();
  return readReportGroups(*util, listText);
}

}  // namespace np
