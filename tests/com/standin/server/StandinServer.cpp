// observatory-standin.exe: the simulated observatory in the folder "observatory" beside
// the exe, served as "ACP.Util", "ACP.Telescope" and "ACP.Application" to other processes
// (a local server), on a clock that runs with real time from the folder's clock.start at
// its clock.speed. All three classes share one observatory.
//
//   observatory-standin /RegServer     writes the classes under HKCU\Software\Classes
//   observatory-standin /UnregServer   removes them
//   observatory-standin [-Embedding]   serves until the last object is released
//
// Switches: observatory\standin.ini, read again whenever it changes (at the next call),
// makes the stand-in misbehave as a real host can. One "name = value" a line:
//   busy = N          refuses every call for N seconds, counted from the first call after
//                     the file changed: its message filter answers SERVERCALL_RETRYLATER, as
//                     a busy server does (under Wine, which does not carry that answer back
//                     to the caller, SERVERCALL_REJECTED: the caller sees RPC_E_CALL_REJECTED)
//   park = N          Telescope.Park takes N seconds, every call that comes in meanwhile
//                     refused as above, the stand-in's messages processed
//   exit_after = M    the process ends at once (as a host that is closed or restarted)
//   exit_after = M:k  once it has answered the first (or k-th) call of member M, e.g. RunScript
//   no_weather = 1    no weather object: Util.WeatherConnected is False and Util.Weather
//                     is Nothing
//   plan_dir = PATH   Util.Prefs.LocalUser.DefaultPlanDir answers PATH (a folder that
//                     cannot be written, as one of the host's can be on the computer)
// Calls that release or query objects (IRemUnknown) are never refused, so that a client
// can always let go of the stand-in.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// ---- switches ----

struct Switches {
  double busy = 0;
  double park = 0;
  std::wstring exitAfter;
  int exitAfterCount = 1;
  bool noWeather = false;
  std::string planDir;
};

std::wstring gSwitchesPath;
FILETIME gSwitchesWritten{};
Switches gSwitches;
ULONGLONG gBusyUntil = 0;
bool gParking = false;
int gExitCalls = 0;
bool gExitRequested = false;
DWORD gMainThread = 0;

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

Switches readSwitches(const std::wstring& path) {
  Switches s;
  std::ifstream in{std::filesystem::path(path)};
  std::string line;
  while (std::getline(in, line)) {
    line = trimmed(line.substr(0, line.find('#')));
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (name == "busy") s.busy = std::atof(value.c_str());
    else if (name == "park") s.park = std::atof(value.c_str());
    else if (name == "no_weather") s.noWeather = value == "1" || value == "true";
    else if (name == "plan_dir") s.planDir = value;
    else if (name == "exit_after") {
      const auto colon = value.find(':');
      s.exitAfter.assign(value.begin(), colon == std::string::npos ? value.end() : value.begin() + colon);
      if (colon != std::string::npos) s.exitAfterCount = std::max(1, std::atoi(value.c_str() + colon + 1));
    }
  }
  return s;
}

// Reads the switches again when their file has changed (or appeared, or gone).
void refreshSwitches() {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  FILETIME written{};
  if (GetFileAttributesExW(gSwitchesPath.c_str(), GetFileExInfoStandard, &data)) written = data.ftLastWriteTime;
  if (CompareFileTime(&written, &gSwitchesWritten) == 0) return;
  gSwitchesWritten = written;
  gSwitches = readSwitches(gSwitchesPath);
  gBusyUntil = gSwitches.busy > 0 ? GetTickCount64() + static_cast<ULONGLONG>(gSwitches.busy * 1000) : 0;
  gExitCalls = 0;
}

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// The stand-in's own message filter: refuses calls while it is busy.
class BusyFilter final : public IMessageFilter {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
      *out = static_cast<IMessageFilter*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static: lives as long as the process
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
    refreshSwitches();
    const bool busy = gParking || GetTickCount64() < gBusyUntil;
    if (!busy || !call || !IsEqualIID(call->iid, IID_IDispatch)) return SERVERCALL_ISHANDLED;
    return underWine() ? SERVERCALL_REJECTED : SERVERCALL_RETRYLATER;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

BusyFilter gBusyFilter;

// Processes the stand-in's messages for `seconds`.
void processMessagesFor(double seconds) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

bool beforeCall(std::wstring_view member, const np::com::DispatchCall& call) {
  refreshSwitches();
  if (gSwitches.noWeather && member == L"WeatherConnected") {
    call.expectProperty();
    call.returnBool(false);
    return true;
  }
  if (gSwitches.noWeather && member == L"Weather") {
    call.expectProperty();
    call.returnObject(nullptr);
    return true;
  }
  if (!gSwitches.planDir.empty() && member == L"DefaultPlanDir") {
    call.expectProperty();
    call.returnText(gSwitches.planDir, "DefaultPlanDir");
    return true;
  }
  if (gSwitches.park > 0 && member == L"Park") {
    gParking = true;
    processMessagesFor(gSwitches.park);
    gParking = false;
  }
  return false;
}

void afterCall(std::wstring_view member) {
  if (gSwitches.exitAfter.empty() || member != gSwitches.exitAfter) return;
  if (++gExitCalls != gSwitches.exitAfterCount) return;
  gExitRequested = true;
  PostThreadMessageW(gMainThread, WM_NULL, 0, 0);
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
  gSwitchesPath = np::com::wideFromNarrow(folder + "\\standin.ini", "standin.ini");
  gMainThread = GetCurrentThreadId();
  refreshSwitches();
  IMessageFilter* previous = nullptr;
  CoRegisterMessageFilter(&gBusyFilter, &previous);
  np::com::setCallHooks({beforeCall, afterCall});
  np::com::setOnLastObjectReleased([] { PostQuitMessage(0); });
  np::com::StandinRegistration registration(observatory, CLSCTX_LOCAL_SERVER, false);
  registration.resume();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (gExitRequested) {
      // The answer to the last call on its way first; then gone, as a host that is closed:
      // its classes revoked, its objects cut off from their clients.
      registration.revoke();
      Sleep(200);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
  np::com::setCallHooks({});
  np::com::setOnLastObjectReleased(nullptr);
  CoRegisterMessageFilter(previous, nullptr);
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
