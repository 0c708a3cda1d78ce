#include "shell/StatusLine.h"
#include "shell/Texts.h"
#include "support/FakeLog.h"
#include "support/FakeQueues.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvo::test {
namespace {

using Lines = std::vector<std::string>;

// The texts themselves are checked in texts_test.cpp.
const std::string starting = startingLine();
const std::string restarting = restartingLine();

std::string restartingIn(int seconds) {
  return restartingInLine(seconds);
}

// The status line alone, on a fake desktop and a fake clock, following a
// lifecycle the test moves.
struct LineRig {
  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
  std::shared_ptr<ServiceLifecycle> lifecycle =
      std::make_shared<ServiceLifecycle>(std::make_shared<FakeLog>());
  std::shared_ptr<StatusLine> status = StatusLine::make(main, ui, lifecycle);

  void startBegins() { lifecycle->startBegins("test"); }
  // A start that comes up and shows its page.
  void comeUp() {
    lifecycle->startSucceeded();
    lifecycle->pageShown();
  }
  void restartScheduled(double delay) { lifecycle->restartScheduled(delay, "test"); }
};

TEST(StatusLine, AStartThatShowsItsPageWithinTheGraceNeverShowsTheView) {
  LineRig rig;
  rig.startBegins();
  rig.main->advance(0.15);
  rig.comeUp();
  rig.main->advance(30);
  EXPECT_TRUE(rig.ui->statusLines.empty());
}

TEST(StatusLine, ASlowStartSaysSoUntilItsPageShows) {
  LineRig rig;
  rig.startBegins();
  rig.main->advance(0.19);
  EXPECT_TRUE(rig.ui->statusLines.empty());
  rig.main->advance(0.01);
  EXPECT_EQ(rig.ui->status(), starting);
  rig.main->advance(15);
  rig.lifecycle->startSucceeded();
  EXPECT_EQ(rig.ui->status(), starting) << "gone before the page shows";
  rig.lifecycle->pageShown();
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
      {1, {restartingIn(1)}},
      {2, {restartingIn(2), restartingIn(1)}},
      {4, {restartingIn(4), restartingIn(3), restartingIn(2), restartingIn(1)}},
      {8,
       {restartingIn(8), restartingIn(7), restartingIn(6), restartingIn(5), restartingIn(4),
        restartingIn(3), restartingIn(2), restartingIn(1)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delay);
    LineRig rig;
    rig.startBegins();
    rig.comeUp();
    rig.restartScheduled(c.delay);
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
    rig.startBegins(); // the delay is over: the restart begins
    EXPECT_EQ(rig.ui->status(), restarting);
    rig.main->advance(20); // a slow start: the line stays, no grace to wait
    rig.lifecycle->startSucceeded();
    EXPECT_EQ(rig.ui->status(), restarting);
    rig.comeUp();
    EXPECT_EQ(rig.ui->status(), "");
  }
}

TEST(StatusLine, GivesWayToAnyAlertUntilItIsAnswered) {
  LineRig rig;
  rig.startBegins();
  rig.comeUp();
  rig.restartScheduled(4);
  int answers = 0;
  auto done = rig.status->whileAlertUp([&answers](int /*response*/) { ++answers; });
  EXPECT_EQ(rig.ui->status(), "");
  rig.main->advance(1); // the countdown goes on behind the alert, unseen
  EXPECT_EQ(rig.ui->status(), "");
  auto second = rig.status->whileAlertUp({});
  done(0);
  EXPECT_EQ(rig.ui->status(), "") << "another alert is still up";
  second(0);
  EXPECT_EQ(rig.ui->status(), restartingIn(3));
  done(0); // a second end of the same alert hides nothing and counts nothing
  EXPECT_EQ(answers, 2);
  EXPECT_EQ(rig.ui->status(), restartingIn(3));
  auto third = rig.status->whileAlertUp({});
  EXPECT_EQ(rig.ui->status(), "");
  third(0);
  EXPECT_EQ(rig.ui->status(), restartingIn(3));
}

TEST(StatusLine, AnAnswerThatOpensTheNextAlertDoesNotFlashTheLine) {
  LineRig rig;
  rig.startBegins();
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
    rig.startBegins();
    rig.main->advance(1);
    rig.lifecycle->startFailed();
    auto alert = rig.status->whileAlertUp({});
    alert(2); // the user answers; nothing is under way
    EXPECT_EQ(rig.ui->status(), "");
    rig.startBegins(); // "Try Again"
    EXPECT_EQ(rig.ui->status(), "");
    rig.main->advance(StatusLine::graceSeconds);
    EXPECT_EQ(rig.ui->status(), starting);
  }
  {
    SCOPED_TRACE("a death while the start failed keeps its countdown");
    LineRig rig;
    rig.startBegins();
    rig.restartScheduled(2);
    rig.lifecycle->startFailed();
    EXPECT_EQ(rig.ui->status(), restartingIn(2));
    rig.main->advance(1);
    EXPECT_EQ(rig.ui->status(), restartingIn(1));
  }
}

TEST(StatusLine, SaysSoWhileALostPageIsLoadedAnew) {
  LineRig rig;
  rig.startBegins();
  rig.comeUp();
  rig.lifecycle->pageLost("test");
  EXPECT_EQ(rig.ui->status(), pageReloadingLine());
  rig.lifecycle->pageShown();
  EXPECT_EQ(rig.ui->status(), "");
}

TEST(StatusLine, NothingHappensOnceItIsGone) {
  LineRig rig;
  rig.startBegins();
  rig.status.reset();
  rig.main->advance(10);
  EXPECT_TRUE(rig.ui->statusLines.empty());
}

} // namespace
} // namespace tarvo::test
