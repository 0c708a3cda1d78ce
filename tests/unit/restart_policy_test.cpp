#include "shell/RestartPolicy.h"
#include "support/FakeBackend.h"
#include "support/FakeQueues.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tarvo::test {
namespace {

using Verdict = RestartPolicy::Verdict;

// The policy alone: fake queues and clock, a fake supervisor, and a count of
// the bring-ups it asks for.
struct PolicyRig {
  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeBackgroundQueue> background = std::make_shared<FakeBackgroundQueue>();
  std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
  int bringUps = 0;
  std::shared_ptr<RestartPolicy> policy =
      RestartPolicy::make(backend, OffMain(background, main), main, [this] { ++bringUps; });

  void drain() {
    while (background->runAll() + main->runReady() > 0) {
    }
  }
  // A death, its delayed restart, and a successful start that settles.
  void dieAndComeBack() {
    ASSERT_EQ(policy->serviceDied(), Verdict::restartScheduled);
    main->advance(RestartPolicy::restartDelay(policy->restarts()));
    policy->settle();
  }
};

TEST(RestartPolicy, DelaysDoubleFromHalfASecondThenTheSixthDeathGivesUp) {
  PolicyRig rig;
  int expectedBringUps = 0;
  for (const double delay : {0.5, 1.0, 2.0, 4.0, 8.0}) {
    SCOPED_TRACE(delay);
    EXPECT_EQ(rig.policy->serviceDied(), Verdict::restartScheduled);
    EXPECT_TRUE(rig.policy->restarting());
    EXPECT_EQ(rig.main->delays(), std::vector<double>{delay});
    rig.main->advance(delay - 0.25);
    EXPECT_EQ(rig.bringUps, expectedBringUps) << "restarted early";
    rig.main->advance(0.25);
    EXPECT_EQ(rig.bringUps, ++expectedBringUps);
    EXPECT_FALSE(rig.policy->restarting());
  }
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::gaveUp);
  EXPECT_FALSE(rig.policy->restarting());
  EXPECT_EQ(rig.policy->restarts(), 6);
  EXPECT_EQ(rig.main->delayedCount(), 0U);
  EXPECT_EQ(rig.policy->giveUpMessage(-9),
            "Tarvo Studio's service stopped 6 times (last exit -9). See "
            "/home/ada/.local/state/Tarvo Studio.log. Nothing was sent to Tarvo.");
  // Without a quiet period every later death gives up at once, counted on.
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::gaveUp);
  EXPECT_EQ(rig.policy->restarts(), 7);
  EXPECT_EQ(rig.bringUps, 5);
}

TEST(RestartPolicy, DeathWhileARestartIsPendingIsNotCounted) {
  PolicyRig rig;
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::restartScheduled);
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::ignored);
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::ignored);
  EXPECT_EQ(rig.policy->restarts(), 1);
  EXPECT_EQ(rig.main->delayedCount(), 1U);
  rig.main->advance(0.5);
  EXPECT_EQ(rig.bringUps, 1);
  EXPECT_EQ(rig.policy->serviceDied(), Verdict::restartScheduled);
  EXPECT_EQ(rig.policy->restarts(), 2);
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
    EXPECT_EQ(rig.policy->restarts(), 0);
    // The budget is back: the next death restarts after half a second again.
    rig.policy->serviceDied();
    EXPECT_EQ(rig.main->delays(), std::vector<double>{0.5});
  }
  {
    SCOPED_TRACE("not alive");
    PolicyRig rig;
    rig.dieAndComeBack();
    rig.backend->alive = false;
    rig.main->advance(300);
    rig.drain();
    EXPECT_EQ(rig.policy->restarts(), 1);
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
    EXPECT_EQ(rig.policy->restarts(), 1);
    // The second start's own check clears it.
    rig.main->advance(100);
    rig.drain();
    EXPECT_EQ(rig.policy->restarts(), 0);
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
    EXPECT_EQ(rig.policy->restarts(), 2);
  }
}

TEST(RestartPolicy, JobsDoNothingOnceThePolicyIsGone) {
  PolicyRig rig;
  rig.dieAndComeBack();
  rig.main->advance(300);
  ASSERT_EQ(rig.bringUps, 1);
  ASSERT_EQ(rig.background->size(), 1U); // the ping of the stability check
  rig.policy->serviceDied();
  rig.policy.reset();
  rig.drain();
  rig.main->advance(300);
  EXPECT_EQ(rig.backend->aliveChecks, 0);
  EXPECT_EQ(rig.bringUps, 1);
}

} // namespace
} // namespace tarvo::test
