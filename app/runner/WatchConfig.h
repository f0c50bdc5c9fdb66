#pragma once
// The keys of observatory.ini for whoever watches over a run from afar: [notify] (a
// program started for each event of a run) and [status] (the status page).
#include <set>
#include <string>

#include "host/ObservatoryConfig.h"
#include "night/NightEvents.h"

namespace np {

struct NotifyConfig {
  std::string command;              // empty: nothing is notified
  std::set<NightEventKind> events;  // those sent (all unless notify.events says otherwise)
  double timeout = 30.0;            // seconds the command may take
};

struct StatusConfig {
  bool enabled = false;  // the key status.listen is there
  std::string address = "127.0.0.1";
  int port = 8624;
};

// Each reads its section of `config`; an unknown key of the section or a value that
// cannot be read is a RunTimeError "<sourceName> line <n>: key '<key>': ...".
NotifyConfig readNotifyConfig(const ObservatoryConfig& config, const std::string& sourceName);
StatusConfig readStatusConfig(const ObservatoryConfig& config, const std::string& sourceName);

}  // namespace np
