#include "shell/ServiceLifecycle.h"
#include "support/FakeLog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvo::test {
namespace {

using State = ServiceLifecycle::State;

struct LifecycleRig {
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  ServiceLifecycle lifecycle{log};
  // A bring-up that comes up and shows its page.
  void comeUp(const char* why) {
    lifecycle.startBegins(why);
    lifecycle.startSucceeded();
    lifecycle.pageShown();
  }
};

TEST(ServiceLifecycle, EveryChangeOfStateIsLoggedWithItsReason) {
  LifecycleRig rig;
  int heard = 0;
  rig.lifecycle.watch([&](State /*before*/) { ++heard; });
  rig.comeUp("launch");
  rig.lifecycle.restartScheduled(2, "restarting in 2 s");
  rig.lifecycle.startBegins("the restart's delay is over");
  rig.lifecycle.startFailed();
  EXPECT_EQ(rig.log->notes(),
            (std::vector<std::string>{
                "service: idle -> starting: launch",
                "service: starting -> up: its page shows",
                "service: up -> waiting to restart: restarting in 2 s",
                "service: waiting to restart -> restarting: the restart's delay is over",
                "service: restarting -> given up: the start failed",
            }));
  EXPECT_EQ(heard, 6) << "the start's success too, which changes no state";
}

TEST(ServiceLifecycle, ABringUpIsARestartOnceAPageHasShownOrADeathWasCounted) {
  LifecycleRig rig;
  rig.lifecycle.startBegins("launch");
  rig.lifecycle.startFailed();
  rig.lifecycle.startBegins("Try Again");
  EXPECT_EQ(rig.lifecycle.state(), State::starting) << "no page has shown yet";
  rig.lifecycle.restartScheduled(0.5, "a death");
  rig.lifecycle.startBegins("the delay is over");
  EXPECT_EQ(rig.lifecycle.state(), State::restarting);
  rig.lifecycle.startSucceeded();
  rig.lifecycle.pageShown();
  rig.lifecycle.gaveUp("too many deaths");
  rig.lifecycle.startBegins("Try Again");
  EXPECT_EQ(rig.lifecycle.state(), State::restarting) << "a page had shown";
}

TEST(ServiceLifecycle, ADeathWhileAStartRunsKeepsItsRestart) {
  LifecycleRig rig;
  rig.lifecycle.startBegins("launch");
  rig.lifecycle.restartScheduled(0.5, "a death while starting");
  rig.lifecycle.startFailed();
  EXPECT_EQ(rig.lifecycle.state(), State::waitingToRestart);
}

TEST(ServiceLifecycle, OnlyThePageItAskedForEndsABringUp) {
  LifecycleRig rig;
  rig.lifecycle.startBegins("launch");
  rig.lifecycle.pageShown(); // the old page, or an empty one
  EXPECT_EQ(rig.lifecycle.state(), State::starting);
  rig.lifecycle.startSucceeded();
  EXPECT_TRUE(rig.lifecycle.pageLoading());
  rig.lifecycle.pageOverdue("its page did not load within 30 s");
  EXPECT_EQ(rig.lifecycle.state(), State::givenUp);
  rig.lifecycle.pageShown(); // it came after all
  EXPECT_EQ(rig.lifecycle.state(), State::up);

  rig.lifecycle.pageLost("its web process crashed: reloading it");
  EXPECT_TRUE(rig.lifecycle.pageReloading());
  EXPECT_EQ(rig.lifecycle.state(), State::up);
  rig.lifecycle.pageShown();
  EXPECT_FALSE(rig.lifecycle.pageReloading());
  EXPECT_EQ(rig.log->notes().back(), "page: its web process crashed: reloading it");
}

} // namespace
} // namespace tarvo::test
