#include "host/com/ComHost.h"

#include <optional>
#include <type_traits>
#include <vector>

#include "base/Errors.h"
#include "host/HostMembers.h"

namespace np::com {

namespace {

// ---- one member, by the table ----

Variant toVariant(double value, const std::string&) { return Variant::fromDouble(value); }
Variant toVariant(DateTime value, const std::string&) { return Variant::fromDate(value); }
Variant toVariant(const std::string& text, const std::string& member) { return Variant::fromText(text, member); }

template <class R>
R fromVariant(const Variant& v, const std::string& member) {
  if constexpr (std::is_same_v<R, double>) return toDouble(v, member);
  else if constexpr (std::is_same_v<R, bool>) return toBool(v, member);
  else if constexpr (std::is_same_v<R, int>) return static_cast<int>(toLong(v, member));
  else if constexpr (std::is_same_v<R, DateTime>) return toDateTime(v, member);
  else return toText(v, member);
}

// A call of one member of `object`, its arguments given to the call operator in their
// written order. A failure (a text the code page cannot hold, the call, a result that
// cannot be coerced) names the member as "<object>.<member>".
template <class R>
struct Invoke {
  DispatchObject& object;
  HostMemberKind kind;
  const char* member;

  template <class... A>
  R operator()(const A&... args) const {
    [[maybe_unused]] const std::string name = object.memberName(member);
    std::vector<Variant> values;
    (values.push_back(toVariant(args, name)), ...);
    if constexpr (std::is_void_v<R>) {
      if (kind == HostMemberKind::Put) object.put(member, std::move(values.at(0)));
      else object.call(member, std::move(values));
    } else {
      return fromVariant<R>(object.get(member, std::move(values)), name);
    }
  }
};

// The members of a list in HostMembers.h that give values, each an override calling the
// member of `object_` by its automation name. A member that gives another host object
// (kind Object) is written out by its class: each keeps or makes that object its own way.
#define NP_COM_MEMBER(object, key, member, automation, kind, result, parameters, arguments) \
  NP_COM_MEMBER_##kind(member, automation, kind, result, parameters, arguments)
#define NP_COM_VALUE(member, automation, kind, result, parameters, arguments) \
  result member parameters override { return Invoke<result>{object_, HostMemberKind::kind, automation} arguments; }
#define NP_COM_MEMBER_Get NP_COM_VALUE
#define NP_COM_MEMBER_Call NP_COM_VALUE
#define NP_COM_MEMBER_Put NP_COM_VALUE
#define NP_COM_MEMBER_Object(...)

// ---- the objects ----

class ComTransform : public ICoordinateTransform {
 public:
  explicit ComTransform(DispatchObject ct) : object_(std::move(ct)) {}
  NP_HOST_COORDINATETRANSFORM(NP_COM_MEMBER)

 private:
  DispatchObject object_;
};

class ComLocalUser : public ILocalUser {
 public:
  explicit ComLocalUser(DispatchObject user) : object_(std::move(user)) {}
  NP_HOST_LOCALUSER(NP_COM_MEMBER)

 private:
  DispatchObject object_;
};

class ComPrefs : public IPrefs {
 public:
  explicit ComPrefs(DispatchObject prefs) : object_(std::move(prefs)) {}
  NP_HOST_PREFS(NP_COM_MEMBER)
  ILocalUser& LocalUser() override {
    if (!user_) user_.emplace(object_.getObject("LocalUser"));
    return *user_;
  }

 private:
  DispatchObject object_;
  std::optional<ComLocalUser> user_;
};

// The weather object is asked for anew at every reading: it reports a device that the
// host may connect and disconnect while the program runs.
#define NP_COM_WEATHER_MEMBER(object, key, member, automation, kind, result, parameters, arguments) \
  result member parameters override {                                                         \
    DispatchObject weather = util_.getObject("Weather");                                       \
    return Invoke<result>{weather, HostMemberKind::kind, automation} arguments;                \
  }

class ComWeather : public IWeather {
 public:
  explicit ComWeather(DispatchObject& util) : util_(util) {}
  NP_HOST_WEATHER(NP_COM_WEATHER_MEMBER)

 private:
  DispatchObject& util_;
};

class ComUtil : public IUtil {
 public:
  explicit ComUtil(ComPtr<IDispatch> util) : object_(std::move(util), "Util"), weather_(object_) {}
  NP_HOST_UTIL(NP_COM_MEMBER)
  IPrefs& Prefs() override {
    if (!prefs_) prefs_.emplace(object_.getObject("Prefs"));
    return *prefs_;
  }
  std::unique_ptr<ICoordinateTransform> NewCTHereAndNow() override {
    const std::string member = object_.memberName("NewCTHereAndNow");
    ComPtr<IDispatch> ct = toDispatch(object_.get("NewCTHereAndNow"), member);
    return std::make_unique<ComTransform>(DispatchObject(std::move(ct), "CoordinateTransform"));
  }
  IWeather& Weather() override { return weather_; }

 private:
  DispatchObject object_;
  ComWeather weather_;
  std::optional<ComPrefs> prefs_;
};

class ComTelescope : public ITelescope {
 public:
  explicit ComTelescope(ComPtr<IDispatch> telescope) : object_(std::move(telescope), "Telescope") {}
  NP_HOST_TELESCOPE(NP_COM_MEMBER)

 private:
  DispatchObject object_;
};

class ComApplication : public IApplication {
 public:
  explicit ComApplication(ComPtr<IDispatch> app) : object_(std::move(app), "Application") {}
  NP_HOST_APPLICATION(NP_COM_MEMBER)

 private:
  DispatchObject object_;
};

}  // namespace

ComPtr<IDispatch> createByProgId(const std::string& progId) {
  const std::wstring wide = wideFromNarrow(progId, progId);
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
  if (FAILED(hr)) fail("CreateObject(\"" + progId + "\")", hr);
  ComPtr<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(object.put()));
  if (FAILED(hr)) fail("CreateObject(\"" + progId + "\")", hr);
  if (!object) throw RunTimeError("CreateObject(\"" + progId + "\"): no object");
  return object;
}

std::unique_ptr<IUtil> utilOver(ComPtr<IDispatch> util) { return std::make_unique<ComUtil>(std::move(util)); }
std::unique_ptr<ITelescope> telescopeOver(ComPtr<IDispatch> telescope) {
  return std::make_unique<ComTelescope>(std::move(telescope));
}
std::unique_ptr<IApplication> applicationOver(ComPtr<IDispatch> application) {
  return std::make_unique<ComApplication>(std::move(application));
}

std::unique_ptr<IUtil> ComHostFactory::createUtil() { return utilOver(createByProgId(kUtilProgId)); }
std::unique_ptr<ITelescope> ComHostFactory::createTelescope() { return telescopeOver(createByProgId(kTelescopeProgId)); }
std::unique_ptr<IApplication> ComHostFactory::createApplication() {
  return applicationOver(createByProgId(kApplicationProgId));
}

OpenedHost openComHost(const std::string& folder, const HostRequest& request) {
  if (request.manualStart) throw RunTimeError("the host by automation cannot take a dry run");
  OpenedHost opened;
  opened.clock = std::make_unique<SystemClock>();  // the computer's time; local time in the system's zone
  opened.host = std::make_unique<ComHostFactory>();
  opened.hostFolder = folder;
  return opened;
}

}  // namespace np::com
