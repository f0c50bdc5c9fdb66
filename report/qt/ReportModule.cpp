// nightpick-report.so: the report pictures for the runner (a night's, a season's), which
// loads it only when --report asks for a picture.
#include <QGuiApplication>
#include <cstring>
#include <memory>

#include "report/ReportPictureModule.h"
#include "report/qt/ReportPicture.h"
#include "report/qt/SeasonPicture.h"

namespace {

// Runs `write` (true, or false with its cause set) with a GUI application, which the
// pictures' text needs; copies the cause into `error` when it fails.
template <typename Write>
bool withGuiApplication(Write write, char* error, unsigned long errorSize) {
  // The offscreen platform draws without a display. The platform is chosen here, never by
  // the environment. The application lives for this call only: destroyed at the process's
  // exit, it would outlive the Qt state it needs.
  int guiArgc = 3;
  char guiName[] = "nightpick-sim", platformFlag[] = "-platform", platformName[] = "offscreen";
  char* guiArgv[] = {guiName, platformFlag, platformName, nullptr};
  std::unique_ptr<QGuiApplication> gui;
  if (QGuiApplication::instance() == nullptr) gui = std::make_unique<QGuiApplication>(guiArgc, guiArgv);
  std::string cause;
  if (write(cause)) return true;
  if (errorSize > 0) {
    std::strncpy(error, cause.c_str(), errorSize - 1);
    error[errorSize - 1] = '\0';
  }
  return false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool nightpick_write_report_picture(const np::NightReport* report,
                                                                                      const char* path, char* error,
                                                                                      unsigned long errorSize) {
  return withGuiApplication([&](std::string& cause) { return np::writeReportPicture(*report, path, cause); }, error,
                            errorSize);
}

extern "C" __attribute__((visibility("default"))) bool nightpick_write_season_picture(const np::SeasonReport* report,
                                                                                      const char* path, char* error,
                                                                                      unsigned long errorSize) {
  return withGuiApplication([&](std::string& cause) { return np::writeSeasonPicture(*report, path, cause); }, error,
                            errorSize);
}
