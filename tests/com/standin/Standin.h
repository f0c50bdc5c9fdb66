#pragma once
// The observatory's automation objects as a host serves them: "ACP.Util", "ACP.Telescope"
// and "ACP.Application" as IDispatch objects over any host behind the host interfaces (the
// simulated observatory, in tests and in observatory-standin.exe), so that the program's
// COM host objects (host/com/ComHost.h) can be run against it through the ordinary ProgID
// path. Windows only.
#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"
#include "host/com/ComSupport.h"

namespace np::com {

// The stand-in's own classes (the real host's classes have other CLSIDs).
extern const CLSID kStandinUtilClsid;
extern const CLSID kStandinTelescopeClsid;
extern const CLSID kStandinApplicationClsid;

// One new automation object over a new host object (reference count 1).
ComPtr<IDispatch> standinUtil(std::unique_ptr<IUtil> util);
ComPtr<IDispatch> standinTelescope(std::unique_ptr<ITelescope> telescope);
ComPtr<IDispatch> standinApplication(std::unique_ptr<IApplication> application);

// The three classes registered with COM for this process (CoRegisterClassObject), each
// instance made by `host` (which must outlive the registration). With `writeKeys` their
// ProgIDs are also written under HKCU\Software\Classes (ProgID\CLSID), so that
// CLSIDFromProgID finds them, and removed again when the object goes. A ProgID key that
// exists already and names another class is left alone and is an error: the stand-in never
// hides a host that is installed.
class StandinRegistration {
 public:
  // `context`: CLSCTX_INPROC_SERVER for objects used in this process (tests),
  // CLSCTX_LOCAL_SERVER for a local server (REGCLS_MULTIPLEUSE, suspended until resume()).
  StandinRegistration(IHostFactory& host, DWORD context, bool writeKeys = true);
  ~StandinRegistration();
  StandinRegistration(const StandinRegistration&) = delete;
  StandinRegistration& operator=(const StandinRegistration&) = delete;

  // Lets the suspended classes of a local server be created (CoResumeClassObjects).
  void resume();
  // Revokes the classes (and removes the keys it wrote) now, as a server that is closing.
  void revoke() { release(); }

 private:
  void release();

  std::vector<DWORD> cookies_;
  std::vector<std::wstring> keys_;  // below HKCU\Software\Classes, deepest last
};

// The keys of a local server (ProgID\CLSID, CLSID\{...}\LocalServer32 and ProgID),
// written or removed without serving (/RegServer, /UnregServer). Removal deletes only keys
// that name the stand-in's classes.
void registerLocalServer(const std::wstring& exePath);
void unregisterLocalServer();

}  // namespace np::com
