#pragma once
// The one place where the INDI client library's thread hands what it hears to the
// program. The library calls back on its own thread; those callbacks only copy what
// they received into the inbox (a property's state and values, a device's message, an
// image, the loss of the server) and wake whoever waits. The program's threads read
// copies out of it and wait on it with a deadline; nothing of the library's own objects
// crosses over.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace np::indi {

using SteadyTime = std::chrono::steady_clock::time_point;

enum class PropertyState { Idle, Ok, Busy, Alert };
enum class PropertyKind { Number, Switch, Text, Light, Blob };

const char* stateName(PropertyState state);

// A copy of one property vector as the server last sent it.
struct PropertySnapshot {
  std::string device;
  std::string name;
  PropertyKind kind = PropertyKind::Number;
  PropertyState state = PropertyState::Idle;
  // Elements in the device's order. Number: value; Switch: 1 for On, 0 for Off; Light:
  // the element's state as a number (Idle 0, Ok 1, Busy 2, Alert 3). Text: in `texts`.
  std::vector<std::pair<std::string, double>> numbers;
  std::vector<std::pair<std::string, std::string>> texts;
  std::uint64_t updates = 0;  // how many times the server sent it, counted from 1
  SteadyTime updatedAt{};

  std::optional<double> number(const std::string& element) const;
  std::optional<std::string> text(const std::string& element) const;
  bool switchOn(const std::string& element) const { return number(element).value_or(0.0) != 0.0; }
  // The first element that is On, empty when none is.
  std::string onSwitch() const;
};

// An image the camera sent (one BLOB element with data).
struct ReceivedImage {
  std::string device;
  std::string element;
  std::string format;  // as the device gives it, for example ".fits"
  std::vector<char> bytes;
  SteadyTime receivedAt{};
};

class Inbox {
 public:
  // ---- the library's thread ----
  void publish(PropertySnapshot snapshot);  // counts the update and stamps its time
  void removeProperty(const std::string& device, const std::string& name);
  void removeDevice(const std::string& device);
  void addDevice(const std::string& device);
  void publishMessage(const std::string& device, const std::string& message);
  void publishImage(ReceivedImage image);
  void serverLost(const std::string& why);
  void serverReached();

  // ---- the program's threads ----
  std::optional<PropertySnapshot> property(const std::string& device, const std::string& name) const;
  bool hasDevice(const std::string& device) const;
  // The device's last message, empty when it sent none.
  std::string lastMessage(const std::string& device) const;
  // The oldest image of the device not yet taken; images are kept until they are taken.
  std::optional<ReceivedImage> takeImage(const std::string& device);
  std::size_t imagesWaiting(const std::string& device) const;
  // Set once the connection to the server is lost: why.
  std::optional<std::string> lost() const;
  // The server was reached at least once.
  bool reached() const;
  // Changes with every update of any kind: a waiter compares it to see news.
  std::uint64_t generation() const;
  // How many properties the device has defined so far (updates of known ones do not count).
  std::uint64_t definitions(const std::string& device) const;

  enum class WaitResult { Ready, TimedOut, Interrupted };
  // Waits until `ready()` is true, the deadline passes or `interrupt` is set (checked
  // at every update and at every wake()). `ready` is called without the inbox's lock
  // held, so it may read the inbox.
  WaitResult waitUntil(SteadyTime deadline, const std::function<bool()>& ready,
                       const std::atomic<bool>* interrupt = nullptr) const;
  // Wakes every waiter to look again (after setting an interrupt flag, say).
  void wake();

 private:
  void changed();  // with the lock held

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::uint64_t generation_ = 0;
  std::map<std::pair<std::string, std::string>, PropertySnapshot> properties_;
  std::map<std::string, std::string> messages_;
  std::map<std::string, bool> devices_;
  std::map<std::string, std::uint64_t> definitions_;
  std::map<std::string, std::deque<ReceivedImage>> images_;
  std::optional<std::string> lost_;
  bool reached_ = false;
};

}  // namespace np::indi
