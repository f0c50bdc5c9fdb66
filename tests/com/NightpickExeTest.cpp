// nightpick.exe as a user runs it: the program and the stand-in's local server copied into
// a fresh program folder, the stand-in's classes registered, the exe started, its Start
// button pressed, plans run by the stand-in in its own process, the window closed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Version.h"
#include "app/win32/MainWindow.h"
#include "base/Clock.h"
#include "com/LocalStandin.h"
#include "support/SimFixture.h"
#include "support/TempDir.h"
#include "support/TestText.h"

namespace np::test {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

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
      [](HWND w, LPARAM p) CALLBACK -> BOOL {
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

std::string hms(double hours) {
  char text[16];
  const int s = static_cast<int>(std::fmod(hours + 24.0, 24.0) * 3600);
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
  return std::string(text);
}

// A program folder in `dir` for a night under way now: nightpick.exe, the stand-in and its
// observatory, three targets on the meridian, the settings.
struct Tonight {
  std::string exe, standin, observatory;
  double ra;
};

Tonight tonight(TempDir& dir) {
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
  writeFileBytes(dir.file("targets.txt"), "First Field\t" + hms(ra) + "\t+30:00:00\r\n**** remaining=1\r\n" +
                                              "Second Field\t" + hms(ra + 0.5) + "\t+20:00:00\r\n**** remaining=1\r\n" +
                                              "Third Field\t" + hms(ra - 0.5) + "\t+40:00:00\r\n**** remaining=1\r\n");
  writeFileBytes(dir.file("config.ini"),
                 "lastFocusJD,0\r\nfocusInterval,45\r\nbaseDir,C:\\Astronomy\\Nightpick\\\r\nmaxElevation,90\r\n"
                 "minAzimuth,0\r\nmaxAzimuth,360\r\nsunElev,-18\r\n");

  return {exe, standin, observatory, ra};
}

// nightpick.exe started in the program folder of `night`, the stand-in's classes
// registered for as long as this lives; start() finds its window and presses Start. When
// it goes, a program still running is ended and the classes are removed.
class StartedExe {
 public:
  StartedExe(const Tonight& night, std::string folder) : night_(night), folder_(std::move(folder)) {}
  ~StartedExe() {
    if (program != nullptr) {
      if (WaitForSingleObject(program, 0) != WAIT_OBJECT_0) TerminateProcess(program, 1);
      CloseHandle(program);
    }
    if (registered_) runToEnd(night_.standin, "/UnregServer", folder_);
  }

  void start() {
    ASSERT_EQ(runToEnd(night_.standin, "/RegServer", folder_), 0);
    registered_ = true;
    program = startProgram(night_.exe, "", folder_);
    ASSERT_NE(program, nullptr);
    ASSERT_TRUE(within(60, [&] { return (window = windowOf(GetProcessId(program))) != nullptr; }))
        << "no window; messages: " << textOf(night_.observatory + "\\Logs\\Nightpick.log");
    startButton = GetDlgItem(window, Win32MainWindow::kStartButton);
    ASSERT_NE(startButton, nullptr);
    ASSERT_TRUE(IsWindowEnabled(startButton));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(Win32MainWindow::kStartButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(startButton));
  }

  HANDLE program = nullptr;
  HWND window = nullptr, startButton = nullptr;

 private:
  const Tonight& night_;
  std::string folder_;
  bool registered_ = false;
};

TEST(NightpickExe, RunsPlansOnTheStandInsLocalServerAndSavesItsSettingsWhenClosed) {
  TempDir dir;
  const Tonight night = tonight(dir);
  const std::string& observatory = night.observatory;
  const double ra = night.ra;
  StartedExe started(night, dir.path());
  ASSERT_NO_FATAL_FAILURE(started.start());
  const HANDLE program = started.program;
  const HWND window = started.window;

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


// The text of a message box that a process shows (its static controls), empty when it
// shows none; `box` is set to the box.
std::string messageBoxOf(DWORD processId, HWND& box) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{processId, nullptr};
  EnumWindows(
      [](HWND w, LPARAM p) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        char name[16] = {};
        GetClassNameA(w, name, sizeof name);
        if (owner == s->pid && IsWindowVisible(w) && std::string(name) == "#32770") {
          s->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  box = search.found;
  if (!box) return {};
  std::string text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM p) CALLBACK -> BOOL {
        char name[16] = {};
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, "Static") == 0) {
          char buffer[2048] = {};
          GetWindowTextA(child, buffer, sizeof buffer);
          *reinterpret_cast<std::string*>(p) += buffer;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

// The host ends in the middle of a run (closed by its user, or restarted): the program says
// so in plain words, naming the member that met it, and ends as a run-time failure ends
// it; the list is whole.
TEST(NightpickExe, AHostThatEndsInTheMiddleOfARunIsNamedAsGoneAndTheListStaysWhole) {
  TempDir dir;
  const Tonight night = tonight(dir);
  const std::string listBefore = textOf(dir.file("targets.txt"));
  // The stand-in ends once it has started the first plan.
  writeFileBytes(night.observatory + "\\standin.ini", "exit_after = RunScript\r\n");

  const std::string runLog = night.observatory + "\\Logs\\Nightpick.log";
  StartedExe started(night, dir.path());
  ASSERT_NO_FATAL_FAILURE(started.start());
  const HANDLE program = started.program;

  HWND box = nullptr;
  std::string message;
  ASSERT_TRUE(within(120, [&] { return !(message = messageBoxOf(GetProcessId(program), box)).empty(); }))
      << textOf(runLog);
  EXPECT_THAT(message, HasSubstr("Run-time error: Util."));
  EXPECT_THAT(message, HasSubstr(": the observatory host is no longer running (it was closed or restarted); "
                                 "start it again, then start Nightpick"));
  EXPECT_THAT(textOf(runLog), HasSubstr("Running ACP plan for selected target:"));

  // The box closed, the program ends with the failure's exit code.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_EQ(WaitForSingleObject(program, 60'000), WAIT_OBJECT_0) << "the program did not end";
  DWORD exitCode = 0;
  GetExitCodeProcess(program, &exitCode);
  EXPECT_EQ(exitCode, 1u);

  // Every group is still in the list, each with its count line.
  const std::vector<std::string> before = splitLines(listBefore);
  const std::vector<std::string> after = splitLines(textOf(dir.file("targets.txt")));
  ASSERT_EQ(after.size(), before.size()) << textOf(dir.file("targets.txt"));
  for (std::size_t i = 0; i < before.size(); i += 2) {
    EXPECT_EQ(after[i], before[i]);
    EXPECT_EQ(after[i + 1].rfind("**** remaining=", 0), 0u) << after[i + 1];
  }
  EXPECT_FALSE(processRunning(L"observatory-standin.exe"));
}

// A plan folder of the host that cannot be written is named at Start, in daylight as it
// were, and nothing runs: no count lowered, no run log, no plan handed over.
TEST(NightpickExe, AHostsPlanFolderThatCannotBeWrittenIsNamedAtStartAndNothingRuns) {
  TempDir dir;
  const Tonight night = tonight(dir);
  const std::string listBefore = textOf(dir.file("targets.txt"));
  // The host names a "folder" that is a file: nothing can be created in it.
  const std::string planDir = dir.file("Plans-is-a-file");
  writeFileBytes(planDir, "not a folder");
  writeFileBytes(night.observatory + "\\standin.ini", "plan_dir = " + planDir + "\r\n");

  StartedExe started(night, dir.path());
  ASSERT_NO_FATAL_FAILURE(started.start());
  const HANDLE program = started.program;
  const HWND window = started.window, startButton = started.startButton;

  HWND box = nullptr;
  std::string message;
  ASSERT_TRUE(within(120, [&] { return !(message = messageBoxOf(GetProcessId(program), box)).empty(); }));
  EXPECT_THAT(message, HasSubstr("Nightpick cannot start: it cannot write in the host's plan folder " + planDir));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

  // The window stays, stopped: Start can be pressed again once the folder is mended.
  ASSERT_TRUE(within(30, [&] { return IsWindowEnabled(startButton) != FALSE && messageBoxOf(GetProcessId(program), box).empty(); }));
  EXPECT_EQ(WaitForSingleObject(program, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(textOf(dir.file("targets.txt")), listBefore);
  EXPECT_FALSE(fs::exists(night.observatory + "\\Logs\\Nightpick.log"));
  EXPECT_EQ(textOf(planDir), "not a folder");
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(program, 60'000), static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
}  // namespace np::test

namespace np::test {
namespace {

// The manifest built into nightpick.exe, read as Windows reads it (resource 1 of type
// RT_MANIFEST): it names the exe's own architecture, which Windows checks against the exe,
// and asks to run as the user who starts it, so that no file virtualization moves its
// files out of the program folder.
TEST(NightpickExe, ItsManifestNamesItsOwnArchitectureAndRunsAsTheUser) {
  const std::wstring exe = fs::path(NIGHTPICK_EXE).wstring();
  HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr) << "cannot read " << NIGHTPICK_EXE;
  HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr) << "nightpick.exe has no manifest";
  HGLOBAL loaded = LoadResource(image, found);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  const std::string manifest(bytes, SizeofResource(image, found));
  FreeLibrary(image);
  // The tests are built for the same architecture as the exe beside them.
  const std::string architecture = sizeof(void*) == 8 ? "amd64" : "x86";
  const std::string version = std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                              std::to_string(kVersionRevision) + ".0";
  EXPECT_THAT(manifest, HasSubstr("name=\"Nightpick\" version=\"" + version + "\" processorArchitecture=\"" +
                                  architecture + "\""));
  EXPECT_THAT(manifest, HasSubstr("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"));
}

}  // namespace
}  // namespace np::test
