// nightpick-sim: the headless runner. The program's own observing loop against the
// simulated observatory, on a clock that runs as fast as the machine allows.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>

#include "app/runner/Explain.h"
#include "app/runner/HeadlessRun.h"
#include "app/runner/ReportPictureModule.h"

int main(int argc, char** argv) {
  np::HeadlessOptions options;
  CLI::App app{"Runs Nightpick's observing loop against the simulated observatory, as fast as it can."};
  app.add_option("--program-dir", options.programDir, "folder holding targets.txt and config.ini")
      ->capture_default_str();
  app.add_option("--host-dir", options.hostDir, "the simulated observatory's folder (default: observatory in it)");
  app.add_option("--start", options.start, "UTC instant at which the run starts, ISO 8601 (default: clock.start)");
  app.add_option("--hours", options.hours, "simulated hours until Stop is pressed")->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--stop-after-plans", options.stopAfterPlans, "press Stop once N plans have finished")
      ->check(CLI::PositiveNumber);
  std::string reportFile;
  auto* report = app.add_option("--report", reportFile, "also draw the night report as a PNG picture");
  bool explain = false, csv = false;
  std::string at;
  auto* explainFlag = app.add_flag("--explain", explain,
                                   "instead of a run: why each group of targets.txt is chosen or not, at one instant");
  auto* atOption = app.add_option("--at", at, "with --explain: the UTC instant, ISO 8601 (default: clock.start)");
  auto* csvFlag = app.add_flag("--csv", csv, "with --explain: CSV instead of a table");
  atOption->needs(explainFlag);
  csvFlag->needs(explainFlag);
  explainFlag->excludes(report);
  for (const char* runOnly : {"--start", "--hours", "--stop-after-plans"}) explainFlag->excludes(app.get_option(runOnly));
  CLI11_PARSE(app, argc, argv);

  if (explain) {
    np::ExplainOptions explainOptions{options.programDir, options.hostDir, at};
    const np::ExplainResult result = np::explainSelection(explainOptions, std::cerr);
    if (result.exitCode == 0) std::cout << (csv ? np::formatExplainCsv(result) : np::formatExplainText(result));
    std::cout.flush();
    return result.exitCode;
  }
  if (!reportFile.empty() && !np::isReportPicturePath(reportFile)) {
    std::cerr << "error: --report: only .png pictures are written: '" << reportFile << "'" << std::endl;
    return 2;
  }

  np::HeadlessResult result = np::runHeadless(options, std::cout, std::cerr);
  std::cout.flush();
  if (!reportFile.empty() && result.hasReport) {
    std::string error;
    // The picture's module lies beside the program.
    const std::string folder = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    if (!np::writeReportPictureWithModule(folder, result.report, reportFile, error)) {
      std::cerr << "error: --report: " << error << std::endl;
      return result.exitCode != 0 ? result.exitCode : 1;
    }
  }
  return result.exitCode;
}
