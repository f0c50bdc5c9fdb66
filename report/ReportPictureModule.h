#pragma once
// The report pictures (a night's, a season's) are drawn by a module of their own beside
// the runner (nightpick-report.so), loaded only when a picture is asked for: the runner
// itself needs no graphics library, so a plain dry run starts at once.
#include <string>

#include "report/NightReport.h"
#include "report/SeasonReport.h"

namespace np {

inline constexpr const char* kReportModuleName = "nightpick-report.so";
// The module's entry points: each draws `report` into a PNG at `path`; false with the
// cause in `error` (at most errorSize bytes, NUL included) when it cannot.
inline constexpr const char* kReportModuleEntry = "nightpick_write_report_picture";
using WriteReportPictureEntry = bool (*)(const NightReport* report, const char* path, char* error,
                                         unsigned long errorSize);
inline constexpr const char* kSeasonModuleEntry = "nightpick_write_season_picture";
using WriteSeasonPictureEntry = bool (*)(const SeasonReport* report, const char* path, char* error,
                                         unsigned long errorSize);

// True when `path` names a picture format the runner writes (PNG: ".png" in any case).
bool isReportPicturePath(const std::string& path);

// Loads the module from `folder` and has it draw the picture; false with `error` set when
// the module cannot be loaded or the picture cannot be written.
bool writeReportPictureWithModule(const std::string& folder, const NightReport& report, const std::string& path,
                                  std::string& error);
// The same for the season's picture.
bool writeSeasonPictureWithModule(const std::string& folder, const SeasonReport& report, const std::string& path,
                                  std::string& error);

}  // namespace np
