#include "host/indi/IndiDevices.h"

#include <erfa.h>
#include <erfam.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/NumberText.h"

namespace np::indi {
namespace {

std::string seconds(double s) { return formatPrintfGeneral(s, 6) + " s"; }

// A device that answered a request with Alert: it refuses what was asked.
class Refused : public RunTimeError {
 public:
  using RunTimeError::RunTimeError;
};

double hoursApart(double a, double b) {
  double d = std::fmod(std::fabs(a - b), 24.0);
  return std::min(d, 24.0 - d);
}

}  // namespace

void j2000ToApparent(double raHours, double decDegrees, double julianDate, double& raOut, double& decOut) {
  // UTC to TT (TDB differs from TT by less than 2 ms, far below what matters here).
  double tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
  if (eraUtctai(julianDate, 0.0, &tai1, &tai2) < 0 || eraTaitt(tai1, tai2, &tt1, &tt2) != 0) {
    tt1 = julianDate;
    tt2 = 69.184 / 86400.0;
  }
  // ICRS to CIRS (precession-nutation, aberration, light deflection), then from the CIO
  // to the equinox of date.
  double ri = 0, di = 0, eo = 0;
  eraAtci13(raHours * 15.0 * ERFA_DD2R, decDegrees * ERFA_DD2R, 0.0, 0.0, 0.0, 0.0, tt1, tt2, &ri, &di, &eo);
  raOut = eraAnp(ri - eo) * ERFA_DR2D / 15.0;
  decOut = di * ERFA_DR2D;
}

std::string Devices::lastReport(const std::string& device, const std::string& property) const {
  std::string report;
  if (std::optional<PropertySnapshot> s = link_.inbox().property(device, property)) {
    report = std::string(stateName(s->state));
  } else {
    report = "nothing of " + property;
  }
  const std::string message = link_.inbox().lastMessage(device);
  if (!message.empty()) report += "; its last message: " + message;
  return " (it last reported " + report + ")";
}

std::uint64_t Devices::updatesOf(const std::string& device, const std::string& property) const {
  std::optional<PropertySnapshot> s = link_.inbox().property(device, property);
  return s ? s->updates : 0;
}

bool Devices::has(const std::string& device, const std::string& property) const {
  return link_.inbox().property(device, property).has_value();
}

void Devices::waitFor(const std::string& device, const std::string& property, const std::string& what,
                      double limit, const std::function<bool()>& ready) {
  Inbox& inbox = link_.inbox();
  const SteadyTime deadline =
      std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                             std::chrono::duration<double>(limit));
  bool stop = false;
  // A device that goes from the server (its driver ended) ends the wait at once.
  const bool present = inbox.hasDevice(device);
  auto gone = [&] { return present && !inbox.hasDevice(device); };
  for (;;) {
    const auto slice = std::min<SteadyTime>(deadline, std::chrono::steady_clock::now() + std::chrono::seconds(1));
    const Inbox::WaitResult result = inbox.waitUntil(slice, [&] {
      if (inbox.lost() || gone() || ready()) return true;
      stop = stopCheck_ && stopCheck_();
      return stop;
    });
    if (std::optional<std::string> lost = inbox.lost()) {
      throw RunTimeError("lost the INDI server at " + link_.server() + " while " + device + " was to " + what +
                         ": " + *lost);
    }
    if (gone()) {
      throw RunTimeError(device + " went from the INDI server at " + link_.server() + " while it was to " + what);
    }
    // What arrived is used even when a stop came with it (an image is never dropped).
    if (result == Inbox::WaitResult::Ready && !stop) return;
    if (stop || (stopCheck_ && stopCheck_())) throw Interrupted();
    if (std::chrono::steady_clock::now() >= deadline) {
      throw RunTimeError(device + " did not " + what + " within " + seconds(limit) + lastReport(device, property));
    }
  }
}

void Devices::connectDevice(const std::string& device) {
  waitFor(device, "CONNECTION", "appear on the INDI server at " + link_.server(), bounds_.connect,
          [&] { return has(device, "CONNECTION"); });
  if (!connected(device)) {
    link_.sendSwitch(device, "CONNECTION", "CONNECT");
    waitFor(device, "CONNECTION", "connect", bounds_.connect, [&] {
      std::optional<PropertySnapshot> s = link_.inbox().property(device, "CONNECTION");
      if (s && s->state == PropertyState::Alert) return true;
      return connected(device);
    });
    if (!connected(device)) throw RunTimeError(device + " could not connect" + lastReport(device, "CONNECTION"));
  }
  // A device defines most of its properties only once connected: give it until it has
  // defined no new one for a moment (within the connection's bound) before anything is
  // asked. Updates of the properties it has (a mount's position, say) do not count.
  Inbox& inbox = link_.inbox();
  const SteadyTime deadline =
      std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                             std::chrono::duration<double>(bounds_.connect));
  for (;;) {
    const std::uint64_t seen = inbox.definitions(device);
    const auto quiet = std::min<SteadyTime>(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(500));
    inbox.waitUntil(quiet, [&] { return inbox.definitions(device) != seen; });
    if (inbox.definitions(device) == seen || std::chrono::steady_clock::now() >= deadline) break;
  }
}

bool Devices::awaitProperty(const std::string& device, const std::string& property, double seconds) {
  try {
    waitFor(device, property, "define " + property, seconds, [&] { return has(device, property); });
  } catch (const Interrupted&) {
    throw;
  } catch (const RunTimeError&) {
    return false;
  }
  return true;
}

bool Devices::connected(const std::string& device) const {
  std::optional<PropertySnapshot> s = link_.inbox().property(device, "CONNECTION");
  return s && s->switchOn("CONNECT");
}

void Devices::awaitUpdate(const std::string& device, const std::string& property, const std::string& what,
                          double limit, std::uint64_t before, const std::string& refused,
                          const std::function<bool(const PropertySnapshot&)>& done) {
  bool alert = false;
  waitFor(device, property, what, limit, [&] {
    std::optional<PropertySnapshot> s = link_.inbox().property(device, property);
    if (!s || s->updates <= before) return false;
    if (s->state == PropertyState::Alert) return alert = true;
    return done(*s);
  });
  if (alert) throw Refused(device + " " + refused + lastReport(device, property));
}

void Devices::awaitMotionEnd(const std::string& device, const std::vector<std::string>& properties, double limit) {
  auto busy = [&]() -> const std::string* {
    for (const std::string& property : properties) {
      std::optional<PropertySnapshot> s = link_.inbox().property(device, property);
      if (s && s->state == PropertyState::Busy) return &property;
    }
    return nullptr;
  };
  const std::string* moving = busy();
  if (!moving) return;
  const std::string property = *moving;
  waitFor(device, property, "finish the motion under way (" + property + ")", limit, [&] { return busy() == nullptr; });
}

void Devices::switchAndWait(const std::string& device, const std::string& property, const std::string& element,
                            const std::string& what, double limit) {
  std::optional<PropertySnapshot> now = link_.inbox().property(device, property);
  if (now && now->state == PropertyState::Ok && now->switchOn(element)) return;
  const std::uint64_t before = updatesOf(device, property);
  link_.sendSwitch(device, property, element);
  awaitUpdate(device, property, what, limit, before, "could not " + what, [&](const PropertySnapshot& s) {
    return s.state == PropertyState::Ok && s.switchOn(element);
  });
}

bool Devices::mountParked(const std::string& mount) const {
  std::optional<PropertySnapshot> s = link_.inbox().property(mount, "TELESCOPE_PARK");
  return s && s->switchOn("PARK");
}

namespace {
// What reports a mount's or a dome's motion.
const std::vector<std::string> kMountMotion = {"TELESCOPE_PARK", "EQUATORIAL_EOD_COORD"};
const std::vector<std::string> kDomeMotion = {"DOME_PARK", "DOME_SHUTTER", "DOME_MOTION", "ABS_DOME_POSITION"};
}  // namespace

bool Devices::domeClosed(const std::string& dome) const {
  std::optional<PropertySnapshot> park = link_.inbox().property(dome, "DOME_PARK");
  if (park && !(park->switchOn("PARK") && park->state != PropertyState::Busy)) return false;
  std::optional<PropertySnapshot> shutter = link_.inbox().property(dome, "DOME_SHUTTER");
  if (shutter && !(shutter->switchOn("SHUTTER_CLOSE") && shutter->state != PropertyState::Busy)) return false;
  return true;
}

void Devices::parkMount(const std::string& mount) {
  if (!has(mount, "TELESCOPE_PARK")) throw RunTimeError(mount + " cannot park (it has no TELESCOPE_PARK)");
  awaitMotionEnd(mount, kMountMotion, bounds_.park);
  switchAndWait(mount, "TELESCOPE_PARK", "PARK", "park", bounds_.park);
}

void Devices::unparkMount(const std::string& mount) {
  if (!has(mount, "TELESCOPE_PARK")) return;
  awaitMotionEnd(mount, kMountMotion, bounds_.park);
  switchAndWait(mount, "TELESCOPE_PARK", "UNPARK", "unpark", bounds_.park);
}

void Devices::closeDome(const std::string& dome) {
  awaitMotionEnd(dome, kDomeMotion, bounds_.dome);
  if (has(dome, "DOME_PARK")) switchAndWait(dome, "DOME_PARK", "PARK", "park", bounds_.dome);
  if (has(dome, "DOME_SHUTTER")) switchAndWait(dome, "DOME_SHUTTER", "SHUTTER_CLOSE", "close", bounds_.dome);
}

void Devices::openDome(const std::string& dome) {
  awaitMotionEnd(dome, kDomeMotion, bounds_.dome);
  if (has(dome, "DOME_PARK")) switchAndWait(dome, "DOME_PARK", "UNPARK", "unpark", bounds_.dome);
  if (has(dome, "DOME_SHUTTER")) switchAndWait(dome, "DOME_SHUTTER", "SHUTTER_OPEN", "open", bounds_.dome);
}

void Devices::setSite(const std::string& mount, double latitude, double longitude) {
  if (!has(mount, "GEOGRAPHIC_COORD")) return;
  const std::uint64_t before = updatesOf(mount, "GEOGRAPHIC_COORD");
  // INDI gives longitudes from 0 to 360 east.
  const double east = longitude < 0 ? longitude + 360.0 : longitude;
  link_.sendNumbers(mount, "GEOGRAPHIC_COORD", {{"LAT", latitude}, {"LONG", east}});
  awaitUpdate(mount, "GEOGRAPHIC_COORD", "take the site", bounds_.setting, before, "did not take the site",
              [](const PropertySnapshot&) { return true; });
}

bool Devices::readSite(const std::string& mount, double& latitude, double& longitude) const {
  std::optional<PropertySnapshot> s = link_.inbox().property(mount, "GEOGRAPHIC_COORD");
  if (!s) return false;
  std::optional<double> lat = s->number("LAT"), lon = s->number("LONG");
  if (!lat || !lon) return false;
  latitude = *lat;
  longitude = *lon > 180.0 ? *lon - 360.0 : *lon;
  return true;
}

void Devices::slewTo(const std::string& mount, double raHours, double decDegrees, double julianDate) {
  double ra = 0, dec = 0;
  j2000ToApparent(raHours, decDegrees, julianDate, ra, dec);
  if (!has(mount, "EQUATORIAL_EOD_COORD")) throw RunTimeError(mount + " has no EQUATORIAL_EOD_COORD to slew with");
  awaitMotionEnd(mount, kMountMotion, bounds_.slew);
  if (has(mount, "ON_COORD_SET")) {
    std::optional<PropertySnapshot> s = link_.inbox().property(mount, "ON_COORD_SET");
    if (s && !s->switchOn("TRACK")) switchAndWait(mount, "ON_COORD_SET", "TRACK", "set slew-and-track", bounds_.setting);
  }
  const std::uint64_t before = updatesOf(mount, "EQUATORIAL_EOD_COORD");
  link_.sendNumbers(mount, "EQUATORIAL_EOD_COORD", {{"RA", ra}, {"DEC", dec}});
  awaitUpdate(mount, "EQUATORIAL_EOD_COORD", "finish its slew", bounds_.slew, before, "could not slew",
              [&](const PropertySnapshot& s) {
                if (s.state != PropertyState::Ok) return false;
                const double r = s.number("RA").value_or(-100), d = s.number("DEC").value_or(-100);
                if (hoursApart(r, ra) > 0.01 || std::fabs(d - dec) > 0.1) return false;
                std::optional<PropertySnapshot> track = link_.inbox().property(mount, "TELESCOPE_TRACK_STATE");
                return !track || track->switchOn("TRACK_ON");
              });
}

std::string Devices::pierSide(const std::string& mount) const {
  const std::optional<PropertySnapshot> side = link_.inbox().property(mount, "TELESCOPE_PIER_SIDE");
  return side ? side->onSwitch() : std::string();
}

int Devices::filterSlot(const std::string& wheel, const std::string& filter) const {
  std::optional<PropertySnapshot> names = link_.inbox().property(wheel, "FILTER_NAME");
  if (!names) return -1;
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  for (std::size_t i = 0; i < names->texts.size(); ++i) {
    if (lower(names->texts[i].second) == lower(filter)) return static_cast<int>(i) + 1;
  }
  return 0;
}

void Devices::selectFilter(const std::string& wheel, const std::string& filter) {
  const int slot = filterSlot(wheel, filter);
  if (slot < 0) throw RunTimeError(wheel + " gives no FILTER_NAME");
  if (slot == 0) throw PlanError(wheel + " has no filter named '" + filter + "'");
  const std::uint64_t before = updatesOf(wheel, "FILTER_SLOT");
  link_.sendNumbers(wheel, "FILTER_SLOT", {{"FILTER_SLOT_VALUE", slot}});
  const std::string what = "change to the filter " + filter;
  awaitUpdate(wheel, "FILTER_SLOT", what, bounds_.filter, before, "could not " + what, [&](const PropertySnapshot& s) {
    return s.state == PropertyState::Ok && std::lround(s.number("FILTER_SLOT_VALUE").value_or(0)) == slot;
  });
}

void Devices::setBinning(const std::string& camera, int binning) {
  std::optional<PropertySnapshot> s = link_.inbox().property(camera, "CCD_BINNING");
  if (!s) {
    if (binning == 1) return;
    throw PlanError(camera + " cannot bin (it has no CCD_BINNING)");
  }
  auto holds = [binning](const PropertySnapshot& p) {
    return std::lround(p.number("HOR_BIN").value_or(0)) == binning && std::lround(p.number("VER_BIN").value_or(0)) == binning;
  };
  if (holds(*s)) return;
  const std::uint64_t before = s->updates;
  link_.sendNumbers(camera, "CCD_BINNING", {{"HOR_BIN", binning}, {"VER_BIN", binning}});
  const std::string what = "take the binning " + std::to_string(binning);
  try {
    awaitUpdate(camera, "CCD_BINNING", what, bounds_.setting, before, "could not " + what,
                [](const PropertySnapshot&) { return true; });
  } catch (const Refused& e) {
    throw PlanError(e.what());  // the plan asks what the camera cannot do
  }
  // A driver that keeps its own value (beyond its range) refuses it too.
  std::optional<PropertySnapshot> now = link_.inbox().property(camera, "CCD_BINNING");
  if (now && !holds(*now)) {
    throw PlanError(camera + " refused the binning " + std::to_string(binning) + " (it keeps " +
                    formatPrintfGeneral(now->number("HOR_BIN").value_or(0), 6) + "x" +
                    formatPrintfGeneral(now->number("VER_BIN").value_or(0), 6) + ")");
  }
}

void Devices::pointCameraAt(const std::string& camera, const std::string& mount, const std::string& wheel,
                            const std::string& focuser) {
  std::optional<PropertySnapshot> s = link_.inbox().property(camera, "ACTIVE_DEVICES");
  if (!s) throw RunTimeError(camera + " has no ACTIVE_DEVICES");
  std::vector<std::pair<std::string, std::string>> wanted;
  for (const auto& text : s->texts) {
    const std::string& element = text.first;
    std::string name;
    if (element == "ACTIVE_TELESCOPE") name = mount;
    if (element == "ACTIVE_FILTER") name = wheel;
    if (element == "ACTIVE_FOCUSER") name = focuser;
    wanted.emplace_back(element, name);
  }
  if (wanted == s->texts) return;
  const std::uint64_t before = s->updates;
  link_.sendText(camera, "ACTIVE_DEVICES", wanted);
  awaitUpdate(camera, "ACTIVE_DEVICES", "take the devices it follows", bounds_.setting, before,
              "did not take the devices it follows", [](const PropertySnapshot&) { return true; });
}

ReceivedImage Devices::expose(const std::string& camera, double exposure) {
  if (!has(camera, "CCD_EXPOSURE")) throw RunTimeError(camera + " has no CCD_EXPOSURE");
  const std::uint64_t before = updatesOf(camera, "CCD_EXPOSURE");
  link_.sendNumbers(camera, "CCD_EXPOSURE", {{"CCD_EXPOSURE_VALUE", exposure}});
  bool alert = false;
  std::optional<ReceivedImage> image;
  try {
    waitFor(camera, "CCD_EXPOSURE", "send the image of a " + seconds(exposure) + " exposure",
            exposure + bounds_.image, [&] {
              image = link_.inbox().takeImage(camera);
              if (image) return true;
              std::optional<PropertySnapshot> s = link_.inbox().property(camera, "CCD_EXPOSURE");
              if (s && s->updates > before && s->state == PropertyState::Alert) return alert = true;
              return false;
            });
  } catch (const Interrupted&) {
    abortExposure(camera);
    throw;
  }
  if (!image) throw RunTimeError(camera + " failed the exposure" + lastReport(camera, "CCD_EXPOSURE"));
  return std::move(*image);
}

bool Devices::exposing(const std::string& camera) const {
  std::optional<PropertySnapshot> s = link_.inbox().property(camera, "CCD_EXPOSURE");
  return s && s->state == PropertyState::Busy;
}

void Devices::abortExposure(const std::string& camera) {
  if (!has(camera, "CCD_ABORT_EXPOSURE")) return;
  link_.sendSwitch(camera, "CCD_ABORT_EXPOSURE", "ABORT");
}

}  // namespace np::indi
