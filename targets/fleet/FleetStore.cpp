#include "targets/fleet/FleetStore.h"

#include <cstdlib>
#include <pqxx/pqxx>
#include <string_view>
#include <utility>

#include "targets/TargetList.h"

namespace np::fleet {

namespace {

// Taken by init and import for the length of their transaction, so that two of them
// (two operators, two sites setting up) never interleave.
constexpr long long kSetupLock = 0x4E50464C54;  // "NPFLT"

// Each version's statements, applied in order from the version a database holds.
const std::vector<std::vector<std::string_view>>& migrations() {
  static const std::vector<std::vector<std::string_view>> steps = {
      // 1: the list, its groups, the sites and their runs.
      {
          "CREATE TABLE schema_version (one boolean PRIMARY KEY DEFAULT true CHECK (one), version integer NOT NULL)",
          "CREATE TABLE list_file (one boolean PRIMARY KEY DEFAULT true CHECK (one),"
          " byte_order_mark boolean NOT NULL, source text NOT NULL, imported_at timestamptz NOT NULL DEFAULT now())",
          "CREATE TABLE list_lines (line_number bigint PRIMARY KEY CHECK (line_number >= 1),"
          " content bytea NOT NULL, line_end text NOT NULL CHECK (line_end IN ('', 'LF', 'CRLF', 'CR')))",
          "CREATE TABLE groups (id bigserial PRIMARY KEY, start_line bigint NOT NULL,"
          " delimiter_line bigint NOT NULL UNIQUE REFERENCES list_lines (line_number),"
          " name bytea NOT NULL, remaining smallint, imported_remaining smallint)",
          "CREATE TABLE sites (name text PRIMARY KEY, last_contact timestamptz NOT NULL)",
          "CREATE TABLE runs (id bigserial PRIMARY KEY, site text NOT NULL REFERENCES sites (name),"
          " group_id bigint NOT NULL REFERENCES groups (id), run_at timestamptz NOT NULL, plan bytea NOT NULL)",
          "CREATE INDEX runs_by_group ON runs (group_id, run_at)",
      },
  };
  return steps;
}

// libpq's messages span lines ("...failed: No such file or directory\n\tIs the server
// running...?"): one line of them.
std::string oneLine(std::string_view text) {
  std::string out;
  bool space = false;
  for (const char c : text) {
    if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += c;
  }
  return out;
}

std::string bytesOf(const pqxx::field& field) { return pqxx::binarystring(field).str(); }

std::string countText(const std::optional<std::int16_t>& count) { return count ? std::to_string(*count) : ""; }

int versionIn(pqxx::transaction_base& tx) {
  if (tx.exec1("SELECT to_regclass('schema_version') IS NULL")[0].as<bool>()) return 0;
  const pqxx::result r = tx.exec("SELECT version FROM schema_version");
  return r.empty() ? 0 : r[0][0].as<int>();
}

void refuseNewer(int version) {
  if (version > kSchemaVersion)
    throw StoreError("the database's fleet tables are of schema version " + std::to_string(version) +
                     ", newer than this program's (" + std::to_string(kSchemaVersion) + "): use a newer nightpick-fleet");
}

void requireSchema(pqxx::transaction_base& tx) {
  const int version = versionIn(tx);
  refuseNewer(version);
  if (version == 0)
    throw StoreError("the database holds no fleet tables yet: run 'nightpick-fleet init' first");
  if (version < kSchemaVersion)
    throw StoreError("the database's fleet tables are of schema version " + std::to_string(version) +
                     ": run 'nightpick-fleet init' to migrate them");
}

// The SQLSTATEs of a failure that says nothing of the request, only that the database
// could not carry it out now.
bool busyState(const std::string& state) {
  return state == "57014"      // query_canceled: statement_timeout
         || state == "55P03"   // lock_not_available: lock_timeout
         || state == "40001"   // serialization_failure
         || state == "40P01"   // deadlock_detected
         || state == "53300"   // too_many_connections
         || state == "57P03";  // cannot_connect_now: the server is starting
}

// Runs one step against the database, its failures as StoreError naming what was done.
template <typename Step>
auto guarded(std::string_view doing, Step&& step) {
  try {
    return step();
  } catch (const StoreError&) {
    throw;
  } catch (const pqxx::broken_connection& e) {
    throw ConnectionLost("lost the connection to the list's database while " + std::string(doing) + ": " + oneLine(e.what()));
  } catch (const pqxx::in_doubt_error&) {
    // The connection broke during the commit: the transaction may have gone through or
    // not. The step is tried again when the database is back, and a take finds its run
    // if the commit went through.
    throw ConnectionLost("lost the connection to the list's database while " + std::string(doing) +
                         ": the connection broke during the commit");
  } catch (const pqxx::sql_error& e) {
    // A database that is there but cannot answer now (a lock held past lock_timeout, a
    // statement past statement_timeout, a deadlock, a server starting or shutting down,
    // no connection slot left): the transaction was rolled back, and a later try may go
    // through.
    if (busyState(e.sqlstate()))
      throw ConnectionLost("the list's database is busy while " + std::string(doing) + ": " + oneLine(e.what()));
    throw StoreError("the list's database failed while " + std::string(doing) + ": " + oneLine(e.what()));
  } catch (const std::exception& e) {
    throw StoreError("the list's database failed while " + std::string(doing) + ": " + oneLine(e.what()));
  }
}

}  // namespace

struct FleetStore::Impl {
  explicit Impl(const std::string& connection) : conn(connection) {}
  pqxx::connection conn;
};

FleetStore::FleetStore(const std::string& connection) {
  // libpq waits for an unanswered server as long as the operating system lets it unless
  // told otherwise; a connection string's own connect_timeout wins over this.
  ::setenv("PGCONNECT_TIMEOUT", "10", 0);
  try {
    impl_ = std::make_unique<Impl>(connection);
    // Bounds on a statement and on a lock's wait, unless the connection string (options),
    // the role or the database already sets its own.
    pqxx::nontransaction session(impl_->conn);
    if (session.exec1("SHOW statement_timeout")[0].as<std::string>() == "0")
      session.exec("SET statement_timeout = '60s'");
    if (session.exec1("SHOW lock_timeout")[0].as<std::string>() == "0") session.exec("SET lock_timeout = '30s'");
  } catch (const std::exception& e) {
    impl_.reset();
    throw ConnectionLost("cannot connect to the list's database: " + oneLine(e.what()));
  }
}

FleetStore::~FleetStore() = default;

int FleetStore::init() {
  return guarded("setting up the fleet's tables", [&] {
    pqxx::work tx(impl_->conn);
    tx.exec_params("SELECT pg_advisory_xact_lock($1)", kSetupLock);
    const int found = versionIn(tx);
    refuseNewer(found);
    for (int version = found + 1; version <= kSchemaVersion; ++version)
      for (const std::string_view statement : migrations()[static_cast<std::size_t>(version - 1)])
        tx.exec(std::string(statement));
    tx.exec_params(
        "INSERT INTO schema_version (version) VALUES ($1) ON CONFLICT (one) DO UPDATE SET version = EXCLUDED.version",
        kSchemaVersion);
    tx.commit();
    return found;
  });
}

int FleetStore::schemaVersion() {
  return guarded("reading the schema version", [&] {
    pqxx::read_transaction tx(impl_->conn);
    return versionIn(tx);
  });
}

void FleetStore::importList(const ListFile& list, const std::string& source) {
  guarded("importing the list", [&] {
    pqxx::work tx(impl_->conn);
    tx.exec_params("SELECT pg_advisory_xact_lock($1)", kSetupLock);
    requireSchema(tx);
    const pqxx::result held = tx.exec(
        "SELECT source, to_char(imported_at AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS'),"
        " (SELECT count(*) FROM list_lines) FROM list_file");
    if (!held.empty())
      throw StoreError("the fleet's list is not empty: it holds " + held[0][2].as<std::string>() + " lines imported from " +
                       held[0][0].as<std::string>() + " at " + held[0][1].as<std::string>() +
                       " UTC; a list is imported only into an empty database");
    tx.exec_params("INSERT INTO list_file (byte_order_mark, source) VALUES ($1, $2)", list.byteOrderMark, source);
    std::int64_t number = 0;
    for (const ListLine& line : list.lines)
      tx.exec_params("INSERT INTO list_lines (line_number, content, line_end) VALUES ($1, $2, $3)", ++number,
                     pqxx::binarystring(line.text), std::string(lineEndName(line.end)));
    for (const ListGroup& group : list.groups)
      tx.exec_params(
          "INSERT INTO groups (start_line, delimiter_line, name, remaining, imported_remaining)"
          " VALUES ($1, $2, $3, NULLIF($4, '')::smallint, NULLIF($4, '')::smallint)",
          group.start, group.delimiterLine, pqxx::binarystring(group.name), countText(group.remaining));
    tx.commit();
  });
}

bool FleetStore::hasList() {
  return guarded("reading the list", [&] {
    pqxx::read_transaction tx(impl_->conn);
    requireSchema(tx);
    return !tx.exec("SELECT 1 FROM list_file").empty();
  });
}

std::string FleetStore::exportList() {
  return guarded("exporting the list", [&] {
    pqxx::read_transaction tx(impl_->conn);
    requireSchema(tx);
    const pqxx::result file = tx.exec("SELECT byte_order_mark FROM list_file");
    if (file.empty()) throw StoreError("the fleet's list is empty: nothing was imported yet");
    ListFile list;
    list.byteOrderMark = file[0][0].as<bool>();
    const pqxx::result lines = tx.exec(
        "SELECT l.content, l.line_end, g.remaining, g.remaining IS DISTINCT FROM g.imported_remaining"
        " FROM list_lines l LEFT JOIN groups g ON g.delimiter_line = l.line_number ORDER BY l.line_number");
    list.lines.reserve(lines.size());
    for (const auto& row : lines) {
      ListLine line{bytesOf(row[0]), lineEndFromName(row[1].as<std::string>()).value_or(LineEnd::None)};
      // A count a site has lowered: the delimiter line as the program's rewrite writes it.
      if (!row[2].is_null() && row[3].as<bool>()) {
        struct Quiet : MessageSink {
          void showMessage(const std::string&) override {}
        } quiet;  // the line was read at the import; the selection reports its faults
        DelimiterItems items;
        parseDelimiterLine(quiet, line.text, items);
        line.text = rewrittenDelimiterLine(line.text, items, row[2].as<std::int16_t>());
      }
      list.lines.push_back(std::move(line));
    }
    return listFileBytes(list);
  });
}

std::vector<GroupStatus> FleetStore::status() {
  return guarded("reading the groups", [&] {
    pqxx::read_transaction tx(impl_->conn);
    requireSchema(tx);
    const pqxx::result rows = tx.exec(
        "SELECT g.delimiter_line, g.name, g.remaining, r.site,"
        " to_char(r.run_at AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS')"
        " FROM groups g LEFT JOIN LATERAL"
        " (SELECT site, run_at FROM runs WHERE group_id = g.id ORDER BY run_at DESC, id DESC LIMIT 1) r ON true"
        " ORDER BY g.delimiter_line");
    std::vector<GroupStatus> groups;
    groups.reserve(rows.size());
    for (const auto& row : rows) {
      GroupStatus group;
      group.delimiterLine = row[0].as<std::int64_t>();
      group.name = bytesOf(row[1]);
      if (!row[2].is_null()) group.remaining = row[2].as<std::int16_t>();
      if (!row[3].is_null()) {
        group.lastSite = row[3].as<std::string>();
        group.lastRun = row[4].as<std::string>();
      }
      groups.push_back(std::move(group));
    }
    return groups;
  });
}

std::vector<SiteStatus> FleetStore::sites() {
  return guarded("reading the sites", [&] {
    pqxx::read_transaction tx(impl_->conn);
    requireSchema(tx);
    const pqxx::result rows =
        tx.exec("SELECT name, to_char(last_contact AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') FROM sites ORDER BY name");
    std::vector<SiteStatus> sites;
    for (const auto& row : rows) sites.push_back({row[0].as<std::string>(), row[1].as<std::string>()});
    return sites;
  });
}

std::optional<std::int16_t> FleetStore::takeRun(const std::string& site, std::int64_t delimiterLine, std::int64_t unixTime,
                                                const std::string& plan) {
  return guarded("recording a run", [&]() -> std::optional<std::int16_t> {
    pqxx::work tx(impl_->conn);
    requireSchema(tx);
    // The same run again (a take whose commit the site never heard of before its
    // connection broke): it was counted then, so it is not counted again.
    const pqxx::result recorded = tx.exec_params(
        "SELECT g.remaining FROM runs r JOIN groups g ON g.id = r.group_id"
        " WHERE r.site = $1 AND g.delimiter_line = $2 AND r.run_at = to_timestamp($3) AND r.plan = $4 LIMIT 1",
        site, delimiterLine, unixTime, pqxx::binarystring(plan));
    if (!recorded.empty()) return recorded[0][0].as<std::int16_t>();
    const pqxx::result taken = tx.exec_params(
        "UPDATE groups SET remaining = CASE WHEN remaining = -32768 THEN remaining ELSE remaining - 1 END"
        " WHERE delimiter_line = $1 AND remaining <> 0 RETURNING id, remaining",
        delimiterLine);
    if (taken.empty()) return std::nullopt;
    tx.exec_params(
        "INSERT INTO sites (name, last_contact) VALUES ($1, to_timestamp($2)) ON CONFLICT (name)"
        " DO UPDATE SET last_contact = GREATEST(sites.last_contact, EXCLUDED.last_contact)",
        site, unixTime);
    tx.exec_params("INSERT INTO runs (site, group_id, run_at, plan) VALUES ($1, $2, to_timestamp($3), $4)", site,
                   taken[0][0].as<std::int64_t>(), unixTime, pqxx::binarystring(plan));
    tx.commit();
    return taken[0][1].as<std::int16_t>();
  });
}

}  // namespace np::fleet
