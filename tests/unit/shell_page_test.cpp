#include "support/ShellRig.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarvo::test {
namespace {

constexpr const char* page = "http://127.0.0.1:7810/#t=abc123";

platform::DownloadRequest download(std::uint64_t id, const std::string& url, bool click = true) {
  return {id, url, page, click};
}

bool logged(const ShellRig& rig, const std::string& part) {
  for (const auto& line : rig.log->notes()) {
    if (line.find(part) != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(ShellPage, ADownloadNeverTakesANameThatIsThere) {
  ShellRig rig;
  rig.folder->files = {{"report.csv", "mine"}, {"report (1).csv", "mine too"}};
  ASSERT_TRUE(rig.delegate->decideDownload(download(1, "http://127.0.0.1:7810/export")));
  const auto temporary = rig.delegate->downloadDestination(1, "report.csv");
  ASSERT_EQ(temporary, "<tmp 1>");
  rig.folder->files[temporary] = "served";
  rig.ui->active = false;
  rig.delegate->downloadFinished(1);
  EXPECT_EQ(rig.folder->files.at("report.csv"), "mine");
  EXPECT_EQ(rig.folder->files.at("report (1).csv"), "mine too");
  EXPECT_EQ(rig.folder->files.at("report (2).csv"), "served");
  EXPECT_EQ(rig.folder->files.count(temporary), 0U);
  const std::string said = "Saved \u201creport (2).csv\u201d in Downloads.";
  ASSERT_EQ(rig.ui->notices.size(), 1U);
  EXPECT_EQ(rig.ui->notices[0].text, said);
  EXPECT_EQ(rig.ui->notices[0].button, "Open the Folder");
  rig.ui->notices[0].action();
  EXPECT_EQ(rig.ui->opened, std::vector<std::string>{"file:///home/ada/Downloads"});
  EXPECT_EQ(rig.ui->notified, std::vector<std::string>{said}); // the window was not active
  rig.main->advance(Downloads::noticeSeconds);
  EXPECT_EQ(rig.ui->notices.back().text, "");
}

TEST(ShellPage, FailedRefusedAndAbandonedDownloadsLeaveNothing) {
  ShellRig rig;
  EXPECT_FALSE(rig.delegate->decideDownload(download(1, "https://example.com/x.zip")));
  EXPECT_TRUE(logged(rig, "not from the backend's own page: https://example.com/x.zip"));
  EXPECT_EQ(rig.delegate->downloadDestination(1, "x.zip"), "");

  ASSERT_TRUE(rig.delegate->decideDownload(download(2, "http://127.0.0.1:7810/big.zip")));
  ASSERT_FALSE(rig.delegate->downloadDestination(2, "big.zip").empty());
  rig.delegate->downloadFailed(2, "Connection terminated");
  rig.delegate->downloadFinished(2); // the engine says both
  EXPECT_TRUE(rig.folder->files.empty());
  EXPECT_EQ(rig.ui->notices.back().text,
            "Could not save \u201cbig.zip\u201d: Connection terminated.");
  EXPECT_TRUE(rig.ui->notices.back().button.empty());

  rig.folder->createError = "No space left on device";
  ASSERT_TRUE(rig.delegate->decideDownload(download(3, "http://127.0.0.1:7810/a")));
  EXPECT_EQ(rig.delegate->downloadDestination(3, "a.txt"), "");
  EXPECT_EQ(rig.ui->notices.back().text,
            "Could not save \u201ca.txt\u201d: No space left on device.");

  rig.folder->createError.clear();
  ASSERT_TRUE(rig.delegate->decideDownload(download(4, "http://127.0.0.1:7810/b")));
  ASSERT_FALSE(rig.delegate->downloadDestination(4, "b.txt").empty());
  rig.delegate->applicationWillTerminate();
  EXPECT_EQ(rig.ui->downloadCancels, 1);
  EXPECT_TRUE(rig.folder->files.empty());
  rig.delegate->downloadFinished(4); // too late: nothing is moved
  EXPECT_TRUE(rig.folder->files.empty());
}

TEST(ShellPage, DownloadsNoClickStartedAreLimited) {
  ShellRig rig;
  for (std::uint64_t id = 1; id <= 4; ++id) {
    EXPECT_EQ(rig.delegate->decideDownload(download(id, "data:text/plain,x", false)), id <= 3);
  }
  EXPECT_TRUE(logged(rig, "more than 3 within a minute without a click"));
  EXPECT_TRUE(rig.delegate->decideDownload(download(5, "data:text/plain,x", true)));
  rig.main->advance(60);
  EXPECT_TRUE(rig.delegate->decideDownload(download(6, "data:text/plain,x", false)));
}

TEST(ShellPage, LeftoversAreClearedAtLaunchAndDeveloperToolsAskedFor) {
  ShellRig plain;
  plain.folder->leftovers = 2;
  plain.delegate->applicationDidFinishLaunching();
  EXPECT_TRUE(logged(plain, "removed 2 unfinished download(s)"));
  EXPECT_EQ(plain.ui->developerTools, 0);
  plain.delegate->didReceiveConsoleMessage({"log", "abc123", ""});
  EXPECT_FALSE(logged(plain, "page console"));

  ShellRig developer(true);
  developer.delegate->applicationDidFinishLaunching();
  EXPECT_EQ(developer.ui->developerTools, 1);
  developer.delegate->didReceiveConsoleMessage({"log", "at " + std::string(page), ""});
  EXPECT_TRUE(logged(developer, "page console log: at http://127.0.0.1:7810/#t=[token]"));
  EXPECT_EQ(developer.delegate->notificationOrigins(),
            std::vector<std::string>{"http://127.0.0.1:7810"});
}

TEST(ShellPage, ConfirmAndPromptAskAndAnswer) {
  ShellRig rig;
  std::optional<bool> confirmed;
  rig.delegate->runJavaScriptConfirmPanel("Deploy?", [&](bool yes) { confirmed = yes; });
  ASSERT_EQ(rig.ui->pageDialogs.size(), 1U);
  const auto& dialog = rig.ui->pageDialogs[0].dialog;
  EXPECT_EQ(dialog.title, "Tarvo Studio");
  EXPECT_EQ(dialog.message, "Deploy?");
  EXPECT_EQ(dialog.buttons, (std::vector<std::string>{"Cancel", "OK"}));
  EXPECT_EQ(dialog.defaultButton, 1);
  EXPECT_FALSE(dialog.text);
  rig.ui->pageDialogs[0].done(1, "");
  EXPECT_EQ(confirmed, true);
  rig.delegate->runJavaScriptConfirmPanel("Again?", [&](bool yes) { confirmed = yes; });
  rig.ui->pageDialogs[1].done(-1, ""); // Escape
  EXPECT_EQ(confirmed, false);

  std::optional<std::optional<std::string>> typed;
  rig.delegate->runJavaScriptTextInputPanel("Name?", "ada", [&](auto text) { typed = text; });
  EXPECT_EQ(rig.ui->pageDialogs[2].dialog.text, "ada");
  rig.ui->pageDialogs[2].done(1, "grace");
  EXPECT_EQ(typed, std::optional<std::string>("grace"));
  rig.delegate->runJavaScriptTextInputPanel("Name?", "ada", [&](auto text) { typed = text; });
  rig.ui->pageDialogs[3].done(0, "grace"); // Cancel
  ASSERT_TRUE(typed);
  EXPECT_FALSE(*typed);
}

TEST(ShellPage, DialogsStillOpenWhenThePageGoesAreCancelled) {
  ShellRig rig;
  int answered = 0;
  const auto ask = [&] {
    rig.delegate->runJavaScriptConfirmPanel("?", [&](bool yes) { answered += yes ? 100 : 1; });
    rig.delegate->runJavaScriptTextInputPanel("?", "x",
                                              [&](auto text) { answered += text ? 100 : 1; });
  };
  ask();
  rig.delegate->reload(); // Ctrl+R, a restart's load, a failed load's retry
  EXPECT_EQ(answered, 2);
  EXPECT_EQ(rig.ui->pageDialogsClosed, 1);
  rig.ui->pageDialogs[0].done(1, "late"); // the closing's own answer changes nothing
  EXPECT_EQ(answered, 2);
  bool alerted = false;
  rig.delegate->runJavaScriptAlertPanel("hi", [&] { alerted = true; });
  EXPECT_EQ(rig.ui->pageDialogs.back().dialog.buttons, std::vector<std::string>{"OK"});
  ask();
  rig.delegate->restartService();
  ask();
  rig.delegate->didCommitNavigation();
  ask();
  rig.delegate->applicationWillTerminate();
  EXPECT_TRUE(alerted);
  EXPECT_EQ(answered, 8);
  EXPECT_EQ(rig.ui->pageDialogsClosed, 4);
}

} // namespace
} // namespace tarvo::test
