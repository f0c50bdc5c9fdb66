#pragma once
// The host's preferences as observatory.ini gives them (tilt-up limit, minimum elevation,
// horizon), with its plan and log folders: what every back end that reads observatory.ini
// answers for Util.Prefs. The values are taken when it is made.
#include <string>
#include <utility>
#include <vector>

#include "host/HostInterfaces.h"
#include "host/ObservatoryConfig.h"

namespace np {

class ConfigPrefs : public IPrefs {
 public:
  ConfigPrefs(const ObservatoryConfig& config, std::string planDir, std::string logDir)
      : tiltUpLimit_(config.mount.tiltUpLimit),
        minimumElevation_(config.limits.minimumElevation),
        horizon_(config.limits.horizon),
        folders_(std::move(planDir), std::move(logDir)) {}
  double TiltUpLimit() override { return tiltUpLimit_; }
  double MinimumElevation() override { return minimumElevation_; }
  double GetHorizon(double azimuth) override { return horizonElevation(horizon_, azimuth); }
  ILocalUser& LocalUser() override { return folders_; }

 private:
  class Folders : public ILocalUser {
   public:
    Folders(std::string plans, std::string logs) : plans_(std::move(plans)), logs_(std::move(logs)) {}
    std::string DefaultPlanDir() override { return plans_; }
    std::string DefaultLogDir() override { return logs_; }

   private:
    std::string plans_, logs_;
  };

  double tiltUpLimit_;
  double minimumElevation_;
  std::vector<HorizonPoint> horizon_;
  Folders folders_;
};

}  // namespace np
