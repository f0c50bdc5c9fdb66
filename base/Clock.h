#pragma once
#include <chrono>

#include "base/DateTime.h"

namespace np {

// The one clock that serves the program and the simulated observatory. It runs in UTC;
// the local zone is a fixed offset (the observatory computer's time zone), except on the
// system clock, whose local time follows the operating system's zone.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double unixSeconds() const = 0;  // UTC, seconds since 1970-01-01
  // Simulated seconds per real second (1 for a real-time clock).
  virtual double speed() const { return 1.0; }

  // The local zone's offset east of UTC, now.
  virtual double utcOffsetHours() const { return utcOffsetHours_; }
  void setUtcOffsetHours(double h) { utcOffsetHours_ = h; }

  double julianDateUtc() const { return unixSeconds() / 86400.0 + kUnixEpochJD; }
  // The computer's current local date-time ("Now").
  virtual DateTime nowLocal() const { return localFromUnix(unixSeconds(), utcOffsetHours_); }

 private:
  double utcOffsetHours_ = 0.0;
};

// A clock that moves only when told: tests and headless runs.
class ManualClock : public Clock {
 public:
  explicit ManualClock(double unixSeconds = 0.0) : t_(unixSeconds) {}
  double unixSeconds() const override { return t_; }
  void set(double unixSeconds) { t_ = unixSeconds; }
  void advance(double seconds) { t_ += seconds; }

 private:
  double t_;
};

// A clock that runs with real time from a given start, optionally faster.
class RealTimeClock : public Clock {
 public:
  RealTimeClock(double startUnixSeconds, double speed)
      : start_(startUnixSeconds), speed_(speed > 0 ? speed : 1.0), origin_(std::chrono::steady_clock::now()) {}
  double unixSeconds() const override {
    std::chrono::duration<double> real = std::chrono::steady_clock::now() - origin_;
    return start_ + real.count() * speed_;
  }
  double speed() const override { return speed_; }

 private:
  double start_;
  double speed_;
  std::chrono::steady_clock::time_point origin_;
};

// Seconds since 1970 of the system's present moment.
double systemUnixSeconds();

// The real computer's clock: the system's time, and the local time of the operating
// system's zone, with its daylight-saving changes (the offset follows the date). The
// fixed offset of setUtcOffsetHours plays no part.
class SystemClock : public Clock {
 public:
  double unixSeconds() const override { return systemUnixSeconds(); }
  double utcOffsetHours() const override { return utcOffsetHoursAt(unixSeconds()); }
  DateTime nowLocal() const override { return localAt(unixSeconds()); }

  // The system zone's offset east of UTC, in hours, at a UTC instant, and the local
  // date-time of that instant.
  static double utcOffsetHoursAt(double unixSeconds);
  static DateTime localAt(double unixSeconds) { return localFromUnix(unixSeconds, utcOffsetHoursAt(unixSeconds)); }
};

}  // namespace np
