// fleet-test-site: one site of the fleet as a process of its own, for the tests that kill
// it. It does what a night's passes do with a list kept in the database, on the simulated
// observatory in its folder and a clock of its own: reads the list, selects over it with
// selectTargetIn, writes the plan and takes the run through DatabaseList with
// takeFromStore, again and again. A database that cannot be reached is tried again as the
// observing loop tries it (a take under way with the same plan and time). Each run taken
// is appended to the taken file once the take has returned, with one write:
//
//   <delimiter line> <run time, UTC seconds> <count written back> <plan as hex>\n
//
// Usage: fleet-test-site CONNECTION SITE FOLDER TAKEN_FILE START_UNIX PASSES TAKES LIFETIME_S
//   Each pass moves the clock one second on from START_UNIX. The site ends with status 0
//   after PASSES passes or TAKES runs taken (0: no limit on runs), whichever comes first;
//   with 3 when LIFETIME_S seconds of real time are over, 4 when no group is left to
//   choose, 2 on any other failure (its message on standard error). Each time the
//   database cannot be reached, "away: <why>" goes to the standard output.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/FileSystem.h"
#include "base/Paths.h"
#include "base/Ui.h"
#include "host/ErfaEphemeris.h"
#include "host/sim/SimulatedObservatory.h"
#include "selection/Selection.h"
#include "targets/PlanWriter.h"
#include "targets/fleet/DatabaseList.h"

namespace {

// A list fault or a host's message would be a fault of the test's own list.
class FailingMessages : public np::MessageSink {
 public:
  void showMessage(const std::string& text) override { throw std::runtime_error("message: " + text); }
};

class NoEvents : public np::EventPump {
 public:
  void DoEvents() override {}
  void WaitSeconds(int) override {}
};

class DiscardingLog : public np::TextWriter {
 public:
  void WriteLine(std::string_view) override {}
  void Close() override {}
};

// The store as takeFromStore sees it, remembering the last take's arguments.
class RecordingStore : public np::ListStore {
 public:
  explicit RecordingStore(np::ListStore& inner) : inner_(inner) {}
  std::string listText() override { return inner_.listText(); }
  std::optional<std::int16_t> takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                      const std::string& plan) override {
    line = delimiterLine;
    time = unixTime;
    this->plan = plan;
    return inner_.takeRun(delimiterLine, unixTime, plan);
  }
  std::int64_t line = 0, time = 0;
  std::string plan;

 private:
  np::ListStore& inner_;
};

struct Ended {
  int status;
};

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 9) {
    std::cerr << "usage: fleet-test-site CONNECTION SITE FOLDER TAKEN_FILE START_UNIX PASSES TAKES LIFETIME_S\n";
    return 2;
  }
  // A test that ends without killing its site takes it along.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  const std::string connection = argv[1], site = argv[2], folder = argv[3], takenPath = argv[4];
  const double start = std::atof(argv[5]);
  const long passes = std::atol(argv[6]), takes = std::atol(argv[7]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::atof(argv[8]));

  try {
    const int taken = ::open(takenPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (taken < 0) throw std::runtime_error("cannot open " + takenPath);

    np::ManualClock clock(start);
    np::SimulatedObservatory host(np::joinPath(folder, "observatory"), clock);
    auto util = host.createUtil();
    auto telescope = host.createTelescope();
    auto application = host.createApplication();
    np::ErfaEphemerisFactory ephemeris;
    np::LocalFileSystem files;
    FailingMessages messages;
    NoEvents events;
    const np::Services services{.util = *util,
                                .telescope = *telescope,
                                .acpApp = *application,
                                .ephemeris = ephemeris,
                                .files = files,
                                .clock = clock,
                                .events = events,
                                .messages = messages,
                                .setStatusText = [](const std::string&) {},
                                .locale = np::NumberLocale{},
                                .programFolder = np::withSeparator(folder)};
    np::Settings settings;
    const bool stopFlag = false;
    DiscardingLog log;
    np::fleet::DatabaseList database(connection, site);
    RecordingStore store(database);
    const np::DateTime quitTime{util->Date_Julian(clock.nowLocal()) - np::kSerialEpochJD + 0.5};

    // A step against the database, tried again while it cannot be reached. Each time the
    // database goes away, its cause is a line of the standard output.
    auto patiently = [&](auto&& step) {
      for (bool away = false;;) {
        if (std::chrono::steady_clock::now() > deadline) throw Ended{3};
        try {
          return step();
        } catch (const np::ListStoreUnavailable& e) {
          if (!away) std::cout << "away: " << e.what() << std::endl;
          away = true;
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      }
    };

    long runs = 0;
    for (long pass = 0; pass < passes && (takes == 0 || runs < takes); ++pass, clock.advance(1)) {
      const std::string listText = patiently([&] { return store.listText(); });
      const std::optional<np::ChosenGroup> chosen =
          np::selectTargetIn(services, std::make_unique<np::TextLines>(listText), log, settings, stopFlag);
      if (!chosen) throw Ended{4};
      // Tried again whole, as the loop tries its take: the plan and the time are the same.
      const np::StoreTake take = patiently([&] {
        return np::takeFromStore(services, log, settings, [] {}, quitTime, listText, chosen->start, store);
      });
      if (!take.taken) continue;
      if (!take.left) throw std::runtime_error("a run was taken without a count");
      const std::string line = std::to_string(store.line) + ' ' + std::to_string(store.time) + ' ' +
                               std::to_string(*take.left) + ' ' + hex(store.plan) + '\n';
      if (::write(taken, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("cannot write " + takenPath);
      ++runs;
    }
    ::close(taken);
    return 0;
  } catch (const Ended& ended) {
    return ended.status;
  } catch (const std::exception& e) {
    std::cerr << "fleet-test-site: " << e.what() << '\n';
    return 2;
  }
}
