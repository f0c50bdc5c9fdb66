// Processes on Windows: the temporary names of base/TempName.h, and the programs of
// base/Process.h.
#include "base/Process.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "base/LocalFiles.h"
#include "base/NumberText.h"
#include "base/TempName.h"

namespace np {

unsigned long currentProcessId() { return GetCurrentProcessId(); }

bool processIsRunning(unsigned long process) {
  HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
  if (h == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  DWORD code = 0;
  const bool running = !::GetExitCodeProcess(h, &code) || code == STILL_ACTIVE;
  ::CloseHandle(h);
  return running;
}

namespace {

using Clock = std::chrono::steady_clock;

// How long a killed command is given to go.
constexpr DWORD kReapBoundMs = 10000;
// A longer timeout is as good as endless, and would not fit the clock.
constexpr double kLongestTimeout = 1e8;

// One argument as the C runtime of the started program splits its command line again:
// quoted when it is empty or holds a blank or a quote, a quote and the backslashes before
// it (or before the closing quote) escaped.
std::string quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

// Waits for the process until `deadline`: WAIT_OBJECT_0 once it has ended, WAIT_TIMEOUT,
// or WAIT_FAILED.
DWORD waitUntil(HANDLE process, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const DWORD step = static_cast<DWORD>(std::clamp<long long>(left, 0, 3600 * 1000));
    const DWORD result = ::WaitForSingleObject(process, step);
    if (result != WAIT_TIMEOUT || left <= 0) return result;
  }
}

}  // namespace

// The program's own environment block with the entries of `environment` in place of its
// variables of those names; empty when there are none to add.
std::vector<char> environmentBlock(const std::vector<std::string>& environment) {
  std::vector<char> block;
  if (environment.empty()) return block;
  auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=', 1)); };
  if (char* own = ::GetEnvironmentStrings()) {
    for (const char* e = own; *e; e += std::strlen(e) + 1) {
      const std::string_view entry(e);
      const bool replaced = std::any_of(environment.begin(), environment.end(), [&](const std::string& given) {
        return _stricmp(std::string(nameOf(given)).c_str(), std::string(nameOf(entry)).c_str()) == 0;
      });
      if (!replaced) block.insert(block.end(), e, e + entry.size() + 1);
    }
    ::FreeEnvironmentStringsA(own);
  }
  for (const std::string& given : environment) block.insert(block.end(), given.c_str(), given.c_str() + given.size() + 1);
  block.push_back('\0');
  return block;
}

int runCommand(const std::vector<std::string>& args, double timeoutSeconds, std::string& why,
               const std::vector<std::string>& environment) {
  why.clear();
  if (args.empty() || args.front().empty()) {
    why = "cannot start it: " + localfiles::causeOf(ENOENT);
    return -1;
  }
  std::string line;
  for (const std::string& a : args) {
    if (!line.empty()) line += ' ';
    line += quoted(a);
  }
  std::vector<char> commandLine(line.begin(), line.end());
  commandLine.push_back('\0');
  // Started suspended, so that it is in the job before it can start anything of its own;
  // a console program gets no window of its own.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::vector<char> block = environmentBlock(environment);
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        block.empty() ? nullptr : block.data(), nullptr, &startup, &started)) {
    why = "cannot start it: " + localfiles::winCause(::GetLastError());
    return -1;
  }
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  const bool inJob = job != nullptr && ::AssignProcessToJobObject(job, started.hProcess);
  ::ResumeThread(started.hThread);
  ::CloseHandle(started.hThread);

  const double bound = timeoutSeconds > 0 ? std::min(timeoutSeconds, kLongestTimeout) : 0.0;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bound));
  const DWORD waited = waitUntil(started.hProcess, deadline);
  DWORD failure = waited == WAIT_OBJECT_0 || waited == WAIT_TIMEOUT ? 0 : ::GetLastError();
  int result = -1;
  DWORD code = 0;
  if (waited == WAIT_OBJECT_0) {
    if (::GetExitCodeProcess(started.hProcess, &code))
      result = static_cast<int>(code);
    else
      failure = ::GetLastError();
  }
  if (waited != WAIT_OBJECT_0 || failure != 0) {
    // Overrun, or lost from sight: the command goes with whatever it started in its job.
    if (!inJob || !::TerminateJobObject(job, 1)) ::TerminateProcess(started.hProcess, 1);
    ::WaitForSingleObject(started.hProcess, kReapBoundMs);
    why = waited == WAIT_TIMEOUT ? "ended after " + formatPrintfGeneral(timeoutSeconds, 6) + " s"
                                 : "cannot wait for it: " + localfiles::winCause(failure);
  }
  ::CloseHandle(started.hProcess);
  if (job != nullptr) ::CloseHandle(job);
  return result;
}

}  // namespace np
