// The acquisition's rules over devices that only record what they are asked: the order
// of the steps, the skip, quit and stop rules, and what each event carries, for both
// places an #AUTOFOCUS can be done.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/AcquisitionRules.h"
#include "host/HostSkeleton.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"
#include "support/TempDir.h"

namespace np {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// 2026-12-08 05:00 UTC: from Kitt Peak, M42 stands high in the south-west, M81 low in the
// north; Sigma Octantis never rises.
constexpr double kStart = 1796706000.0;
const AcquisitionSite kSite{31.96, -111.6, 10.0, {}, std::nullopt};

// Devices whose steps take fixed times and write down what they were asked.
class RecordingDevices : public AcquisitionDevices {
 public:
  explicit RecordingDevices(bool onTarget) : onTarget_(onTarget) {}

  double now() override { return t; }
  bool focusesOnTarget() const override { return onTarget_; }
  bool prepare() override {
    steps.push_back("prepare");
    return unparks;
  }
  bool slew(const PlanStep& target, double quitAt) override {
    steps.push_back("slew " + target.name);
    return spend(60, quitAt);
  }
  std::string flip(const PlanStep& target) override {
    steps.push_back("flip " + target.name);
    t += 90;
    return pierAfterFlip;
  }
  void selectFilter(const std::string& filter) override {
    if (filter == refusedFilter) throw PlanError("no filter named '" + filter + "'");
    steps.push_back("filter " + filter);
  }
  void setBinning(int binning) override { steps.push_back("binning " + std::to_string(binning)); }
  FocusOutcome autofocus(const PlanStep& target, double quitAt) override {
    steps.push_back("focus " + target.name);
    FocusOutcome f;
    f.cut = !spend(180, quitAt);
    f.done = focusWorks;
    f.seconds = 180;
    f.why = focusWorks ? "" : "#AUTOFOCUS failed: exit status 3";
    return f;
  }
  std::string expose(const PlanStep& target, const FilterGroup& group) override {
    steps.push_back("expose " + target.name);
    if (++exposures == failAtExposure) throw RunTimeError("the camera stopped answering");
    t += group.interval;
    return "/images/" + target.name + "_" + std::to_string(exposures) + ".fits";
  }
  void checkStop() override {
    if (exposures >= stopAfterExposures) throw Interrupted();
  }
  StopCause stopCause() override { return cause; }
  void closeForWeather(const std::function<void()>& parked) override {
    steps.push_back("close");
    parked();
  }

  double t = kStart;
  bool unparks = false;
  bool focusWorks = true;
  std::string refusedFilter;
  int exposures = 0;
  int failAtExposure = -1;
  int stopAfterExposures = 1000;
  StopCause cause = StopCause::Aborted;
  std::vector<std::string> steps;
  std::string pierAfterFlip;

 private:
  bool spend(double seconds, double quitAt) {
    if (t + seconds > quitAt) {
      t = quitAt;
      return false;
    }
    t += seconds;
    return true;
  }
  bool onTarget_;
};

PlanStep target(const std::string& name, double ra, double dec, std::vector<FilterGroup> groups, int line) {
  PlanStep step;
  step.name = name;
  step.ra = ra;
  step.dec = dec;
  step.groups = std::move(groups);
  step.line = line;
  return step;
}

PlanStep autofocusStep() {
  PlanStep step;
  step.kind = PlanStep::Kind::Autofocus;
  return step;
}

struct Ran {
  AcquisitionOutcome outcome;
  std::vector<AcquisitionEvent> events;
  std::vector<std::string> kinds() const {
    std::vector<std::string> k;
    for (const AcquisitionEvent& e : events) k.push_back(e.kind + (e.text.empty() ? "" : " " + e.text));
    return k;
  }
};

Ran run(const AcquisitionPlan& plan, RecordingDevices& devices) {
  Ran ran;
  ran.outcome = runAcquisition(plan, "/plans/p.txt", kSite, devices,
                               [&](AcquisitionEvent e) { ran.events.push_back(std::move(e)); });
  return ran;
}

// #AUTOFOCUS, a target that is down, one that is up with two filter groups.
AcquisitionPlan focusDownUp() {
  AcquisitionPlan plan;
  plan.ignored = {"#DITHER"};
  plan.steps = {autofocusStep(), target("Sigma Oct", 21.15, -88.96, {{"", 1, 2, 30}}, 3),
                target("M42", 5.588, -5.39, {{"L", 1, 2, 30}, {"R", 2, 1, 60}}, 6)};
  return plan;
}

TEST(AcquisitionRules, WherePlannedTheFocusComesFirstAndATargetThatIsDownIsSkippedWithoutTime) {
  RecordingDevices devices(false);
  const Ran ran = run(focusDownUp(), devices);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndDone));
  EXPECT_THAT(ran.kinds(), ElementsAre("START /plans/p.txt", "IGNORED #DITHER", "AUTOFOCUS", "SKIPPED Sigma Oct",
                                       "EXPOSURE M42", "EXPOSURE M42", "EXPOSURE M42"));
  EXPECT_THAT(devices.steps, ElementsAre("prepare", "focus ", "slew M42", "filter L", "binning 1", "expose M42",
                                         "expose M42", "filter R", "binning 2", "expose M42"));
  // Each event is stamped when it happened; an exposure's with where the target stood then.
  EXPECT_EQ(ran.events[2].utc, kStart + 180);
  EXPECT_EQ(ran.events[2].seconds, 180);
  EXPECT_EQ(ran.events[3].utc, kStart + 180);
  EXPECT_EQ(ran.events[3].reason, acqlog::kSkippedBelowMinimum);
  EXPECT_LT(ran.events[3].elevation, 0);
  const AcquisitionEvent& last = ran.events.back();
  EXPECT_EQ(last.utc, kStart + 180 + 60 + 30 + 30 + 60);
  EXPECT_EQ(last.seconds, 60);
  EXPECT_EQ(last.file, "/images/M42_3.fits");
  const Horizontal at = horizontalAt(5.588, -5.39, kSite.latitude, kSite.longitude, julianDateFromUnix(last.utc));
  EXPECT_DOUBLE_EQ(last.elevation, at.elevation);
  EXPECT_DOUBLE_EQ(last.azimuth, at.azimuth);
}

TEST(AcquisitionRules, OnTargetTheFocusWaitsForTheFirstTargetImagedAfterItsFilterAndSaysWhyWhenItFails) {
  RecordingDevices devices(true);
  devices.unparks = true;
  devices.focusWorks = false;
  const Ran ran = run(focusDownUp(), devices);
  EXPECT_THAT(ran.kinds(), ElementsAre("START /plans/p.txt", "IGNORED #DITHER", "UNPARK", "SKIPPED Sigma Oct",
                                       "IGNORED #AUTOFOCUS failed: exit status 3", "EXPOSURE M42", "EXPOSURE M42",
                                       "EXPOSURE M42"));
  EXPECT_THAT(devices.steps, ElementsAre("prepare", "slew M42", "filter L", "binning 1", "focus M42", "expose M42",
                                         "expose M42", "filter R", "binning 2", "expose M42"));
}

TEST(AcquisitionRules, NothingStartsAtTheQuitTimeButTheExposureUnderWayIsFinished) {
  AcquisitionPlan plan;
  plan.steps = {target("M42", 5.588, -5.39, {{"", 1, 5, 100}}, 2)};
  plan.steps[0].quitAt = kStart + 60 + 150;  // in the second exposure
  RecordingDevices devices(false);
  Ran ran = run(plan, devices);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndQuit));
  EXPECT_THAT(ran.kinds(), ElementsAre("START /plans/p.txt", "EXPOSURE M42", "EXPOSURE M42"));
  EXPECT_EQ(devices.t, kStart + 60 + 200);

  // A slew that the quit time cuts short ends the run there, as does a step that starts at it.
  plan.steps[0].quitAt = kStart + 30;
  RecordingDevices cut(false);
  ran = run(plan, cut);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndQuit));
  EXPECT_EQ(cut.t, kStart + 30);
  plan.steps[0].quitAt = kStart;
  RecordingDevices late(false);
  EXPECT_EQ(run(plan, late).outcome.reason, std::string(acqlog::kEndQuit));
  EXPECT_THAT(late.steps, ElementsAre("prepare"));
}

TEST(AcquisitionRules, AnAbortEndsAbortedUnsafeWeatherClosesFirstAndEndsWeather) {
  AcquisitionPlan plan;
  plan.steps = {target("M42", 5.588, -5.39, {{"", 1, 5, 100}}, 2)};
  RecordingDevices aborted(true);
  aborted.stopAfterExposures = 2;
  Ran ran = run(plan, aborted);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndAborted));
  EXPECT_EQ(ran.events.size(), 3u);  // START and two images
  EXPECT_TRUE(ran.outcome.failure.empty());

  RecordingDevices unsafe(true);
  unsafe.stopAfterExposures = 2;
  unsafe.cause = StopCause::Weather;
  ran = run(plan, unsafe);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndWeather));
  EXPECT_EQ(ran.kinds().back(), "PARK");
  EXPECT_EQ(unsafe.steps.back(), "close");
}

TEST(AcquisitionRules, ARefusalIsAnErrorOfThePlansLineAndAFailingDeviceAFailureOfTheRun) {
  RecordingDevices refusing(true);
  refusing.refusedFilter = "R";
  Ran ran = run(focusDownUp(), refusing);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndError));
  EXPECT_EQ(ran.outcome.planError, "plan '/plans/p.txt' line 6: no filter named 'R'");
  EXPECT_EQ(ran.outcome.detail, ran.outcome.planError);
  EXPECT_TRUE(ran.outcome.failure.empty());

  RecordingDevices failing(true);
  failing.failAtExposure = 2;
  ran = run(focusDownUp(), failing);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndError));
  EXPECT_EQ(ran.outcome.failure, "the camera stopped answering");
  EXPECT_TRUE(ran.outcome.planError.empty());
}

// ---- the run, where the program and a run meet ----

std::vector<std::string> logLines(const std::string& path) {
  std::vector<std::string> kinds;
  for (const AcquisitionEvent& e : readAcquisitionLog(path)) kinds.push_back(e.kind);
  return kinds;
}

TEST(AcquisitionRunState, ScheduledEventsAreWrittenWhenDueAndARunShowsAtLeastAMomentUnlessAborted) {
  test::TempDir dir;
  LocalFileSystem files;
  auto log = std::make_shared<AcquisitionLogFile>(files, dir.file("AcquireImages.log"));
  AcquisitionRun run(log, kStart + 3);
  AcquisitionEvent start;
  start.utc = kStart + 3;
  start.kind = acqlog::kStart;
  start.text = "p";
  run.schedule(start);
  run.finish(AcquisitionOutcome{}, kStart + 3.5);
  EXPECT_TRUE(run.running(kStart));
  EXPECT_FALSE(run.active(kStart));  // its start delay
  run.writeDue(kStart + 2, "ScriptActive");
  EXPECT_TRUE(logLines(log->path()).empty());
  EXPECT_TRUE(run.active(kStart + 3.9));  // a second from its start, past its END
  EXPECT_FALSE(run.running(kStart + 4));
  run.writeDue(kStart + 4, "ScriptActive");
  EXPECT_THAT(logLines(log->path()), ElementsAre("START", "END"));

  // An abort drops what has not happened yet and ends the run at once.
  AcquisitionRun cut(log, kStart + 10);
  cut.schedule(start);
  AcquisitionEvent later = start;
  later.utc = kStart + 20;
  later.kind = acqlog::kAutofocus;
  cut.schedule(later);
  cut.finish(AcquisitionOutcome{}, kStart + 30);
  cut.writeDue(kStart + 15, "AbortScript");
  cut.cutAt(kStart + 15, acqlog::kEndAborted);
  EXPECT_FALSE(cut.running(kStart + 15));
  cut.writeDue(kStart + 100, "AbortScript");
  const std::vector<AcquisitionEvent> events = readAcquisitionLog(log->path());
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[3].reason, acqlog::kEndAborted);
  EXPECT_EQ(events[3].utc, kStart + 15);
}

TEST(AcquisitionRunState, AnEndThatCannotBeWrittenBecomesTheRunsFailure) {
  test::TempDir dir;
  LocalFileSystem files;
  auto log = std::make_shared<AcquisitionLogFile>(files, dir.file("no-such-folder/AcquireImages.log"));
  AcquisitionRun run(log, kStart);
  EXPECT_THAT([&] { run.write(AcquisitionEvent{}, "RunScript"); },
              ::testing::ThrowsMessage<RunTimeError>(HasSubstr("RunScript: cannot write '")));
  run.finishNow(AcquisitionOutcome{}, kStart, kStart);
  EXPECT_TRUE(run.finished());
  EXPECT_THAT(run.outcome().failure, HasSubstr("cannot write '"));
  EXPECT_TRUE(run.waitFinished(0));
}

// ---- the meridian flip ----

// The right ascension whose hour angle is `degrees` (west positive) at `unix`.
double raAtHourAngle(double degrees, double unix) {
  const double ra = localSiderealHours(julianDateFromUnix(unix), kSite.longitude) - degrees / 15.0;
  return ra < 0 ? ra + 24.0 : ra;
}

Ran runFlipping(const AcquisitionPlan& plan, RecordingDevices& devices, double flipAt) {
  AcquisitionSite site = kSite;
  site.meridianFlip = flipAt;
  Ran ran;
  ran.outcome = runAcquisition(plan, "/plans/p.txt", site, devices,
                               [&](AcquisitionEvent e) { ran.events.push_back(std::move(e)); });
  return ran;
}

// Ten exposures of 300 s from an hour angle of -0.75 degrees after the slew: 1.25 degrees
// each (sidereal), so the sixth would begin at 5.52 degrees, past a flip at 5: the mount flips once,
// between the fifth and the sixth, and the images on both sides name the same target.
TEST(AcquisitionRules, AFlipComesOnceBetweenExposuresWhenTheTargetPassesItsHourAngle) {
  RecordingDevices devices(false);
  devices.pierAfterFlip = "PIER_EAST";
  AcquisitionPlan plan;
  plan.steps = {target("Crossing", raAtHourAngle(-1.0, kStart), 20.0, {{"", 1, 10, 300}}, 2)};
  const Ran ran = runFlipping(plan, devices, 5.0);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndDone));
  std::vector<std::string> expected{"prepare", "slew Crossing", "binning 1"};
  for (int i = 0; i < 5; ++i) expected.push_back("expose Crossing");
  expected.push_back("flip Crossing");
  for (int i = 0; i < 5; ++i) expected.push_back("expose Crossing");
  EXPECT_EQ(devices.steps, expected);
  ASSERT_EQ(ran.events.size(), 12u);
  const AcquisitionEvent& flip = ran.events[6];
  EXPECT_EQ(flip.kind, acqlog::kFlip);
  EXPECT_EQ(flip.text, "Crossing");
  EXPECT_NEAR(flip.hourAngle, -1.0 + 1560 * 15.041 / 3600, 0.01);
  EXPECT_EQ(flip.pierSide, "PIER_EAST");
  EXPECT_EQ(flip.utc, kStart + 60 + 5 * 300);
  EXPECT_EQ(ran.events[7].utc, kStart + 60 + 5 * 300 + 90 + 300) << "the flip's slew takes its time";
  EXPECT_EQ(formatAcquisitionEvent(flip), formatUtc(flip.utc) + "\tFLIP\tCrossing\t5.518\tPIER_EAST");
  const AcquisitionEvent back = parseAcquisitionEvent(formatAcquisitionEvent(flip));
  EXPECT_EQ(back.kind, acqlog::kFlip);
  EXPECT_EQ(back.hourAngle, 5.518);
  EXPECT_EQ(back.pierSide, "PIER_EAST");
}

TEST(AcquisitionRules, NoFlipForATargetAlreadyPastItOrWithoutOne) {
  AcquisitionPlan plan;
  plan.steps = {target("West", raAtHourAngle(10.0, kStart), 20.0, {{"", 1, 10, 300}}, 2)};
  RecordingDevices past(false);
  EXPECT_THAT(runFlipping(plan, past, 5.0).kinds(), ::testing::Not(::testing::Contains("FLIP West")));
  plan.steps = {target("Crossing", raAtHourAngle(-1.0, kStart), 20.0, {{"", 1, 10, 300}}, 2)};
  RecordingDevices none(false);
  const Ran ran = run(plan, none);
  EXPECT_EQ(ran.events.size(), 11u);
  EXPECT_THAT(none.steps, ::testing::Not(::testing::Contains("flip Crossing")));
}

TEST(AcquisitionRules, AFlipThatRunsIntoTheQuitTimeStartsNoExposureAfterIt) {
  RecordingDevices devices(false);
  AcquisitionPlan plan;
  plan.steps = {target("Crossing", raAtHourAngle(-1.0, kStart), 20.0, {{"", 1, 10, 300}}, 2)};
  plan.steps[0].quitAt = kStart + 60 + 5 * 300 + 30;  // within the flip's 90 s
  const Ran ran = runFlipping(plan, devices, 5.0);
  EXPECT_EQ(ran.outcome.reason, std::string(acqlog::kEndQuit));
  EXPECT_EQ(devices.steps.back(), "flip Crossing");
  EXPECT_EQ(ran.events.back().kind, acqlog::kFlip);
}

}  // namespace
}  // namespace np
