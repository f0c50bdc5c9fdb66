#pragma once
// The keys of observatory.ini's [list] section: where a fleet member finds the target list
// it shares with other observatories. Without list.database the list is the program
// folder's targets.txt.
#include <string>

#include "host/ObservatoryConfig.h"

namespace np {

struct ListConfig {
  std::string database;  // a libpq connection string; empty: targets.txt
  std::string site;      // this observatory's name in the shared list's runs
};

// Reads the section; an unknown key, a database without a site or a site without a
// database is a RunTimeError "<sourceName> line <n>: ...".
ListConfig readListConfig(const ObservatoryConfig& config, const std::string& sourceName);

}  // namespace np
