// The delegate's own rules, and one test of each wiring to the classes it
// forwards to; their rules are tested with each class.
#include "shell/MainMenu.h"
#include "shell/Texts.h"
#include "support/ShellRig.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

using platform::TerminateReply;
const std::string message = "Tarvo Studio needs Python 3.10 or later.";

// The launched application with its backend up and its page shown.
struct Up : ShellRig {
  Up() {
    delegate->applicationDidFinishLaunching();
    drain();
    delegate->didCommitNavigation();
  }
};

TEST(AppDelegate, BuildsMenusWindowAndViewThenBringsTheBackendUp) {
  ShellRig rig;
  rig.delegate->applicationDidFinishLaunching();
  EXPECT_EQ(rig.ui->calls, (std::vector<std::string>{"installMenuBar", "createWindow",
                                                     "createWebView", "presentWindow"}));
  EXPECT_EQ(rig.backend->onExitSet, 1);
  EXPECT_EQ(rig.background->size(), 1U); // the start, off the main thread
  EXPECT_EQ(rig.backend->starts, 0);

  ASSERT_TRUE(rig.ui->menuBar);
  const auto menus = MainMenu::bar();
  ASSERT_EQ(rig.ui->menuBar->size(), menus.size());
  for (std::size_t m = 0; m < menus.size(); ++m) {
    EXPECT_EQ((*rig.ui->menuBar)[m].title, menus[m].title);
    EXPECT_EQ((*rig.ui->menuBar)[m].items.size(), menus[m].items.size());
  }

  ASSERT_TRUE(rig.ui->window);
  EXPECT_EQ(rig.ui->window->title, "Tarvo Studio");
  EXPECT_EQ(rig.ui->window->width, 1100);
  EXPECT_EQ(rig.ui->window->height, 740);
  EXPECT_EQ(rig.ui->window->minWidth, 820);
  EXPECT_EQ(rig.ui->window->minHeight, 540);
  EXPECT_EQ(rig.ui->window->autosaveName, "TarvoStudioMain");

  // The exit callback reaches the restart policy, and holds the delegate weakly.
  rig.backend->onExit(3);
  EXPECT_EQ(rig.delegate->restarts(), 1);
  rig.delegate.reset();
  rig.backend->onExit(3); // no delegate: nothing happens, nothing crashes
}

TEST(AppDelegate, WindowStaysAndComesBack) {
  ShellRig rig;
  EXPECT_FALSE(rig.delegate->applicationShouldTerminateAfterLastWindowClosed());
  EXPECT_TRUE(rig.delegate->applicationShouldHandleReopen(true));
  EXPECT_TRUE(rig.delegate->applicationShouldHandleReopen(false));
  rig.delegate->showWindow();
  EXPECT_EQ(rig.ui->presented, 3);
}

// Closing, not just stopping: a start still in flight must launch nothing.
TEST(AppDelegate, WillTerminateClosesTheBackend) {
  ShellRig rig;
  // The window is off the screen before the wait for the backend begins.
  int hiddenWhenClosed = -1;
  rig.backend->whenClosed = [&] { hiddenWhenClosed = rig.ui->hidden; };
  rig.delegate->applicationWillTerminate();
  EXPECT_EQ(hiddenWhenClosed, 1);
  EXPECT_EQ(rig.backend->closes, 1);
  EXPECT_EQ(rig.backend->restarts, 0);
}

TEST(AppDelegate, OpensLogAndDataFolderAsFileAddresses) {
  ShellRig rig;
  rig.backend->home = "/home/zoë/.local/share/Tarvo Studio#1";
  rig.delegate->openLog();
  rig.delegate->openHome();
  EXPECT_EQ(rig.ui->opened,
            (std::vector<std::string>{"file:///home/ada/.local/state/Tarvo%20Studio.log",
                                      "file:///home/zo%C3%AB/.local/share/Tarvo%20Studio%231"}));
}

TEST(AppDelegate, SuccessfulStartLoadsTheWindowAddressAndHoldsOffLogout) {
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

TEST(AppDelegate, ReloadWithoutWindowAddressLoadsNothing) {
  ShellRig rig;
  rig.backend->window.reset();
  rig.delegate->reload();
  rig.delegate->bringUp();
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 1);
  EXPECT_TRUE(rig.ui->loads.empty());
  EXPECT_EQ(rig.log->notes().back(),
            "page: the service's address is not usable: nothing was loaded");
}

// The rules are the restart policy's; here, that deaths reach it, that its
// restart starts the backend and reloads the page, that a start settles, and
// that giving up shows the alert.
TEST(AppDelegate, DeathsReachTheRestartPolicy) {
  Up rig;
  for (int death = 1; death <= AppDelegate::maxRestarts + 1; ++death) {
    rig.die(-9);
    rig.main->advance(8);
    rig.drain();
    rig.delegate->didCommitNavigation();
  }
  EXPECT_EQ(rig.backend->starts, 6);
  EXPECT_EQ(rig.ui->loads.size(), 6U);
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_EQ(rig.ui->last().alert.informative, giveUpMessage(6, -9, rig.backend->log));
  rig.ui->answerLast(0);
  rig.drain();
  rig.delegate->didCommitNavigation();
  rig.main->advance(300);
  rig.drain();
  EXPECT_EQ(rig.delegate->restarts(), 0) << "the start settled";
}

TEST(AppDelegate, FailedStartAsksTheUser) {
  ShellRig rig;
  rig.backend->startResults = {message, message};
  rig.delegate->applicationDidFinishLaunching();
  rig.drain();
  EXPECT_TRUE(rig.ui->loads.empty());
  EXPECT_EQ(rig.main->delayedCount(), 1U) << "only the status line's grace";
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_FALSE(rig.ui->last().sheet);
  EXPECT_EQ(rig.ui->last().alert.informative, message);
  rig.ui->answerLast(1);  // Open the Log: the same alert again
  rig.ui->answerLast(-1); // dismissed: the same alert again
  EXPECT_EQ(rig.ui->opened,
            std::vector<std::string>{"file:///home/ada/.local/state/Tarvo%20Studio.log"});
  ASSERT_EQ(rig.ui->shown.size(), 3U);
  EXPECT_EQ(rig.ui->last().alert.informative, message);
  rig.ui->answerLast(0); // Try Again: fails again with the second scripted message
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 2);
  EXPECT_EQ(rig.ui->shown.size(), 4U);
  rig.ui->answerLast(2); // Quit: through the quit confirmation
  EXPECT_EQ(rig.ui->terminateRequests, 1);
  EXPECT_EQ(rig.ui->shown.size(), 4U);
}

// A backend that dies at every start: one alert, whose text follows the
// latest failure; it goes by itself once a start succeeds.
TEST(AppDelegate, OneCouldNotStartAlertAtATime) {
  ShellRig rig;
  rig.backend->startResults = {message, "second", "third"};
  rig.delegate->applicationDidFinishLaunching();
  rig.die(3); // it died while start() waited for it
  rig.drain();
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  rig.main->advance(0.5); // the restart fails again
  rig.drain();
  EXPECT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_EQ(rig.ui->last().alert.informative, "second");

  // Try Again is the one fresh attempt: the restart waiting meanwhile does not follow.
  rig.die(3);
  rig.ui->answerLast(0);
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 3);
  rig.main->advance(8);
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 3);

  rig.die(3); // and this time the restart comes up: the alert goes
  rig.main->advance(2);
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 4);
  EXPECT_FALSE(rig.ui->alertUp);
  EXPECT_EQ(rig.ui->shown.size(), 2U);
}

TEST(AppDelegate, APageThatNeverComesIsSaidAndTryAgainRestartsTheService) {
  ShellRig rig;
  rig.delegate->applicationDidFinishLaunching();
  rig.drain(); // the backend answers; its page never commits
  rig.main->advance(AppDelegate::pageDeadlineSeconds - 0.1);
  EXPECT_TRUE(rig.ui->shown.empty());
  rig.main->advance(0.1);
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_EQ(rig.ui->last().alert.informative,
            pageDidNotLoadMessage(AppDelegate::pageDeadlineSeconds, rig.backend->log));
  rig.delegate->didCommitNavigation(); // it came after all
  EXPECT_FALSE(rig.ui->alertUp);

  Up up; // a page that commits in time is never said late
  up.main->advance(60);
  EXPECT_TRUE(up.ui->shown.empty());
  up.delegate->fail("late", AppDelegate::Retry::restartService);
  up.ui->answerLast(0);
  EXPECT_EQ(up.backend->restarts, 1);
}

TEST(AppDelegate, ACrashedPageIsLoadedAnew) {
  Up rig;
  rig.delegate->webProcessTerminated(platform::WebProcessEnd::crashed);
  EXPECT_EQ(rig.ui->loads.size(), 2U);
  EXPECT_EQ(rig.ui->status(), pageReloadingLine());
  rig.delegate->didCommitNavigation();
  EXPECT_EQ(rig.ui->status(), "");
}

TEST(AppDelegate, JobsDoNothingOnceTheDelegateIsGone) {
  ShellRig rig;
  rig.delegate->bringUp();
  rig.delegate.reset();
  rig.drain();
  EXPECT_EQ(rig.backend->starts, 0);
}

// The quit confirmation's rules are its own; here, the delegate forwards to
// it, and its busy query runs on a queue of its own.
TEST(AppDelegate, TheDelegateForwardsToTheQuitConfirmation) {
  ShellRig rig;
  rig.backend->busyAnswer = protocol::Busy{0, 0, 0, {}};
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::later);
  EXPECT_TRUE(rig.delegate->askingToQuit());
  rig.drain();
  EXPECT_EQ(rig.ui->replies, std::vector<bool>{true});
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::later);
  rig.delegate->answerQuit(std::nullopt);
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_TRUE(rig.ui->last().sheet);
}

// Starts and pings may hold every background worker for tens of seconds;
// the busy query has a queue of its own, so the quit is answered all the same.
TEST(AppDelegate, DeathDuringTheQuitDecisionIsHandledAsAnyOther) {
  ShellRig rig;
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::later);
  rig.die(1);
  EXPECT_TRUE(rig.delegate->restarting());
  EXPECT_TRUE(rig.delegate->askingToQuit());
}

TEST(AppDelegate, TheBusyQueryNeverWaitsBehindAStart) {
  ShellRig rig;
  rig.delegate->bringUp(); // a start, blocked for as long as the test likes
  rig.delegate->didFailProvisionalNavigation(platform::LoadFailure::failed);
  ASSERT_EQ(rig.background->size(), 2U);
  rig.backend->busyAnswer = protocol::Busy{0, 0, 0, {}};

  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::later);
  EXPECT_EQ(rig.background->size(), 2U) << "nothing queued behind the start";
  EXPECT_EQ(rig.quit->runAll(), 1U);
  rig.main->runReady();
  EXPECT_EQ(rig.ui->replies, std::vector<bool>{true});
  EXPECT_EQ(rig.backend->starts, 0) << "the start is still blocked";
}

// The status line follows the lifecycle the delegate moves, and gives way
// to each alert.
TEST(AppDelegate, EveryAlertOfTheApplicationHidesTheStatusLine) {
  ShellRig rig;
  rig.backend->startResults = {message};
  rig.delegate->applicationDidFinishLaunching();
  rig.main->advance(1);
  ASSERT_EQ(rig.ui->status(), startingLine());

  // An alert of the page.
  rig.delegate->runJavaScriptAlertPanel("hello", [] {});
  EXPECT_EQ(rig.ui->status(), "");
  ASSERT_EQ(rig.ui->pageDialogs.size(), 1U);
  rig.ui->pageDialogs.back().done(0, "");
  EXPECT_EQ(rig.ui->status(), startingLine());

  // The start fails: the could-not-start alert, then "Try Again".
  rig.drain();
  EXPECT_EQ(rig.ui->status(), "");
  rig.ui->answerLast(0);
  rig.main->advance(StatusLine::graceSeconds);
  EXPECT_EQ(rig.ui->status(), startingLine());
  rig.drain();
  rig.delegate->didCommitNavigation();

  // A quit asked while a restart waits, and the backend cannot say what runs.
  rig.die(1);
  rig.backend->busyAnswer.reset();
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::later);
  rig.drain();
  ASSERT_TRUE(rig.ui->last().sheet);
  EXPECT_EQ(rig.ui->status(), "");
  rig.ui->answerLast(1); // "Stay open"
  EXPECT_EQ(rig.ui->status(), restartingLine());
}

} // namespace
} // namespace tarvo::test
