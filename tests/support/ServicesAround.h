#pragma once
// The services of a unit that uses only some of the host's objects (the twilight search:
// the utility and telescope objects and the ephemeris factory): the rest are inert
// stand-ins. Converts to the Services the unit takes, for as long as it lives.
#include <string>

#include "base/Clock.h"
#include "base/Errors.h"
#include "base/FileSystem.h"
#include "support/RecordingMessageSink.h"
#include "support/ScriptedEvents.h"
#include "targets/Services.h"

namespace np::test {

class ServicesAround {
 public:
  ServicesAround(IUtil& util, ITelescope& telescope, IEphemerisFactory& ephemeris)
      : services_{.util = util,
                  .telescope = telescope,
                  .acpApp = application_,
                  .ephemeris = ephemeris,
                  .files = files_,
                  .clock = clock_,
                  .events = events_,
                  .messages = messages_,
                  .setStatusText = [](const std::string&) {},
                  .locale = NumberLocale{},
                  .programFolder = withSeparator("nowhere")} {}
  ServicesAround(const ServicesAround&) = delete;
  ServicesAround& operator=(const ServicesAround&) = delete;

  operator const Services&() const { return services_; }

 private:
  class NoApplication : public IApplication {
   public:
    std::string Path() override { throw RunTimeError("the host application is not part of this test"); }
  };
  NoApplication application_;
  LocalFileSystem files_;
  ManualClock clock_{0.0};
  ScriptedEvents events_;
  RecordingMessageSink messages_;
  Services services_;
};

}  // namespace np::test
