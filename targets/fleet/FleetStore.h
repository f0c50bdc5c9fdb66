#pragma once
// The fleet's target list in PostgreSQL: one list shared by several observatories (sites),
// kept line for line as it was imported so that it can be exported byte for byte, with
// each group's count in a column of its own that a site lowers in one transaction with
// the run it records.
//
// Tables (schema version 1):
//   schema_version  the version of these tables, one row; init migrates older ones
//   list_file       one row once a list is imported: its byte-order mark, where it came from and when
//   list_lines      every line: number (from 1), bytes, line end ('', 'LF', 'CRLF', 'CR')
//   groups          each group: first line, delimiter line, name, count (NULL: unreadable) and the count imported
//   sites           each site that has reached the list, and when it last did
//   runs            each run of a group: site, group, time, plan
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "targets/fleet/ListFile.h"

namespace np::fleet {

inline constexpr int kSchemaVersion = 1;

// A failure of the store, its message naming the cause.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The database could not be reached or the connection broke: a later try may succeed.
class ConnectionLost : public StoreError {
 public:
  using StoreError::StoreError;
};

struct GroupStatus {
  std::int64_t delimiterLine = 0;  // names the group
  std::string name;
  std::optional<std::int16_t> remaining;  // nothing: the delimiter line's count cannot be read
  std::string lastSite;                   // empty when no site has run it
  std::string lastRun;                    // UTC, "YYYY-MM-DD HH:MM:SS"
};

struct SiteStatus {
  std::string name;
  std::string lastContact;  // UTC, "YYYY-MM-DD HH:MM:SS"
};

class FleetStore {
 public:
  // Connects with a libpq connection string ("host=... dbname=..." or a postgresql://
  // address). Without connect_timeout in it (or PGCONNECT_TIMEOUT), a connection is
  // given up after 10 s; a statement after 60 s and a wait for a lock after 30 s, unless
  // the connection string's options, the role or the database set bounds of their own.
  // A database too busy to answer (a bound passed, a deadlock, no connection slot left)
  // fails as ConnectionLost: nothing was done, and a later try may go through.
  explicit FleetStore(const std::string& connection);
  ~FleetStore();
  FleetStore(const FleetStore&) = delete;
  FleetStore& operator=(const FleetStore&) = delete;

  // Creates the tables or migrates them to kSchemaVersion; the version found before
  // (0: none). Tables of a newer version than this program's are refused.
  int init();
  // The schema version the database holds (0: none).
  int schemaVersion();

  // Puts a list into a database that holds none yet; refused when it holds one.
  void importList(const ListFile& list, const std::string& source);
  // The list's bytes: as imported, each delimiter line whose count has changed since as
  // the program's own rewrite writes it ("**** remaining=N", or the line's condition items
  // kept with the count's value replaced), keeping its line end.
  // Refused when no list was imported.
  std::string exportList();
  // Whether a list was imported.
  bool hasList();

  std::vector<GroupStatus> status();
  std::vector<SiteStatus> sites();

  // A site's run of a group, in one transaction: the count lowered (a negative count stays
  // negative and -32768 stays -32768) unless it has reached zero, the run recorded and
  // the site's last contact set. The count written back; nothing (and nothing written)
  // when the group had no run left or no such group exists. A take repeated with the same
  // site, group, time and plan (after a connection lost during the first one's commit)
  // finds the first one's run and counts nothing again.
  std::optional<std::int16_t> takeRun(const std::string& site, std::int64_t delimiterLine, std::int64_t unixTime,
                                      const std::string& plan);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace np::fleet
