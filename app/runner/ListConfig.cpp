#include "app/runner/ListConfig.h"

#include "base/Errors.h"

namespace np {

ListConfig readListConfig(const ObservatoryConfig& config, const std::string& sourceName) {
  ListConfig list;
  const ObservatoryConfig::ProgramKey* database = nullptr;
  const ObservatoryConfig::ProgramKey* site = nullptr;
  for (const auto& [key, value] : config.programKeys) {
    if (key.rfind("list.", 0) != 0) continue;
    if (key == "list.database") {
      database = &value;
    } else if (key == "list.site") {
      site = &value;
    } else {
      throw RunTimeError(sourceName + " line " + std::to_string(value.line) + ": unknown key '" + key + "'");
    }
  }
  if (database && database->value.empty())
    throw RunTimeError(sourceName + " line " + std::to_string(database->line) +
                       ": key 'list.database': a libpq connection string is needed");
  if (site && site->value.empty())
    throw RunTimeError(sourceName + " line " + std::to_string(site->line) +
                       ": key 'list.site': this observatory's name is needed");
  if (database && !site)
    throw RunTimeError(sourceName + " line " + std::to_string(database->line) +
                       ": key 'list.database' needs 'list.site', this observatory's name in the shared list");
  if (site && !database)
    throw RunTimeError(sourceName + " line " + std::to_string(site->line) +
                       ": key 'list.site' needs 'list.database', where the shared list is kept");
  if (database) list.database = database->value;
  if (site) list.site = site->value;
  return list;
}

}  // namespace np
