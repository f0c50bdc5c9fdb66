// The start-up routine on Windows: initialises the window thread's COM apartment,
// builds the platform the program runs on (the host's automation objects, the ERFA
// ephemeris, files, the clock, event processing, message boxes, the user's number
// locale), loads the main window, shows it and runs its messages until it closes.
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <memory>
#include <string>

#include "app/FrmMain.h"
#include "app/win32/MainWindow.h"
#include "base/Clock.h"
#include "base/FileSystem.h"
#include "base/win32/Win32MessageSink.h"
#include "base/win32/WinText.h"
#include "host/ErfaEphemeris.h"
#include "app/runner/OpenHost.h"
#include "host/com/ComHost.h"
#include "host/com/ComSupport.h"
#include "host/com/MessageFilter.h"
#include "night/win32/Win32EventPump.h"
#include "settings/win32/UserLocale.h"

namespace {

// Everything lives in this scope: the window goes first, the host objects after it, all
// before the window thread's apartment is left.
int runWindowed(np::Win32MessageSink& messages, int showCommand) {
  const np::com::ComApartment apartment;
  // A busy host's refusals are tried again for a few minutes (host/com/MessageFilter.h);
  // registered before the host objects are made at the window's load, revoked after them.
  const np::com::BusyHostFilter busyHost;
  const std::string exe = np::ansiFromWide(np::modulePathW());
  // The host by automation ("ACP.Util", "ACP.Telescope", "ACP.Application") on the
  // computer's clock.
  np::LocalFileSystem files;
  np::OpenedHost opened = np::openHost(np::programFolderOf(exe) + "observatory", files, {}, np::HostChoice{"com"});
  np::Clock& clock = *opened.clock;
  np::IHostFactory& host = *opened.host;
  np::ErfaEphemerisFactory ephemeris;
  np::Win32EventPump events;

  np::Platform platform{host, ephemeris, files, clock, messages, events, np::userNumberLocale(), exe};
  np::frmMain form(platform);
  // The window's load: a host that cannot be created ends the program before any
  // window shows.
  form.Form_Load();
  np::Win32MainWindow window(form);
  messages.setMainWindow(window.hwnd());
  window.show(showCommand);
  return events.RunMessageLoop();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  np::registerBackEnds();
  np::Win32MessageSink messages;
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  int exitCode = 1;
  try {
    exitCode = runWindowed(messages, showCommand);
  } catch (const std::exception& e) {
    messages.showMessage(np::runTimeErrorMessage(e.what()));
  } catch (...) {
    messages.showMessage(np::runTimeErrorMessage("unknown error"));
  }
  return exitCode;
}
