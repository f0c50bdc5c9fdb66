#include "support/SampleNight.h"

#include <sstream>

#include "app/runner/HeadlessRun.h"
#include "base/Paths.h"
#include "support/TempDir.h"

namespace np::test {

namespace {

std::string recorded(const std::string& name) {
  return readFileBytes(joinPath(joinPath(NIGHTPICK_TEST_DATA, "sample-night"), name));
}

}  // namespace

SampleNight runSampleNight(const std::function<std::unique_ptr<IHostFactory>(IHostFactory&)>& reachHost) {
  TempDir dir;
  writeFileBytes(dir.file("targets.txt"), recorded("targets-before.txt"));
  HeadlessOptions options;
  options.programDir = dir.path();
  options.start = "2026-12-07T12:00:00Z";
  options.hours = 24;
  options.reachHost = reachHost;
  std::ostringstream out, err;
  const HeadlessResult result = runHeadless(options, out, err);
  SampleNight night;
  night.out = out.str();
  night.err = err.str();
  night.list = readFileBytes(dir.file("targets.txt"));
  night.config = readFileBytes(dir.file("config.ini"));
  const std::string host = joinPath(dir.path(), "observatory");
  night.runLog = readFileBytes(joinPath(joinPath(host, "Logs"), "Nightpick.log"));
  // The acquisition log names each plan by its path: the temporary folder's, with the
  // platform's separators. It is kept as "observatory/Plans/...".
  night.acquisition = readFileBytes(joinPath(joinPath(host, "Logs"), "AcquireImages.log"));
  const std::string start = "\tSTART\t";
  for (std::size_t at = night.acquisition.find(start); at != std::string::npos;
       at = night.acquisition.find(start, at + 1)) {
    const std::size_t path = at + start.size();
    if (night.acquisition.compare(path, host.size(), host) != 0) continue;
    night.acquisition.replace(path, host.size(), "observatory");
    for (std::size_t i = path; i < night.acquisition.size() && night.acquisition[i] != '\r' &&
                               night.acquisition[i] != '\n';
         ++i)
      if (night.acquisition[i] == '\\') night.acquisition[i] = '/';
  }
  night.plan = readFileBytes(joinPath(joinPath(host, "Plans"), "nightpickplan.txt"));
  return night;
}

SampleNight recordedSampleNight() {
  SampleNight night;
  night.out = recorded("stdout.txt");
  night.list = recorded("targets-after.txt");
  night.config = recorded("config.ini");
  night.runLog = recorded("Nightpick.log");
  night.acquisition = recorded("AcquireImages.log");
  night.plan = recorded("nightpickplan.txt");
  return night;
}

std::string differences(const SampleNight& got, const SampleNight& expected) {
  std::string named;
  auto compare = [&](const std::string& a, const std::string& b, const char* name) {
    if (a != b) named += std::string(named.empty() ? "" : ", ") + name;
  };
  compare(got.out, expected.out, "stdout.txt");
  compare(got.err, expected.err, "stderr");
  compare(got.list, expected.list, "targets-after.txt");
  compare(got.config, expected.config, "config.ini");
  compare(got.runLog, expected.runLog, "Nightpick.log");
  compare(got.acquisition, expected.acquisition, "AcquireImages.log");
  compare(got.plan, expected.plan, "nightpickplan.txt");
  return named;
}

}  // namespace np::test
