#pragma once
// The host as every back end shows it: the host objects (Util, Telescope, Application,
// Weather), the run guard and the plan hand-over of RunScript, the acquisition log, and
// how a run ends. A back end brings its device steps only (ObservatoryBackEnd): its site,
// the mount's park, the weather, and how it takes a plan (runAcquisition's rules over its
// AcquisitionDevices). A new back end is one folder: a class of ObservatoryBackEnd, a
// factory deriving from HostSkeleton, and one line in the programs' list of back ends.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/FileSystem.h"
#include "host/AcquisitionLog.h"
#include "host/AcquisitionPlan.h"
#include "host/AcquisitionRules.h"
#include "host/HostInterfaces.h"
#include "host/HostOpening.h"
#include "host/ObservatoryConfig.h"

namespace np {

// A started run stays active at least this long before it ends by itself (the real host
// needs about as long to start a script and wind it down), so that a caller that polls
// once a second sees every run that became active.
inline constexpr double kMinimumActiveSeconds = 1.0;

// Logs/AcquireImages.log, through the program's file system. Safe to append to from any
// thread.
class AcquisitionLogFile {
 public:
  AcquisitionLogFile(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  // Appends the events' lines; a failed write is a RunTimeError "<member>: cannot write
  // '<path>'" (without the member when it is empty).
  void append(const std::vector<const AcquisitionEvent*>& events, const char* member);

 private:
  FileSystem& files_;
  std::string path_;
  std::mutex mutex_;
};

// One acquisition run: where the program's thread and a run's own thread meet. A run
// worked out ahead (the simulated observatory) schedules its events, and each is written
// once the clock reaches it; a run that takes place now writes each as it happens. The
// run ends with its END (finish), and is shown running until then, or for
// kMinimumActiveSeconds from its start when that is later, unless it was aborted.
class AcquisitionRun {
 public:
  AcquisitionRun(std::shared_ptr<AcquisitionLogFile> log, double activeAt)
      : log_(std::move(log)), activeAt_(activeAt) {}

  double activeAt() const { return activeAt_; }
  // An event that is written once the clock reaches its time (writeDue).
  void schedule(AcquisitionEvent e);
  // An event written now.
  void write(AcquisitionEvent e, const char* member = "");
  // The END at `utc`, written when due. The run is over from then on, or from
  // kMinimumActiveSeconds after its start when `shownAMoment` and that is later.
  void finish(const AcquisitionOutcome& outcome, double utc, bool shownAMoment = true);
  // The END of a run that takes place now (stamped `utc`, the clock at `now`), written at
  // once with what is left; a write that fails makes the run's failure.
  void finishNow(AcquisitionOutcome outcome, double utc, double now);
  // Ends a run at `utc` with `reason`: the events after it are dropped.
  void cutAt(double utc, const char* reason);
  // Writes the events whose time has come.
  void writeDue(double now, const char* member);

  bool active(double now) const;   // from its activeAt until its end
  bool running(double now) const;  // until its end, its start delay included
  bool finished() const;           // its END is known
  // Waits at most `seconds` for finish; true when it came.
  bool waitFinished(double seconds);
  AcquisitionOutcome outcome() const;

  // A run that takes place now is asked to end (AbortScript); it looks at this.
  void requestAbort();
  bool abortRequested() const;

 private:
  std::shared_ptr<AcquisitionLogFile> log_;
  const double activeAt_;
  mutable std::mutex mutex_;
  std::condition_variable done_;
  std::vector<AcquisitionEvent> events_;  // in time order
  std::size_t written_ = 0;
  double endAt_ = kNever;
  bool finished_ = false;
  bool abort_ = false;
  AcquisitionOutcome outcome_;

  void over(const AcquisitionOutcome& outcome, double endAt);
};

// A back end's device steps. Every member that fails throws RunTimeError naming the cause.
class ObservatoryBackEnd {
 public:
  virtual ~ObservatoryBackEnd() = default;
  virtual double siteLatitude() = 0;   // degrees, north positive
  virtual double siteLongitude() = 0;  // degrees, east positive
  virtual bool canPark() = 0;
  virtual bool canUnpark() = 0;
  // Parks the mount and closes the dome or roof, calling `parked` once the mount is parked
  // (a PARK event); opens and unparks, calling `unparked` once it is. A back end that
  // leaves the mount as it is (an unpark in unsafe weather) does not call them.
  virtual void park(const std::function<void()>& parked) = 0;
  virtual void unpark(const std::function<void()>& unparked) = 0;
  virtual bool weatherConnected() = 0;
  virtual bool weatherSafe() = 0;
  // The time an event is stamped with now.
  virtual double eventTime() = 0;
  // Throws RunTimeError naming `member` when the observatory cannot go on (a device gone).
  virtual void checkHealth(const char* member) { (void)member; }
  // Seconds from RunScript until the run is active.
  virtual double startDelay() { return 0.0; }
  // Why the devices cannot run the plan as written ("plan '<path>' line <n>: <cause>"),
  // found before anything moves; empty when they can.
  virtual std::string refusal(const HandedOverPlan& handed) {
    (void)handed;
    return {};
  }
  // Takes the plan; the run's events and its END go to `run`.
  virtual void startRun(const std::shared_ptr<AcquisitionRun>& run, HandedOverPlan handed) = 0;
  // Ends the run under way; throws RunTimeError naming `member` when it did not end in
  // its bound.
  virtual void abortRun(AcquisitionRun& run, const char* member) = 0;
  // The end of a program's run (IHostFactory::secureObservatory); `endRun` aborts the
  // run under way, throwing RunTimeError when it did not end.
  virtual SecuringOutcome secure(const std::string& why, const std::function<void()>& endRun) {
    (void)why;
    (void)endRun;
    return {};
  }
};

struct SkeletonState;

// The host factory over a back end. The objects it creates share one state, stay valid
// after the factory is gone, and need the clock to outlive them.
class HostSkeleton : public IHostFactory {
 public:
  ~HostSkeleton() override;
  std::unique_ptr<IUtil> createUtil() override;
  std::unique_ptr<ITelescope> createTelescope() override;
  std::unique_ptr<IApplication> createApplication() override;
  SecuringOutcome secureObservatory(const std::string& why) override;

  // What the host's objects see, for tests and tools.
  const ObservatoryConfig& config() const;
  const std::string& folder() const;        // no trailing separator (Application.Path)
  std::string planDir() const;              // folder + "/Plans"
  std::string logDir() const;               // folder + "/Logs"
  std::string acquisitionLogPath() const;   // folder + "/Logs/AcquireImages.log"
  std::string loadedScript() const;         // empty before the first LoadScript
  int runCount() const;                     // RunScript calls so far
  bool scriptActive();                      // as Util.ScriptActive now
  bool scriptRunning();                     // a run under way, its start delay included
  // Brings the acquisition log up to the clock's now.
  void update();

 protected:
  // `folder` without its trailing separator. Every file goes through `files` (null: the
  // machine's own), which must outlive the host's objects.
  HostSkeleton(const std::string& folder, const ObservatoryConfig& config, Clock& clock, FileSystem* files);
  // The log the back end writes its own events to (PARK when it secures the observatory).
  std::shared_ptr<AcquisitionLogFile> acquisitionLog() const;
  // Hands the skeleton its back end; once, in the factory's constructor.
  void setBackEnd(std::unique_ptr<ObservatoryBackEnd> backEnd);
  // Ends a run under way (the factory goes); never throws.
  void abortQuietly();

 private:
  std::shared_ptr<SkeletonState> state_;
};

// `opened` (its clock) with the host.
OpenedHost openedHost(OpenedHost opened, std::unique_ptr<HostSkeleton> host);

}  // namespace np
