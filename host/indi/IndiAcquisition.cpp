#include "host/indi/IndiAcquisition.h"

#include <chrono>
#include <cmath>

#include "base/DateTime.h"
#include "base/Process.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"
#include "host/indi/ImageFiles.h"

namespace np::indi {
namespace {

// The device steps of one run.
class IndiSteps : public AcquisitionDevices {
 public:
  IndiSteps(const AcquisitionSetup& setup, AcquisitionRun& run)
      : s_(setup), run_(run), devices_(*setup.link, setup.bounds, [this] { return stopRequested(); }) {}

  double now() override { return s_.clock->unixSeconds(); }
  double eventTime() override { return std::round(now()); }
  bool focusesOnTarget() const override { return true; }

  bool prepare() override {
    if (!s_.dome.empty()) devices_.openDome(s_.dome);
    if (!devices_.mountParked(s_.mount)) return false;
    devices_.unparkMount(s_.mount);
    return true;
  }

  bool slew(const PlanStep& target, double) override {
    devices_.slewTo(s_.mount, target.ra, target.dec, julianDateFromUnix(now()));
    // The images carry the target's name (OBJECT in their FITS header).
    if (devices_.has(s_.camera, "FITS_HEADER"))
      s_.link->sendText(s_.camera, "FITS_HEADER", {{"FITS_OBJECT", target.name}});
    return true;
  }

  // The mount changes sides by slewing to the target again; where it reports its pier
  // side (TELESCOPE_PIER_SIDE), the side must have changed.
  std::string flip(const PlanStep& target) override {
    const std::string before = devices_.pierSide(s_.mount);
    devices_.slewTo(s_.mount, target.ra, target.dec, julianDateFromUnix(now()));
    const std::string after = devices_.pierSide(s_.mount);
    if (!before.empty() && after == before)
      throw RunTimeError(s_.mount + " did not change sides at the meridian flip: TELESCOPE_PIER_SIDE still " + after);
    return after;
  }

  void selectFilter(const std::string& filter) override { devices_.selectFilter(s_.filterWheel, filter); }
  void setBinning(int binning) override { devices_.setBinning(s_.camera, binning); }

  FocusOutcome autofocus(const PlanStep& target, double) override {
    FocusOutcome focus;
    if (s_.autofocusCommand.empty()) {
      focus.why = "#AUTOFOCUS not done: no acquisition.autofocus_command";
      return focus;
    }
    const std::string filter = target.groups.empty() ? std::string() : target.groups.front().filter;
    const auto began = std::chrono::steady_clock::now();
    std::string why;
    const int status =
        runCommand({s_.autofocusCommand, s_.server, s_.camera, s_.focuser, filter}, s_.autofocusTimeout, why);
    const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    focus.done = status == 0;
    focus.seconds = std::round(spent);
    if (!focus.done) focus.why = "#AUTOFOCUS failed: " + (why.empty() ? "exit status " + std::to_string(status) : why);
    return focus;
  }

  std::string expose(const PlanStep& target, const FilterGroup& group) override {
    // What the image's header must say, whatever the camera's driver writes in it.
    const ImageHeader header{.object = target.name,
                             .exposure = group.interval,
                             .start = now(),
                             .filter = group.filter,
                             .binning = group.binning,
                             .raHours = target.ra,
                             .decDegrees = target.dec,
                             .latitude = s_.site.latitude,
                             .longitude = s_.site.longitude,
                             .telescope = s_.mount,
                             .instrument = s_.camera};
    ReceivedImage image = devices_.expose(s_.camera, group.interval);
    const std::string date = formatGeneralDate(s_.clock->nowLocal()).substr(0, 10);
    return writeImageFile(*s_.files, s_.imagesFolder, date, target.name, group.filter, image, header);
  }

  void checkStop() override {
    if (stopRequested()) throw Interrupted();
  }
  StopCause stopCause() override { return unsafe_ && !run_.abortRequested() ? StopCause::Weather : StopCause::Aborted; }

  // Without the stop check, so that these steps are not cut short in turn (but by an abort).
  void closeForWeather(const std::function<void()>& parked) override {
    Devices closing(*s_.link, s_.bounds, [this] { return run_.abortRequested(); });
    if (closing.has(s_.mount, "TELESCOPE_PARK") && !closing.mountParked(s_.mount)) {
      closing.parkMount(s_.mount);
      parked();
    }
    if (!s_.dome.empty()) closing.closeDome(s_.dome);
  }

 private:
  bool stopRequested() {
    if (run_.abortRequested()) return true;
    if (!s_.weatherSafe()) {
      unsafe_ = true;
      return true;
    }
    return false;
  }

  const AcquisitionSetup& s_;
  AcquisitionRun& run_;
  Devices devices_;
  bool unsafe_ = false;
};

}  // namespace

std::thread startAcquisition(AcquisitionSetup setup, std::shared_ptr<AcquisitionRun> run, HandedOverPlan handed) {
  return std::thread([setup = std::move(setup), run = std::move(run), handed = std::move(handed)] {
    IndiSteps steps(setup, *run);
    const AcquisitionOutcome outcome = runAcquisition(handed.plan, handed.planPath, setup.site, steps,
                                                      [&](AcquisitionEvent e) { run->write(std::move(e)); });
    run->finishNow(outcome, steps.eventTime(), steps.now());
  });
}

}  // namespace np::indi
