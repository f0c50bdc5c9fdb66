#pragma once
// observatory-standin.exe as a local server of its own: copied with a fresh "observatory"
// folder into a temporary program folder and registered there, started by COM when a
// client creates one of its classes. Its switches (standin.ini in the observatory folder,
// described in tests/com/standin/server/StandinServer.cpp) make it misbehave as a real
// host can. The helpers below start and watch processes; every wait is bounded.
#include <windows.h>
#include <tlhelp32.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/TempDir.h"

namespace np::test {

// Starts a program and returns its process handle (nullptr when it cannot be started).
inline HANDLE startProgram(const std::string& exe, const std::string& arguments, const std::string& folder) {
  std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// Runs a program to its end; its exit code, or -1 when it could not be started or did not end.
inline long runToEnd(const std::string& exe, const std::string& arguments, const std::string& folder) {
  HANDLE p = startProgram(exe, arguments, folder);
  if (!p) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(p, 60'000) != WAIT_OBJECT_0) TerminateProcess(p, 1);
  GetExitCodeProcess(p, &code);
  CloseHandle(p);
  return static_cast<long>(code);
}

// Polls `done` every 100 ms for at most `seconds`.
inline bool within(double seconds, const std::function<bool()>& done) {
  for (double waited = 0; waited < seconds; waited += 0.1) {
    if (done()) return true;
    Sleep(100);
  }
  return done();
}

// Whether a process of this executable name (any folder) is running.
inline bool processRunning(const wchar_t* exeName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry))
    found = lstrcmpiW(entry.szExeFile, exeName) == 0;
  CloseHandle(snapshot);
  return found;
}

class LocalStandin {
 public:
  // The stand-in in dir's folder, its observatory.ini `ini` (empty: the defaults).
  explicit LocalStandin(TempDir& dir, const std::string& ini = "")
      : dir_(dir), exe_(dir.file("observatory-standin.exe")), observatory_(dir.file("observatory")) {
    std::filesystem::copy_file(NIGHTPICK_STANDIN_EXE, exe_);
    std::filesystem::create_directory(observatory_);
    if (!ini.empty()) writeFileBytes(observatory_ + "\\observatory.ini", ini);
    registered_ = runToEnd(exe_, "/RegServer", dir.path()) == 0;
  }
  ~LocalStandin() {
    // Every object released, the stand-in ends by itself; the classes go after it.
    within(30, [] { return !processRunning(L"observatory-standin.exe"); });
    runToEnd(exe_, "/UnregServer", dir_.path());
  }
  LocalStandin(const LocalStandin&) = delete;
  LocalStandin& operator=(const LocalStandin&) = delete;

  bool registered() const { return registered_; }
  const std::string& exe() const { return exe_; }
  const std::string& observatory() const { return observatory_; }
  // Writes the switches; a running stand-in reads them at its next call.
  void setSwitches(const std::string& text) const { writeFileBytes(observatory_ + "\\standin.ini", text); }

 private:
  TempDir& dir_;
  std::string exe_;
  std::string observatory_;
  bool registered_ = false;
};

}  // namespace np::test
