// The main queue runs jobs on the thread that runs GLib's default context, in
// the order they fall due, whoever posted them, and frees every job.
#include "gtk/GlibMainQueue.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tarvo::gtk {
namespace {

// Runs the default context until `done` or a generous deadline (a guard
// against a hang, not part of what is tested).
void runUntil(const bool& done) {
  const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (!done && g_get_monotonic_time() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
  }
}

TEST(GlibMainQueue, RunsPostedJobsInOrderOnTheLoopThread) {
  GlibMainQueue queue;
  std::vector<int> ran;
  bool done = false;
  const auto loopThread = std::this_thread::get_id();
  bool allOnLoopThread = true;
  for (int i = 0; i < 5; ++i) {
    queue.post([&, i] {
      allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
      ran.push_back(i);
      done = ran.size() == 5;
    });
  }
  EXPECT_TRUE(ran.empty()); // nothing runs inside post
  runUntil(done);
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(allOnLoopThread);
}

TEST(GlibMainQueue, JobsPostedFromOtherThreadsRunOnTheLoopThread) {
#if defined(__SANITIZE_THREAD__)
  // GLib locks with bare futexes, which ThreadSanitizer cannot see, so it
  // reports GLib's own hand-over between threads as a race.
  GTEST_SKIP() << "GLib's locking is invisible to ThreadSanitizer";
#endif
  GlibMainQueue queue;
  const auto loopThread = std::this_thread::get_id();
  int count = 0;
  bool wrongThread = false;
  bool done = false;
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        queue.post([&] {
          wrongThread = wrongThread || std::this_thread::get_id() != loopThread;
          done = ++count == 200;
        });
      }
    });
  }
  for (auto& poster : posters) {
    poster.join();
  }
  runUntil(done);
  EXPECT_EQ(count, 200);
  EXPECT_FALSE(wrongThread);
}

TEST(GlibMainQueue, DelayedJobsRunAfterImmediateOnesInOrderOfDueTime) {
  GlibMainQueue queue;
  std::vector<std::string> ran;
  bool done = false;
  queue.postAfter(0.06, [&] {
    ran.emplace_back("late");
    done = true;
  });
  queue.postAfter(0.02, [&] { ran.emplace_back("soon"); });
  queue.post([&] { ran.emplace_back("now"); });
  queue.postAfter(0.0, [&] { ran.emplace_back("zero"); }); // as post
  runUntil(done);
  EXPECT_EQ(ran, (std::vector<std::string>{"now", "zero", "soon", "late"}));
}

TEST(GlibMainQueue, FreesEachJobOnceItHasRun) {
  GlibMainQueue queue;
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  bool done = false;
  queue.post([token, &done] { done = true; });
  token.reset();
  EXPECT_FALSE(watch.expired()); // held by the pending job
  runUntil(done);
  EXPECT_TRUE(watch.expired());
}

} // namespace
} // namespace tarvo::gtk
