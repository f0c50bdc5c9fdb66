#include "app/service/StatusServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Errors.h"

namespace np {

namespace {

// The server's threads, with a bounded queue in front of them: once it is full, the
// thread that accepts connections waits for room, and further clients wait in the
// system's listen queue (or are refused by it), never in memory of ours.
class BoundedPool : public httplib::TaskQueue {
 public:
  BoundedPool(int threads, std::size_t waiting) : waiting_(waiting) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
  }
  void enqueue(std::function<void()> fn) override {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return jobs_.size() < waiting_ || shutdown_; });
    jobs_.push_back(std::move(fn));
    work_.notify_one();
  }
  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      shutdown_ = true;
    }
    work_.notify_all();
    room_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

 private:
  void work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [this] { return shutdown_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // shut down, all served (each closes its socket)
        job = std::move(jobs_.front());
        jobs_.pop_front();
        room_.notify_one();
      }
      job();
    }
  }
  const std::size_t waiting_;
  std::mutex mutex_;
  std::condition_variable work_, room_;
  std::deque<std::function<void()>> jobs_;
  bool shutdown_ = false;
  std::vector<std::thread> threads_;
};

// Headers of every answer: nothing cached, nothing sniffed, no script and no other site's
// resource ever run by the page, and it is never framed.
void secure(httplib::Response& res) {
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("X-Frame-Options", "DENY");
  res.set_header("Referrer-Policy", "no-referrer");
  res.set_header("Content-Security-Policy",
                 "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; frame-ancestors 'none'");
}

}  // namespace

struct StatusServer::Impl {
  httplib::Server server;
  std::thread listener;
  std::atomic<bool> listenerDone{false};
  int port = 0;
};

StatusServer::StatusServer(const StatusBoard& board, const std::string& address, int port)
    : impl_(std::make_unique<Impl>()) {
  httplib::Server& s = impl_->server;
  s.new_task_queue = [] { return new BoundedPool(kThreads, kWaiting); };
  // The library's default also shares the port with any other listener of the same user
  // (SO_REUSEPORT): a second copy would quietly take half of the page's clients.
  s.set_socket_options([](int sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  s.set_read_timeout(kTimeoutSeconds, 0);
  s.set_write_timeout(kTimeoutSeconds, 0);
  s.set_keep_alive_timeout(kTimeoutSeconds);
  s.set_keep_alive_max_count(4);
  s.set_payload_max_length(4096);
  s.Get("/", [&board](const httplib::Request&, httplib::Response& res) {
    secure(res);
    res.set_content(statusPageHtml(*board.snapshot()), "text/html; charset=utf-8");
  });
  s.Get("/status.json", [&board](const httplib::Request&, httplib::Response& res) {
    secure(res);
    res.set_content(statusJson(*board.snapshot()), "application/json; charset=utf-8");
  });
  s.Get("/night.png", [&board](const httplib::Request&, httplib::Response& res) {
    secure(res);
    const std::shared_ptr<const StatusSnapshot> snap = board.snapshot();
    if (snap->picture.empty()) {
      res.status = 404;
      res.set_content("No picture yet.\n", "text/plain; charset=utf-8");
      return;
    }
    res.set_content(snap->picture, "image/png");
  });
  // Every other address, method or malformed request: a short plain answer of ours.
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    secure(res);
    res.set_content(std::to_string(res.status) + "\n", "text/plain; charset=utf-8");
  });
  s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    secure(res);
    res.status = 500;
    res.set_content("500\n", "text/plain; charset=utf-8");
  });
  const int bound = port == 0 ? s.bind_to_any_port(address) : (s.bind_to_port(address, port) ? port : -1);
  if (bound <= 0)
    throw RunTimeError("status.listen: cannot listen on " + address + ":" + std::to_string(port) +
                       " (the address is not this computer's, or the port is taken)");
  impl_->port = bound;
  impl_->listener = std::thread([this] {
    impl_->server.listen_after_bind();
    impl_->listenerDone = true;
  });
}

StatusServer::~StatusServer() {
  // A stop before the listener runs would be lost (and the listener never end): it is
  // given a moment to start first.
  for (int i = 0; i < 500 && !impl_->server.is_running() && !impl_->listenerDone; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  impl_->server.stop();
  if (impl_->listener.joinable()) impl_->listener.join();
}

int StatusServer::port() const { return impl_->port; }

}  // namespace np
