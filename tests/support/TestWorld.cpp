#include "support/TestWorld.h"

#include <sstream>
#include <stdexcept>

#include "host/UtcTime.h"
#include "selection/Selection.h"
#include "settings/ConfigFile.h"
#include "support/TestText.h"
#include "targets/PlanWriter.h"
#include "night/ObservingLoop.h"

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
  if (!parseUtcInstant(utc, t)) throw std::runtime_error("bad start " + utc);
  return t;
}

}  // namespace

TestWorld::TestWorld(const std::string& ini, double startUnix, NumberLocale locale)
    : SimFixture(ini, startUnix), locale_(locale) {
  units.files = &files;
  pump.setOnEvents([this] {
    ++hookRuns_;
    if (user) user();
    const bool windowRun = main && main->running();
    if (!windowRun && !nightRunning_) {
      runSeen_ = false;
      return;
    }
    if (!runSeen_) {
      runSeen_ = true;
      runStartUnix_ = clock.unixSeconds();
    }
    const bool stopping = windowRun ? main->stopFlag : units.stopFlag;
    if (!stopping && clock.unixSeconds() > runStartUnix_ + kLimitHours * 3600) {
      reportTestFailure("the run was still going after " + std::to_string(static_cast<int>(kLimitHours)) +
                        " simulated hours");
      if (windowRun) {
        main->StopButton_Click();
      } else {
        units.stopFlag = true;
      }
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

bool TestWorld::startHostScript(const std::string& planLines) {
  IUtil& hostUtil = *main->util;
  const std::string plans = hostUtil.Prefs().LocalUser().DefaultPlanDir();
  writeFileBytes(joinPath(plans, "manual.txt"), planLines);
  writeFileBytes(joinPath(plans, "runplanonce.txt"), joinPath(plans, "manual.txt") + "\r\n");
  hostUtil.LoadScript(joinPath(joinPath(main->acpApp->Path(), "Scripts"), "AcquireImages.js"));
  hostUtil.RunScript();
  clock.advance(10);
  return hostUtil.ScriptActive();
}

void TestWorld::openLog() { units.log = files.OpenTextFileForAppending(runLogPath()); }

std::string TestWorld::closeLog() {
  units.log->Close();
  units.log.reset();
  return readFileBytes(runLogPath());
}

Services TestWorld::services() {
  return Services{.util = *util,
                  .telescope = *telescope,
                  .acpApp = *app,
                  .ephemeris = ephemeris,
                  .files = *units.files,
                  .clock = clock,
                  .events = pump,
                  .messages = messages,
                  .setStatusText =
                      [this](const std::string& text) {
                        ++units.statusSets;
                        if (units.statuses.empty() || units.statuses.back() != text) units.statuses.push_back(text);
                      },
                  .locale = units.locale,
                  .programFolder = withSeparator(programDir())};
}

const std::string& TestWorld::status() const {
  static const std::string none;
  return units.statuses.empty() ? none : units.statuses.back();
}

std::optional<ChosenGroup> TestWorld::select() {
  return selectTarget(services(), *units.log, units.settings, units.stopFlag);
}

std::optional<std::int16_t> TestWorld::update(std::int64_t bestTargetstart) {
  return updateTarget(services(), *units.log, units.settings,
                      [this] { saveConfigFile(files, configPath(), units.settings); }, units.quitTime,
                      bestTargetstart);
}

RunEnd TestWorld::runNight() {
  std::unique_ptr<IEphemeris> earth = ephemeris.createEphemeris();
  earth->setBodyType(0);
  earth->setNumber(3);
  units.stopFlag = false;
  NightRun night{.earthEphem = *earth,
                 .settings = units.settings,
                 .stopFlag = units.stopFlag,
                 .saveConfig = [this] { saveConfigFile(*units.files, configPath(), units.settings); },
                 .logFile = units.log,
                 .observer = nullptr,
                 .list = listStore,
                 .secure = [this](const std::string& why) { return host->secureObservatory(why); }};
  nightRunning_ = true;
  try {
    RunEnd end = runObservingLoop(services(), night);
    nightRunning_ = false;
    return end;
  } catch (...) {
    nightRunning_ = false;
    throw;
  }
}

HeadlessResult TestWorld::runHeadless(const std::string& startUtc, double hours, long stopAfterPlans) {
  HeadlessOptions options;
  options.programDir = programDir();
  options.start = startUtc;
  options.hours = hours;
  options.stopAfterPlans = stopAfterPlans;
  return runHeadless(std::move(options));
}

HeadlessResult TestWorld::runHeadless(HeadlessOptions options) {
  options.programDir = programDir();
  std::ostringstream out, err;
  HeadlessResult result = np::runHeadless(options, out, err);
  headlessOut = out.str();
  headlessErr = err.str();
  return result;
}

}  // namespace np::test
