#include "app/runner/ServiceRun.h"

#include <exception>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "app/FrmMain.h"
#include "base/FileSystem.h"
#include "base/Paths.h"
#include "host/ErfaEphemeris.h"
#include "night/RealTimeWait.h"
#include "app/runner/OpenHost.h"
#include "app/runner/PrintingMessageSink.h"
#include "app/runner/PrintingView.h"

namespace np {

namespace {

constexpr char kExecutableName[] = "nightpick-headless";

std::string absoluteFolder(const std::string& folder) {
  std::error_code ec;
  const auto abs = std::filesystem::absolute(folder.empty() ? "." : folder, ec);
  return withoutSeparator(ec ? folder : abs.lexically_normal().string());
}

}  // namespace

int runService(const ServiceOptions& options, const std::function<bool()>& stopRequested, std::ostream& out,
               std::ostream& err) {
  try {
    const std::string programDir = absoluteFolder(options.programDir);
    const std::string hostDir =
        options.hostDir.empty() ? joinPath(programDir, "observatory") : absoluteFolder(options.hostDir);

    // The file system outlives the host, which writes through it; the host's clock and
    // objects outlive the window's logic, which holds the objects.
    LocalFileSystem files;
    OpenedHost opened = openHost(hostDir, files);
    ErfaEphemerisFactory ephemeris;
    PrintingMessageSink messages(err);
    RealTimeEventPump events(*opened.clock);
    Platform platform{*opened.host, ephemeris, files,           *opened.clock,
                      messages,     events,    options.locale, joinPath(programDir, kExecutableName)};
    PrintingView view(out, *opened.clock, nullptr, true);
    frmMain main(platform, &view);

    // The service's "user": a stop request presses Stop Nightpick and ACP, once, while a
    // run is under way; a wait under way then ends at once, so the run sees the stop at
    // its next check.
    bool stopPressed = false;
    events.setOnEvents([&] {
      if (stopPressed || !main.running() || !stopRequested()) return;
      stopPressed = true;
      main.StopAndAbortButton_Click();
    });
    events.setEndWait([&] { return main.stopFlag; });

    main.Form_Load();
    main.StartButton_Click();
    // A copy refused by the folder's lock leaves the folder to the copy that runs: the
    // settings it loaded may be older than that copy's last save.
    if (main.startRefused()) return kServiceFailed;
    main.Form_Unload();
    if (!stopPressed) {
      err << "error: the run ended without a stop request" << std::endl;
      return kServiceFailed;
    }
    return kServiceStopped;
  } catch (const std::exception& e) {
    err << "error: " << e.what() << std::endl;
  } catch (...) {
    err << "error: unknown error" << std::endl;
  }
  return kServiceFailed;
}

}  // namespace np
