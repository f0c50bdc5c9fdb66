#pragma once
// The target-list units wired as the main window wires them, on a simulated observatory
// with its program folder in a temporary folder: real files, a manual clock, recorded
// message boxes.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "selection/Selection.h"
#include "support/RecordingMessageSink.h"
#include "settings/ConfigFile.h"
#include "support/SimFixture.h"
#include "support/TempDir.h"
#include "targets/HostFakes.h"
#include "targets/PlanWriter.h"

namespace np::testing {

class SimStation {
 public:
  explicit SimStation(const std::string& ini = "", double startUnix = test::kSimNightUnix)
      : sim(ini, startUnix), programDir(sim.dir.file("program") + "/") {
    std::filesystem::create_directories(programDir);
  }

  // targets.txt from these lines, each ended by `eol`.
  void writeList(const std::vector<std::string>& lines, const std::string& eol = "\r\n") {
    std::string text;
    for (const std::string& line : lines) text += line + eol;
    test::writeFileBytes(listPath(), text);
  }
  std::string listPath() const { return programDir + "targets.txt"; }
  std::string newListPath() const { return programDir + "newtargets.txt"; }
  std::string configPath() const { return programDir + "config.ini"; }
  std::string planPath() const { return sim.host->planDir() + "/nightpickplan.txt"; }
  std::string logPath() const { return sim.host->logDir() + "/Nightpick.log"; }

  void openLog() { log = files.OpenTextFileForAppending(logPath()); }
  // Closes the run log and returns everything in it.
  std::string closeLog() {
    log->Close();
    log.reset();
    return test::readFileBytes(logPath());
  }

  bool select(float& bestScore, std::string& bestTarget, std::int64_t& bestTargetstart) {
    SelectionContext context{*fso,     *sim.util, *sim.telescope, *log,     messages, settings,
                             stopFlag, events,    setStatus(),    ct,       listPath(), locale};
    return selectTarget(context, bestScore, bestTarget, bestTargetstart);
  }

  void update(const std::string& bestTarget, std::int64_t bestTargetstart) {
    PlanContext context{*fso,     *sim.util,  *log,        messages,
                        sim.clock, settings,  quitTime,    programDir,
                        setStatus(), [this] { saveConfigFile(files, configPath(), settings); }};
    updateTarget(context, bestTarget, bestTargetstart);
  }

  test::SimFixture sim;
  std::string programDir;
  LocalFileSystem files;
  FileSystem* fso = &files;
  RecordingMessageSink messages;
  ScriptedEvents events;
  NumberLocale locale;
  Settings settings;
  bool stopFlag = false;
  DateTime quitTime;
  std::unique_ptr<ICoordinateTransform> ct;
  std::unique_ptr<TextWriter> log;
  std::vector<std::string> statusTexts;

 private:
  std::function<void(const std::string&)> setStatus() {
    return [this](const std::string& text) { statusTexts.push_back(text); };
  }
};

// Lines joined, each ended by CR LF.
inline std::string crlf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace np::testing
