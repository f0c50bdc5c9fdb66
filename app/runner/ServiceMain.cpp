// nightpick-headless: the windowed program without a window, for an observatory computer
// with no screen, run as a service. It presses Start at once and runs in real time until
// SIGTERM or SIGINT, which act as the window's "Stop Nightpick and ACP" button followed by
// its close.
#include <CLI/CLI.hpp>

#include <langinfo.h>
#include <locale.h>
#include <signal.h>

#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app/runner/OpenHost.h"
#include "app/runner/ServiceRun.h"
#include "app/runner/WatchConfig.h"
#include "app/service/StatusServer.h"

#include <filesystem>
#include <memory>

namespace {

// Set by the handler, read by the run's event processing. A second signal only sets it
// again: the stop under way (an abort, the log's close, the settings' save) goes on.
volatile std::sig_atomic_t stopSignalled = 0;

extern "C" void onStopSignal(int) { stopSignalled = 1; }

// SIGTERM (the service manager's stop) and SIGINT (Ctrl+C) ask for the stop; calls they
// interrupt go on.
bool catchStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGINT);
  action.sa_flags = SA_RESTART;
  return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

// The decimal separator of the environment's locale (LC_ALL, LC_NUMERIC, LANG), as the
// window takes it from the system's; the program's own locale stays "C", so every file
// reads and writes with a point.
np::NumberLocale environmentNumberLocale() {
  np::NumberLocale locale;
  if (locale_t environment = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
    const char* point = nl_langinfo_l(RADIXCHAR, environment);
    if (point && std::strlen(point) == 1 && static_cast<unsigned char>(point[0]) < 0x80) locale.decimalSeparator = point[0];
    freelocale(environment);
  }
  return locale;
}

}  // namespace

int main(int argc, char** argv) {
  np::registerBackEnds();
  np::ServiceOptions options;
  CLI::App app{"Runs Nightpick without a window: presses Start at once and runs in real time against the "
               "observatory until SIGTERM or SIGINT (Stop Nightpick and ACP)."};
  app.add_option("--program-dir", options.programDir, "folder holding targets.txt and config.ini")
      ->capture_default_str();
  app.add_option("--host-dir", options.hostDir, "the observatory's folder (default: observatory in the program folder)");
  CLI11_PARSE(app, argc, argv);

  if (!catchStopSignals()) {
    std::cerr << "error: cannot catch SIGTERM and SIGINT: " << std::strerror(errno) << std::endl;
    return np::kServiceFailed;
  }
  options.locale = environmentNumberLocale();
  // The status page's night picture is drawn by Qt, which warns once on standard error
  // (the service's journal) that a service has no XDG_RUNTIME_DIR; it needs none.
  if (!std::getenv("XDG_RUNTIME_DIR") && !std::getenv("QT_LOGGING_RULES")) ::setenv("QT_LOGGING_RULES", "default.warning=false", 0);
  options.serveStatus = [](const np::StatusBoard& board, const np::StatusConfig& config) -> std::shared_ptr<void> {
    return std::make_shared<np::StatusServer>(board, config.address, config.port);
  };
  // The night picture's module lies beside the program.
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) options.pictureModuleFolder = self.parent_path().string();
  const int status = np::runService(options, [] { return stopSignalled != 0; }, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
