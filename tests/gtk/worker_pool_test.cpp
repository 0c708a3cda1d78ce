// The background queue: blocking jobs run side by side, never on the
// posting thread; shutting down waits for running jobs and drops the rest.
#include "gtk/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace tarvo::gtk {
namespace {

using namespace std::chrono_literals;

TEST(WorkerPool, RunsBlockingJobsSideBySide) {
  WorkerPool pool(2);
  // Each job waits for the other: only two threads at once can finish them.
  std::promise<void> firstStarted;
  std::promise<void> secondStarted;
  auto first = firstStarted.get_future().share();
  auto second = secondStarted.get_future().share();
  std::promise<void> bothDone;
  std::atomic<int> finished{0};
  const auto poster = std::this_thread::get_id();
  std::atomic<bool> onPoster{false};
  auto finish = [&] {
    if (++finished == 2) {
      bothDone.set_value();
    }
  };
  pool.post([&] {
    onPoster = onPoster || std::this_thread::get_id() == poster;
    firstStarted.set_value();
    second.wait();
    finish();
  });
  pool.post([&] {
    secondStarted.set_value();
    first.wait();
    finish();
  });
  EXPECT_EQ(bothDone.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_FALSE(onPoster);
}

TEST(WorkerPool, ShutdownWaitsForRunningJobsAndDropsQueuedOnes) {
  auto pool = std::make_unique<WorkerPool>(1);
  std::promise<void> started;
  std::promise<void> release;
  auto released = release.get_future().share();
  std::atomic<bool> runningFinished{false};
  std::atomic<bool> queuedRan{false};
  auto queuedCapture = std::make_shared<int>(0);
  std::weak_ptr<int> queuedWatch = queuedCapture;

  pool->post([&] {
    started.set_value();
    released.wait();
    runningFinished = true;
  });
  started.get_future().wait();
  pool->post([&queuedRan, queuedCapture] { queuedRan = true; });
  queuedCapture.reset();

  std::thread releaser([&] {
    std::this_thread::sleep_for(50ms); // shutdown is waiting by now, or soon
    release.set_value();
  });
  pool->shutdown();
  EXPECT_TRUE(runningFinished); // joined, not abandoned
  EXPECT_FALSE(queuedRan);
  EXPECT_TRUE(queuedWatch.expired()); // the dropped job was freed
  releaser.join();

  pool->post([&queuedRan] { queuedRan = true; }); // after shutdown: ignored
  pool.reset();
  EXPECT_FALSE(queuedRan);
}

} // namespace
} // namespace tarvo::gtk
