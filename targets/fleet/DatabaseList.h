#pragma once
// A site's target list in the fleet's database: the observing loop's list store. It
// connects when first used and again after the connection was lost, so that a database
// that went away is taken up again where it left off.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "targets/ListStore.h"
#include "targets/fleet/FleetStore.h"

namespace np::fleet {

class DatabaseList : public ListStore {
 public:
  // `connection`: a libpq connection string; `site`: this observatory's name in the runs.
  DatabaseList(std::string connection, std::string site);

  // Both throw ListStoreUnavailable when the database cannot be reached (the connection is
  // made anew at the next call) and StoreError when it refuses (no list, no tables).
  std::string listText() override;
  std::optional<std::int16_t> takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                      const std::string& plan) override;

  const std::string& site() const { return site_; }

 private:
  template <typename Step>
  auto connected(Step&& step);

  std::string connection_, site_;
  std::unique_ptr<FleetStore> store_;
};

}  // namespace np::fleet
