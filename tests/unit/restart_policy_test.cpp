#include "shell/AppDelegate.h"
#include "shell/RestartPolicy.h"
#include "shell/Texts.h"
#include "support/FakeBackend.h"
#include "support/FakeLog.h"
#include "support/FakeQueues.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvo::test {
namespace {

using State = ServiceLifecycle::State;
using Verdict = RestartPolicy::Verdict;

// The policy alone: fake queues and clock, a fake supervisor, and bring-ups
// that begin in the lifecycle as the delegate's do.
struct PolicyRig {
  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeBackgroundQueue> background = std::make_shared<FakeBackgroundQueue>();
  std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  std::shared_ptr<ServiceLifecycle> lifecycle = std::make_shared<ServiceLifecycle>(log);
  std::vector<std::string> bringUps;
  std::shared_ptr<RestartPolicy> policy = RestartPolicy::make(
      backend, lifecycle, OffMain(background, main), main, [this](std::string_view why) {
        bringUps.emplace_back(why);
        lifecycle->startBegins(why);
      });

  PolicyRig() { comeUp(); }
  void comeUp() {
    lifecycle->startBegins("launch");
    lifecycle->startSucceeded();
    lifecycle->pageShown();
  }
  void drain() {
    while (background->runAll() + main->runReady() > 0) {
    }
  }
  // A death, its delayed restart, and a successful start that settles.
  void dieAndComeBack() {
    ASSERT_EQ(policy->serviceDied(), Verdict::restartScheduled);
    main->advance(RestartPolicy::restartDelay(lifecycle->restarts()));
    lifecycle->startSucceeded();
    lifecycle->pageShown();
    policy->settle();
  }
};

TEST(RestartPolicy, DelaysDoubleFromHalfASecondThenTheDeathPastTheBudgetGivesUp) {
  PolicyRig rig;
  std::size_t expectedBringUps = 0;
  for (const double delay : {0.5, 1.0, 2.0, 4.0, 8.0}) {
    SCOPED_TRACE(delay);
    EXPECT_EQ(rig.policy->serviceDied(), Verdict::restartScheduled);
    EXPECT_EQ(rig.lifecycle->state(), State::waitingToRestart);
    EXPECT_EQ(rig.main->delays(), std::vector<double>{delay});
    rig.main->advance(delay - 0.25);
    EXPECT_EQ(rig.bringUps.size(), expectedBringUps) << "restarted early";
    rig.main->advance(0.25);
    EXPECT_EQ(rig.bringUps.size(), ++expectedBringUps);
  }
  EXPECT_EQ(rig.log->notes()[2],
            "service: up -> waiting to restart: restarting in 0.5 s (restart 1 of 5)");
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::gaveUp);
  EXPECT_EQ(rig.lifecycle->state(), State::givenUp);
  EXPECT_EQ(rig.lifecycle->restarts(), AppDelegate::maxRestarts + 1);
  EXPECT_EQ(rig.main->delayedCount(), 0U);
  EXPECT_EQ(rig.log->notes().back(),
            "service: restarting -> given up: it stopped 6 times without five quiet minutes, so "
            "no more automatic restarts");
  EXPECT_EQ(rig.policy->giveUpMessage(-9), giveUpMessage(6, -9, rig.backend->log));
  // Without a quiet period every later death gives up at once, counted on.
  rig.lifecycle->startBegins("Try Again");
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::gaveUp);
  EXPECT_EQ(rig.lifecycle->restarts(), 7);
  EXPECT_EQ(rig.bringUps.size(), 5U);
}

TEST(RestartPolicy, DeathWhileARestartIsPendingIsNotCounted) {
  PolicyRig rig;
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::restartScheduled);
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::ignored);
  EXPECT_EQ(rig.lifecycle->restarts(), 1);
  rig.main->advance(0.5);
  EXPECT_EQ(rig.bringUps, std::vector<std::string>{"the restart's delay is over"});
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::restartScheduled);
  EXPECT_EQ(rig.lifecycle->restarts(), 2);
}

// "Try Again" while a restart waits is the one fresh attempt: the waiting
// restart does not follow it.
TEST(RestartPolicy, ABringUpThatBeginsMeanwhileTakesTheRestartsPlace) {
  PolicyRig rig;
  rig.policy->serviceDied();
  rig.lifecycle->startBegins("Try Again");
  rig.policy->serviceDied(); // it dies again: its own restart, after 1 s
  rig.main->advance(0.9);
  EXPECT_TRUE(rig.bringUps.empty()) << "the first restart's time is void";
  rig.main->advance(8);
  EXPECT_EQ(rig.bringUps.size(), 1U);
}

TEST(RestartPolicy, StabilityCheckClearsTheCounterOnlyWhenUnchangedAndAlive) {
  {
    SCOPED_TRACE("unchanged and alive");
    PolicyRig rig;
    rig.dieAndComeBack();
    rig.main->advance(299);
    EXPECT_EQ(rig.background->size(), 0U);
    rig.main->advance(1);
    EXPECT_EQ(rig.backend->aliveChecks, 0); // the ping is not made on the main thread
    rig.drain();
    EXPECT_EQ(rig.backend->aliveChecks, 1);
    EXPECT_EQ(rig.lifecycle->restarts(), 0);
    // The budget is back: the next death restarts after half a second again.
    rig.policy->serviceDied();
    EXPECT_EQ(rig.main->delays(), std::vector<double>{0.5});
  }
  {
    SCOPED_TRACE("up but no longer answering: started afresh");
    PolicyRig rig;
    rig.dieAndComeBack();
    rig.backend->alive = false;
    rig.main->advance(300);
    rig.drain();
    EXPECT_EQ(rig.lifecycle->restarts(), 1);
    EXPECT_EQ(rig.bringUps.back(), "it no longer answers its ping");
  }
  {
    SCOPED_TRACE("a death within the 300 seconds");
    PolicyRig rig;
    rig.policy->settle();
    rig.main->advance(100);
    rig.dieAndComeBack();
    // The first check finds a different count and does not even ping.
    rig.main->advance(200);
    rig.drain();
    EXPECT_EQ(rig.backend->aliveChecks, 0);
    EXPECT_EQ(rig.lifecycle->restarts(), 1);
    // The second start's own check clears it.
    rig.main->advance(100);
    rig.drain();
    EXPECT_EQ(rig.lifecycle->restarts(), 0);
  }
  {
    SCOPED_TRACE("a death while the ping is out");
    PolicyRig rig;
    rig.dieAndComeBack();
    rig.main->advance(300);
    ASSERT_EQ(rig.background->size(), 1U);
    rig.policy->serviceDied();
    rig.drain();
    EXPECT_EQ(rig.backend->aliveChecks, 1);
    EXPECT_EQ(rig.lifecycle->restarts(), 2);
  }
}

TEST(RestartPolicy, JobsDoNothingOnceThePolicyIsGone) {
  PolicyRig rig;
  rig.dieAndComeBack();
  rig.main->advance(300);
  ASSERT_EQ(rig.bringUps.size(), 1U);
  ASSERT_EQ(rig.background->size(), 1U); // the ping of the stability check
  rig.policy->serviceDied();
  rig.policy.reset();
  rig.drain();
  rig.main->advance(300);
  EXPECT_EQ(rig.backend->aliveChecks, 0);
  EXPECT_EQ(rig.bringUps.size(), 1U);
}

} // namespace
} // namespace tarvo::test
