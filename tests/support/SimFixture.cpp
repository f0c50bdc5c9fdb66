#include "support/SimFixture.h"

#include <algorithm>
#include <filesystem>

#include "base/Paths.h"
#include "host/SkyMath.h"
#include "host/UtcTime.h"
#include "support/TestText.h"

namespace np::test {

SimFixture::SimFixture(const std::string& ini, double startUnix) : clock(startUnix) {
  const std::string folder = dir.file("observatory");
  if (!ini.empty()) {
    std::filesystem::create_directories(folder);
    writeFileBytes(joinPath(folder, "observatory.ini"), ini);
  }
  host = std::make_unique<SimulatedObservatory>(folder, clock);
  util = host->createUtil();
  telescope = host->createTelescope();
  app = host->createApplication();
}

void SimFixture::restart(const std::string& ini) {
  const std::string folder = host->folder();
  app.reset();
  telescope.reset();
  util.reset();
  host.reset();
  writeFileBytes(joinPath(folder, "observatory.ini"), ini);
  host = std::make_unique<SimulatedObservatory>(folder, clock);
  util = host->createUtil();
  telescope = host->createTelescope();
  app = host->createApplication();
}

std::string SimFixture::writePlan(const std::vector<std::string>& lines, const std::string& name) {
  const std::string path = joinPath(host->planDir(), name);
  writeFileBytes(path, crlf(lines));
  return path;
}

void SimFixture::handOver(const std::string& planPath) {
  writeFileBytes(joinPath(host->planDir(), "runplanonce.txt"), planPath + "\r\n");
}

void SimFixture::runPlan(const std::vector<std::string>& lines) {
  handOver(writePlan(lines));
  util->LoadScript(host->scriptPath());
  util->RunScript();
}

double SimFixture::runUntilIdle(double step, double limitSeconds) {
  double advanced = 0.0;
  while (host->scriptRunning() && advanced < limitSeconds) {
    clock.advance(step);
    advanced += step;
  }
  return advanced;
}

std::vector<AcquisitionEvent> SimFixture::events() {
  host->update();
  return readAcquisitionLog(host->acquisitionLogPath());
}

std::vector<AcquisitionEvent> SimFixture::events(const std::string& kind) {
  std::vector<AcquisitionEvent> all = events();
  std::vector<AcquisitionEvent> some;
  std::copy_if(all.begin(), all.end(), std::back_inserter(some),
               [&](const AcquisitionEvent& e) { return e.kind == kind; });
  return some;
}

double SimFixture::meridianRa(double unixSeconds) const {
  return localSiderealHours(julianDateFromUnix(unixSeconds), host->config().site.longitude);
}

}  // namespace np::test
