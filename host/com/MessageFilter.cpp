#include "host/com/MessageFilter.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "base/Errors.h"

namespace np::com {

namespace {

struct Rule {
  std::chrono::milliseconds patience;
  std::chrono::milliseconds retryDelay;

  long delayAfter(std::chrono::milliseconds elapsed) const {
    if (elapsed >= patience) return -1;
    return static_cast<long>(std::min(retryDelay, patience - elapsed).count());
  }
};

thread_local const Rule* tRule = nullptr;

class Filter final : public IMessageFilter {
 public:
  explicit Filter(Rule rule) : rule_(rule) {}
  const Rule& rule() const { return rule_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
      *out = static_cast<IMessageFilter*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  // Nightpick serves nothing; whatever comes in is taken.
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  // A refusal, for whatever reason the host gave, is tried again until the patience is spent.
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD) override {
    return static_cast<DWORD>(rule_.delayAfter(std::chrono::milliseconds(elapsedMs)));
  }
  // The window's own messages go on during a long call.
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

 private:
  std::atomic<ULONG> refs_{1};
  Rule rule_;
};

}  // namespace

BusyHostFilter::BusyHostFilter(std::chrono::milliseconds patience, std::chrono::milliseconds retryDelay) {
  auto* filter = new Filter(Rule{patience, std::max(retryDelay, std::chrono::milliseconds(1))});
  HRESULT hr = CoRegisterMessageFilter(filter, &previous_);
  if (FAILED(hr)) {
    filter->Release();
    throw RunTimeError("CoRegisterMessageFilter: the message filter cannot be registered (error " +
                       std::to_string(static_cast<unsigned long>(hr)) + ")");
  }
  filter_ = filter;
  outer_ = tRule;
  tRule = &filter->rule();
}

BusyHostFilter::~BusyHostFilter() {
  IMessageFilter* ours = nullptr;
  CoRegisterMessageFilter(previous_, &ours);
  if (ours) ours->Release();  // the reference COM held
  if (previous_) previous_->Release();
  tRule = static_cast<const Rule*>(outer_);
  filter_->Release();
}

std::chrono::milliseconds busyPatienceHere() { return tRule ? tRule->patience : std::chrono::milliseconds(0); }

long retryDelayHere(std::chrono::milliseconds elapsed) { return tRule ? tRule->delayAfter(elapsed) : -1; }

void waitProcessingMessages(std::chrono::milliseconds delay) {
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!never) {
    Sleep(static_cast<DWORD>(delay.count()));
    return;
  }
  DWORD index = 0;
  // RPC_S_CALLPENDING when the time is up: the event is never set.
  CoWaitForMultipleHandles(0, static_cast<DWORD>(delay.count()), 1, &never, &index);
  CloseHandle(never);
}

}  // namespace np::com
