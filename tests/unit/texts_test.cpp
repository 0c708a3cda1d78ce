// Every text the shell shows, checked to the letter here and nowhere else.
#include "shell/Texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvo::test {
namespace {

using Buttons = std::vector<std::string>;

const std::string logPath = "/home/ada/.local/state/Tarvo Studio.log";

const std::string paragraph =
    "Quitting does not stop a pipeline — Tarvo keeps running it — but Studio stops following it, "
    "so its result is never fetched, never verified and never written to the record. A call "
    "waiting for your approval is lost with the window.";

protocol::Busy busy(std::int64_t running, std::int64_t pending, std::int64_t chats,
                    std::vector<std::string> names = {}) {
  return {running, pending, chats, std::move(names)};
}

TEST(Texts, CouldNotStart) {
  const auto alert = couldNotStartAlert("broken");
  EXPECT_EQ(alert.message, "Tarvo Studio could not start");
  EXPECT_EQ(alert.informative, "broken");
  EXPECT_EQ(alert.buttons, (Buttons{"Try Again", "Open the Log", "Quit"}));
  EXPECT_EQ(alert.defaultButton, 0);
  EXPECT_EQ(giveUpMessage(6, -9, logPath),
            "Tarvo Studio's service stopped 6 times (last exit -9). See " + logPath +
                ". Nothing was sent to Tarvo.");
  EXPECT_EQ(pageDidNotLoadMessage(30, logPath),
            "Tarvo Studio's service answers, but its page did not load within 30 seconds. See " +
                logPath + ".");
}

TEST(Texts, ThePage) {
  const auto stopped = pageStoppedAlert();
  EXPECT_EQ(stopped.message, "Tarvo Studio's page keeps stopping");
  EXPECT_EQ(stopped.informative,
            "Its page stopped again and again within a minute, so it is no longer reloaded by "
            "itself. Reload it to try once more, or quit Tarvo Studio.");
  EXPECT_EQ(stopped.buttons, (Buttons{"Reload", "Quit"}));
  EXPECT_EQ(stopped.defaultButton, 0);
  const auto alert = pageAlert("Saved “draft” — 3 files");
  EXPECT_EQ(alert.message, "Tarvo Studio");
  EXPECT_EQ(alert.informative, "Saved “draft” — 3 files");
  EXPECT_EQ(alert.buttons, Buttons{"OK"});
}

TEST(Texts, StatusLines) {
  EXPECT_EQ(startingLine(), "Starting Tarvo Studio…");
  EXPECT_EQ(restartingLine(), "Restarting the service…");
  EXPECT_EQ(restartingInLine(1), "Restarting the service in 1 second…");
  EXPECT_EQ(restartingInLine(8), "Restarting the service in 8 seconds…");
  EXPECT_EQ(pageReloadingLine(), "The page stopped; reloading it…");
}

TEST(Texts, QuitInFlight) {
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

TEST(Texts, QuitNoAnswer) {
  const auto alert = noAnswerAlert();
  EXPECT_EQ(alert.message, "Tarvo Studio cannot tell what is running");
  EXPECT_EQ(alert.informative,
            "Its own service did not answer, so whether a pipeline is in flight is unknown — not "
            "“nothing”. Quitting now would stop Studio following anything that is: Tarvo would "
            "keep running it, and the result would never be fetched or recorded.");
  EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Quit anyway", "Stay open"}));
  EXPECT_EQ(alert.defaultButton, 0);
}

} // namespace
} // namespace tarvo::test
