// A site's pass over a list of 10,000 groups kept in the fleet's database, as a site pays
// it: the list read from the server (its export), the selection over that text and the
// take of the chosen group's run (its plan written, the run recorded in one transaction).
// The server is a PostgreSQL 15 of the benchmark's own, reached over TCP on 127.0.0.1 as a
// server on another computer is reached (only the network's own latency is left out), and
// over its unix socket. Beside it, the same pass over the same list in targets.txt: the
// selection and the list's rewrite with the plan (updateTarget). Both lists start alike
// and take the same group at each pass.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "bench/PassWorld.h"
#include "selection/Selection.h"
#include "support/PostgresServer.h"
#include "support/TempDir.h"
#include "targets/PlanWriter.h"
#include "targets/fleet/DatabaseList.h"
#include "targets/fleet/FleetStore.h"

namespace {

using np::bench::PassWorld;
using np::test::PostgresRoute;

constexpr int kGroups = 10000;

// The server, started once for the program.
np::test::PostgresServer& fleetServer() {
  static np::test::PostgresServer server(PostgresRoute::LoopbackTcp);
  return server;
}

double secondsSince(std::chrono::steady_clock::time_point& t0) {
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - t0).count();
  t0 = now;
  return seconds;
}

// Each iteration is one pass of a site on the database (the iteration's time) and one on
// targets.txt, the clock a minute on after each; the database's list is imported anew for
// each route.
void BM_FleetPass(benchmark::State& state) {
  const auto route = state.range(0) == 0 ? PostgresRoute::LoopbackTcp : PostgresRoute::UnixSocket;
  state.SetLabel(route == PostgresRoute::LoopbackTcp ? "TCP 127.0.0.1" : "unix socket");
  np::test::PostgresServer& server = fleetServer();
  const std::string database = server.createDatabaseNamed();
  PassWorld world(kGroups);
  {
    np::fleet::FleetStore store(server.connectionString(database));
    store.init();
    store.importList(np::fleet::parseListFile(np::test::readFileBytes(world.folder.file("targets.txt"))), "targets.txt");
  }
  np::fleet::DatabaseList list(server.connectionString(database, route), "bench");
  list.listText();  // connected before the first pass
  const np::Services services = world.services();
  auto log = world.files.OpenTextFileForAppending(world.folder.file("Nightpick.log"));
  auto fileLog = world.files.OpenTextFileForAppending(world.folder.file("file.log"));
  np::Settings settings, fileSettings;
  const bool stopFlag = false;
  const np::DateTime quitTime{world.util->Date_Julian(world.clock.nowLocal()) - np::kSerialEpochJD + 0.25};

  double read = 0, select = 0, take = 0, fileSelect = 0, fileUpdate = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    const std::string text = list.listText();
    const double readSeconds = secondsSince(t0);
    const std::optional<np::ChosenGroup> chosen =
        np::selectTargetIn(services, std::make_unique<np::TextLines>(text), *log, settings, stopFlag);
    log->Flush();
    const double selectSeconds = secondsSince(t0);
    if (!chosen) {
      state.SkipWithError("no group chosen");
      break;
    }
    const np::StoreTake taken =
        np::takeFromStore(services, *log, settings, [] {}, quitTime, text, chosen->start, list);
    log->Flush();
    const double takeSeconds = secondsSince(t0);
    state.SetIterationTime(readSeconds + selectSeconds + takeSeconds);

    const std::optional<np::ChosenGroup> fromFile = np::selectTarget(services, *fileLog, fileSettings, stopFlag);
    fileLog->Flush();
    fileSelect += secondsSince(t0);
    if (fromFile) np::updateTarget(services, *fileLog, fileSettings, [] {}, quitTime, fromFile->start);
    fileLog->Flush();
    fileUpdate += secondsSince(t0);
    if (!taken.taken || !fromFile || fromFile->start != chosen->start) {
      state.SkipWithError("the database's pass and the file's took different groups");
      break;
    }
    read += readSeconds;
    select += selectSeconds;
    take += takeSeconds;
    world.clock.advance(60);
  }
  if (world.messages.shown != 0) state.SkipWithError("unexpected message box");
  const double n = static_cast<double>(state.iterations());
  state.counters["read_ms"] = 1e3 * read / n;
  state.counters["select_ms"] = 1e3 * select / n;
  state.counters["take_ms"] = 1e3 * take / n;
  state.counters["file_select_ms"] = 1e3 * fileSelect / n;
  state.counters["file_update_ms"] = 1e3 * fileUpdate / n;
  state.counters["x_file"] = (read + select + take) / (fileSelect + fileUpdate);
}
BENCHMARK(BM_FleetPass)->Arg(0)->Arg(1)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

}  // namespace
