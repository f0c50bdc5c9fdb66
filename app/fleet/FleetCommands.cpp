#include "app/fleet/FleetCommands.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "targets/fleet/FleetStore.h"

namespace np::fleet {

namespace {

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw StoreError("cannot read " + path + ": " + std::strerror(errno));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw StoreError("cannot read " + path);
  return bytes;
}

void init(FleetStore& store, std::ostream& out) {
  const int found = store.init();
  const std::string version = std::to_string(kSchemaVersion);
  if (found == 0)
    out << "Created the fleet's tables (schema version " << version << ")\n";
  else if (found < kSchemaVersion)
    out << "Migrated the fleet's tables from schema version " << found << " to " << version << "\n";
  else
    out << "The fleet's tables are up to date (schema version " << version << ")\n";
}

void import(FleetStore& store, const std::string& file, std::ostream& out) {
  ListFile list;
  try {
    list = parseListFile(readWholeFile(file));
  } catch (const StoreError&) {
    throw;
  } catch (const std::exception& e) {
    throw StoreError(file + ": " + e.what());
  }
  store.importList(list, file);
  out << "Imported " << file << ": " << list.lines.size() << " lines, " << list.groups.size() << " groups\n";
}

void status(FleetStore& store, std::ostream& out) {
  if (!store.hasList()) {
    out << "No list imported yet\n";
    return;
  }
  for (const GroupStatus& group : store.status()) {
    out << group.name << '\t' << (group.remaining ? std::to_string(*group.remaining) : "unreadable count") << '\t';
    if (group.lastSite.empty())
      out << "not run yet\n";
    else
      out << "last run by " << group.lastSite << " at " << group.lastRun << " UTC\n";
  }
}

void sites(FleetStore& store, std::ostream& out) {
  const std::vector<SiteStatus> all = store.sites();
  if (all.empty()) out << "No site has reached the list yet\n";
  for (const SiteStatus& site : all) out << site.name << "\tlast contact " << site.lastContact << " UTC\n";
}

}  // namespace

int runFleetCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{"The fleet's shared target list in PostgreSQL: sets up its tables, imports a targets.txt into "
               "them, exports it back and shows the groups' counts and the sites."};
  app.name("nightpick-fleet");
  std::string database;
  app.add_option("--database", database, "libpq connection string, e.g. \"host=db.example.org dbname=fleet user=nightpick\"")
      ->required();
  app.require_subcommand(1);
  auto* initCommand = app.add_subcommand("init", "create the tables, or migrate them to this program's schema version");
  std::string file;
  auto* importCommand = app.add_subcommand("import", "import FILE (a targets.txt) into the empty list");
  importCommand->add_option("FILE", file, "the target list to import")->required();
  auto* exportCommand = app.add_subcommand("export", "write the list to standard output, as a targets.txt");
  auto* statusCommand = app.add_subcommand("status", "one line per group: name, count, the site that ran it last and when");
  auto* sitesCommand = app.add_subcommand("sites", "each site and its last contact");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err);
  }

  try {
    FleetStore store(database);
    if (initCommand->parsed()) init(store, out);
    if (importCommand->parsed()) import(store, file, out);
    if (exportCommand->parsed()) out << store.exportList();
    if (statusCommand->parsed()) status(store, out);
    if (sitesCommand->parsed()) sites(store, out);
    out.flush();
    if (!out) throw StoreError("cannot write to standard output");
  } catch (const std::exception& e) {
    err << "nightpick-fleet: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace np::fleet
