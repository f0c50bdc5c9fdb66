#include "indi/IndiServer.h"

#include "support/BoundedWait.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace np::test {
namespace {

int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("no free loopback port");
  }
  ::close(fd);
  return ntohs(addr.sin_port);
}

bool accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

// Runs a program with HOME set, waiting at most `seconds`; its exit status or -1. Its
// output goes to the file `output` when one is named.
int runBounded(const std::vector<std::string>& args, const std::string& home, double seconds,
               const std::string& output = "") {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::setpgid(0, 0);
    ::setenv("HOME", home.c_str(), 1);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    const int out = output.empty() ? -1 : ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) ::dup2(out, 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  return waitChildBounded(pid, seconds);
}

// A shell word of any text.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

IndiServer::IndiServer(const std::vector<Driver>& drivers) {
  port_ = freeLoopbackPort();
  // What the server is given to start: a named driver's script by its path.
  std::vector<std::string> programs;
  for (const Driver& driver : drivers) {
    if (driver.name.empty()) {
      programs.push_back(driver.program);
      continue;
    }
    const std::string script = home_.file("driver-" + std::to_string(programs.size()) + ".sh");
    writeFileBytes(script, "#!/bin/sh\nINDIDEV=" + quoted(driver.name) + " exec " + quoted(driver.program) + " \"$@\"\n");
    ::chmod(script.c_str(), 0755);
    programs.push_back(script);
  }
  const std::string logPath = home_.file("indiserver.log");
  const std::string socketPath = home_.file("indiserver.sock");
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot start indiserver");
  if (pid_ == 0) {
    // A process group of its own: the server and its drivers end together.
    ::setpgid(0, 0);
    ::setenv("HOME", home_.path().c_str(), 1);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      ::dup2(log, 1);
      ::dup2(log, 2);
    }
    std::vector<std::string> args = {"indiserver", "-r", "0", "-p", std::to_string(port_), "-u", socketPath};
    args.insert(args.end(), programs.begin(), programs.end());
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp("indiserver", argv.data());
    ::_exit(127);
  }
  ::setpgid(pid_, pid_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!accepts(port_)) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("indiserver ended at its start:\n" + log());
    }
    if (std::chrono::steady_clock::now() > deadline) {
      stop();
      throw std::runtime_error("indiserver did not take connections within 20 s");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

IndiServer::~IndiServer() { stop(); }

void IndiServer::stop() {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // The drivers, in the same group, go too.
  ::kill(-pid_, SIGKILL);
  pid_ = -1;
}

std::string IndiServer::log() const {
  try {
    return readFileBytes(home_.file("indiserver.log"));
  } catch (const std::exception&) {
    return {};
  }
}

bool IndiServer::set(const std::vector<std::string>& assignments) const {
  std::vector<std::string> args = {"indi_setprop", "-h", "127.0.0.1", "-p", std::to_string(port_)};
  args.insert(args.end(), assignments.begin(), assignments.end());
  return runBounded(args, home_.path(), 10.0) == 0;
}

std::optional<std::string> IndiServer::get(const std::string& element) const {
  const std::string output = home_.file("getprop.txt");
  if (runBounded({"indi_getprop", "-h", "127.0.0.1", "-p", std::to_string(port_), "-t", "5", "-1", element}, home_.path(), 10.0,
                 output) != 0)
    return std::nullopt;
  // A property the driver defined twice is printed twice: its first line.
  const std::string text = readFileBytes(output);
  return text.substr(0, text.find('\n'));
}

}  // namespace np::test

namespace np::test {

bool IndiServer::secured(const std::string& mount, const std::string& dome) const {
  auto on = [this](const std::string& element) { return get(element).value_or("") == "On"; };
  if (!on(mount + ".TELESCOPE_PARK.PARK")) return false;
  if (dome.empty()) return true;
  return on(dome + ".DOME_PARK.PARK") && on(dome + ".DOME_SHUTTER.SHUTTER_CLOSE");
}

bool IndiServer::signalDriver(const std::string& driver, int signal) const {
  if (pid_ <= 0) return false;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // pid (comm) state ppid ...: the parent is the server.
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent != pid_) continue;
    std::ifstream cmdline(entry.path() / "cmdline");
    std::string program;
    std::getline(cmdline, program, '\0');
    if (std::filesystem::path(program).filename() == driver) return ::kill(std::stoi(name), signal) == 0;
  }
  return false;
}

}  // namespace np::test
