#pragma once
// A program of the build started in the background as a user starts it, its standard
// output and error in files, and bounded waits on it and on the files it writes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace np::test {

class ProgramProcess {
 public:
  // Standard output goes to `outPath`, standard error to `outPath` + ".err".
  ProgramProcess(const std::string& exe, const std::vector<std::string>& arguments, const std::string& outPath) {
    std::fflush(nullptr);  // what the test has buffered is written once, not again by the child
    pid_ = ::fork();
    if (pid_ == 0) {
      std::vector<std::string> args = arguments;
      std::string program = exe;
      std::vector<char*> argv{program.data()};
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      FILE* out = std::freopen(outPath.c_str(), "w", stdout);
      FILE* err = std::freopen((outPath + ".err").c_str(), "w", stderr);
      if (out && err) ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~ProgramProcess() { kill(); }
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  void signal(int number) {
    if (pid_ > 0) ::kill(pid_, number);
  }
  // Waits at most `limit` for the program to end: its exit status; -1 when a signal ended
  // it, or when it had not ended by then (it is killed).
  int wait(std::chrono::milliseconds limit = std::chrono::seconds(120)) {
    if (pid_ <= 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (ended != pid_) {
      kill();
      return -1;
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

// Waits at most `limit` until the file holds `text`.
inline bool waitForText(const std::string& path, const std::string& text,
                        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && readFileBytes(path).find(text) != std::string::npos) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace np::test
