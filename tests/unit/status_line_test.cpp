#include "shell/StatusLine.h"
#include "support/FakeQueues.h"
#include "support/FakeUi.h"
#include "support/ShellRig.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvo::test {
namespace {

using Lines = std::vector<std::string>;

const std::string starting = "Starting Tarvo Studio\u2026";
const std::string restarting = "Restarting the service\u2026";

std::string restartingIn(const std::string& when) {
  return "Restarting the service in " + when + "\u2026";
}

// The status line alone, on a fake desktop and a fake clock.
struct LineRig {
  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
  std::shared_ptr<StatusLine> status = StatusLine::make(main, ui);

  // A start that comes up and shows its page.
  void comeUp() {
    status->startSucceeded();
    status->pageShown();
  }
};

TEST(StatusLine, AStartThatShowsItsPageWithinTheGraceNeverShowsTheView) {
  LineRig rig;
  rig.status->startBegins();
  rig.main->advance(0.15);
  rig.comeUp();
  rig.main->advance(30);
  EXPECT_TRUE(rig.ui->statusLines.empty());
}

TEST(StatusLine, ASlowStartSaysSoUntilItsPageShows) {
  LineRig rig;
  rig.status->startBegins();
  rig.main->advance(0.19);
  EXPECT_TRUE(rig.ui->statusLines.empty());
  rig.main->advance(0.01);
  EXPECT_EQ(rig.ui->status(), starting);
  rig.main->advance(15);
  // A page that commits before the backend has answered is not the one the
  // start will load (the old page, or an empty one).
  rig.status->pageShown();
  EXPECT_EQ(rig.ui->status(), starting);
  rig.status->startSucceeded();
  EXPECT_EQ(rig.ui->status(), starting) << "gone before the page shows";
  rig.status->pageShown();
  EXPECT_EQ(rig.ui->statusLines, (Lines{starting, ""}));
  EXPECT_EQ(rig.status->line(), "");
}

TEST(StatusLine, ADelayedRestartCountsDownInWholeSeconds) {
  struct Case {
    double delay;
    Lines lines; // from the death until the restart begins
  };
  const std::vector<Case> cases = {
      {0.5, {restarting}},
      {1, {restartingIn("1 second")}},
      {2, {restartingIn("2 seconds"), restartingIn("1 second")}},
      {4,
       {restartingIn("4 seconds"), restartingIn("3 seconds"), restartingIn("2 seconds"),
        restartingIn("1 second")}},
      {8,
       {restartingIn("8 seconds"), restartingIn("7 seconds"), restartingIn("6 seconds"),
        restartingIn("5 seconds"), restartingIn("4 seconds"), restartingIn("3 seconds"),
        restartingIn("2 seconds"), restartingIn("1 second")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delay);
    LineRig rig;
    rig.status->startBegins();
    rig.comeUp();
    rig.status->restartScheduled(c.delay);
    // Each second's line holds until its second is over, not a moment less.
    for (std::size_t shown = 1; shown <= c.lines.size(); ++shown) {
      EXPECT_EQ(rig.ui->statusLines, Lines(c.lines.begin(), c.lines.begin() + long(shown)));
      const double untilNext =
          shown == 1 ? c.delay - double(c.lines.size() - 1) : 1.0; // the first may be partial
      rig.main->advance(untilNext - 0.01);
      EXPECT_EQ(rig.ui->statusLines.size(), shown);
      rig.main->advance(0.01);
    }
    EXPECT_EQ(rig.ui->statusLines, c.lines);
    rig.status->startBegins(); // the delay is over: the restart begins
    EXPECT_EQ(rig.ui->status(), restarting);
    rig.main->advance(20); // a slow start: the line stays, no grace to wait
    rig.status->startSucceeded();
    EXPECT_EQ(rig.ui->status(), restarting);
    rig.comeUp();
    EXPECT_EQ(rig.ui->status(), "");
  }
}

TEST(StatusLine, GivesWayToAnyAlertUntilItIsAnswered) {
  LineRig rig;
  rig.status->startBegins();
  rig.comeUp();
  rig.status->restartScheduled(4);
  int answers = 0;
  auto done = rig.status->whileAlertUp([&answers](int /*response*/) { ++answers; });
  EXPECT_EQ(rig.ui->status(), "");
  rig.main->advance(1); // the countdown goes on behind the alert, unseen
  EXPECT_EQ(rig.ui->status(), "");
  auto second = rig.status->whileAlertUp({});
  done(0);
  EXPECT_EQ(rig.ui->status(), "") << "another alert is still up";
  second(0);
  EXPECT_EQ(rig.ui->status(), restartingIn("3 seconds"));
  done(0); // a second end of the same alert hides nothing and counts nothing
  EXPECT_EQ(answers, 2);
  EXPECT_EQ(rig.ui->status(), restartingIn("3 seconds"));
  auto third = rig.status->whileAlertUp({});
  EXPECT_EQ(rig.ui->status(), "");
  third(0);
  EXPECT_EQ(rig.ui->status(), restartingIn("3 seconds"));
}

TEST(StatusLine, AnAnswerThatOpensTheNextAlertDoesNotFlashTheLine) {
  LineRig rig;
  rig.status->startBegins();
  rig.main->advance(1);
  ASSERT_EQ(rig.ui->status(), starting);
  platform::AlertDone again;
  auto first =
      rig.status->whileAlertUp([&](int /*response*/) { again = rig.status->whileAlertUp({}); });
  first(1);
  again(0);
  EXPECT_EQ(rig.ui->statusLines, (Lines{starting, "", starting}));
}

TEST(StatusLine, AFailedStartEndsTheLineAndTryingAgainStartsItAfresh) {
  {
    SCOPED_TRACE("before any page showed");
    LineRig rig;
    rig.status->startBegins();
    rig.main->advance(1);
    rig.status->startFailed();
    auto alert = rig.status->whileAlertUp({});
    alert(2); // the user answers; nothing is under way
    EXPECT_EQ(rig.ui->status(), "");
    rig.status->startBegins(); // "Try Again"
    EXPECT_EQ(rig.ui->status(), "");
    rig.main->advance(StatusLine::graceSeconds);
    EXPECT_EQ(rig.ui->status(), starting);
  }
  {
    SCOPED_TRACE("after a page had shown");
    LineRig rig;
    rig.status->startBegins();
    rig.comeUp();
    rig.status->startFailed(); // the restarts gave up
    EXPECT_EQ(rig.ui->status(), "");
    rig.status->startBegins();
    EXPECT_EQ(rig.ui->status(), restarting);
  }
  {
    SCOPED_TRACE("a death while the start failed keeps its countdown");
    LineRig rig;
    rig.status->startBegins();
    rig.status->restartScheduled(2);
    rig.status->startFailed();
    EXPECT_EQ(rig.ui->status(), restartingIn("2 seconds"));
    rig.main->advance(1);
    EXPECT_EQ(rig.ui->status(), restartingIn("1 second"));
  }
}

TEST(StatusLine, NothingHappensOnceItIsGone) {
  LineRig rig;
  rig.status->startBegins();
  rig.status.reset();
  rig.main->advance(10);
  EXPECT_TRUE(rig.ui->statusLines.empty());
}

// Through the delegate: the events reach the line from where they happen.

TEST(ShellStatus, LaunchDeathAndRestartAsTheWindowShowsThem) {
  ShellRig rig;
  rig.delegate->applicationDidFinishLaunching();
  rig.main->advance(StatusLine::graceSeconds); // the backend is slow
  EXPECT_EQ(rig.ui->status(), starting);
  rig.drain(); // it answers; the page is loaded
  EXPECT_EQ(rig.ui->status(), starting);
  rig.delegate->didCommitNavigation();
  EXPECT_EQ(rig.ui->status(), "");

  rig.die(-9);
  EXPECT_EQ(rig.ui->status(), restarting); // 0.5 s: too short to count down
  rig.main->advance(0.5);
  EXPECT_EQ(rig.backend->starts, 1) << "the restart waits for its worker";
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 2);
  EXPECT_EQ(rig.ui->status(), restarting);
  rig.delegate->didCommitNavigation();
  EXPECT_EQ(rig.ui->status(), "");

  rig.delegate->restartService();
  rig.backend->onExit(0); // the second death: 1 second
  EXPECT_EQ(rig.ui->status(), restartingIn("1 second"));
  EXPECT_EQ(rig.ui->statusLines, (Lines{starting, "", restarting, "", restartingIn("1 second")}));
}

TEST(ShellStatus, EveryAlertOfTheApplicationHidesTheLine) {
  ShellRig rig;
  rig.backend->startResults = {"Tarvo Studio needs Python 3.10 or later."};
  rig.delegate->applicationDidFinishLaunching();
  rig.main->advance(1);
  ASSERT_EQ(rig.ui->status(), starting);

  // An alert of the page.
  rig.delegate->runJavaScriptAlertPanel("hello", [] {});
  EXPECT_EQ(rig.ui->status(), "");
  rig.ui->pageDialogs.back().done(0, "");
  EXPECT_EQ(rig.ui->status(), starting);

  // The start fails: the could-not-start alert, then "Try Again".
  rig.drain();
  EXPECT_EQ(rig.ui->last().alert.message, "Tarvo Studio could not start");
  EXPECT_EQ(rig.ui->status(), "");
  rig.ui->answerLast(0);
  rig.main->advance(StatusLine::graceSeconds);
  EXPECT_EQ(rig.ui->status(), starting);
  rig.drain();
  rig.delegate->didCommitNavigation();
  EXPECT_EQ(rig.ui->status(), "");

  // A quit asked while a restart waits, and the backend cannot say what runs.
  rig.die(1);
  ASSERT_EQ(rig.ui->status(), restarting);
  rig.backend->busyAnswer.reset();
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), platform::TerminateReply::later);
  rig.drain();
  ASSERT_TRUE(rig.ui->last().sheet);
  EXPECT_EQ(rig.ui->status(), "");
  rig.ui->answerLast(1); // "Stay open"
  EXPECT_EQ(rig.ui->replies, std::vector<bool>{false});
  EXPECT_EQ(rig.ui->status(), restarting);
}

} // namespace
} // namespace tarvo::test
