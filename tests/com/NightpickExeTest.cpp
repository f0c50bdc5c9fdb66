// nightpick.exe as a user runs it: the program and the stand-in's local server copied into
// a fresh program folder, the stand-in's classes registered, the exe started, its Start
// button pressed, plans run by the stand-in in its own process, the window closed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/win32/MainWindow.h"
#include "base/Clock.h"
#include "support/SimFixture.h"
#include "support/TempDir.h"
#include "support/TestText.h"

namespace np::test {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

// Starts a program and returns its process handle (nullptr when it cannot be started).
HANDLE start(const std::string& exe, const std::string& arguments, const std::string& folder) {
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
long runToEnd(const std::string& exe, const std::string& arguments, const std::string& folder) {
  HANDLE p = start(exe, arguments, folder);
  if (!p) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(p, 60'000) != WAIT_OBJECT_0) TerminateProcess(p, 1);
  GetExitCodeProcess(p, &code);
  CloseHandle(p);
  return static_cast<long>(code);
}

// Polls `done` every 100 ms for at most `seconds`.
bool within(double seconds, const std::function<bool()>& done) {
  for (double waited = 0; waited < seconds; waited += 0.1) {
    if (done()) return true;
    Sleep(100);
  }
  return done();
}

std::string textOf(const std::string& path) {
  try {
    return readFileBytes(path);
  } catch (const std::exception&) {
    return {};
  }
}

int occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// The visible top-level window of a process.
HWND windowOf(DWORD processId) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{processId, nullptr};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == s->pid && IsWindowVisible(w) && !GetWindow(w, GW_OWNER)) {
          s->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Whether a process of this executable name (any folder) is running.
bool processRunning(const wchar_t* exeName) {
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

TEST(NightpickExe, RunsPlansOnTheStandInsLocalServerAndSavesItsSettingsWhenClosed) {
  TempDir dir;
  const std::string exe = dir.file("nightpick.exe");
  const std::string standin = dir.file("observatory-standin.exe");
  fs::copy_file(NIGHTPICK_EXE, exe);
  fs::copy_file(NIGHTPICK_STANDIN_EXE, standin);

  // The host's clock is the computer's, as on the observatory computer: the stand-in runs in
  // real time in the computer's time zone, at a site on the equator where it is midnight
  // now. Plans of a few seconds.
  const std::string observatory = dir.file("observatory");
  fs::create_directory(observatory);
  const double now = systemUnixSeconds();
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  GetLocalTime(&local);
  FILETIME u, l;
  SystemTimeToFileTime(&utc, &u);
  SystemTimeToFileTime(&local, &l);
  auto ticks = [](FILETIME t) { return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime); };
  const double zoneHours = std::round((ticks(l) - ticks(u)) / 1e7 / 900.0) / 4.0;
  const double utcHours = std::fmod(now / 3600.0, 24.0);
  const double longitude = std::fmod((24.0 - utcHours) * 15.0 + 540.0, 360.0) - 180.0;
  char ini[256];
  std::snprintf(ini, sizeof ini,
                "[site]\nlatitude = 0\nlongitude = %.3f\nutc_offset = %.2f\n"
                "[acquisition]\nstart_delay = 1\ncount = 1\ninterval = 3\noverhead = 2\nautofocus = 2\n",
                longitude, zoneHours);
  writeFileBytes(observatory + "\\observatory.ini", ini);
  SimFixture sky(ini, now);  // the same site: which right ascension is on the meridian now
  const double ra = sky.meridianRa(now);
  auto hms = [](double hours) {
    char text[16];
    const int s = static_cast<int>(std::fmod(hours + 24.0, 24.0) * 3600);
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    return std::string(text);
  };
  writeFileBytes(dir.file("targets.txt"), "First Field\t" + hms(ra) + "\t+30:00:00\r\n**** remaining=1\r\n" +
                                              "Second Field\t" + hms(ra + 0.5) + "\t+20:00:00\r\n**** remaining=1\r\n" +
                                              "Third Field\t" + hms(ra - 0.5) + "\t+40:00:00\r\n**** remaining=1\r\n");
  writeFileBytes(dir.file("config.ini"),
                 "lastFocusJD,0\r\nfocusInterval,45\r\nbaseDir,C:\\Astronomy\\Nightpick\\\r\nmaxElevation,90\r\n"
                 "minAzimuth,0\r\nmaxAzimuth,360\r\nsunElev,-18\r\n");

  ASSERT_EQ(runToEnd(standin, "/RegServer", dir.path()), 0);
  struct Unregister {
    std::string standin, folder;
    ~Unregister() { runToEnd(standin, "/UnregServer", folder); }
  } unregister{standin, dir.path()};

  HANDLE program = start(exe, "", dir.path());
  ASSERT_NE(program, nullptr);
  struct Close {
    HANDLE p;
    ~Close() {
      if (WaitForSingleObject(p, 0) != WAIT_OBJECT_0) TerminateProcess(p, 1);
      CloseHandle(p);
    }
  } close{program};

  HWND window = nullptr;
  ASSERT_TRUE(within(60, [&] { return (window = windowOf(GetProcessId(program))) != nullptr; }))
      << "no window; messages: " << textOf(observatory + "\\Logs\\Nightpick.log");
  HWND startButton = GetDlgItem(window, Win32MainWindow::kStartButton);
  ASSERT_NE(startButton, nullptr);
  ASSERT_TRUE(IsWindowEnabled(startButton));
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(Win32MainWindow::kStartButton, BN_CLICKED),
               reinterpret_cast<LPARAM>(startButton));

  // Each group is chosen once: three plans, every count down to 0.
  const std::string runLog = observatory + "\\Logs\\Nightpick.log";
  const std::string running = "Running ACP plan for selected target:";
  EXPECT_TRUE(within(120, [&] { return occurrences(textOf(runLog), running) >= 3; })) << textOf(runLog);

  // The settings are written again when the window closes.
  fs::remove(dir.file("config.ini"));
  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(program, 60'000), WAIT_OBJECT_0) << "the program did not end when closed";
  DWORD exitCode = 1;
  GetExitCodeProcess(program, &exitCode);
  EXPECT_EQ(exitCode, 0u);

  const std::vector<std::string> config = splitLines(textOf(dir.file("config.ini")));
  ASSERT_EQ(config.size(), 7u);
  EXPECT_EQ(config[1], "focusInterval,45");

  const std::string log = textOf(runLog);
  EXPECT_THAT(log, HasSubstr(running + "First Field"));
  EXPECT_THAT(log, HasSubstr(running + "Second Field"));
  EXPECT_THAT(log, HasSubstr(running + "Third Field"));
  const std::string list = textOf(dir.file("targets.txt"));
  EXPECT_THAT(list, HasSubstr("First Field\t" + hms(ra) + "\t+30:00:00\r\n**** remaining=0\r\n"));
  EXPECT_THAT(list, HasSubstr("Second Field\t" + hms(ra + 0.5) + "\t+20:00:00\r\n**** remaining=0\r\n"));
  EXPECT_THAT(list, HasSubstr("Third Field\t" + hms(ra - 0.5) + "\t+40:00:00\r\n**** remaining=0\r\n"));
  // The plan was the host's own: its acquisition ran in the stand-in's process.
  EXPECT_THAT(textOf(observatory + "\\Logs\\AcquireImages.log"), HasSubstr("First Field"));

  // With the program's objects released the stand-in ends by itself.
  EXPECT_TRUE(within(30, [] { return !processRunning(L"observatory-standin.exe"); }));
}

}  // namespace
}  // namespace np::test
