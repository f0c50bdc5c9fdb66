#include "com/standin/Standin.h"

#include <functional>

#include "host/com/ComHost.h"
#include "com/standin/DispatchImpl.h"

namespace np::com {

// {D32973DE-88A7-4827-8698-9D8381839B21}
const CLSID kStandinUtilClsid = {0xd32973de, 0x88a7, 0x4827, {0x86, 0x98, 0x9d, 0x83, 0x81, 0x83, 0x9b, 0x21}};
// {2773377B-7390-4E18-BA62-E522E36C6F30}
const CLSID kStandinTelescopeClsid = {0x2773377b, 0x7390, 0x4e18, {0xba, 0x62, 0xe5, 0x22, 0xe3, 0x6c, 0x6f, 0x30}};
// {28232A6B-1F65-4B92-BB2D-DB66D2A5B4B2}
const CLSID kStandinApplicationClsid = {0x28232a6b, 0x1f65, 0x4b92, {0xbb, 0x2d, 0xdb, 0x66, 0xd2, 0xa5, 0xb4, 0xb2}};

namespace {

// ---- the objects ----

class Transform : public DispatchImpl {
 public:
  enum : DISPID { kRightAscension = 1, kDeclination, kElevation, kAzimuth };
  explicit Transform(std::unique_ptr<ICoordinateTransform> ct)
      : DispatchImpl(L"ACP.Util",
                     {{L"RightAscension", kRightAscension}, {L"Declination", kDeclination},
                      {L"Elevation", kElevation}, {L"Azimuth", kAzimuth}}),
        ct_(std::move(ct)) {}

 protected:
  void invoke(DISPID id, const DispatchCall& c) override {
    switch (id) {
      case kRightAscension: c.expectPut(); ct_->setRightAscension(c.putNumber()); break;
      case kDeclination: c.expectPut(); ct_->setDeclination(c.putNumber()); break;
      case kElevation: c.expectGet(); c.returnNumber(ct_->Elevation()); break;
      case kAzimuth: c.expectGet(); c.returnNumber(ct_->Azimuth()); break;
    }
  }

 private:
  std::unique_ptr<ICoordinateTransform> ct_;
};

class LocalUser : public DispatchImpl {
 public:
  enum : DISPID { kDefaultPlanDir = 1, kDefaultLogDir };
  explicit LocalUser(std::shared_ptr<IUtil> util)
      : DispatchImpl(L"ACP.Util", {{L"DefaultPlanDir", kDefaultPlanDir}, {L"DefaultLogDir", kDefaultLogDir}}),
        util_(std::move(util)) {}

 protected:
  void invoke(DISPID id, const DispatchCall& c) override {
    c.expectGet();
    ILocalUser& user = util_->Prefs().LocalUser();
    if (id == kDefaultPlanDir) c.returnText(user.DefaultPlanDir(), "DefaultPlanDir");
    else c.returnText(user.DefaultLogDir(), "DefaultLogDir");
  }

 private:
  std::shared_ptr<IUtil> util_;
};

class Prefs : public DispatchImpl {
 public:
  enum : DISPID { kTiltUpLimit = 1, kMinimumElevation, kGetHorizon, kLocalUser };
  explicit Prefs(std::shared_ptr<IUtil> util)
      : DispatchImpl(L"ACP.Util", {{L"TiltUpLimit", kTiltUpLimit},
                                   {L"MinimumElevation", kMinimumElevation},
                                   {L"GetHorizon", kGetHorizon},
                                   {L"LocalUser", kLocalUser}}),
        util_(std::move(util)) {}

 protected:
  void invoke(DISPID id, const DispatchCall& c) override {
    IPrefs& prefs = util_->Prefs();
    switch (id) {
      case kTiltUpLimit: c.expectGet(); c.returnNumber(prefs.TiltUpLimit()); break;
      case kMinimumElevation: c.expectGet(); c.returnNumber(prefs.MinimumElevation()); break;
      case kGetHorizon: c.expectGet(1, 1); c.returnNumber(prefs.GetHorizon(c.number(0))); break;
      case kLocalUser: c.expectGet(); c.returnObject(new LocalUser(util_)); break;
    }
  }

 private:
  std::shared_ptr<IUtil> util_;
};

class Weather : public DispatchImpl {
 public:
  explicit Weather(std::shared_ptr<IUtil> util) : DispatchImpl(L"ACP.Util", {{L"Safe", 1}}), util_(std::move(util)) {}

 protected:
  void invoke(DISPID, const DispatchCall& c) override {
    c.expectGet();
    c.returnBool(util_->Weather().Safe());
  }

 private:
  std::shared_ptr<IUtil> util_;
};

class Util : public DispatchImpl {
 public:
  enum : DISPID {
    kScriptActive = 1, kLoadScript, kRunScript, kAbortScript, kPrefs, kNewCTHereAndNow, kHMS_Hours, kDMS_Degrees,
    kHourAngle12, kSysJulianDate, kJulian_GMST, kDate_Julian, kJulian_Date, kFormatVar, kWeatherConnected, kWeather
  };
  explicit Util(std::unique_ptr<IUtil> util)
      : DispatchImpl(L"ACP.Util", {{L"ScriptActive", kScriptActive},
                                   {L"LoadScript", kLoadScript},
                                   {L"RunScript", kRunScript},
                                   {L"AbortScript", kAbortScript},
                                   {L"Prefs", kPrefs},
                                   {L"NewCTHereAndNow", kNewCTHereAndNow},
                                   {L"HMS_Hours", kHMS_Hours},
                                   {L"DMS_Degrees", kDMS_Degrees},
                                   {L"HourAngle12", kHourAngle12},
                                   {L"SysJulianDate", kSysJulianDate},
                                   {L"Julian_GMST", kJulian_GMST},
                                   {L"Date_Julian", kDate_Julian},
                                   {L"Julian_Date", kJulian_Date},
                                   {L"FormatVar", kFormatVar},
                                   {L"WeatherConnected", kWeatherConnected},
                                   {L"Weather", kWeather}}),
        util_(std::move(util)) {}

 protected:
  void invoke(DISPID id, const DispatchCall& c) override {
    IUtil& u = *util_;
    switch (id) {
      case kScriptActive: c.expectGet(); c.returnBool(u.ScriptActive()); break;
      case kLoadScript: c.expectGet(1, 1); u.LoadScript(c.text(0, "LoadScript")); break;
      case kRunScript: c.expectGet(); u.RunScript(); break;
      case kAbortScript: c.expectGet(); u.AbortScript(); break;
      case kPrefs: c.expectGet(); c.returnObject(new Prefs(util_)); break;
      case kNewCTHereAndNow: c.expectGet(); c.returnObject(new Transform(u.NewCTHereAndNow())); break;
      case kHMS_Hours: c.expectGet(1, 1); c.returnNumber(u.HMS_Hours(c.text(0, "HMS_Hours"))); break;
      case kDMS_Degrees: c.expectGet(1, 1); c.returnNumber(u.DMS_Degrees(c.text(0, "DMS_Degrees"))); break;
      case kHourAngle12:
        c.expectGet(1, 2);
        c.returnNumber(c.count() == 1 ? u.HourAngle12(c.number(0)) : u.HourAngle12(c.number(0), c.number(1)));
        break;
      case kSysJulianDate: c.expectGet(); c.returnNumber(u.SysJulianDate()); break;
      case kJulian_GMST: c.expectGet(1, 1); c.returnNumber(u.Julian_GMST(c.number(0))); break;
      case kDate_Julian: c.expectGet(1, 1); c.returnNumber(u.Date_Julian(c.date(0))); break;
      case kJulian_Date: c.expectGet(1, 1); c.returnDate(u.Julian_Date(c.number(0))); break;
      case kFormatVar:
        c.expectGet(2, 2);
        c.returnText(u.FormatVar(c.date(0), c.text(1, "FormatVar")), "FormatVar");
        break;
      case kWeatherConnected: c.expectGet(); c.returnBool(u.WeatherConnected()); break;
      case kWeather: c.expectGet(); c.returnObject(new Weather(util_)); break;
    }
  }

 private:
  std::shared_ptr<IUtil> util_;
};

class Telescope : public DispatchImpl {
 public:
  enum : DISPID { kAlignmentMode = 1, kSiteLatitude, kSiteLongitude, kCanPark, kCanUnpark, kPark, kUnpark };
  explicit Telescope(std::unique_ptr<ITelescope> t)
      : DispatchImpl(L"ACP.Telescope", {{L"AlignmentMode", kAlignmentMode},
                                        {L"SiteLatitude", kSiteLatitude},
                                        {L"SiteLongitude", kSiteLongitude},
                                        {L"CanPark", kCanPark},
                                        {L"CanUnpark", kCanUnpark},
                                        {L"Park", kPark},
                                        {L"Unpark", kUnpark}}),
        t_(std::move(t)) {}

 protected:
  void invoke(DISPID id, const DispatchCall& c) override {
    c.expectGet();
    switch (id) {
      case kAlignmentMode: c.returnLong(t_->AlignmentMode()); break;
      case kSiteLatitude: c.returnNumber(t_->SiteLatitude()); break;
      case kSiteLongitude: c.returnNumber(t_->SiteLongitude()); break;
      case kCanPark: c.returnBool(t_->CanPark()); break;
      case kCanUnpark: c.returnBool(t_->CanUnpark()); break;
      case kPark: t_->Park(); break;
      case kUnpark: t_->Unpark(); break;
    }
  }

 private:
  std::unique_ptr<ITelescope> t_;
};

class Application : public DispatchImpl {
 public:
  explicit Application(std::unique_ptr<IApplication> a)
      : DispatchImpl(L"ACP.Application", {{L"Path", 1}}), a_(std::move(a)) {}

 protected:
  void invoke(DISPID, const DispatchCall& c) override {
    c.expectGet();
    c.returnText(a_->Path(), "Path");
  }

 private:
  std::unique_ptr<IApplication> a_;
};

// ---- class factories ----

class ClassFactory : public IClassFactory {
 public:
  explicit ClassFactory(std::function<ComPtr<IDispatch>()> make) : make_(std::move(make)) {}
  virtual ~ClassFactory() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      ComPtr<IDispatch> object = make_();
      return object->QueryInterface(riid, out);
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  std::atomic<ULONG> refs_{1};
  std::function<ComPtr<IDispatch>()> make_;
};

// ---- registry ----

std::wstring clsidText(const CLSID& clsid) {
  wchar_t buffer[64] = {};
  StringFromGUID2(clsid, buffer, 64);
  return buffer;
}

const std::wstring kClasses = L"Software\\Classes\\";

struct ClassEntry {
  const char* progId;
  const CLSID* clsid;
};
const ClassEntry kClasses3[] = {
    {kUtilProgId, &kStandinUtilClsid},
    {kTelescopeProgId, &kStandinTelescopeClsid},
    {kApplicationProgId, &kStandinApplicationClsid},
};

std::wstring wide(const char* ascii) { return wideFromNarrow(ascii, ascii); }

// Where the stand-in's classes are written: the user's own classes (HKCU\Software\Classes),
// which need no administrator. Wine does not merge those into HKEY_CLASSES_ROOT when it
// looks up a ProgID, so under Wine the machine's classes (HKLM\Software\Classes) are used.
HKEY classesRoot() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// The default value of Software\Classes\<key> below classesRoot(); false when the key does not exist.
bool readDefault(const std::wstring& key, std::wstring& value) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(classesRoot(), (kClasses + key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  LSTATUS s = RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(h);
  value = (s == ERROR_SUCCESS && type == REG_SZ) ? std::wstring(buffer) : std::wstring();
  return true;
}

void writeDefault(const std::wstring& key, const std::wstring& value) {
  HKEY h = nullptr;
  LSTATUS s = RegCreateKeyExW(classesRoot(), (kClasses + key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                              nullptr);
  if (s == ERROR_SUCCESS) {
    s = RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
  }
  if (s != ERROR_SUCCESS) fail("the stand-in's registry key HKCU\\Software\\Classes\\" + narrowFromWide(key, "key"), HRESULT_FROM_WIN32(s));
}

void deleteTree(const std::wstring& key) { RegDeleteTreeW(classesRoot(), (kClasses + key).c_str()); }

// Writes the keys of one class; returns the keys it created (to delete afterwards).
std::vector<std::wstring> writeClass(const ClassEntry& entry, const std::wstring& localServer) {
  const std::wstring progId = wide(entry.progId);
  const std::wstring clsid = clsidText(*entry.clsid);
  std::wstring existing;
  const bool named = readDefault(progId + L"\\CLSID", existing);
  if (named && lstrcmpiW(existing.c_str(), clsid.c_str()) != 0)
    throw RunTimeError(std::string(entry.progId) + ": HKCU\\Software\\Classes already names another class (" +
                       narrowFromWide(existing, entry.progId) + "); the stand-in does not replace it");
  std::vector<std::wstring> created;
  // A key of its own (new, or left by an earlier stand-in) goes again with the stand-in.
  if (named || !readDefault(progId, existing)) created.push_back(progId);
  writeDefault(progId, progId);
  writeDefault(progId + L"\\CLSID", clsid);
  if (!localServer.empty()) {
    const std::wstring key = L"CLSID\\" + clsid;
    created.push_back(key);
    writeDefault(key, progId);
    writeDefault(key + L"\\ProgID", progId);
    writeDefault(key + L"\\LocalServer32", L"\"" + localServer + L"\"");
  }
  return created;
}

}  // namespace

ComPtr<IDispatch> standinUtil(std::unique_ptr<IUtil> util) { return ComPtr<IDispatch>::adopt(new Util(std::move(util))); }
ComPtr<IDispatch> standinTelescope(std::unique_ptr<ITelescope> telescope) {
  return ComPtr<IDispatch>::adopt(new Telescope(std::move(telescope)));
}
ComPtr<IDispatch> standinApplication(std::unique_ptr<IApplication> application) {
  return ComPtr<IDispatch>::adopt(new Application(std::move(application)));
}

StandinRegistration::StandinRegistration(IHostFactory& host, DWORD context, bool writeKeys) {
  IHostFactory* h = &host;
  const std::function<ComPtr<IDispatch>()> makers[] = {
      [h] { return standinUtil(h->createUtil()); },
      [h] { return standinTelescope(h->createTelescope()); },
      [h] { return standinApplication(h->createApplication()); },
  };
  const bool server = (context & CLSCTX_LOCAL_SERVER) != 0;
  try {
    for (int i = 0; i < 3; ++i) {
      if (writeKeys)
        for (std::wstring& key : writeClass(kClasses3[i], {})) keys_.push_back(std::move(key));
      ComPtr<IClassFactory> factory = ComPtr<IClassFactory>::adopt(new ClassFactory(makers[i]));
      DWORD cookie = 0;
      HRESULT hr = CoRegisterClassObject(*kClasses3[i].clsid, factory.get(), context,
                                         server ? REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED : REGCLS_MULTIPLEUSE, &cookie);
      if (FAILED(hr)) fail(std::string("CoRegisterClassObject(") + kClasses3[i].progId + ")", hr);
      cookies_.push_back(cookie);
    }
  } catch (...) {
    release();
    throw;
  }
}

StandinRegistration::~StandinRegistration() { release(); }

void StandinRegistration::release() {
  for (DWORD cookie : cookies_) CoRevokeClassObject(cookie);
  cookies_.clear();
  for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) deleteTree(*it);
  keys_.clear();
}

void StandinRegistration::resume() {
  HRESULT hr = CoResumeClassObjects();
  if (FAILED(hr)) fail("CoResumeClassObjects", hr);
}

void registerLocalServer(const std::wstring& exePath) {
  for (const ClassEntry& entry : kClasses3) writeClass(entry, exePath);
}

void unregisterLocalServer() {
  for (const ClassEntry& entry : kClasses3) {
    const std::wstring progId = wide(entry.progId);
    const std::wstring clsid = clsidText(*entry.clsid);
    std::wstring existing;
    if (readDefault(progId + L"\\CLSID", existing) && lstrcmpiW(existing.c_str(), clsid.c_str()) == 0) deleteTree(progId);
    deleteTree(L"CLSID\\" + clsid);
  }
}

}  // namespace np::com
