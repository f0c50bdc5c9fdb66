// The hand-over from the INDI library's thread to the program's: what one thread
// publishes another sees, a waiter wakes for news and never waits past its deadline,
// and images are kept in order until they are taken.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/indi/IndiInbox.h"

namespace np::indi {
namespace {

using namespace std::chrono_literals;

PropertySnapshot numberProperty(const std::string& device, const std::string& name, double value,
                                PropertyState state = PropertyState::Ok) {
  PropertySnapshot s;
  s.device = device;
  s.name = name;
  s.kind = PropertyKind::Number;
  s.state = state;
  s.numbers = {{"VALUE", value}};
  return s;
}

TEST(Inbox, AWaiterWakesForNewsFromAnotherThreadAndSeesItsValue) {
  Inbox inbox;
  inbox.publish(numberProperty("Mount", "POS", 1.0, PropertyState::Busy));
  std::thread library([&] {
    std::this_thread::sleep_for(50ms);
    inbox.publish(numberProperty("Mount", "POS", 2.0, PropertyState::Busy));
    std::this_thread::sleep_for(50ms);
    inbox.publish(numberProperty("Mount", "POS", 3.0, PropertyState::Ok));
  });
  const auto began = std::chrono::steady_clock::now();
  const Inbox::WaitResult result = inbox.waitUntil(began + 20s, [&] {
    auto p = inbox.property("Mount", "POS");
    return p && p->state == PropertyState::Ok;
  });
  library.join();
  EXPECT_EQ(result, Inbox::WaitResult::Ready);
  EXPECT_LT(std::chrono::steady_clock::now() - began, 10s);  // woken, not timed out
  auto p = inbox.property("Mount", "POS");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->number("VALUE"), 3.0);
  EXPECT_EQ(p->updates, 3u);
}

TEST(Inbox, AWaitEndsAtItsDeadlineOrItsInterruptAndSaysWhich) {
  Inbox inbox;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(inbox.waitUntil(t0 + 100ms, [] { return false; }), Inbox::WaitResult::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 100ms);

  std::atomic<bool> interrupt{false};
  std::thread other([&] {
    std::this_thread::sleep_for(50ms);
    interrupt = true;
    inbox.wake();
  });
  const auto t1 = std::chrono::steady_clock::now();
  EXPECT_EQ(inbox.waitUntil(t1 + 20s, [] { return false; }, &interrupt), Inbox::WaitResult::Interrupted);
  other.join();
  EXPECT_LT(std::chrono::steady_clock::now() - t1, 10s);
  // Already true: no wait at all, even with the interrupt set.
  EXPECT_EQ(inbox.waitUntil(t1, [] { return true; }, &interrupt), Inbox::WaitResult::Ready);
}

TEST(Inbox, ImagesAreKeptInOrderPerDeviceUntilTaken) {
  Inbox inbox;
  std::thread library([&] {
    for (char c : {'a', 'b', 'c'}) {
      ReceivedImage image;
      image.device = "Camera";
      image.format = ".fits";
      image.bytes.assign(1000, c);
      inbox.publishImage(std::move(image));
    }
  });
  library.join();
  EXPECT_EQ(inbox.imagesWaiting("Camera"), 3u);
  EXPECT_FALSE(inbox.takeImage("Other camera"));
  for (char c : {'a', 'b', 'c'}) {
    auto image = inbox.takeImage("Camera");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bytes.front(), c);
    EXPECT_EQ(image->bytes.size(), 1000u);
  }
  EXPECT_FALSE(inbox.takeImage("Camera"));
}

TEST(Inbox, ALostServerWakesWaitersAndARemovedDeviceTakesItsPropertiesAlong) {
  Inbox inbox;
  inbox.publish(numberProperty("Mount", "POS", 1.0));
  inbox.publish(numberProperty("Camera", "TEMP", 1.0));
  EXPECT_TRUE(inbox.hasDevice("Mount"));
  inbox.removeDevice("Mount");
  EXPECT_FALSE(inbox.hasDevice("Mount"));
  EXPECT_FALSE(inbox.property("Mount", "POS"));
  EXPECT_TRUE(inbox.property("Camera", "TEMP"));

  std::thread library([&] {
    std::this_thread::sleep_for(50ms);
    inbox.serverLost("the connection was lost");
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(inbox.waitUntil(t0 + 20s, [&] { return inbox.lost().has_value(); }), Inbox::WaitResult::Ready);
  library.join();
  EXPECT_EQ(inbox.lost().value_or(""), "the connection was lost");
}

TEST(Inbox, ManyUpdatesFromTheLibraryWhileTheProgramReadsLoseNone) {
  Inbox inbox;
  constexpr int kUpdates = 20000;
  std::thread library([&] {
    for (int i = 1; i <= kUpdates; ++i) inbox.publish(numberProperty("Mount", "POS", i));
  });
  double last = 0;
  while (last < kUpdates) {
    inbox.waitUntil(std::chrono::steady_clock::now() + 1s, [&] {
      auto p = inbox.property("Mount", "POS");
      return p && p->number("VALUE").value_or(0) > last;
    });
    auto p = inbox.property("Mount", "POS");
    ASSERT_TRUE(p);
    const double v = p->number("VALUE").value_or(0);
    EXPECT_GE(v, last);  // never backwards
    last = v;
  }
  library.join();
  EXPECT_EQ(inbox.property("Mount", "POS")->updates, static_cast<std::uint64_t>(kUpdates));
}

}  // namespace
}  // namespace np::indi
