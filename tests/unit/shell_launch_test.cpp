#include "shell/MainMenu.h"
#include "support/ShellRig.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

TEST(ShellLaunch, BuildsMenusWindowAndViewThenBringsTheBackendUp) {
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

TEST(ShellLaunch, WindowStaysAndComesBack) {
  ShellRig rig;
  EXPECT_FALSE(rig.delegate->applicationShouldTerminateAfterLastWindowClosed());
  EXPECT_TRUE(rig.delegate->applicationShouldHandleReopen(true));
  EXPECT_TRUE(rig.delegate->applicationShouldHandleReopen(false));
  rig.delegate->showWindow();
  EXPECT_EQ(rig.ui->presented, 3);
}

// Closing, not just stopping: a start still in flight must launch nothing.
TEST(ShellLaunch, WillTerminateClosesTheBackend) {
  ShellRig rig;
  // The window is off the screen before the wait for the backend begins.
  int hiddenWhenClosed = -1;
  rig.backend->whenClosed = [&] { hiddenWhenClosed = rig.ui->hidden; };
  rig.delegate->applicationWillTerminate();
  EXPECT_EQ(hiddenWhenClosed, 1);
  EXPECT_EQ(rig.backend->closes, 1);
  EXPECT_EQ(rig.backend->restarts, 0);
}

TEST(ShellLaunch, OpensLogAndDataFolderAsFileAddresses) {
  ShellRig rig;
  rig.backend->home = "/home/zoë/.local/share/Tarvo Studio#1";
  rig.delegate->openLog();
  rig.delegate->openHome();
  EXPECT_EQ(rig.ui->opened,
            (std::vector<std::string>{"file:///home/ada/.local/state/Tarvo%20Studio.log",
                                      "file:///home/zo%C3%AB/.local/share/Tarvo%20Studio%231"}));
}

} // namespace
} // namespace tarvo::test
