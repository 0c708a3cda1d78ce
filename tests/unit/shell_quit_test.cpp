#include "shell/Texts.h"
#include "support/ShellRig.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

using platform::TerminateReply;

const std::string paragraph =
    "Quitting does not stop a pipeline — Tarvo keeps running it — but Studio stops following it, "
    "so its result is never fetched, never verified and never written to the record. A call "
    "waiting for your approval is lost with the window.";

protocol::Busy busy(std::int64_t running, std::int64_t pending, std::int64_t chats,
                    std::vector<std::string> names = {}) {
  return {running, pending, chats, std::move(names)};
}

// A quit request with the own backend running, up to the moment the answer
// of the busy query has been handled on the main thread.
TerminateReply askToQuit(ShellRig& rig, std::optional<protocol::Busy> answer) {
  rig.backend->busyAnswer = std::move(answer);
  const auto reply = rig.delegate->applicationShouldTerminate();
  rig.drain();
  return reply;
}

TEST(QuitTexts, InFlightTexts) {
  {
    SCOPED_TRACE("only chats");
    const auto alert = inFlightAlert(busy(0, 0, 2));
    EXPECT_EQ(alert.message, "Something is still in flight");
    EXPECT_EQ(alert.informative, "2 question(s) still being answered.\n\n" + paragraph);
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Stay open", "Quit anyway"}));
    EXPECT_EQ(alert.defaultButton, 0);
  }
  {
    SCOPED_TRACE("runs, calls and names");
    const auto alert = inFlightAlert(busy(1, 2, 0, {"b", "a", "b", "c", "d", "e"}));
    EXPECT_EQ(alert.message, "A pipeline is running");
    EXPECT_EQ(alert.informative, "1 run(s) Studio is following, 2 call(s) waiting for your "
                                 "approval (a, b, c, d).\n\n" +
                                     paragraph);
  }
  {
    SCOPED_TRACE("all three counts, names by code point");
    EXPECT_EQ(inFlightInformative(busy(3, 1, 12, {"zeta", "Émile", "Zed", "alpha", "Zed"})),
              "3 run(s) Studio is following, 1 call(s) waiting for your approval, 12 question(s) "
              "still being answered (Zed, alpha, zeta, Émile).\n\n" +
                  paragraph);
  }
  EXPECT_FALSE(hasWorkInFlight(busy(0, 0, 0, {"stale"})));
  EXPECT_FALSE(hasWorkInFlight(busy(-1, -4, 0)));
  EXPECT_TRUE(hasWorkInFlight(busy(0, 1, 0)));
}

TEST(QuitTexts, NoAnswerTexts) {
  const auto alert = noAnswerAlert();
  EXPECT_EQ(alert.message, "Tarvo Studio cannot tell what is running");
  EXPECT_EQ(alert.informative,
            "Its own service did not answer, so whether a pipeline is in flight is unknown — not "
            "“nothing”. Quitting now would stop Studio following anything that is: Tarvo would "
            "keep running it, and the result would never be fetched or recorded.");
  EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Quit anyway", "Stay open"}));
  EXPECT_EQ(alert.defaultButton, 0);
}

TEST(ShellQuit, TheDelegateForwardsToTheQuitConfirmation) {
  ShellRig rig;
  rig.backend->busyAnswer = busy(0, 0, 0);
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::later);
  EXPECT_TRUE(rig.delegate->askingToQuit());
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::cancel);
  rig.drain();
  EXPECT_EQ(rig.backend->busyQueries, 1);
  EXPECT_EQ(rig.ui->replies, std::vector<bool>{true});
  EXPECT_FALSE(rig.delegate->askingToQuit());

  // An answer of no reply asks the user on a sheet.
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::later);
  rig.delegate->answerQuit(std::nullopt);
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_EQ(rig.ui->last().alert.message, "Tarvo Studio cannot tell what is running");
}

// A child that has not answered its first ping cannot have taken work: a
// quit during bring-up asks nothing and ends at once.
TEST(ShellQuit, QuitsAtOnceWhileTheChildHasNotAnsweredYet) {
  ShellRig rig;
  rig.delegate->applicationDidFinishLaunching(); // the start is queued
  rig.backend->answered = false;
  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::now);
  EXPECT_FALSE(rig.delegate->askingToQuit());
  rig.delegate->applicationWillTerminate();
  rig.drain();
  EXPECT_EQ(rig.backend->busyQueries, 0);
  EXPECT_TRUE(rig.ui->shown.empty()) << "no sheet";
  EXPECT_EQ(rig.backend->closes, 1) << "the start in flight is called off, its child stopped";
}

// Starts and pings may hold every background worker for tens of seconds;
// the busy query has a queue of its own, so the quit is answered all the same.
TEST(ShellQuit, TheBusyQueryNeverWaitsBehindAStart) {
  ShellRig rig;
  rig.delegate->bringUp(); // a start, blocked for as long as the test likes
  rig.delegate->didFailProvisionalNavigation(platform::LoadFailure::failed);
  ASSERT_EQ(rig.background->size(), 2U);
  rig.backend->busyAnswer = busy(0, 0, 0);

  EXPECT_EQ(rig.delegate->applicationShouldTerminate(), TerminateReply::later);
  EXPECT_EQ(rig.background->size(), 2U) << "nothing queued behind the start";
  EXPECT_EQ(rig.quit->runAll(), 1U);
  rig.main->runReady();
  EXPECT_EQ(rig.backend->busyQueries, 1);
  EXPECT_EQ(rig.ui->replies, std::vector<bool>{true});
  EXPECT_EQ(rig.backend->starts, 0) << "the start is still blocked";
}

TEST(ShellQuit, DeathDuringTheDecisionIsHandledAsAnyOther) {
  ShellRig rig;
  EXPECT_EQ(askToQuit(rig, std::nullopt), TerminateReply::later);
  rig.die(1);
  EXPECT_EQ(rig.delegate->restarts(), 1);
  EXPECT_TRUE(rig.delegate->restarting());
  EXPECT_TRUE(rig.delegate->askingToQuit());
}

} // namespace
} // namespace tarvo::test
