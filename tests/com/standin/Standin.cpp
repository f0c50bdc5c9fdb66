#include "com/standin/Standin.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "host/HostMembers.h"
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

std::wstring wide(const char* ascii) { return wideFromNarrow(ascii, ascii); }

// ---- the objects, served from the member table ----

// One row of HostMembers.h for the object I: its automation name, its kind, how many
// arguments it takes, and how a call of it is served.
template <class I>
struct ServedRow {
  const char* name;
  HostMemberKind kind;
  UINT arity;
  void (*serve)(const std::shared_ptr<I>& object, const DispatchCall& call, const std::wstring& source);
};

// The members the host's type library declares as methods. Every other member that gives
// a value is a property, read with DISPATCH_PROPERTYGET (a client asking for either sends
// DISPATCH_METHOD | DISPATCH_PROPERTYGET); a property that is put (Put) is also read.
bool isMethod(const char* name) {
  static const char* const methods[] = {"LoadScript",  "RunScript",   "AbortScript", "HMS_Hours",      "DMS_Degrees",
                                        "HourAngle12", "Julian_GMST", "Date_Julian", "Julian_Date",    "FormatVar",
                                        "GetHorizon",  "Park",        "Unpark",      "NewCTHereAndNow"};
  for (const char* m : methods)
    if (std::strcmp(m, name) == 0) return true;
  return false;
}

// The rows of each object, defined below (an object's after those of the objects it hands out).
template <class I>
const std::vector<ServedRow<I>>& servedRows();

// A host object as an automation object: one DISPID for each automation name (overloads
// share theirs and are told apart by their argument count). `source` names the object
// in EXCEPINFO; the objects it hands out have the same.
template <class I>
class Served : public DispatchImpl {
 public:
  Served(std::wstring source, std::shared_ptr<I> object)
      : DispatchImpl(source, members()), source_(std::move(source)), object_(std::move(object)) {}

 protected:
  void invoke(DISPID id, const DispatchCall& c) override {
    const std::vector<ServedRow<I>>& rows = servedRows<I>();
    const ServedRow<I>& named = rows.at(static_cast<std::size_t>(id - 1));
    UINT fewest = named.arity, most = named.arity;
    for (const ServedRow<I>& row : rows) {
      if (std::strcmp(row.name, named.name) != 0) continue;
      fewest = std::min(fewest, row.arity);
      most = std::max(most, row.arity);
    }
    if (named.kind == HostMemberKind::Put) c.expectPut();
    else if (isMethod(named.name)) c.expectMethod(fewest, most);
    else c.expectProperty(fewest, most);
    for (const ServedRow<I>& row : rows)
      if (std::strcmp(row.name, named.name) == 0 && row.arity == c.count()) return row.serve(object_, c, source_);
    throw DispatchFailure{DISP_E_BADPARAMCOUNT};
  }

 private:
  static std::vector<DispatchMember> members() {
    const std::vector<ServedRow<I>>& rows = servedRows<I>();
    std::vector<DispatchMember> members;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      bool named = false;
      for (std::size_t j = 0; j < i; ++j) named = named || std::strcmp(rows[j].name, rows[i].name) == 0;
      if (!named) members.push_back({wide(rows[i].name), static_cast<DISPID>(i + 1)});
    }
    return members;
  }

  std::wstring source_;
  std::shared_ptr<I> object_;
};

template <class T>
T argument(const DispatchCall& c, UINT position, const char* member) {
  if constexpr (std::is_same_v<T, double>) return c.number(position);
  else if constexpr (std::is_same_v<T, DateTime>) return c.date(position);
  else return c.text(position, member);
}

// A member's result as the call's result: a value, or another of the host's objects
// served in its turn (one the member gave by reference stays the owner's).
template <class I, class R>
void give(const DispatchCall& c, R&& value, const char* member, const std::shared_ptr<I>& owner,
          const std::wstring& source) {
  using T = std::remove_cvref_t<R>;
  if constexpr (std::is_same_v<T, bool>) c.returnBool(value);
  else if constexpr (std::is_same_v<T, int>) c.returnLong(value);
  else if constexpr (std::is_same_v<T, double>) c.returnNumber(value);
  else if constexpr (std::is_same_v<T, DateTime>) c.returnDate(value);
  else if constexpr (std::is_same_v<T, std::string>) c.returnText(value, member);
  else if constexpr (std::is_lvalue_reference_v<R>) c.returnObject(new Served<T>(source, std::shared_ptr<T>(owner, &value)));
  else c.returnObject(new Served<typename T::element_type>(source, std::shared_ptr<typename T::element_type>(std::move(value))));
}

// One call of `member`: its arguments read in their written order, then the member called.
template <class I, class R, class... A, std::size_t... P>
void serveCall(const std::shared_ptr<I>& object, [[maybe_unused]] const DispatchCall& c, R (I::*member)(A...),
               [[maybe_unused]] const char* name,
               [[maybe_unused]] const std::wstring& source, std::index_sequence<P...>) {
  std::tuple<std::decay_t<A>...> args{argument<std::decay_t<A>>(c, static_cast<UINT>(P), name)...};
  auto call = [&](auto&... a) -> R { return ((*object).*member)(a...); };
  if constexpr (std::is_void_v<R>) std::apply(call, args);
  else give(c, std::apply(call, args), name, object, source);
}

template <class I, class R, class... A>
void serve(const std::shared_ptr<I>& object, const DispatchCall& c, R (I::*member)(A...), const char* name,
           const std::wstring& source) {
  serveCall(object, c, member, name, source, std::index_sequence_for<A...>{});
}

template <class I, class R, class... A>
constexpr UINT arityOf(R (I::*)(A...)) {
  return sizeof...(A);
}

#define NP_STANDIN_ROW(object, key, member, automation, kind, result, parameters, arguments)                     \
  {automation, HostMemberKind::kind, arityOf(NP_HOST_MEMBER_POINTER(object, member, result, parameters)),          \
   [](const std::shared_ptr<I##object>& o, const DispatchCall& c, const std::wstring& source) {                    \
     serve(o, c, NP_HOST_MEMBER_POINTER(object, member, result, parameters), automation, source);                   \
   }},
#define NP_STANDIN_ROWS(object, list)                                        \
  template <>                                                                \
  const std::vector<ServedRow<I##object>>& servedRows<I##object>() {         \
    static const std::vector<ServedRow<I##object>> rows = {list(NP_STANDIN_ROW)}; \
    return rows;                                                             \
  }

NP_STANDIN_ROWS(CoordinateTransform, NP_HOST_COORDINATETRANSFORM)
NP_STANDIN_ROWS(LocalUser, NP_HOST_LOCALUSER)
NP_STANDIN_ROWS(Prefs, NP_HOST_PREFS)
NP_STANDIN_ROWS(Weather, NP_HOST_WEATHER)
NP_STANDIN_ROWS(Util, NP_HOST_UTIL)
NP_STANDIN_ROWS(Telescope, NP_HOST_TELESCOPE)
NP_STANDIN_ROWS(Application, NP_HOST_APPLICATION)

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

ComPtr<IDispatch> standinUtil(std::unique_ptr<IUtil> util) {
  return ComPtr<IDispatch>::adopt(new Served<IUtil>(wide(kUtilProgId), std::move(util)));
}
ComPtr<IDispatch> standinTelescope(std::unique_ptr<ITelescope> telescope) {
  return ComPtr<IDispatch>::adopt(new Served<ITelescope>(wide(kTelescopeProgId), std::move(telescope)));
}
ComPtr<IDispatch> standinApplication(std::unique_ptr<IApplication> application) {
  return ComPtr<IDispatch>::adopt(new Served<IApplication>(wide(kApplicationProgId), std::move(application)));
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
