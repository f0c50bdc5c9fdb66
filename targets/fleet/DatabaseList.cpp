#include "targets/fleet/DatabaseList.h"

#include <utility>

namespace np::fleet {

DatabaseList::DatabaseList(std::string connection, std::string site)
    : connection_(std::move(connection)), site_(std::move(site)) {}

template <typename Step>
auto DatabaseList::connected(Step&& step) {
  try {
    if (!store_) store_ = std::make_unique<FleetStore>(connection_);
    return step(*store_);
  } catch (const ConnectionLost& e) {
    store_.reset();
    throw ListStoreUnavailable(e.what());
  }
}

std::string DatabaseList::listText() {
  return connected([](FleetStore& store) { return store.exportList(); });
}

std::optional<std::int16_t> DatabaseList::takeRun(std::int64_t delimiterLine, std::int64_t unixTime,
                                                  const std::string& plan) {
  return connected([&](FleetStore& store) { return store.takeRun(site_, delimiterLine, unixTime, plan); });
}

}  // namespace np::fleet
