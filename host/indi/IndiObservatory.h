#pragma once
#include <functional>
#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/HostOpening.h"
#include "host/HostSkeleton.h"
#include "host/ObservatoryConfig.h"
#include "host/indi/IndiDevices.h"

namespace np {

namespace indi {
class IndiBackEnd;
}

// The host over an INDI server (observatory.ini with [host] kind = indi): the mount,
// camera, filter wheel, focuser, dome and weather station that [indi] names. Creating it
// connects to the server and to every named device; the site is set on the mount when
// observatory.ini gives it and read from the mount otherwise. Time is the clock's (the
// computer's clock and zone). RunScript runs the plan named in Plans/runplanonce.txt in
// the program (IndiAcquisition.h) while ScriptActive tells whether it still runs; the
// host objects, the runs' guard and their log are the skeleton's (HostSkeleton.h).
//
// A member called while the server is gone, a named device is not connected, or after a
// plan ended because a device failed, throws RunTimeError saying so: the run ends before
// another plan takes a count from the list. A plan the devices cannot run as written (a
// filter the wheel does not have) ends as an error of that plan (LastPlanError), and the
// run goes on.
//
// Nightpick is the observatory's keeper here: nothing else parks the mount or closes the
// roof. Every end of a run secures it (secureObservatory), so does a start that fails
// (what can be reached of the mount and the dome), and unsafe weather secures it in every
// phase of the run, not only during a plan: a watch looks at the weather every few
// seconds while no plan runs. Every outcome goes to standard error ("safety: ...") and,
// at the end of a run and at a failed start, to the run log through `appendToRunLog`.
class IndiObservatory : public HostSkeleton {
 public:
  // Appends a line to the run log; called only while no run has the log open.
  using RunLogAppender = std::function<void(const std::string& line)>;

  // Throws RunTimeError naming the server or the device that could not be reached, after
  // securing what it can reach.
  IndiObservatory(const std::string& folder, const ObservatoryConfig& config, Clock& clock, FileSystem& files,
                  const indi::Bounds& bounds = {}, RunLogAppender appendToRunLog = {});
  // Ends an acquisition under way (the window closes, the program stops) within its bound.
  ~IndiObservatory() override;

  std::string imagesFolder() const;
  double siteLatitude() const;
  double siteLongitude() const;

 private:
  indi::IndiBackEnd* backEnd_;  // owned by the skeleton
};

// The INDI observatory of a folder, on the computer's clock and zone; the client library's
// chatter goes to Logs/indiclient.log. It cannot take a dry run.
OpenedHost openIndiObservatory(const std::string& folder, const HostRequest& request);

}  // namespace np
