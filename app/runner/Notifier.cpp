#include "app/runner/Notifier.h"

#include <chrono>

#include "base/Process.h"
#include "host/UtcTime.h"

namespace np {

namespace {

// "YYYY-MM-DDTHH:MM:SSZ".
std::string isoUtc(double unixSeconds) {
  std::string text = formatUtc(unixSeconds);
  if (text.size() > 10) text[10] = 'T';
  return text + "Z";
}

}  // namespace

Notifier::Notifier(NotifyConfig config, std::string programFolder, std::function<double()> utcNow,
                   std::function<std::string()> nightSummary, std::ostream& err)
    : config_(std::move(config)),
      programFolder_(std::move(programFolder)),
      utcNow_(std::move(utcNow)),
      nightSummary_(std::move(nightSummary)),
      err_(err) {
  if (!config_.command.empty()) worker_ = std::thread([this] { work(); });
}

Notifier::~Notifier() {
  finish();
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

std::vector<std::string> Notifier::commandArguments(const std::string& command, const std::string& kind,
                                                    const std::string& text) {
  const bool oneWord = command.find_first_of(" \t\"'\\$;|&<>()`") == std::string::npos;
  if (oneWord) return {command, kind, text};
  return {"/bin/sh", "-c", command, "nightpick", kind, text};
}

void Notifier::nightEvent(NightEventKind kind, const std::string& text) {
  if (config_.command.empty() || !config_.events.count(kind)) return;
  Queued event{kind, text, utcNow_ ? utcNow_() : 0.0};
  if (kind == NightEventKind::NightSummary && nightSummary_) {
    try {
      event.text = nightSummary_();
    } catch (const std::exception& e) {
      event.text = std::string("The night's report could not be made: ") + e.what();
    }
  }
  {
    std::lock_guard lock(mutex_);
    if (queue_.size() < kQueueBound) {
      queue_.push_back(std::move(event));
      wake_.notify_all();
      return;
    }
  }
  say("notify: the queue is full (" + std::to_string(kQueueBound) + " events): dropped " +
      std::string(nightEventName(kind)) + ": " + text.substr(0, 200));
}

void Notifier::finish() {
  if (!worker_.joinable()) return;
  std::unique_lock lock(mutex_);
  const auto bound = std::chrono::duration<double>(config_.timeout + 5.0);
  if (!idle_.wait_for(lock, bound, [this] { return queue_.empty() && !busy_; })) {
    for (const Queued& event : queue_)
      say("notify: not sent before the program ended: " + std::string(nightEventName(event.kind)) + ": " +
          event.text.substr(0, 200));
    queue_.clear();
  }
}

void Notifier::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) return;  // closing, all sent
    const Queued event = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    send(event);
    lock.lock();
    busy_ = false;
    if (queue_.empty()) idle_.notify_all();
  }
}

void Notifier::send(const Queued& event) {
  const std::string kind(nightEventName(event.kind));
  const std::vector<std::string> environment = {"NIGHTPICK_EVENT=" + kind, "NIGHTPICK_TEXT=" + event.text,
                                                "NIGHTPICK_FOLDER=" + programFolder_,
                                                "NIGHTPICK_TIME=" + isoUtc(event.utc)};
  std::string why;
  const int status = runCommand(commandArguments(config_.command, kind, event.text), config_.timeout, why, environment);
  if (status == 0) {
    if (failing_) say("notify: the command works again (" + kind + " sent)");
    failing_ = false;
    return;
  }
  if (failing_) return;
  failing_ = true;
  say("notify: the command failed for " + kind + ": " + (why.empty() ? "exit status " + std::to_string(status) : why) +
      " (further failures are not repeated until it works again)");
}

void Notifier::say(const std::string& line) {
  static std::mutex sayMutex;
  std::lock_guard lock(sayMutex);
  err_ << line << std::endl;
}

}  // namespace np
