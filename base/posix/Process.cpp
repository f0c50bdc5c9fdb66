// Processes on POSIX systems (Linux): the temporary names of base/TempName.h, and the
// programs of base/Process.h.
#include "base/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <thread>

#include "base/NumberText.h"
#include "base/TempName.h"

extern char** environ;

namespace np {

unsigned long currentProcessId() { return static_cast<unsigned long>(getpid()); }

bool processIsRunning(unsigned long process) {
  if (process == 0 || process > static_cast<unsigned long>(INT32_MAX)) return false;  // no process has that id
  if (::kill(static_cast<pid_t>(process), 0) == 0) return true;
  return errno != ESRCH;
}

namespace {

using Clock = std::chrono::steady_clock;

// How often a running command is looked at, and how long a killed one is given to go.
constexpr auto kPollStep = std::chrono::milliseconds(20);
constexpr auto kReapBound = std::chrono::seconds(10);
// A longer timeout is as good as endless, and would not fit the clock.
constexpr double kLongestTimeout = 1e8;

std::string causeOf(int err) { return std::strerror(err); }

// The command in a process group of its own (so that a kill reaches whatever it starts),
// with no signal blocked and the usual ends of the signals that stop a program.
int spawn(pid_t& pid, const std::vector<std::string>& args, const std::vector<std::string>& environment) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The program's own variables, less those that `environment` gives anew.
  std::vector<char*> envp;
  for (char** e = environ; e && *e; ++e) {
    const std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    const bool replaced = std::any_of(environment.begin(), environment.end(), [&](const std::string& given) {
      return given.size() > name.size() && given.compare(0, name.size(), name) == 0 && given[name.size()] == '=';
    });
    if (!replaced) envp.push_back(*e);
  }
  for (const std::string& given : environment) envp.push_back(const_cast<char*>(given.c_str()));
  envp.push_back(nullptr);
  posix_spawnattr_t attr;
  if (const int err = ::posix_spawnattr_init(&attr); err != 0) return err;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD}) sigaddset(&defaults, sig);
  int err = ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (err == 0) err = ::posix_spawnattr_setpgroup(&attr, 0);
  if (err == 0) err = ::posix_spawnattr_setsigmask(&attr, &none);
  if (err == 0) err = ::posix_spawnattr_setsigdefault(&attr, &defaults);
  // glibc reports a program that cannot be executed here, not as an exit status.
  if (err == 0) err = ::posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), envp.data());
  ::posix_spawnattr_destroy(&attr);
  return err;
}

// Waits for the process until `deadline`: true with its status once it has ended.
bool reap(pid_t pid, Clock::time_point deadline, int& status, int& err) {
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 && errno != EINTR) {
      err = errno;
      return false;
    }
    const auto now = Clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(kPollStep, deadline - now));
  }
}

}  // namespace

int runCommand(const std::vector<std::string>& args, double timeoutSeconds, std::string& why,
               const std::vector<std::string>& environment) {
  why.clear();
  if (args.empty() || args.front().empty()) {
    why = "cannot start it: " + causeOf(ENOENT);
    return -1;
  }
  pid_t pid = 0;
  if (const int err = spawn(pid, args, environment); err != 0) {
    why = "cannot start it: " + causeOf(err);
    return -1;
  }
  const double bound = timeoutSeconds > 0 ? std::min(timeoutSeconds, kLongestTimeout) : 0.0;
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bound));
  int status = 0, err = 0;
  if (reap(pid, deadline, status, err)) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    why = "ended by signal " + std::to_string(WTERMSIG(status));
    return -1;
  }
  // Overrun (or lost: another part of the program reaped it): the whole group goes.
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  int ignored = 0;
  (void)reap(pid, Clock::now() + kReapBound, status, ignored);
  why = err != 0 ? "cannot wait for it: " + causeOf(err) : "ended after " + formatPrintfGeneral(timeoutSeconds, 6) + " s";
  return -1;
}

}  // namespace np
