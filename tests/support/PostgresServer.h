#pragma once
// A PostgreSQL 15 server of a test's own (Linux): a cluster made with initdb in a
// temporary folder, listening on a unix socket in a folder of its own (and, when asked,
// on TCP at 127.0.0.1 on a port free when it starts, as a server on another computer is
// reached), with its own HOME, stopped by its process id when the object goes away. When
// the tests run as root, the server runs as the unprivileged user "nobody", as PostgreSQL
// requires. Every wait is bounded.
#include <sys/types.h>

#include <string>

#include "support/TempDir.h"

namespace np::test {

enum class PostgresRoute { UnixSocket, LoopbackTcp };

class PostgresServer {
 public:
  // Makes the cluster and starts the server; throws std::runtime_error (with the
  // server's output) when either fails or the server takes no connections within 30 s.
  // With LoopbackTcp it listens on 127.0.0.1 as well, on a port of its own.
  explicit PostgresServer(PostgresRoute listening = PostgresRoute::UnixSocket);
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // Stops the server (a fast shutdown, killed after 10 s) and starts it again on the same
  // cluster and socket.
  void stop();
  void start();
  bool running() const { return pid_ > 0; }

  // The folder of the server's socket and the socket's number (the TCP port as well).
  const std::string& socketFolder() const { return socketFolder_; }
  int port() const { return port_; }
  // A libpq connection string for one of the server's databases, as the superuser "fleet",
  // over the unix socket or over TCP (for a server started with LoopbackTcp).
  std::string connectionString(const std::string& database = "postgres",
                               PostgresRoute route = PostgresRoute::UnixSocket) const;
  // A new, empty database; its connection string over the unix socket.
  std::string createDatabase();
  // The same; its name.
  std::string createDatabaseNamed();
  // The server's own output, for a failing test's message.
  std::string log() const;

 private:
  std::string logPath() const;

  TempDir root_;
  std::string dataFolder_, socketFolder_, home_;
  bool tcp_ = false;
  int port_ = 5432;
  pid_t pid_ = -1;
  int databases_ = 0;
};

// The server of the test program, started at its first use and stopped at the program's
// end: one cluster for all the cases of a test program that share it.
PostgresServer& sharedPostgresServer();

}  // namespace np::test
