// When the page may reach the backend's port. Whoever listens there once our
// child is gone would receive the page's requests, install token and all, so
// the gate opens only after a start that found our child on the port.
#include "support/ShellRig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvo::test {
namespace {

using platform::LoadFailure;
using platform::ScriptMessage;

std::ptrdiff_t firstCall(const FakeUi& ui, const std::string& name) {
  return std::find(ui.calls.begin(), ui.calls.end(), name) - ui.calls.begin();
}

struct Launched : ShellRig {
  Launched() { delegate->applicationDidFinishLaunching(); }
};

TEST(AppDelegateGate, OpensAfterAVerifiedStartAndBeforeThePageLoads) {
  Launched rig;
  EXPECT_FALSE(rig.ui->gateOpen) << "closed while the start runs";
  rig.drain();
  EXPECT_EQ(rig.ui->gates, std::vector<bool>{true});
  EXPECT_EQ(rig.ui->gatePort, 7810);
  ASSERT_EQ(rig.ui->loads.size(), 1U);
  EXPECT_LT(firstCall(*rig.ui, "setBackendGate"), firstCall(*rig.ui, "load"));
}

TEST(AppDelegateGate, StaysClosedWhenTheStartFailsOrItsChildIsAlreadyGone) {
  {
    Launched rig;
    rig.backend->startResults = {"Port 7810 is held by another program, ..."};
    rig.drain();
    EXPECT_TRUE(rig.ui->gates.empty());
    rig.ui->answerLast(0); // Try Again: the start succeeds this time
    rig.drain();
    EXPECT_EQ(rig.ui->gates, std::vector<bool>{true});
  }
  {
    // start() saw our child on the port, but it died before the answer
    // reached the main thread: its exit is on the way.
    Launched rig;
    rig.backend->mine = false;
    rig.drain();
    EXPECT_TRUE(rig.ui->gates.empty());
  }
}

TEST(AppDelegateGate, ClosesAtADeathUntilTheNextStartHasFoundOurChild) {
  Launched rig;
  rig.drain();
  rig.die(9);
  EXPECT_EQ(rig.ui->gates, (std::vector<bool>{true, false}));
  rig.die(9); // while the restart is pending: still closed, nothing new
  EXPECT_EQ(rig.ui->gates, (std::vector<bool>{true, false}));

  rig.main->advance(0.5); // the restart's start is under way
  EXPECT_FALSE(rig.ui->gateOpen);
  rig.drain();
  EXPECT_EQ(rig.ui->gates, (std::vector<bool>{true, false, true}));
}

TEST(AppDelegateGate, ClosesBeforeTheBackendIsStopped) {
  const ScriptMessage restartFromPage{true, true, "http://127.0.0.1:7810/",
                                      R"({"type":"restartService"})"};
  for (const char* road : {"menu", "page", "quit"}) {
    Launched rig;
    rig.drain();
    ASSERT_TRUE(rig.ui->gateOpen);
    bool closedFirst = false;
    rig.backend->whenStopping = [&] { closedFirst = !rig.ui->gateOpen; };
    if (std::string(road) == "menu") {
      rig.delegate->restartService();
    } else if (std::string(road) == "page") {
      rig.delegate->didReceiveScriptMessage(restartFromPage);
    } else {
      rig.delegate->applicationWillTerminate();
    }
    EXPECT_EQ(rig.backend->restarts + rig.backend->closes, 1) << road;
    EXPECT_TRUE(closedFirst) << road;
  }
}

TEST(AppDelegateGate, ClosesWhenAFailedLoadFindsTheBackendDown) {
  Launched rig;
  rig.drain();
  rig.backend->alive = false;
  rig.backend->startResults = {"The service did not answer in time. See ..."};
  rig.delegate->didFailProvisionalNavigation(LoadFailure::failed);
  rig.drain();
  EXPECT_EQ(rig.ui->gates, (std::vector<bool>{true, false}));
}

} // namespace
} // namespace tarvo::test
