#include "support/ShellRig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvo::test {
namespace {

const std::string logPath = "/home/ada/.local/state/Tarvo Studio.log";

// The launched application with its backend up and its page shown.
struct Up : ShellRig {
  Up() {
    delegate->applicationDidFinishLaunching();
    drain();
    delegate->didCommitNavigation();
    main->advance(StatusLine::graceSeconds); // the status line's grace, now moot
  }
  // The pending restart's delay: the latest job due within 8 seconds (the
  // status line's countdown ticks come before it, a 300-second stability
  // check long after).
  [[nodiscard]] double nextDelay() const {
    double latest = -1;
    for (const double d : main->delays()) {
      if (d <= 8) {
        latest = std::max(latest, d);
      }
    }
    return latest;
  }
  // Jobs due within 8 seconds: a pending restart, and any countdown tick of
  // the status line before it.
  [[nodiscard]] int pendingRestarts() const {
    const auto delays = main->delays();
    return static_cast<int>(
        std::count_if(delays.begin(), delays.end(), [](double d) { return d <= 8; }));
  }
  // Lets the pending restart fire and the new start come up.
  void restartNow() {
    main->advance(nextDelay());
    drain();
  }
};

TEST(ShellRestart, SuccessfulStartLoadsTheWindowAddressAndHoldsOffLogout) {
  Up rig;
  EXPECT_EQ(rig.backend->starts, 1);
  ASSERT_EQ(rig.ui->loads.size(), 1U);
  EXPECT_EQ(rig.ui->loads[0].url, "http://127.0.0.1:7810/#t=abc123");
  EXPECT_EQ(rig.ui->loads[0].timeoutSeconds, 60);
  EXPECT_EQ(rig.ui->inhibits, std::vector<bool>{true});
  EXPECT_TRUE(rig.ui->shown.empty());
  rig.die(1);
  EXPECT_EQ(rig.ui->inhibits, (std::vector<bool>{true, false}));
}

TEST(ShellRestart, ReloadWithoutWindowAddressLoadsNothing) {
  ShellRig rig;
  rig.backend->window.reset();
  rig.delegate->reload();
  rig.delegate->bringUp();
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 1);
  EXPECT_TRUE(rig.ui->loads.empty());
}

TEST(ShellRestart, RepeatedDeathsBackOffThenGiveUpWithCountAndStatus) {
  for (const int lastStatus : {-9, 0, 134}) {
    Up rig;
    const double expected[] = {0.5, 1, 2, 4, 8};
    for (const double delay : expected) {
      rig.die(1);
      EXPECT_TRUE(rig.delegate->restarting());
      EXPECT_DOUBLE_EQ(rig.nextDelay(), delay);
      rig.main->advance(delay - 0.25);
      EXPECT_EQ(rig.background->size(), 0U) << "restarted early, delay " << delay;
      rig.main->advance(0.25);
      EXPECT_FALSE(rig.delegate->restarting());
      rig.drain();
    }
    EXPECT_EQ(rig.backend->starts, 6);
    EXPECT_EQ(rig.ui->loads.size(), 6U);
    EXPECT_TRUE(rig.ui->shown.empty());

    rig.die(lastStatus);
    EXPECT_FALSE(rig.delegate->restarting());
    EXPECT_EQ(rig.delegate->restarts(), 6);
    EXPECT_EQ(rig.pendingRestarts(), 0);
    ASSERT_EQ(rig.ui->shown.size(), 1U);
    const auto& alert = rig.ui->last().alert;
    EXPECT_FALSE(rig.ui->last().sheet);
    EXPECT_EQ(alert.message, "Tarvo Studio could not start");
    EXPECT_EQ(alert.informative, "Tarvo Studio's service stopped 6 times (last exit " +
                                     std::to_string(lastStatus) + "). See " + logPath +
                                     ". Nothing was sent to Tarvo.");
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Try Again", "Open the Log", "Quit"}));
    EXPECT_EQ(alert.defaultButton, 0);
  }
}

TEST(ShellRestart, DeathWhileRestartPendingIsNotCounted) {
  Up rig;
  rig.die(1);
  rig.die(2);
  rig.delegate->restartService();
  rig.backend->onExit(0);
  EXPECT_EQ(rig.delegate->restarts(), 1);
  EXPECT_EQ(rig.pendingRestarts(), 1);
  rig.restartNow();
  EXPECT_EQ(rig.backend->starts, 2);
}

// The rule itself is the restart policy's; here, that a successful start
// settles and the check reaches the delegate's counter.
TEST(ShellRestart, StartThatStaysUpFiveMinutesClearsTheCounter) {
  Up rig;
  rig.die(1);
  rig.restartNow();
  rig.main->advance(299);
  rig.drain();
  EXPECT_EQ(rig.delegate->restarts(), 1);
  rig.main->advance(1);
  rig.drain();
  EXPECT_EQ(rig.delegate->restarts(), 0);
  rig.die(1);
  EXPECT_DOUBLE_EQ(rig.nextDelay(), 0.5);
}

TEST(ShellRestart, TryAgainAfterGivingUpAndAnEarlyDeathGivesUpAtOnce) {
  Up rig;
  for (int i = 0; i < 5; ++i) {
    rig.die(1);
    rig.restartNow();
  }
  rig.die(1);
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  rig.ui->answerLast(0); // Try Again
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 7);
  EXPECT_EQ(rig.delegate->restarts(), 6);
  rig.main->advance(120);
  rig.die(11);
  EXPECT_EQ(rig.pendingRestarts(), 0);
  ASSERT_EQ(rig.ui->shown.size(), 2U);
  EXPECT_EQ(rig.ui->last().alert.informative,
            "Tarvo Studio's service stopped 7 times (last exit 11). See " + logPath +
                ". Nothing was sent to Tarvo.");
}

TEST(ShellRestart, ManualRestartsTravelTheSameRoad) {
  Up rig;
  for (const double delay : {0.5, 1.0, 2.0, 4.0, 8.0}) {
    const int asked = rig.backend->restarts;
    rig.delegate->restartService();
    EXPECT_EQ(rig.backend->restarts, asked + 1);
    rig.backend->onExit(0); // what restart() reports once the old backend is gone
    EXPECT_DOUBLE_EQ(rig.nextDelay(), delay);
    rig.restartNow();
  }
  rig.delegate->restartService();
  rig.backend->onExit(0);
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_EQ(rig.ui->last().alert.informative,
            "Tarvo Studio's service stopped 6 times (last exit 0). See " + logPath +
                ". Nothing was sent to Tarvo.");
}

TEST(ShellRestart, FailedStartAsksTheUser) {
  const std::string message = "Tarvo Studio needs Python 3.10 or later.";
  ShellRig rig;
  rig.backend->startResults = {message, message};
  rig.delegate->applicationDidFinishLaunching();
  rig.drain();
  EXPECT_TRUE(rig.ui->loads.empty());
  rig.main->advance(StatusLine::graceSeconds);
  EXPECT_EQ(rig.main->delayedCount(), 0U); // no stability check for a failed start
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  const auto first = rig.ui->last().alert;
  EXPECT_EQ(first.message, "Tarvo Studio could not start");
  EXPECT_EQ(first.informative, message);
  EXPECT_EQ(first.buttons, (std::vector<std::string>{"Try Again", "Open the Log", "Quit"}));
  EXPECT_EQ(first.defaultButton, 0);

  for (int i = 1; i <= 2; ++i) {
    rig.ui->answerLast(1); // Open the Log
    ASSERT_EQ(rig.ui->opened.size(), static_cast<std::size_t>(i));
    EXPECT_EQ(rig.ui->opened.back(), "file:///home/ada/.local/state/Tarvo%20Studio.log");
    ASSERT_EQ(rig.ui->shown.size(), static_cast<std::size_t>(i + 1));
    EXPECT_EQ(rig.ui->last().alert.informative, message);
    EXPECT_EQ(rig.ui->last().alert.buttons, first.buttons);
  }
  rig.ui->answerLast(0); // Try Again: fails again with the second scripted message
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 2);
  EXPECT_EQ(rig.ui->shown.size(), 4U);
  rig.ui->answerLast(0); // and now it comes up
  rig.drain();
  EXPECT_EQ(rig.ui->loads.size(), 1U);
  EXPECT_EQ(rig.ui->terminateRequests, 0);
}

TEST(ShellRestart, OnlyQuitAsksTheApplicationToQuit) {
  ShellRig rig;
  rig.delegate->fail("broken");
  rig.ui->answerLast(2);
  EXPECT_EQ(rig.ui->terminateRequests, 1);
  EXPECT_EQ(rig.ui->shown.size(), 1U);
}

// Escape, or the window manager closing the dialog, is no answer: the same
// alert stands again until one of its three buttons is chosen.
TEST(ShellRestart, DismissingTheAlertShowsItAgain) {
  ShellRig rig;
  rig.delegate->fail("broken");
  rig.ui->answerLast(-1);
  EXPECT_EQ(rig.ui->terminateRequests, 0);
  ASSERT_EQ(rig.ui->shown.size(), 2U);
  EXPECT_EQ(rig.ui->last().alert.message, "Tarvo Studio could not start");
  EXPECT_EQ(rig.ui->last().alert.informative, "broken");
  EXPECT_FALSE(rig.ui->last().sheet);
  rig.ui->answerLast(7); // an index past the buttons is no answer either
  EXPECT_EQ(rig.ui->shown.size(), 3U);
  rig.ui->answerLast(2);
  EXPECT_EQ(rig.ui->terminateRequests, 1);
  EXPECT_EQ(rig.backend->starts, 0);
}

TEST(ShellRestart, JobsDoNothingOnceTheDelegateIsGone) {
  ShellRig rig;
  rig.delegate->bringUp();
  rig.delegate.reset();
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 0);
}

} // namespace
} // namespace tarvo::test
