#include "host/indi/IndiInbox.h"

namespace np::indi {

const char* stateName(PropertyState state) {
  switch (state) {
    case PropertyState::Idle: return "Idle";
    case PropertyState::Ok: return "Ok";
    case PropertyState::Busy: return "Busy";
    case PropertyState::Alert: return "Alert";
  }
  return "?";
}

std::optional<double> PropertySnapshot::number(const std::string& element) const {
  for (const auto& [name, value] : numbers)
    if (name == element) return value;
  return std::nullopt;
}

std::optional<std::string> PropertySnapshot::text(const std::string& element) const {
  for (const auto& [name, value] : texts)
    if (name == element) return value;
  return std::nullopt;
}

std::string PropertySnapshot::onSwitch() const {
  for (const auto& [name, value] : numbers)
    if (value != 0.0) return name;
  return {};
}

void Inbox::changed() {
  ++generation_;
  changed_.notify_all();
}

void Inbox::publish(PropertySnapshot snapshot) {
  std::lock_guard lock(mutex_);
  auto key = std::make_pair(snapshot.device, snapshot.name);
  auto it = properties_.find(key);
  snapshot.updates = it == properties_.end() ? 1 : it->second.updates + 1;
  if (it == properties_.end()) ++definitions_[snapshot.device];
  snapshot.updatedAt = std::chrono::steady_clock::now();
  devices_[snapshot.device] = true;
  properties_[key] = std::move(snapshot);
  changed();
}

void Inbox::removeProperty(const std::string& device, const std::string& name) {
  std::lock_guard lock(mutex_);
  properties_.erase({device, name});
  changed();
}

void Inbox::addDevice(const std::string& device) {
  std::lock_guard lock(mutex_);
  devices_[device] = true;
  changed();
}

void Inbox::removeDevice(const std::string& device) {
  std::lock_guard lock(mutex_);
  for (auto it = properties_.begin(); it != properties_.end();) {
    it = it->first.first == device ? properties_.erase(it) : std::next(it);
  }
  devices_.erase(device);
  changed();
}

void Inbox::publishMessage(const std::string& device, const std::string& message) {
  std::lock_guard lock(mutex_);
  messages_[device] = message;
  changed();
}

void Inbox::publishImage(ReceivedImage image) {
  std::lock_guard lock(mutex_);
  image.receivedAt = std::chrono::steady_clock::now();
  images_[image.device].push_back(std::move(image));
  changed();
}

void Inbox::serverLost(const std::string& why) {
  std::lock_guard lock(mutex_);
  if (!lost_) lost_ = why;
  changed();
}

void Inbox::serverReached() {
  std::lock_guard lock(mutex_);
  reached_ = true;
  lost_.reset();
  changed();
}

bool Inbox::reached() const {
  std::lock_guard lock(mutex_);
  return reached_;
}

std::optional<PropertySnapshot> Inbox::property(const std::string& device, const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = properties_.find({device, name});
  if (it == properties_.end()) return std::nullopt;
  return it->second;
}

bool Inbox::hasDevice(const std::string& device) const {
  std::lock_guard lock(mutex_);
  return devices_.count(device) != 0;
}

std::string Inbox::lastMessage(const std::string& device) const {
  std::lock_guard lock(mutex_);
  auto it = messages_.find(device);
  return it == messages_.end() ? std::string() : it->second;
}

std::optional<ReceivedImage> Inbox::takeImage(const std::string& device) {
  std::lock_guard lock(mutex_);
  auto it = images_.find(device);
  if (it == images_.end() || it->second.empty()) return std::nullopt;
  ReceivedImage image = std::move(it->second.front());
  it->second.pop_front();
  return image;
}

std::size_t Inbox::imagesWaiting(const std::string& device) const {
  std::lock_guard lock(mutex_);
  auto it = images_.find(device);
  return it == images_.end() ? 0 : it->second.size();
}

std::optional<std::string> Inbox::lost() const {
  std::lock_guard lock(mutex_);
  return lost_;
}

std::uint64_t Inbox::definitions(const std::string& device) const {
  std::lock_guard lock(mutex_);
  auto it = definitions_.find(device);
  return it == definitions_.end() ? 0 : it->second;
}

std::uint64_t Inbox::generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

Inbox::WaitResult Inbox::waitUntil(SteadyTime deadline, const std::function<bool()>& ready,
                                   const std::atomic<bool>* interrupt) const {
  for (;;) {
    const std::uint64_t seen = generation();
    if (ready()) return WaitResult::Ready;
    if (interrupt && interrupt->load()) return WaitResult::Interrupted;
    std::unique_lock lock(mutex_);
    const bool news = changed_.wait_until(lock, deadline, [&] { return generation_ != seen; });
    if (!news) {
      lock.unlock();
      if (ready()) return WaitResult::Ready;
      if (interrupt && interrupt->load()) return WaitResult::Interrupted;
      return WaitResult::TimedOut;
    }
  }
}

void Inbox::wake() {
  std::lock_guard lock(mutex_);
  changed();
}

}  // namespace np::indi
