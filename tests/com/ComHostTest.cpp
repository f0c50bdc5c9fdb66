// The host through its automation objects: the stand-in serves the simulated observatory
// as "ACP.Util", "ACP.Telescope" and "ACP.Application" in this process, and the client
// reaches it the way it reaches the real host, by ProgID and late-bound IDispatch.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "base/Errors.h"
#include "host/HostMembers.h"
#include "host/com/ComHost.h"
#include "host/com/ComSupport.h"
#include "com/standin/Standin.h"
#include "support/FakeHost.h"
#include "support/SampleNight.h"
#include "support/TestWorld.h"

namespace np::test {
namespace {

using ::testing::HasSubstr;

const char kNight[] = "2026-12-07T12:00:00Z";  // 05:00 local at the default site
const char kOneTarget[] = "Near Meridian\t10:00:00\t+30:00:00\r\n**** remaining=1\r\n";

// Runs one plan of the main window to its end, then presses Stop.
void runOnePlan(TestWorld& w) {
  w.writeListText(kOneTarget);
  w.main->Form_Load();
  bool runningSeen = false;
  w.user = [&] {
    if (!w.main->running()) return;
    if (w.host->scriptActive()) runningSeen = true;
    if (runningSeen && !w.host->scriptRunning()) w.main->StopButton_Click();
  };
  w.main->StartButton_Click();
  EXPECT_TRUE(runningSeen);
}

TEST(ComHost, ANightThroughTheAutomationObjectsIsTheNightOnTheObjectsThemselves) {
  com::ComApartment apartment;
  TestWorld direct("", kNight);
  runOnePlan(direct);

  TestWorld viaCom("", kNight);
  {
    com::StandinRegistration served(*viaCom.host, CLSCTX_INPROC_SERVER);
    com::ComHostFactory host;
    viaCom.wireMain(host, viaCom.files);
    runOnePlan(viaCom);
    viaCom.main.reset();  // releases the automation objects before the classes go
  }
  EXPECT_EQ(viaCom.runLog(), direct.runLog());
  EXPECT_EQ(viaCom.listText(), direct.listText());
  EXPECT_EQ(readFileBytes(viaCom.planPath()), readFileBytes(direct.planPath()));
  EXPECT_THAT(viaCom.runLog(), HasSubstr("Running ACP plan for selected target:Near Meridian"));
}

// The host reached through the stand-in's automation objects, served in this process
// over the run's simulated observatory.
class ThroughCom : public IHostFactory {
 public:
  explicit ThroughCom(IHostFactory& observatory) : served_(observatory, CLSCTX_INPROC_SERVER) {}
  std::unique_ptr<IUtil> createUtil() override { return com_.createUtil(); }
  std::unique_ptr<ITelescope> createTelescope() override { return com_.createTelescope(); }
  std::unique_ptr<IApplication> createApplication() override { return com_.createApplication(); }

 private:
  com::StandinRegistration served_;
  com::ComHostFactory com_;
};

// A whole night (day, dusk, plans, dawn, the report) through COM is the night the Linux
// build's headless runner recorded, byte for byte: every file and every printed line.
TEST(ComHost, TheSampleNightThroughTheAutomationObjectsIsTheRecordedLinuxNight) {
  com::ComApartment apartment;
  const SampleNight night = runSampleNight(
      [](IHostFactory& observatory) -> std::unique_ptr<IHostFactory> { return std::make_unique<ThroughCom>(observatory); });
  EXPECT_EQ(differences(night, recordedSampleNight()), "");
  EXPECT_THAT(night.runLog, HasSubstr("Running ACP plan for selected target:NGC 253 Sculptor Galaxy"));
}

class ComMembers : public ::testing::Test {
 protected:
  com::ComApartment apartment;
  TestWorld w{"", kNight};
  com::StandinRegistration served{*w.host, CLSCTX_INPROC_SERVER};
  com::ComHostFactory factory;
};

TEST_F(ComMembers, GiveWhatTheObjectsGiveDirectly) {
  auto util = factory.createUtil();
  auto telescope = factory.createTelescope();
  auto app = factory.createApplication();
  IUtil& d = *w.util;

  EXPECT_DOUBLE_EQ(util->HMS_Hours("10:30:00"), d.HMS_Hours("10:30:00"));
  EXPECT_DOUBLE_EQ(util->DMS_Degrees("-12:30:00"), d.DMS_Degrees("-12:30:00"));
  EXPECT_DOUBLE_EQ(util->SysJulianDate(), d.SysJulianDate());
  EXPECT_DOUBLE_EQ(util->Julian_GMST(2461382.0), d.Julian_GMST(2461382.0));
  EXPECT_DOUBLE_EQ(util->HourAngle12(5.5), d.HourAngle12(5.5));
  EXPECT_DOUBLE_EQ(util->HourAngle12(5.5, 20.0), d.HourAngle12(5.5, 20.0));
  EXPECT_EQ(util->ScriptActive(), d.ScriptActive());
  EXPECT_EQ(util->WeatherConnected(), d.WeatherConnected());
  if (d.WeatherConnected()) {
    EXPECT_EQ(util->Weather().Safe(), d.Weather().Safe());
  }

  // Date-times cross as VT_DATE both ways, before the OLE epoch too.
  for (double serial : {46363.25, 0.5, -1.25, -700.75}) {
    const DateTime local{serial};
    EXPECT_DOUBLE_EQ(util->Date_Julian(local), d.Date_Julian(local)) << serial;
    EXPECT_DOUBLE_EQ(util->Julian_Date(d.Date_Julian(local)).serial, d.Julian_Date(d.Date_Julian(local)).serial)
        << serial;
  }
  const DateTime quit{46363.5};
  EXPECT_EQ(util->FormatVar(quit, "General Date"), d.FormatVar(quit, "General Date"));

  // Property chains.
  EXPECT_DOUBLE_EQ(util->Prefs().TiltUpLimit(), d.Prefs().TiltUpLimit());
  EXPECT_DOUBLE_EQ(util->Prefs().MinimumElevation(), d.Prefs().MinimumElevation());
  EXPECT_DOUBLE_EQ(util->Prefs().GetHorizon(123.0), d.Prefs().GetHorizon(123.0));
  EXPECT_EQ(util->Prefs().LocalUser().DefaultPlanDir(), d.Prefs().LocalUser().DefaultPlanDir());
  EXPECT_EQ(util->Prefs().LocalUser().DefaultLogDir(), d.Prefs().LocalUser().DefaultLogDir());

  // A transform: property puts, then gets.
  auto viaCom = util->NewCTHereAndNow();
  auto own = d.NewCTHereAndNow();
  for (auto* ct : {viaCom.get(), own.get()}) {
    ct->setRightAscension(10.0);
    ct->setDeclination(30.0);
  }
  EXPECT_DOUBLE_EQ(viaCom->Elevation(), own->Elevation());
  EXPECT_DOUBLE_EQ(viaCom->Azimuth(), own->Azimuth());

  EXPECT_EQ(telescope->AlignmentMode(), w.telescope->AlignmentMode());
  EXPECT_DOUBLE_EQ(telescope->SiteLatitude(), w.telescope->SiteLatitude());
  EXPECT_DOUBLE_EQ(telescope->SiteLongitude(), w.telescope->SiteLongitude());
  EXPECT_EQ(telescope->CanPark(), w.telescope->CanPark());
  EXPECT_EQ(telescope->CanUnpark(), w.telescope->CanUnpark());
  EXPECT_EQ(app->Path(), w.app->Path());
}

TEST_F(ComMembers, AFailingMemberNamesItselfAndTheHostsDescription) {
  auto util = factory.createUtil();
  std::string direct;
  try {
    w.util->HMS_Hours("abc");
  } catch (const RunTimeError& e) {
    direct = e.what();
  }
  ASSERT_FALSE(direct.empty());
  try {
    util->HMS_Hours("abc");
    FAIL() << "no failure";
  } catch (const RunTimeError& e) {
    EXPECT_THAT(std::string(e.what()), HasSubstr("HMS_Hours"));
    EXPECT_THAT(std::string(e.what()), HasSubstr("cannot read 'abc'"));
    // The host's own code, not the "exception occurred" of every raised error.
    EXPECT_THAT(std::string(e.what()), HasSubstr("(0x80040401)"));
  }
}

// The stand-in answers as a typed server does, so that a client that asks for a member
// the wrong way fails here as it would against the host.
class TypedServer : public ComMembers {
 protected:
  HRESULT invoke(IDispatch* object, const wchar_t* member, WORD flags, std::vector<VARIANT> args = {},
                 EXCEPINFO* info = nullptr) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{args.empty() ? nullptr : args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()),
                      put ? 1u : 0u};
    com::Variant result;
    EXCEPINFO own{};
    UINT argError = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, put ? nullptr : result.get(),
                        info ? info : &own, &argError);
    if (!info) {
      SysFreeString(own.bstrSource);
      SysFreeString(own.bstrDescription);
      SysFreeString(own.bstrHelpFile);
    }
    return hr;
  }
  static VARIANT number(double d) {
    VARIANT v;
    v.vt = VT_R8;
    v.dblVal = d;
    return v;
  }
  com::ComPtr<IDispatch> util = com::createByProgId(com::kUtilProgId);
  com::ComPtr<IDispatch> telescope = com::createByProgId(com::kTelescopeProgId);
};

TEST_F(TypedServer, APropertyIsReadAsAPropertyAndAMethodCalledAsAMethod) {
  const WORD either = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  EXPECT_EQ(invoke(util.get(), L"ScriptActive", either), S_OK);
  EXPECT_EQ(invoke(util.get(), L"ScriptActive", DISPATCH_PROPERTYGET), S_OK);
  EXPECT_EQ(invoke(util.get(), L"ScriptActive", DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invoke(telescope.get(), L"SiteLatitude", DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invoke(util.get(), L"Prefs", DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);

  EXPECT_EQ(invoke(util.get(), L"HourAngle12", either, {number(5.5)}), S_OK);
  EXPECT_EQ(invoke(util.get(), L"HourAngle12", DISPATCH_METHOD, {number(5.5)}), S_OK);
  EXPECT_EQ(invoke(util.get(), L"HourAngle12", DISPATCH_PROPERTYGET, {number(5.5)}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invoke(telescope.get(), L"Unpark", DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);

  // Puts: on a property that cannot be written, on a method.
  EXPECT_EQ(invoke(telescope.get(), L"SiteLatitude", DISPATCH_PROPERTYPUT, {number(10)}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(invoke(util.get(), L"HMS_Hours", DISPATCH_PROPERTYPUT, {number(10)}), DISP_E_MEMBERNOTFOUND);

  // Argument counts: too few, too many (an overload takes one or two).
  EXPECT_EQ(invoke(util.get(), L"HourAngle12", DISPATCH_METHOD), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invoke(util.get(), L"HourAngle12", DISPATCH_METHOD, {number(1), number(2), number(3)}),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(invoke(util.get(), L"ScriptActive", DISPATCH_PROPERTYGET, {number(1)}), DISP_E_BADPARAMCOUNT);
}

TEST_F(TypedServer, ARaisedErrorCarriesTheHostsCodeSourceAndDescription) {
  VARIANT text;
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(L"abc");
  EXCEPINFO info{};
  EXPECT_EQ(invoke(util.get(), L"HMS_Hours", DISPATCH_METHOD, {text}, &info), DISP_E_EXCEPTION);
  VariantClear(&text);
  EXPECT_EQ(info.scode, static_cast<HRESULT>(0x80040401u));
  ASSERT_NE(info.bstrDescription, nullptr);
  EXPECT_THAT(std::wstring(info.bstrDescription), ::testing::HasSubstr(L"abc"));
  ASSERT_NE(info.bstrSource, nullptr);
  EXPECT_EQ(std::wstring(info.bstrSource), L"ACP.Util");
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
}

// What the client sends: a client that read a property by DISPATCH_METHOD alone (as its
// call() does) would fail against the host, and fails against the stand-in.
TEST_F(TypedServer, TheClientReadsPropertiesTheWayATypedServerTakesThem) {
  com::DispatchObject object(util, "Util");
  EXPECT_NO_THROW(object.get("ScriptActive"));
  try {
    object.call("ScriptActive");
    FAIL() << "a property was called as a method";
  } catch (const RunTimeError& e) {
    EXPECT_THAT(std::string(e.what()), HasSubstr("Util.ScriptActive"));
    EXPECT_THAT(std::string(e.what()), HasSubstr("(0x80020003)"));  // DISP_E_MEMBERNOTFOUND
  }
}

// ---- every member of the table, by its automation name ----

template <class R>
R sample() {
  if constexpr (std::is_void_v<R>) return;
  else if constexpr (std::is_same_v<R, bool>) return true;
  else if constexpr (std::is_same_v<R, int>) return 1;
  else if constexpr (std::is_same_v<R, double>) return 1.5;
  else if constexpr (std::is_same_v<R, DateTime>) return DateTime{45000.5};
  else return R("text");
}

// A member that gives a value gives the sample of its type; the others hand out objects.
template <class R, class... A>
void answerWithSample(FakeMember<R(A...)>& member) {
  if constexpr (std::is_void_v<R> || std::is_arithmetic_v<R> || std::is_same_v<R, DateTime> ||
                std::is_same_v<R, std::string>)
    member.answer = [](A...) -> R { return sample<R>(); };
}

// Calls `member` of `object` with sample arguments; what it gives must be the sample.
template <class Object, class R, class... A>
void callWithSamples(Object& object, R (Object::*member)(A...), const std::string& name) {
  if constexpr (std::is_void_v<R>) {
    (object.*member)(sample<std::decay_t<A>>()...);
  } else if constexpr (std::is_same_v<R, DateTime>) {
    EXPECT_EQ((object.*member)(sample<std::decay_t<A>>()...).serial, sample<R>().serial) << name;
  } else if constexpr (std::is_arithmetic_v<R> || std::is_same_v<R, std::string>) {
    EXPECT_EQ((object.*member)(sample<std::decay_t<A>>()...), sample<R>()) << name;
  } else {
    (object.*member)();
  }
}

#define NP_ANSWER_WITH_SAMPLE(object, key, member, automation, kind, result, parameters, arguments) \
  answerWithSample(fake##object.members.key);

// The fake host served by the stand-in, every member answered, and its objects as the
// automation client reaches them.
struct EveryMember {
  EveryMember() {
    NP_HOST_MEMBERS(NP_ANSWER_WITH_SAMPLE)
    host.util.members.NewCTHereAndNow.answer = [this]() -> std::unique_ptr<ICoordinateTransform> {
      auto handle = std::make_unique<FakeCoordinateTransform>();
      handle->answerAs(fakeCoordinateTransform);
      return handle;
    };
  }
  FakeHost host;
  FakeCoordinateTransform fakeCoordinateTransform;
  FakeUtil& fakeUtil = host.util;
  FakePrefs& fakePrefs = host.prefs;
  FakeLocalUser& fakeLocalUser = host.localUser;
  FakeWeather& fakeWeather = host.weather;
  FakeTelescope& fakeTelescope = host.telescope;
  FakeApplication& fakeApplication = host.application;
};

#define NP_CALL_THROUGH_COM(object, key, member, automation, kind, result, parameters, arguments) \
  callWithSamples(com##object, NP_HOST_MEMBER_POINTER(object, member, result, parameters), #object "." #key);
// A member that gives a value was called once; one that gives an object at least once
// (the client keeps some of the objects it was given, and asks for the weather object
// at every reading of it).
#define NP_CHECK_CALLS(object, key, member, automation, kind, result, parameters, arguments) \
  if (HostMemberKind::kind == HostMemberKind::Object) {                                     \
    EXPECT_GE(all.fake##object.members.key.calls, 1) << #object "." #key;                   \
  } else {                                                                                  \
    EXPECT_EQ(all.fake##object.members.key.calls, 1) << #object "." #key;                   \
  }

TEST(ComHost, EveryMemberOfTheTableReachesTheHostUnderItsAutomationName) {
  com::ComApartment apartment;
  EveryMember all;
  {
    com::StandinRegistration served(all.host, CLSCTX_INPROC_SERVER);
    com::ComHostFactory factory;
    auto util = factory.createUtil();
    auto telescope = factory.createTelescope();
    auto application = factory.createApplication();
    auto transform = util->NewCTHereAndNow();
    IUtil& comUtil = *util;
    IPrefs& comPrefs = util->Prefs();
    ILocalUser& comLocalUser = comPrefs.LocalUser();
    IWeather& comWeather = util->Weather();
    ITelescope& comTelescope = *telescope;
    IApplication& comApplication = *application;
    ICoordinateTransform& comCoordinateTransform = *transform;
    NP_HOST_MEMBERS(NP_CALL_THROUGH_COM)
  }
  NP_HOST_MEMBERS(NP_CHECK_CALLS)
}

TEST(ComHostFactory, AHostThatIsNotInstalledIsNamedByItsProgId) {
  com::ComApartment apartment;
  com::ComHostFactory factory;
  try {
    factory.createUtil();
    FAIL() << "created without a host";
  } catch (const RunTimeError& e) {
    EXPECT_THAT(std::string(e.what()), HasSubstr("ACP.Util"));
  }
}

TEST(ComText, ATextOutsideTheCodePageFailsNamingTheMember) {
  // U+4E2D has no form in the Western code pages Wine and Windows use by default.
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8: every text can be represented";
  try {
    com::narrowFromWide(L"Plans\x4E2D", "LocalUser.DefaultPlanDir");
    FAIL() << "converted";
  } catch (const RunTimeError& e) {
    EXPECT_THAT(std::string(e.what()), HasSubstr("LocalUser.DefaultPlanDir"));
  }
  EXPECT_EQ(com::narrowFromWide(L"C:\\Plans", "LocalUser.DefaultPlanDir"), "C:\\Plans");
}

}  // namespace
}  // namespace np::test
