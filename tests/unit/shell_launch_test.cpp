#include "support/ShellRig.h"

#include <gtest/gtest.h>

#include <set>

namespace tarvo::test {
namespace {

using platform::Action;
using platform::Target;

TEST(ShellLaunch, BuildsMenusWindowAndViewThenBringsTheBackendUp) {
  ShellRig rig;
  rig.delegate->applicationDidFinishLaunching();
  EXPECT_EQ(rig.ui->calls, (std::vector<std::string>{"installMenuBar", "createWindow",
                                                     "createWebView", "presentWindow"}));
  EXPECT_EQ(rig.backend->onExitSet, 1);
  EXPECT_EQ(rig.background->size(), 1U); // the start, off the main thread
  EXPECT_EQ(rig.backend->starts, 0);

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

TEST(ShellLaunch, WillTerminateStopsTheBackend) {
  ShellRig rig;
  rig.delegate->applicationWillTerminate();
  EXPECT_EQ(rig.backend->stops, 1);
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

struct Row {
  std::size_t menu;
  std::size_t index;
  const char* title;
  Action action;
  const char* key;
  bool shift;
  Target target;
};

TEST(ShellLaunch, MenuBarIsTheFixedTable) {
  const auto bar = AppDelegate::menuBar();
  ASSERT_EQ(bar.size(), 4U);
  EXPECT_EQ(bar[0].title, "");
  EXPECT_EQ(bar[1].title, "Edit");
  EXPECT_EQ(bar[2].title, "Studio");
  EXPECT_EQ(bar[3].title, "Window");
  EXPECT_EQ(bar[0].items.size(), 5U);
  EXPECT_EQ(bar[1].items.size(), 4U);
  EXPECT_EQ(bar[2].items.size(), 5U);
  EXPECT_EQ(bar[3].items.size(), 5U);
  for (std::size_t i = 0; i < bar.size(); ++i) {
    EXPECT_EQ(bar[i].windowsMenu, i == 3) << bar[i].title;
  }

  const Target responder = Target::firstResponder;
  const Target delegate = Target::delegate;
  const Row rows[] = {
      {0, 0, "About Tarvo Studio", Action::about, "", false, responder},
      {0, 2, "Hide Tarvo Studio", Action::hide, "h", false, responder},
      {0, 4, "Quit Tarvo Studio", Action::quit, "q", false, responder},
      {1, 0, "Cut", Action::cut, "x", false, responder},
      {1, 3, "Select All", Action::selectAll, "a", false, responder},
      {2, 0, "Reload the Window", Action::reload, "r", false, delegate},
      {2, 1, "Restart the Service", Action::restartService, "r", true, delegate},
      {2, 3, "Open the Log", Action::openLog, "l", false, delegate},
      {2, 4, "Open Studio's Data Folder", Action::openHome, "", false, delegate},
      {3, 0, "Minimize", Action::minimize, "m", false, responder},
      {3, 1, "Zoom", Action::zoom, "", false, responder},
      {3, 2, "Close", Action::close, "w", false, responder},
      {3, 4, "Tarvo Studio", Action::showWindow, "0", false, delegate},
  };
  for (const auto& row : rows) {
    const auto& item = bar[row.menu].items[row.index];
    SCOPED_TRACE(row.title);
    EXPECT_FALSE(item.separator);
    EXPECT_EQ(item.title, row.title);
    EXPECT_EQ(item.action, row.action);
    EXPECT_EQ(item.key, row.key);
    EXPECT_EQ(item.shift, row.shift);
    EXPECT_EQ(item.target, row.target);
  }
  const std::set<std::pair<std::size_t, std::size_t>> separators = {{0, 1}, {0, 3}, {2, 2}, {3, 3}};
  int shifted = 0;
  for (std::size_t m = 0; m < bar.size(); ++m) {
    for (std::size_t i = 0; i < bar[m].items.size(); ++i) {
      EXPECT_EQ(bar[m].items[i].separator, separators.count({m, i}) == 1) << m << "/" << i;
      shifted += bar[m].items[i].shift ? 1 : 0;
    }
  }
  EXPECT_EQ(shifted, 1);
}

} // namespace
} // namespace tarvo::test
