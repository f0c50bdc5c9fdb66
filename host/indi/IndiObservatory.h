#pragma once
#include <memory>
#include <string>

#include "base/Clock.h"
#include "host/HostInterfaces.h"
#include "host/ObservatoryConfig.h"
#include "host/indi/IndiDevices.h"

namespace np {

namespace indi {
struct IndiState;
}

// The host over an INDI server (observatory.ini with [host] kind = indi): the mount,
// camera, filter wheel, focuser, dome and weather station that [indi] names. Creating it
// connects to the server and to every named device; the site is set on the mount when
// observatory.ini gives it and read from the mount otherwise. Time is the clock's (the
// computer's clock and zone). RunScript runs the plan named in Plans/runplanonce.txt in
// the program (IndiAcquisition.h) while ScriptActive tells whether it still runs.
//
// A member called while the server is gone, a named device is not connected, or after a
// plan ended because a device failed, throws RunTimeError saying so: the run ends before
// another plan takes a count from the list.
class IndiObservatory : public IHostFactory {
 public:
  // Throws RunTimeError naming the server or the device that could not be reached.
  IndiObservatory(const std::string& folder, const ObservatoryConfig& config, Clock& clock,
                  const indi::Bounds& bounds = {});
  ~IndiObservatory() override;
  IndiObservatory(const IndiObservatory&) = delete;
  IndiObservatory& operator=(const IndiObservatory&) = delete;

  std::unique_ptr<IUtil> createUtil() override;
  std::unique_ptr<ITelescope> createTelescope() override;
  std::unique_ptr<IApplication> createApplication() override;

  const std::string& folder() const;
  std::string acquisitionLogPath() const;
  std::string imagesFolder() const;
  double siteLatitude() const;
  double siteLongitude() const;
  // Ends an acquisition under way (the window closes, the program stops): aborts it and
  // waits for it a bounded time.
  void abortAcquisition();

 private:
  std::shared_ptr<indi::IndiState> state_;
};

}  // namespace np
