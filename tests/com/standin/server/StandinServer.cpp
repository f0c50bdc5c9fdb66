// observatory-standin.exe: the simulated observatory in the folder "observatory" beside
// the exe, served as "ACP.Util", "ACP.Telescope" and "ACP.Application" to other processes
// (a local server), on a clock that runs with real time from the folder's clock.start at
// its clock.speed. All three classes share one observatory.
//
//   observatory-standin /RegServer     writes the classes under HKCU\Software\Classes
//   observatory-standin /UnregServer   removes them
//   observatory-standin [-Embedding]   serves until the last object is released
#include <windows.h>

#include <string>

#include "base/Clock.h"
#include "host/com/ComSupport.h"
#include "com/standin/DispatchImpl.h"
#include "com/standin/Standin.h"
#include "host/ObservatoryConfig.h"
#include "host/sim/SimulatedObservatory.h"

namespace {

std::wstring exePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

bool option(const wchar_t* arg, const wchar_t* name) {
  return (arg[0] == L'/' || arg[0] == L'-') && lstrcmpiW(arg + 1, name) == 0;
}

void report(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), "observatory-standin", MB_OK);
}

int serve() {
  np::com::ComApartment apartment;
  const std::string exe = np::com::narrowFromWide(exePath(), "observatory-standin");
  const std::string folder = exe.substr(0, exe.find_last_of("\\/")) + "\\observatory";
  const np::ObservatoryConfig config = np::loadObservatoryConfig(folder);
  np::RealTimeClock clock(np::clockStartUnixSeconds(config, np::systemUnixSeconds()), config.clock.speed);
  np::SimulatedObservatory observatory(folder, clock);
  np::com::setOnLastObjectReleased([] { PostQuitMessage(0); });
  np::com::StandinRegistration registration(observatory, CLSCTX_LOCAL_SERVER, false);
  registration.resume();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  np::com::setOnLastObjectReleased(nullptr);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const wchar_t* arg = (argv && argc > 1) ? argv[1] : L"";
  try {
    if (option(arg, L"RegServer")) {
      np::com::registerLocalServer(exePath());
      return 0;
    }
    if (option(arg, L"UnregServer")) {
      np::com::unregisterLocalServer();
      return 0;
    }
    return serve();
  } catch (const std::exception& e) {
    // Started by COM nobody sees a box; the client gets CO_E_SERVER_EXEC_FAILURE.
    if (!option(arg, L"Embedding")) report(e.what());
    return 1;
  }
}
