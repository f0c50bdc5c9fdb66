#pragma once
// The status page's server (Linux): the latest snapshot of a StatusBoard, read-only, at
// three addresses of its own (/, /status.json, /night.png); anything else is 404. Its
// own few threads serve it, each connection bounded in time; a connection beyond those
// that wait their turn waits in the system's queue. Nothing it does holds the run.
#include <memory>
#include <string>

#include "app/runner/StatusBoard.h"

namespace np {

class StatusServer {
 public:
  static constexpr int kThreads = 4;           // connections served at once
  static constexpr int kWaiting = 16;          // accepted connections waiting for a thread
  static constexpr int kTimeoutSeconds = 1;    // each read or write of a connection

  // Serves on address:port (port 0: one the system picks); a RunTimeError naming the
  // address when it cannot listen there.
  StatusServer(const StatusBoard& board, const std::string& address, int port);
  // Stops taking connections and ends those under way, within their bounds.
  ~StatusServer();
  StatusServer(const StatusServer&) = delete;
  StatusServer& operator=(const StatusServer&) = delete;

  int port() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace np
