#include "support/PostgresServer.h"

#include "support/BoundedWait.h"
#include "support/Loopback.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/prctl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace np::test {

namespace {

const std::string kBin = "/usr/lib/postgresql/15/bin/";
constexpr const char* kSuperuser = "fleet";

// The user the server runs as: the tests' own, or "nobody" for root, whom PostgreSQL
// refuses.
struct RunAs {
  bool drop = false;
  uid_t uid = 0;
  gid_t gid = 0;
};

RunAs serverUser() {
  RunAs as;
  if (::geteuid() != 0) return as;
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) throw std::runtime_error("running as root, and there is no user 'nobody' to run PostgreSQL as");
  as.drop = true;
  as.uid = nobody->pw_uid;
  as.gid = nobody->pw_gid;
  return as;
}

// In a child: becomes the server's user with HOME set, output to `output`, then runs args.
[[noreturn]] void execAs(const RunAs& as, const std::string& home, const std::string& output,
                         const std::vector<std::string>& args) {
  ::setpgid(0, 0);
  if (as.drop && (::setgroups(0, nullptr) != 0 || ::setgid(as.gid) != 0 || ::setuid(as.uid) != 0)) ::_exit(126);
  // A test that is killed takes its server with it (set after the change of user, which
  // clears it).
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("LC_ALL", "C.UTF-8", 1);
  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (out >= 0) {
    ::dup2(out, 1);
    ::dup2(out, 2);
  }
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

int runBounded(const RunAs& as, const std::string& home, const std::string& output, const std::vector<std::string>& args,
               double seconds) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) execAs(as, home, output, args);
  return waitChildBounded(pid, seconds);
}

}  // namespace

PostgresServer::PostgresServer(PostgresRoute listening) : tcp_(listening == PostgresRoute::LoopbackTcp) {
  namespace fs = std::filesystem;
  if (tcp_ && (port_ = freeLoopbackPortNow()) == 0) throw std::runtime_error("no free TCP port on 127.0.0.1");
  dataFolder_ = root_.file("data");
  socketFolder_ = root_.file("socket");
  home_ = root_.file("home");
  fs::create_directory(socketFolder_);
  fs::create_directory(home_);
  const RunAs as = serverUser();
  if (as.drop) {
    for (const std::string& path : {root_.path(), socketFolder_, home_})
      if (::chown(path.c_str(), as.uid, as.gid) != 0) throw std::runtime_error("cannot give " + path + " to nobody");
  }
  // No fsync: the cluster is thrown away with the test.
  if (runBounded(as, home_, logPath(), {kBin + "initdb", "-D", dataFolder_, "-U", kSuperuser, "--auth=trust", "-E", "UTF8",
                                    "--locale=C.UTF-8", "--no-sync"},
                 120) != 0)
    throw std::runtime_error("initdb failed:\n" + log());
  start();
}

PostgresServer::~PostgresServer() { stop(); }

std::string PostgresServer::logPath() const { return root_.file("server.log"); }

std::string PostgresServer::log() const {
  try {
    return readFileBytes(logPath());
  } catch (const std::exception&) {
    return {};
  }
}

void PostgresServer::start() {
  if (pid_ > 0) return;
  const RunAs as = serverUser();
  const std::string output = logPath();
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot start postgres");
  if (pid_ == 0)
    execAs(as, home_, output,
           {kBin + "postgres", "-D", dataFolder_, "-k", socketFolder_, "-p", std::to_string(port()), "-c",
            tcp_ ? "listen_addresses=127.0.0.1" : "listen_addresses=",
            "-c", "fsync=off", "-c", "shared_buffers=16MB", "-c", "max_connections=40"});
  ::setpgid(pid_, pid_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    if (runBounded({}, home_, "/dev/null",
                   {kBin + "pg_isready", "-q", "-h", socketFolder_, "-p", std::to_string(port()), "-t", "5"}, 10) == 0)
      return;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("postgres ended at its start:\n" + log());
    }
    if (std::chrono::steady_clock::now() > deadline) {
      stop();
      throw std::runtime_error("postgres took no connections within 30 s:\n" + log());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void PostgresServer::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGINT);  // a fast shutdown: the sessions are ended, the cluster left clean
  if (waitChildBounded(pid_, 10) < 0) ::kill(-pid_, SIGKILL);
  pid_ = -1;
}

std::string PostgresServer::connectionString(const std::string& database, PostgresRoute route) const {
  if (route == PostgresRoute::LoopbackTcp && !tcp_) throw std::logic_error("the server listens on no TCP port");
  const std::string host = route == PostgresRoute::LoopbackTcp ? "127.0.0.1" : socketFolder_;
  return "host=" + host + " port=" + std::to_string(port()) + " user=" + kSuperuser + " dbname=" + database +
         " connect_timeout=10";
}

std::string PostgresServer::createDatabase() { return connectionString(createDatabaseNamed()); }

std::string PostgresServer::createDatabaseNamed() {
  const std::string name = "fleet" + std::to_string(++databases_);
  if (runBounded({}, home_, root_.file("createdb.log"),
                 {kBin + "createdb", "-h", socketFolder_, "-p", std::to_string(port()), "-U", kSuperuser, name}, 30) != 0)
    throw std::runtime_error("createdb " + name + " failed:\n" + readFileBytes(root_.file("createdb.log")));
  return name;
}

PostgresServer& sharedPostgresServer() {
  static PostgresServer server;
  return server;
}

}  // namespace np::test
