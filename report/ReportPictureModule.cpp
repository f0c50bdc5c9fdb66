#include "report/ReportPictureModule.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace np {

bool isReportPicturePath(const std::string& path) {
  constexpr std::string_view kPng = ".png";
  if (path.size() < kPng.size()) return false;
  for (std::size_t i = 0; i < kPng.size(); ++i) {
    char c = path[path.size() - kPng.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kPng[i]) return false;
  }
  return true;
}

namespace {

// Loads the module from `folder`, finds `entryName` in it and has it draw `report`.
template <typename Entry, typename Report>
bool writeWithModule(const std::string& folder, const char* entryName, const Report& report, const std::string& path,
                     std::string& error) {
#ifdef _WIN32
  (void)folder;
  (void)entryName;
  (void)report;
  (void)path;
  error = "no picture module on this system";
  return false;
#else
  const std::string modulePath = folder + "/" + kReportModuleName;
  // Kept loaded to the end of the process: Qt's objects live until then.
  void* module = ::dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* cause = ::dlerror();
    error = "cannot load '" + modulePath + "': " + (cause != nullptr ? cause : "unknown cause");
    return false;
  }
  auto entry = reinterpret_cast<Entry>(::dlsym(module, entryName));
  if (entry == nullptr) {
    error = "'" + modulePath + "' has no " + entryName;
    return false;
  }
  char cause[1024] = {};
  if (entry(&report, path.c_str(), cause, sizeof cause)) return true;
  error = cause;
  return false;
#endif
}

}  // namespace

bool writeReportPictureWithModule(const std::string& folder, const NightReport& report, const std::string& path,
                                  std::string& error) {
  return writeWithModule<WriteReportPictureEntry>(folder, kReportModuleEntry, report, path, error);
}

bool writeSeasonPictureWithModule(const std::string& folder, const SeasonReport& report, const std::string& path,
                                  std::string& error) {
  return writeWithModule<WriteSeasonPictureEntry>(folder, kSeasonModuleEntry, report, path, error);
}

}  // namespace np
