#pragma once
// The host's objects for tests, made from the member table (host/HostMembers.h). Every
// member answers through a function the test sets (`util.members.HMS_Hours.answer`),
// counts its calls (`.calls`) and, while its host keeps a journal, writes its name there,
// so that a test can check the order of calls. A member the test gave no answer fails the
// test, naming itself, and throws.
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/FileSystem.h"
#include "host/HostMembers.h"
#include "support/ReportFailure.h"
#include "targets/Services.h"

namespace np::test {

// The calls of a fake host's members in their order, as "<object>.<key>", while `keeping`.
struct CallJournal {
  bool keeping = false;
  std::vector<std::string> calls;
};

template <class Signature>
class FakeMember;

template <class R, class... A>
class FakeMember<R(A...)> {
 public:
  FakeMember(std::string name, CallJournal* journal) : name_(std::move(name)), journal_(journal) {}

  std::function<R(A...)> answer;
  int calls = 0;

  const std::string& name() const { return name_; }

  R operator()(A... args) {
    ++calls;
    if (journal_ && journal_->keeping) journal_->calls.push_back(name_);
    if (!answer) {
      reportTestFailure("unexpected call of " + name_ + ": the test gave it no answer");
      throw std::logic_error(name_ + " has no answer in this test");
    }
    return answer(std::forward<A>(args)...);
  }

 private:
  std::string name_;
  CallJournal* journal_;
};

// One fake object from its list in the table: I<object> with a FakeMember per row in
// `members`, and answerAs(target), which makes every member answer as `target` does.
#define NP_FAKE_MEMBER(object, key, member, automation, kind, result, parameters, arguments) \
  FakeMember<result parameters> key{#object "." #key, journal};
#define NP_FAKE_OVERRIDE(object, key, member, automation, kind, result, parameters, arguments) \
  result member parameters override { return members.key arguments; }
#define NP_FAKE_ANSWER_AS(object, key, member, automation, kind, result, parameters, arguments) \
  members.key.answer = [&target] parameters -> result { return target.member arguments; };
#define NP_FAKE_OBJECT(object, list)                                         \
  class Fake##object : public I##object {                                    \
   public:                                                                   \
    explicit Fake##object(CallJournal* journal = nullptr) : members{journal} {} \
    struct Members {                                                         \
      CallJournal* journal;                                                  \
      list(NP_FAKE_MEMBER)                                                   \
    } members;                                                               \
    list(NP_FAKE_OVERRIDE)                                                   \
    void answerAs(I##object& target) { list(NP_FAKE_ANSWER_AS) }            \
  };

NP_FAKE_OBJECT(CoordinateTransform, NP_HOST_COORDINATETRANSFORM)
NP_FAKE_OBJECT(LocalUser, NP_HOST_LOCALUSER)
NP_FAKE_OBJECT(Prefs, NP_HOST_PREFS)
NP_FAKE_OBJECT(Weather, NP_HOST_WEATHER)
NP_FAKE_OBJECT(Util, NP_HOST_UTIL)
NP_FAKE_OBJECT(Telescope, NP_HOST_TELESCOPE)
NP_FAKE_OBJECT(Application, NP_HOST_APPLICATION)

#undef NP_FAKE_OBJECT
#undef NP_FAKE_ANSWER_AS
#undef NP_FAKE_OVERRIDE
#undef NP_FAKE_MEMBER

// The ephemeris components are not the host's: their two members are written out.
class FakeEphemerisFactory : public IEphemerisFactory {
 public:
  explicit FakeEphemerisFactory(CallJournal* journal = nullptr) : members{journal} {}
  struct Members {
    CallJournal* journal;
    FakeMember<std::unique_ptr<IEphemeris>()> createEphemeris{"EphemerisFactory.createEphemeris", journal};
    FakeMember<std::unique_ptr<IPositionVector>()> createPositionVector{"EphemerisFactory.createPositionVector",
                                                                        journal};
  } members;
  std::unique_ptr<IEphemeris> createEphemeris() override { return members.createEphemeris(); }
  std::unique_ptr<IPositionVector> createPositionVector() override { return members.createPositionVector(); }
};

// The host: its objects, one journal for all of them, and the objects it hands out as a
// host factory (each answers as `util`, `telescope` or `application` does). The objects
// reach one another as a host's do (util.Prefs() is `prefs`, prefs.LocalUser() is
// `localUser`, util.Weather() is `weather`); no other member has an answer.
class FakeHost : public IHostFactory {
 public:
  FakeHost() {
    util.members.Prefs.answer = [this]() -> IPrefs& { return prefs; };
    util.members.Weather.answer = [this]() -> IWeather& { return weather; };
    prefs.members.LocalUser.answer = [this]() -> ILocalUser& { return localUser; };
  }
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // Every member of util, telescope and application answers as the objects of `host`
  // do, made now (util.Prefs() is then the host's own preferences object, and so on).
  void answerAs(IHostFactory& host) {
    hostUtil_ = host.createUtil();
    hostTelescope_ = host.createTelescope();
    hostApplication_ = host.createApplication();
    util.answerAs(*hostUtil_);
    telescope.answerAs(*hostTelescope_);
    application.answerAs(*hostApplication_);
  }

  std::unique_ptr<IUtil> createUtil() override { return handOut<FakeUtil>(util); }
  std::unique_ptr<ITelescope> createTelescope() override { return handOut<FakeTelescope>(telescope); }
  std::unique_ptr<IApplication> createApplication() override { return handOut<FakeApplication>(application); }

  // The services of a unit run against this host, with the program folder "/prog/" in the
  // platform's spelling.
  Services services(FileSystem& files, const Clock& clock, EventPump& events, MessageSink& messages,
                    std::function<void(const std::string&)> setStatusText) {
    return Services{.util = util,
                    .telescope = telescope,
                    .acpApp = application,
                    .ephemeris = ephemeris,
                    .files = files,
                    .clock = clock,
                    .events = events,
                    .messages = messages,
                    .setStatusText = std::move(setStatusText),
                    .locale = NumberLocale{},
                    .programFolder = withSeparator("/prog")};
  }

  CallJournal journal;
  FakeUtil util{&journal};
  FakePrefs prefs{&journal};
  FakeLocalUser localUser{&journal};
  FakeWeather weather{&journal};
  FakeTelescope telescope{&journal};
  FakeApplication application{&journal};
  FakeEphemerisFactory ephemeris{&journal};

 private:
  template <class Fake, class Object>
  static std::unique_ptr<Fake> handOut(Object& object) {
    auto handle = std::make_unique<Fake>();
    handle->answerAs(object);
    return handle;
  }

  std::unique_ptr<IUtil> hostUtil_;
  std::unique_ptr<ITelescope> hostTelescope_;
  std::unique_ptr<IApplication> hostApplication_;
};

}  // namespace np::test
