#pragma once
// A busy host. An automation server in another process that is busy (a modal dialog, a
// long operation of its own) refuses incoming calls (RPC_E_CALL_REJECTED,
// RPC_E_SERVERCALL_RETRYLATER). The loop asks the host something every second all night,
// so one refusal must not end the night: the thread that calls the host registers a
// message filter that has COM try a refused call again, every `retryDelay`, until the
// host has refused it for `patience`; only then does the call fail (and its text says how
// long the host stayed busy). The filter also lets the window go on processing its
// messages while a long call (a Park of minutes) is under way.
//
// Where COM itself does not ask the filter about a refused call (Wine does not), the
// automation client (DispatchObject) tries the call again by the same rule.
#include <windows.h>
#include <objidl.h>

#include <chrono>

namespace np::com {

inline constexpr std::chrono::milliseconds kBusyHostPatience{180'000};
inline constexpr std::chrono::milliseconds kBusyHostRetryDelay{500};

// The message filter of this thread (CoRegisterMessageFilter) for as long as the object
// lives; the filter that was there before is registered again when it goes. Create it on
// the thread that holds the ComApartment, before the host objects, and let it go after them.
class BusyHostFilter {
 public:
  explicit BusyHostFilter(std::chrono::milliseconds patience = kBusyHostPatience,
                          std::chrono::milliseconds retryDelay = kBusyHostRetryDelay);
  ~BusyHostFilter();
  BusyHostFilter(const BusyHostFilter&) = delete;
  BusyHostFilter& operator=(const BusyHostFilter&) = delete;

 private:
  IMessageFilter* filter_ = nullptr;
  IMessageFilter* previous_ = nullptr;
  const void* outer_ = nullptr;  // the rule of an enclosing filter on this thread
};

// The patience of the filter this thread holds; zero when it holds none.
std::chrono::milliseconds busyPatienceHere();

// For a call the host has refused `elapsed` after its first try: how long to wait before
// the next try, or a negative value when the call is to fail now (the patience of this
// thread's filter is spent, or the thread holds no filter).
long retryDelayHere(std::chrono::milliseconds elapsed);

// Waits `delay` while this thread's messages are processed as during an outgoing call.
void waitProcessingMessages(std::chrono::milliseconds delay);

}  // namespace np::com
