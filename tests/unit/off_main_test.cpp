#include "shell/OffMain.h"
#include "support/FakeQueues.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvo::test {
namespace {

struct Owner {
  std::vector<std::string> results;
};

struct HopRig {
  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeBackgroundQueue> background = std::make_shared<FakeBackgroundQueue>();
  OffMain offMain{background, main};
  std::shared_ptr<Owner> owner = std::make_shared<Owner>();
  int works = 0;

  void hop(const std::string& result) {
    offMain.run(
        std::weak_ptr<Owner>(owner),
        [this, result, weak = std::weak_ptr<Owner>(owner)] {
          ++works;
          // The owner is not kept alive while the work blocks.
          EXPECT_EQ(weak.use_count(), owner ? 1 : 0);
          return result;
        },
        [](Owner& self, std::string value) { self.results.push_back(std::move(value)); });
  }
};

TEST(OffMain, WorkRunsInTheBackgroundAndItsResultReachesTheOwnerOnTheMainQueue) {
  HopRig rig;
  rig.hop("up");
  EXPECT_EQ(rig.works, 0);
  EXPECT_EQ(rig.main->runReady(), 0U);
  ASSERT_EQ(rig.background->runAll(), 1U);
  EXPECT_EQ(rig.works, 1);
  EXPECT_TRUE(rig.owner->results.empty());
  ASSERT_EQ(rig.main->runReady(), 1U);
  EXPECT_EQ(rig.owner->results, std::vector<std::string>{"up"});
}

TEST(OffMain, NothingRunsForAnOwnerThatIsGone) {
  {
    SCOPED_TRACE("gone before the work");
    HopRig rig;
    rig.hop("up");
    rig.owner.reset();
    rig.background->runAll();
    EXPECT_EQ(rig.works, 0);
    EXPECT_EQ(rig.main->runReady(), 0U);
  }
  {
    SCOPED_TRACE("gone while the work ran");
    HopRig rig;
    rig.hop("up");
    rig.background->runAll();
    std::weak_ptr<Owner> weak = rig.owner;
    rig.owner.reset();
    EXPECT_EQ(rig.main->runReady(), 1U); // runs, and finds nobody
    EXPECT_TRUE(weak.expired());
  }
}

} // namespace
} // namespace tarvo::test
