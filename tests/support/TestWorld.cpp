#include "support/TestWorld.h"

#include <sstream>
#include <stdexcept>

#include "host/sim/SimTime.h"
#include "selection/Selection.h"
#include "settings/ConfigFile.h"
#include "support/TestText.h"
#include "targets/PlanWriter.h"

namespace np::test {

void RecordingView::statusTextChanged(const std::string& text) {
  if (statuses.empty() || statuses.back() != text) statuses.push_back(text);
  ++statusSets;
}

bool RecordingView::saw(const std::string& text) const {
  for (const auto& s : statuses)
    if (s == text) return true;
  return false;
}

namespace {

double unixOf(const std::string& utc) {
  double t = 0;
  if (!sim::parseUtcInstant(utc, t)) throw std::runtime_error("bad start " + utc);
  return t;
}

}  // namespace

TestWorld::TestWorld(const std::string& ini, double startUnix, NumberLocale locale)
    : SimFixture(ini, startUnix), locale_(locale) {
  units.files = &files;
  pump.setOnEvents([this] {
    ++hookRuns_;
    if (user) user();
    if (!main || !main->running()) {
      runSeen_ = false;
      return;
    }
    if (!runSeen_) {
      runSeen_ = true;
      runStartUnix_ = clock.unixSeconds();
    }
    if (!main->stopFlag && clock.unixSeconds() > runStartUnix_ + kLimitHours * 3600) {
      reportTestFailure("the run was still going after " + std::to_string(static_cast<int>(kLimitHours)) +
                        " simulated hours");
      main->StopButton_Click();
    }
  });
  startMain();
}

TestWorld::TestWorld(const std::string& ini, const std::string& startUtc) : TestWorld(ini, unixOf(startUtc)) {}

TestWorld::~TestWorld() {
  main.reset();
  platform.reset();
}

void TestWorld::startMain() { wireMain(*host, files); }

void TestWorld::wireMain(IHostFactory& hostFactory, FileSystem& fileSystem) {
  main.reset();
  platform = std::make_unique<Platform>(
      Platform{hostFactory, ephemeris, fileSystem, clock, messages, pump, locale_, dir.file("nightpick")});
  main = std::make_unique<frmMain>(*platform, &view);
}

void TestWorld::writeList(const std::vector<std::string>& lines, const std::string& eol) {
  std::string text;
  for (const std::string& line : lines) text += line + eol;
  writeListText(text);
}

void TestWorld::writeListText(const std::string& text) { writeFileBytes(listPath(), text); }
std::string TestWorld::listText() const { return readFileBytes(listPath()); }
std::string TestWorld::runLog() const { return readFileBytes(runLogPath()); }
std::vector<std::string> TestWorld::runLogLines() const { return splitLines(runLog()); }
std::string TestWorld::acquisitionLog() const { return readFileBytes(acquisitionLogPath()); }

void TestWorld::writeIni(const std::string& ini) {
  main.reset();
  platform.reset();
  restart(ini);
  startMain();
}

void TestWorld::openLog() { units.log = files.OpenTextFileForAppending(runLogPath()); }

std::string TestWorld::closeLog() {
  units.log->Close();
  units.log.reset();
  return readFileBytes(runLogPath());
}

bool TestWorld::select(float& bestScore, std::string& bestTarget, std::int64_t& bestTargetstart) {
  SelectionContext context{*units.files,
                           *util,
                           *telescope,
                           *units.log,
                           messages,
                           units.settings,
                           units.stopFlag,
                           pump,
                           [this](const std::string& text) { units.statuses.push_back(text); },
                           units.ct,
                           listPath(),
                           units.locale};
  return selectTarget(context, bestScore, bestTarget, bestTargetstart);
}

void TestWorld::update(const std::string& bestTarget, std::int64_t bestTargetstart) {
  PlanContext context{*units.files,
                      *util,
                      *units.log,
                      messages,
                      clock,
                      units.settings,
                      units.quitTime,
                      withSeparator(programDir()),
                      [this](const std::string& text) { units.statuses.push_back(text); },
                      [this] { saveConfigFile(files, configPath(), units.settings); }};
  updateTarget(context, bestTarget, bestTargetstart);
}

HeadlessResult TestWorld::runHeadless(const std::string& startUtc, double hours, long stopAfterPlans) {
  HeadlessOptions options;
  options.programDir = programDir();
  options.start = startUtc;
  options.hours = hours;
  options.stopAfterPlans = stopAfterPlans;
  std::ostringstream out, err;
  HeadlessResult result = np::runHeadless(options, out, err);
  headlessOut = out.str();
  headlessErr = err.str();
  return result;
}

}  // namespace np::test
