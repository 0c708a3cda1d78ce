#include "supervisor/StartGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
using Result = StartGate::Result;

// One run held open by the test while a second caller joins it.
struct GateRig {
  StartGate gate;
  std::promise<Result> release;
  std::shared_future<Result> released = release.get_future().share();
  std::atomic<int> runnerStarts = 0;
  std::atomic<int> joinerStarts = 0;
  std::future<Result> runner;
  std::future<Result> joiner;

  void joinWith(const StartGate::Holds& holds, const Result& ownResult) {
    runner = std::async(std::launch::async, [this] {
      return gate.run(
          [this] {
            ++runnerStarts;
            return released.get();
          },
          [](const Result&) { return true; });
    });
    while (runnerStarts == 0) {
      std::this_thread::yield();
    }
    joiner = std::async(std::launch::async, [this, holds, ownResult] {
      return gate.run(
          [this, ownResult] {
            ++joinerStarts;
            return ownResult;
          },
          holds);
    });
    while (gate.waiting() == 0) {
      std::this_thread::yield();
    }
  }
};

TEST(StartGate, AJoinerTakesTheResultThatStillHolds) {
  GateRig rig;
  rig.joinWith([](const Result&) { return true; }, "the joiner's own");
  rig.release.set_value("port held");
  EXPECT_EQ(rig.runner.get(), "port held");
  EXPECT_EQ(rig.joiner.get(), "port held");
  EXPECT_EQ(rig.joinerStarts, 0);
  EXPECT_EQ(rig.gate.waiting(), 0);
}

// A restart killed the child of the run it joined: that failure is not the
// joiner's answer; it starts afresh and reports what happened then.
TEST(StartGate, AJoinerStartsAfreshWhenTheResultNoLongerHolds) {
  GateRig rig;
  std::atomic<int> judged = 0;
  rig.joinWith(
      [&judged](const Result& result) {
        ++judged;
        return !result; // the stale failure does not hold; its own success does not come back here
      },
      std::nullopt);
  rig.release.set_value("The service stopped while starting.");
  EXPECT_EQ(rig.runner.get(), "The service stopped while starting.");
  EXPECT_EQ(rig.joiner.get(), std::nullopt);
  EXPECT_EQ(rig.joinerStarts, 1);
  EXPECT_EQ(judged, 1) << "a run of its own is its own answer";

  // The gate is free again afterwards.
  EXPECT_EQ(rig.gate.run([] { return Result("again"); }, [](const Result&) { return true; }),
            "again");
}

} // namespace
} // namespace tarvo
