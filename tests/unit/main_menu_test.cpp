#include "platform/Menu.h"
#include "shell/MainMenu.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tarvo::test {
namespace {

using platform::Action;

// Writes down which of its methods a menu action reached.
class RecordingDelegate final : public platform::Delegate {
public:
  std::vector<std::string> calls;

  void applicationDidFinishLaunching() override { calls.emplace_back("launched"); }
  bool applicationShouldTerminateAfterLastWindowClosed() override {
    calls.emplace_back("lastWindowClosed");
    return false;
  }
  bool applicationShouldHandleReopen(bool /*visible*/) override {
    calls.emplace_back("reopen");
    return true;
  }
  void applicationWillTerminate() override { calls.emplace_back("willTerminate"); }
  platform::TerminateReply applicationShouldTerminate() override {
    calls.emplace_back("shouldTerminate");
    return platform::TerminateReply::cancel;
  }
  void showWindow() override { calls.emplace_back("showWindow"); }
  void reload() override { calls.emplace_back("reload"); }
  void openLog() override { calls.emplace_back("openLog"); }
  void openHome() override { calls.emplace_back("openHome"); }
  void restartService() override { calls.emplace_back("restartService"); }
  platform::NavigationDecision decidePolicyForNavigation(const std::string& /*url*/) override {
    calls.emplace_back("navigation");
    return platform::NavigationDecision::cancel;
  }
  void didFailProvisionalNavigation(platform::LoadFailure /*why*/) override {
    calls.emplace_back("failed");
  }
  void didCommitNavigation() override { calls.emplace_back("committed"); }
  void webProcessTerminated(platform::WebProcessEnd /*why*/) override {
    calls.emplace_back("ended");
  }
  void didReceiveScriptMessage(const platform::ScriptMessage& /*message*/) override {
    calls.emplace_back("script");
  }
  void runJavaScriptAlertPanel(const std::string& /*message*/,
                               std::function<void()> /*completion*/) override {
    calls.emplace_back("alert");
  }
};

std::vector<platform::MenuItem> itemsOf(const platform::MenuBar& bar) {
  std::vector<platform::MenuItem> items;
  for (const auto& menu : bar) {
    for (const auto& item : menu.items) {
      if (!item.separator) {
        items.push_back(item);
      }
    }
  }
  return items;
}

TEST(MainMenu, EachDelegateActionReachesItsOwnMethodOnce) {
  // The items the delegate answers, and the method each must reach.
  const std::map<std::string, std::string> expected = {
      {"_Reload the Window", "reload"}, {"Restart the _Service", "restartService"},
      {"Open the _Log", "openLog"},     {"Open Studio's _Data Folder", "openHome"},
      {"_Tarvo Studio", "showWindow"},
  };
  std::map<std::string, std::string> reached;
  for (const auto& item : itemsOf(MainMenu::bar())) {
    SCOPED_TRACE(item.title);
    RecordingDelegate delegate;
    if (platform::deliverToDelegate(item.action, delegate)) {
      ASSERT_EQ(delegate.calls.size(), 1U);
      EXPECT_TRUE(reached.emplace(item.title, delegate.calls.front()).second);
    } else {
      // The platform's own: about, hide, quit, editing, the window.
      EXPECT_TRUE(delegate.calls.empty());
    }
  }
  EXPECT_EQ(reached, expected);
}

TEST(MainMenu, EveryActionIsOfferedExactlyOnce) {
  std::map<Action, int> offered;
  for (const auto& item : itemsOf(MainMenu::bar())) {
    ++offered[item.action];
  }
  for (int a = 0; a <= static_cast<int>(Action::showWindow); ++a) {
    EXPECT_EQ(offered[static_cast<Action>(a)], 1) << "action " << a;
  }
}

// Control (with Shift for one item) is the modifier of every key, so a key
// may serve two items only when one of them adds Shift.
TEST(MainMenu, NoTwoItemsShareAKey) {
  std::map<std::pair<std::string, bool>, std::string> owners;
  int withKey = 0;
  for (const auto& item : itemsOf(MainMenu::bar())) {
    if (item.key.empty()) {
      EXPECT_FALSE(item.shift) << item.title;
      continue;
    }
    ++withKey;
    ASSERT_EQ(item.key.size(), 1U) << item.title;
    const auto c = static_cast<unsigned char>(item.key[0]);
    EXPECT_TRUE(std::islower(c) != 0 || std::isdigit(c) != 0) << item.title;
    const auto [at, fresh] = owners.emplace(std::pair{item.key, item.shift}, item.title);
    EXPECT_TRUE(fresh) << item.title << " takes the key of " << at->second;
  }
  EXPECT_GT(withKey, 0);
}

TEST(MainMenu, MenusAreTitledAndSeparatorsOnlySeparate) {
  const auto bar = MainMenu::bar();
  ASSERT_FALSE(bar.empty());
  std::set<std::string> titles;
  for (std::size_t m = 0; m < bar.size(); ++m) {
    const auto& menu = bar[m];
    // Only the application menu is left for the platform to name.
    EXPECT_EQ(menu.title.empty(), m == 0) << m;
    ASSERT_FALSE(menu.items.empty()) << menu.title;
    EXPECT_FALSE(menu.items.front().separator) << menu.title;
    EXPECT_FALSE(menu.items.back().separator) << menu.title;
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
      const auto& item = menu.items[i];
      if (item.separator) {
        EXPECT_FALSE(menu.items[i - 1].separator) << menu.title << " " << i;
        continue;
      }
      EXPECT_TRUE(titles.insert(item.title).second) << item.title << " twice";
    }
  }
}

} // namespace
} // namespace tarvo::test
