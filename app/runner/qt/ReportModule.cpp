// nightpick-report.so: the night report's picture for the runner, which loads it only
// when --report asks for a picture.
#include <QGuiApplication>
#include <cstring>
#include <memory>

#include "app/runner/ReportPictureModule.h"
#include "app/runner/qt/ReportPicture.h"

extern "C" __attribute__((visibility("default"))) bool nightpick_write_report_picture(const np::NightReport* report,
                                                                                      const char* path, char* error,
                                                                                      unsigned long errorSize) {
  // The picture's text needs a GUI application; the offscreen platform draws without a
  // display. The platform is chosen here, never by the environment.
  // It lives for this call only: destroyed at the process's exit, it would outlive the
  // Qt state it needs.
  int guiArgc = 3;
  char guiName[] = "nightpick-sim", platformFlag[] = "-platform", platformName[] = "offscreen";
  char* guiArgv[] = {guiName, platformFlag, platformName, nullptr};
  std::unique_ptr<QGuiApplication> gui;
  if (QGuiApplication::instance() == nullptr) gui = std::make_unique<QGuiApplication>(guiArgc, guiArgv);
  std::string cause;
  if (np::writeReportPicture(*report, path, cause)) return true;
  if (errorSize > 0) {
    std::strncpy(error, cause.c_str(), errorSize - 1);
    error[errorSize - 1] = '\0';
  }
  return false;
}
