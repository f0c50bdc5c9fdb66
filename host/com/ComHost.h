#pragma once
// The observatory-control host through its automation objects, late-bound: "ACP.Util",
// "ACP.Telescope" and "ACP.Application", created by ProgID, and the objects reached from
// them (Util.Prefs, Util.Prefs.LocalUser, Util.Weather, the transforms of
// Util.NewCTHereAndNow). A failing member throws RunTimeError naming the member and the
// host's description, e.g. "Util.LoadScript: <description> (0x80020009)".
//
// Windows only. Everything here must be created, used and released on one thread that
// holds a ComApartment (ComSupport.h): the window's thread.
#include <memory>
#include <string>

#include "host/HostInterfaces.h"
#include "host/HostOpening.h"
#include "host/com/ComSupport.h"

namespace np::com {

inline constexpr const char* kUtilProgId = "ACP.Util";
inline constexpr const char* kTelescopeProgId = "ACP.Telescope";
inline constexpr const char* kApplicationProgId = "ACP.Application";

// A new object of the class registered under `progId` (CLSIDFromProgID, then
// CoCreateInstance with CLSCTX_ALL); a failure names the ProgID.
ComPtr<IDispatch> createByProgId(const std::string& progId);

class ComHostFactory : public IHostFactory {
 public:
  std::unique_ptr<IUtil> createUtil() override;
  std::unique_ptr<ITelescope> createTelescope() override;
  std::unique_ptr<IApplication> createApplication() override;
};

// The host by automation, on the computer's clock and zone. It keeps its own folders and
// its own observatory; it cannot take a dry run.
OpenedHost openComHost(const std::string& folder, const HostRequest& request);

// The three objects over objects already made (tests; a host reached some other way).
std::unique_ptr<IUtil> utilOver(ComPtr<IDispatch> util);
std::unique_ptr<ITelescope> telescopeOver(ComPtr<IDispatch> telescope);
std::unique_ptr<IApplication> applicationOver(ComPtr<IDispatch> application);

}  // namespace np::com
