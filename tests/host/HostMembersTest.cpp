// The member table (host/HostMembers.h) against the interfaces, through the fake host
// made from it: a fake object is concrete only if its list names every member of the
// interface, and compiles only if every row is one; each row then reaches its own
// answer, counted and journalled under its own name.
#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "host/HostMembers.h"
#include "support/FakeHost.h"

namespace np::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

static_assert(!std::is_abstract_v<FakeUtil>, "the table lacks a member of IUtil");
static_assert(!std::is_abstract_v<FakePrefs>, "the table lacks a member of IPrefs");
static_assert(!std::is_abstract_v<FakeLocalUser>, "the table lacks a member of ILocalUser");
static_assert(!std::is_abstract_v<FakeWeather>, "the table lacks a member of IWeather");
static_assert(!std::is_abstract_v<FakeTelescope>, "the table lacks a member of ITelescope");
static_assert(!std::is_abstract_v<FakeApplication>, "the table lacks a member of IApplication");
static_assert(!std::is_abstract_v<FakeCoordinateTransform>, "the table lacks a member of ICoordinateTransform");

template <class T>
T sample() {
  if constexpr (std::is_same_v<T, double>) return 1.5;
  else if constexpr (std::is_same_v<T, DateTime>) return DateTime{45000.5};
  else return T("text");
}

// Calls `member` of `object` with sample arguments, as the program would, when the test
// gave it no answer: the call must fail the test naming `name` and throw.
template <class Object, class R, class... A>
void callUnanswered(Object& object, R (Object::*member)(A...), const std::string& name) {
  ::testing::TestPartResultArray failures;
  bool threw = false;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
    try {
      (object.*member)(sample<std::decay_t<A>>()...);
    } catch (const std::logic_error&) {
      threw = true;
    }
  }
  EXPECT_TRUE(threw) << name;
  ASSERT_EQ(failures.size(), 1) << name;
  EXPECT_THAT(failures.GetTestPartResult(0).message(), HasSubstr("unexpected call of " + name + ":"));
}

#define NP_CALL_ROW(object, key, member, automation, kind, result, parameters, arguments)                  \
  {                                                                                                       \
    I##object& asInterface = host.fake##object;                                                           \
    callUnanswered(asInterface, NP_HOST_MEMBER_POINTER(object, member, result, parameters), #object "." #key); \
    EXPECT_EQ(host.fake##object.members.key.calls, 1) << #object "." #key;                                 \
    ASSERT_FALSE(host.journal.calls.empty());                                                             \
    EXPECT_EQ(host.journal.calls.back(), #object "." #key);                                               \
    ++rows;                                                                                               \
  }

// Every object of the table once, on one journal; none answers anything.
struct Unanswered {
  CallJournal journal{true, {}};
  FakeUtil fakeUtil{&journal};
  FakePrefs fakePrefs{&journal};
  FakeLocalUser fakeLocalUser{&journal};
  FakeWeather fakeWeather{&journal};
  FakeTelescope fakeTelescope{&journal};
  FakeApplication fakeApplication{&journal};
  FakeCoordinateTransform fakeCoordinateTransform{&journal};
};

TEST(HostMembers, EveryRowReachesItsOwnMemberAndNamesItWhenUnanswered) {
  Unanswered host;
  int rows = 0;
  NP_HOST_MEMBERS(NP_CALL_ROW)
  EXPECT_EQ(rows, 36);
  EXPECT_EQ(host.journal.calls.size(), 36u);
  // Each call was journalled once, under a name of its own.
  EXPECT_EQ(std::set<std::string>(host.journal.calls.begin(), host.journal.calls.end()).size(), 36u);
}

#define NP_AUTOMATION_NAME(object, key, member, automation, kind, result, parameters, arguments) \
  names.insert(std::string(#object) + "." + automation);

TEST(HostMembers, OnlyOverloadsShareAnAutomationName) {
  std::set<std::string> names;
  NP_HOST_MEMBERS(NP_AUTOMATION_NAME)
  EXPECT_EQ(names.size(), 35u);  // HourAngle12 takes one argument or two
  EXPECT_TRUE(names.count("CoordinateTransform.RightAscension"));
  EXPECT_TRUE(names.count("Util.HourAngle12"));
}

TEST(FakeHost, AnsweredMembersCountTheirCallsAndTheJournalKeepsTheirOrder) {
  FakeHost host;
  host.util.members.HMS_Hours.answer = [](const std::string& text) { return text == "5" ? 5.0 : -1.0; };
  host.util.members.DMS_Degrees.answer = [](const std::string&) { return 12.5; };
  host.journal.keeping = true;
  IUtil& util = host.util;
  EXPECT_EQ(util.HMS_Hours("5"), 5.0);
  EXPECT_EQ(util.DMS_Degrees("x"), 12.5);
  EXPECT_EQ(util.HMS_Hours("6"), -1.0);
  EXPECT_EQ(host.util.members.HMS_Hours.calls, 2);
  EXPECT_EQ(host.util.members.DMS_Degrees.calls, 1);
  EXPECT_THAT(host.journal.calls, ElementsAre("Util.HMS_Hours", "Util.DMS_Degrees", "Util.HMS_Hours"));
}

TEST(FakeHost, ObjectsReachOneAnotherAsTheHostsDo) {
  FakeHost host;
  host.localUser.members.DefaultPlanDir.answer = [] { return std::string("/plans"); };
  IUtil& util = host.util;
  EXPECT_EQ(&util.Prefs(), &host.prefs);
  EXPECT_EQ(&util.Weather(), &host.weather);
  EXPECT_EQ(util.Prefs().LocalUser().DefaultPlanDir(), "/plans");
}

TEST(FakeHost, HandsOutObjectsThatAnswerAsItsOwn) {
  FakeHost host;
  host.telescope.members.SiteLatitude.answer = [] { return -33.0; };
  host.application.members.Path.answer = [] { return std::string("C:\\Host"); };
  host.util.members.ScriptActive.answer = [] { return true; };
  EXPECT_EQ(host.createTelescope()->SiteLatitude(), -33.0);
  EXPECT_EQ(host.createApplication()->Path(), "C:\\Host");
  EXPECT_TRUE(host.createUtil()->ScriptActive());
  EXPECT_EQ(host.telescope.members.SiteLatitude.calls, 1);
  EXPECT_EQ(host.util.members.ScriptActive.calls, 1);
}

TEST(FakeHost, AnswersAsAnotherHostEveryMemberOfItsThreeObjects) {
  FakeHost inner;
  inner.util.members.ScriptActive.answer = [] { return true; };
  inner.util.members.HourAngle12AtLst.answer = [](double ra, double lst) { return lst - ra; };
  inner.telescope.members.AlignmentMode.answer = [] { return 1; };
  inner.application.members.Path.answer = [] { return std::string("/host"); };
  FakeHost outer;
  outer.answerAs(inner);
  EXPECT_TRUE(outer.util.ScriptActive());
  EXPECT_EQ(outer.util.HourAngle12(2.0, 5.0), 3.0);
  EXPECT_EQ(outer.telescope.AlignmentMode(), 1);
  EXPECT_EQ(outer.application.Path(), "/host");
  EXPECT_EQ(outer.util.members.ScriptActive.calls, 1);
  EXPECT_EQ(inner.util.members.ScriptActive.calls, 1);
  EXPECT_EQ(inner.util.members.HourAngle12.calls, 0);
}

}  // namespace
}  // namespace np::test
