// The failure texts of the automation client for a host that has gone and for a host that
// stays busy, and the rule by which a refused call is tried again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>

#include "host/com/ComSupport.h"
#include "host/com/MessageFilter.h"

namespace np::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

TEST(ComFailureText, AHostThatHasGoneIsSaidInPlainWordsForEveryCodeThatSaysSo) {
  const HRESULT gone[] = {
      static_cast<HRESULT>(0x80010108u),  // RPC_E_DISCONNECTED
      static_cast<HRESULT>(0x800706BAu),  // RPC_S_SERVER_UNAVAILABLE
      static_cast<HRESULT>(0x800401FDu),  // CO_E_OBJNOTCONNECTED
      static_cast<HRESULT>(0x80010007u),  // RPC_E_SERVER_DIED
      static_cast<HRESULT>(0x80010012u),  // RPC_E_SERVER_DIED_DNE
      static_cast<HRESULT>(0x800706BEu),  // RPC_S_CALL_FAILED
      static_cast<HRESULT>(0x800706BFu),  // RPC_S_CALL_FAILED_DNE
  };
  for (HRESULT hr : gone) {
    const std::string text = com::failureText("Util.ScriptActive", hr);
    EXPECT_EQ(text.rfind("Util.ScriptActive: the observatory host is no longer running (it was closed or restarted); "
                         "start it again, then start Nightpick (0x",
                         0),
              0u)
        << text;
  }
  // Other failures keep their own description.
  EXPECT_THAT(com::failureText("Util.ScriptActive", E_OUTOFMEMORY), Not(HasSubstr("no longer running")));
  EXPECT_THAT(com::failureText("Util.ScriptActive", DISP_E_MEMBERNOTFOUND), Not(HasSubstr("no longer running")));
}

TEST(ComFailureText, ABusyHostSaysHowLongItWasWaitedFor) {
  com::ComApartment apartment;
  for (HRESULT hr : {RPC_E_CALL_REJECTED, RPC_E_SERVERCALL_RETRYLATER}) {
    EXPECT_THAT(com::failureText("Telescope.Park", hr),
                HasSubstr("Telescope.Park: the observatory host was busy and refused the call (0x"));
    const com::BusyHostFilter filter(180s);
    EXPECT_THAT(com::failureText("Telescope.Park", hr),
                HasSubstr("Telescope.Park: the observatory host stayed busy for 180 s and refused the call (0x"));
  }
}

TEST(BusyHostFilter, ARefusedCallIsTriedAgainUntilThePatienceIsSpentAndTheOuterRuleComesBack) {
  com::ComApartment apartment;
  EXPECT_LT(com::retryDelayHere(0ms), 0) << "no filter: a refusal fails at once";
  {
    const com::BusyHostFilter outer(60s, 500ms);
    EXPECT_EQ(com::retryDelayHere(0ms), 500);
    EXPECT_EQ(com::retryDelayHere(59'800ms), 200) << "the last wait ends with the patience";
    EXPECT_LT(com::retryDelayHere(60s), 0);
    EXPECT_LT(com::retryDelayHere(3600s), 0);
    {
      const com::BusyHostFilter inner(2s, 250ms);
      EXPECT_EQ(com::busyPatienceHere(), 2s);
      EXPECT_LT(com::retryDelayHere(2s), 0);
    }
    EXPECT_EQ(com::busyPatienceHere(), 60s);
    EXPECT_EQ(com::retryDelayHere(10s), 500);
  }
  EXPECT_EQ(com::busyPatienceHere(), 0ms);
}

}  // namespace
}  // namespace np::test
