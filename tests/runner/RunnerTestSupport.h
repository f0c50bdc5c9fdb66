#pragma once
// A program folder for a headless run in a temporary folder: the target list, the
// simulated observatory's configuration, and what the run leaves behind.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/runner/HeadlessRun.h"
#include "host/sim/AcquisitionLog.h"
#include "support/TempDir.h"

namespace np::test {

// Lines joined with CR LF, as the program writes its files.
inline std::string crlf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

class RunnerFolder {
 public:
  std::string programDir() const { return dir.path(); }
  std::string hostDir() const { return dir.file("observatory"); }
  std::string runLogPath() const { return hostDir() + "/Logs/Nightpick.log"; }
  std::string acquisitionLogPath() const { return hostDir() + "/Logs/" + acqlog::kFileName; }
  std::string listPath() const { return dir.file("targets.txt"); }

  void writeList(const std::vector<std::string>& lines) { writeFileBytes(listPath(), crlf(lines)); }
  void writeIni(const std::string& ini) {
    std::filesystem::create_directories(hostDir());
    writeFileBytes(hostDir() + "/observatory.ini", ini);
  }

  HeadlessResult run(const std::string& start, double hours, long stopAfterPlans = 0) {
    HeadlessOptions options;
    options.programDir = programDir();
    options.start = start;
    options.hours = hours;
    options.stopAfterPlans = stopAfterPlans;
    std::ostringstream o, e;
    HeadlessResult r = runHeadless(options, o, e);
    out = o.str();
    err = e.str();
    return r;
  }

  TempDir dir;
  std::string out, err;  // of the last run
};

}  // namespace np::test
