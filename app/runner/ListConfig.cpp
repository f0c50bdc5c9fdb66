#include "app/runner/ListConfig.h"

#include "base/Errors.h"
#ifdef NIGHTPICK_FLEET
#include "targets/fleet/DatabaseList.h"
#endif

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

std::string LastReadList::listText() {
  std::string text = store_->listText();
  std::lock_guard lock(mutex_);
  last_ = text;
  return text;
}

std::optional<std::int16_t> LastReadList::takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                                  const std::string& plan) {
  return store_->takeRun(delimiterLine, unixTime, plan);
}

std::optional<std::string> LastReadList::lastRead(bool readIfNone) {
  {
    std::lock_guard lock(mutex_);
    if (last_ || !readIfNone) return last_;
  }
  try {
    return listText();
  } catch (const std::exception&) {
    return std::nullopt;  // away or refusing: the run says so when it reads
  }
}

std::unique_ptr<LastReadList> openSharedList(const ListConfig& config) {
  if (config.database.empty()) return nullptr;
#ifdef NIGHTPICK_FLEET
  return std::make_unique<LastReadList>(std::make_unique<fleet::DatabaseList>(config.database, config.site));
#else
  throw RunTimeError("list.database: a list shared in PostgreSQL is kept on Linux only");
#endif
}

}  // namespace np
