#pragma once
// An INDI server with Debian's device simulators, started by a test on a free loopback
// port with a HOME of its own (the simulators keep their state under ~/.indi), and
// stopped by its process id (with the drivers it started) when the object goes away.
#include <sys/types.h>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/TempDir.h"

namespace np::test {

// A driver the server starts: a program on the PATH, under its own device name or under
// `name` (the drivers take it from INDIDEV).
struct Driver {
  Driver(const char* program) : program(program) {}
  Driver(std::string program) : program(std::move(program)) {}
  Driver(std::string program, std::string name) : program(std::move(program)), name(std::move(name)) {}
  std::string program;
  std::string name;
};

inline const std::vector<Driver>& simulatorDrivers() {
  static const std::vector<Driver> drivers = {"indi_simulator_telescope", "indi_simulator_ccd",
                                                   "indi_simulator_wheel",     "indi_simulator_focus",
                                                   "indi_simulator_dome",      "indi_simulator_weather"};
  return drivers;
}

inline constexpr const char* kMount = "Telescope Simulator";
inline constexpr const char* kCamera = "CCD Simulator";
inline constexpr const char* kWheel = "Filter Simulator";
inline constexpr const char* kFocuser = "Focuser Simulator";
inline constexpr const char* kDome = "Dome Simulator";
inline constexpr const char* kWeather = "Weather Simulator";

class IndiServer {
 public:
  // Starts the server and waits (at most 20 s) until it takes connections. A driver with
  // a name runs as a script in the server's HOME that sets INDIDEV and starts it.
  explicit IndiServer(const std::vector<Driver>& drivers = simulatorDrivers());
  ~IndiServer();
  IndiServer(const IndiServer&) = delete;
  IndiServer& operator=(const IndiServer&) = delete;

  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& home() const { return home_.path(); }
  // The server's own output, for a failing test's message.
  std::string log() const;
  // Ends the server and its drivers now.
  void stop();
  // Sets properties as a user would with indi_setprop ("Device.PROPERTY.ELEMENT=value");
  // false when the tool failed.
  bool set(const std::vector<std::string>& assignments) const;
  // The value of one element as indi_getprop reads it ("Device.PROPERTY.ELEMENT"); nothing
  // when the tool found none.
  std::optional<std::string> get(const std::string& element) const;
  // The mount reports itself parked, and the dome (when given) parked with its shutter
  // closed, as indi_getprop reads them.
  bool secured(const std::string& mount, const std::string& dome = "") const;
  // Sends a signal to the server's driver process of that program (SIGKILL: the device
  // is gone; SIGSTOP: it hangs); false when no such driver runs.
  bool signalDriver(const std::string& driver, int signal) const;

 private:
  TempDir home_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// Waits until `done` holds, at most `seconds`; whether it came to hold.
inline bool within(double seconds, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return true;
}

// The text of the error a step fails with ("(no failure)" when it does not fail).
inline std::string failureOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no failure)";
}

}  // namespace np::test
