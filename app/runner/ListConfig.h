#pragma once
// The keys of observatory.ini's [list] section: where a fleet member finds the target list
// it shares with other observatories. Without list.database the list is the program
// folder's targets.txt.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "host/ObservatoryConfig.h"
#include "targets/ListStore.h"

namespace np {

struct ListConfig {
  std::string database;  // a libpq connection string; empty: targets.txt
  std::string site;      // this observatory's name in the shared list's runs
};

// Reads the section; an unknown key, a database without a site or a site without a
// database is a RunTimeError "<sourceName> line <n>: ...".
ListConfig readListConfig(const ObservatoryConfig& config, const std::string& sourceName);

// The list as the observing loop last read it from its shared store, for whoever shows
// the list while the run goes (a status page, a night's report): reading the store again
// for them would cost the run a connection's timeout whenever the store is away. The run
// reads and takes through it as through the store itself.
class LastReadList : public ListStore {
 public:
  explicit LastReadList(std::unique_ptr<ListStore> store) : store_(std::move(store)) {}
  std::string listText() override;
  std::optional<std::int16_t> takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                      const std::string& plan) override;
  // The text of the last read that succeeded, or of a read now when there has been none
  // yet and `readIfNone`; nothing when no read has succeeded. Any thread, but a read now
  // only on the run's.
  std::optional<std::string> lastRead(bool readIfNone);

 private:
  std::unique_ptr<ListStore> store_;
  std::mutex mutex_;  // the store is the run's; the text is anyone's
  std::optional<std::string> last_;
};

// The shared list [list] names (a fleet's database, this observatory its site), or none
// when the list is the program folder's targets.txt. A RunTimeError where this build keeps
// no shared list: a copy that observed from targets.txt instead would count its runs
// where no other site sees them.
std::unique_ptr<LastReadList> openSharedList(const ListConfig& config);

}  // namespace np
