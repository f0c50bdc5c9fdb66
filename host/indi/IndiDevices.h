#pragma once
// What the observatory's devices are asked to do over INDI, each step waiting for the
// device to say it is done, never longer than its bound. A step that fails throws
// RunTimeError naming the device, what it was asked and what it last reported; a step
// cut short by the stop check throws Interrupted.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Errors.h"
#include "host/AcquisitionRules.h"
#include "host/indi/IndiInbox.h"
#include "host/indi/IndiLink.h"

namespace np::indi {

// The longest each kind of step may take, in seconds.
struct Bounds {
  double connect = 30;    // the server and each device's properties (indi.connect_timeout)
  double park = 300;      // a park or unpark of the mount
  double dome = 300;      // opening or closing the dome or roof
  double slew = 300;      // a slew, until the mount tracks on the target
  double filter = 120;    // a change of filter
  double setting = 30;    // a setting the device takes at once (binning, tracking mode)
  double image = 120;     // from the end of an exposure until its image has arrived
  double abort = 10;      // an aborted exposure
};

// The apparent place of date (true equator and equinox of date; precession, nutation,
// annual aberration and light deflection) of a J2000 (ICRS) place at a Julian date (UTC),
// hours and degrees: what a mount's EQUATORIAL_EOD_COORD ("JNow") means.
void j2000ToApparent(double raHours, double decDegrees, double julianDate, double& raOut, double& decOut);
// How slews are given to the mount, for the logs.
inline constexpr const char* kSlewCoordinates =
    "slews go to the apparent place of date (EQUATORIAL_EOD_COORD, JNow: precession, nutation, aberration)";

class Devices {
 public:
  // `stopCheck` (may be empty) is asked at every news and at least once a second during
  // every wait; true cuts the wait short.
  Devices(Link& link, const Bounds& bounds, std::function<bool()> stopCheck = {})
      : link_(link), bounds_(bounds), stopCheck_(std::move(stopCheck)) {}

  // Waits until the device's properties are there and connects it when it is not.
  void connectDevice(const std::string& device);
  bool connected(const std::string& device) const;
  // Waits at most `seconds` for the device to define the property; false when it did not.
  bool awaitProperty(const std::string& device, const std::string& property, double seconds);
  bool has(const std::string& device, const std::string& property) const;

  bool mountParked(const std::string& mount) const;
  // The dome or roof reports itself parked or its shutter closed (true for one that has
  // neither property).
  bool domeClosed(const std::string& dome) const;
  // Each first gives a motion under way (a park, an unpark, a slew, a shutter moving) its
  // bound to finish, rather than cutting it short, and does nothing when the device is
  // where it is asked to go already.
  void parkMount(const std::string& mount);
  void unparkMount(const std::string& mount);
  void closeDome(const std::string& dome);
  void openDome(const std::string& dome);
  // Slews to J2000 coordinates and returns once the mount tracks there.
  void slewTo(const std::string& mount, double raHours, double decDegrees, double julianDate);
  // The side of the pier the mount reports ("PIER_EAST", "PIER_WEST"); empty when it
  // reports none.
  std::string pierSide(const std::string& mount) const;
  void setSite(const std::string& mount, double latitude, double longitude);
  // The site the mount holds: latitude, longitude east positive (-180..180].
  bool readSite(const std::string& mount, double& latitude, double& longitude) const;
  // A filter the wheel does not have, or a binning the camera refuses, is a PlanError.
  void selectFilter(const std::string& wheel, const std::string& filter);
  void setBinning(const std::string& camera, int binning);
  // The wheel's slot of a filter name, whatever its case; 0 when the wheel has no such
  // filter, -1 when the wheel gives no names.
  int filterSlot(const std::string& wheel, const std::string& filter) const;
  // Has the camera take what its images say of the mount, filter and focus from these
  // devices (ACTIVE_DEVICES); an empty name, like any element not named here, leaves it
  // following none.
  void pointCameraAt(const std::string& camera, const std::string& mount, const std::string& wheel,
                     const std::string& focuser);
  // Starts an exposure and returns the image the camera sends for it.
  ReceivedImage expose(const std::string& camera, double seconds);
  void abortExposure(const std::string& camera);
  // An exposure is under way (the camera reports CCD_EXPOSURE Busy).
  bool exposing(const std::string& camera) const;

  // The text of a device's last report, for messages: " (it last reported Busy: ...)".
  std::string lastReport(const std::string& device, const std::string& property) const;

 private:
  // Waits up to `seconds` for `ready`; throws naming `what` when the time is up or the
  // server is lost, Interrupted when the interrupt flag is set.
  void waitFor(const std::string& device, const std::string& property, const std::string& what, double seconds,
               const std::function<bool()>& ready);
  std::uint64_t updatesOf(const std::string& device, const std::string& property) const;
  // Waits for an update of the property after its `before`-th: Alert throws "<device>
  // <refused>" with its last report; otherwise the wait ends once `done` accepts it.
  void awaitUpdate(const std::string& device, const std::string& property, const std::string& what, double limit,
                   std::uint64_t before, const std::string& refused,
                   const std::function<bool(const PropertySnapshot&)>& done);
  // Waits while any of the properties reports Busy (a motion under way), at most `limit`.
  void awaitMotionEnd(const std::string& device, const std::vector<std::string>& properties, double limit);
  // Sets a switch and waits until the device reports it On and the property Ok; when it
  // is On and Ok already, after any motion has ended, nothing is sent.
  void switchAndWait(const std::string& device, const std::string& property, const std::string& element,
                     const std::string& what, double seconds);

  Link& link_;
  Bounds bounds_;
  std::function<bool()> stopCheck_;
};

}  // namespace np::indi
