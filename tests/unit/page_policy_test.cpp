#include "shell/ContextMenuPolicy.h"
#include "shell/DeveloperMode.h"
#include "shell/NavigationPolicy.h"
#include "support/FakeLog.h"
#include "support/FakeQueues.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvo {
namespace {

using platform::NavigationDecision;
using platform::ResponseDecision;

constexpr const char* page = "http://127.0.0.1:7810/runs#t=abc123";

platform::NavigationAction action(const std::string& url, const std::string& from, bool gesture) {
  return {url, from, gesture, false};
}

TEST(PagePolicy, BlobAndDataPassOnlyFromTheBackendsPage) {
  using D = NavigationPolicy::Decision;
  const auto decide = [](const char* url, const char* from) {
    return NavigationPolicy::decide(action(url, from, true));
  };
  EXPECT_EQ(decide("blob:http://127.0.0.1:7810/5e1f", page), D::allow);
  EXPECT_EQ(decide("data:text/csv,a,b", page), D::allow);
  EXPECT_EQ(decide("blob:http://127.0.0.1:7811/5e1f", page), D::cancel); // another origin's blob
  EXPECT_EQ(decide("blob:http://127.0.0.1:7810/5e1f", "about:blank"), D::cancel);
  EXPECT_EQ(decide("data:text/csv,a,b", "http://localhost:7810/"), D::cancel);
  EXPECT_TRUE(NavigationPolicy::mayDownload("http://127.0.0.1:7810/export.zip", ""));
  EXPECT_FALSE(NavigationPolicy::mayDownload("https://example.com/x.zip", page));
  EXPECT_FALSE(NavigationPolicy::mayDownload("file:///etc/passwd", page));
}

TEST(PagePolicy, AnswersThatAreNotAPageAreSavedOrFailed) {
  const auto decide = [](const char* url, const char* type, int status, bool mainFrame = true) {
    return NavigationPolicy::decideResponse({url, type, status, mainFrame});
  };
  const char* csv = "http://127.0.0.1:7810/report.csv";
  EXPECT_EQ(decide(csv, "text/csv", 200), ResponseDecision::download);
  EXPECT_EQ(decide(csv, "application/zip", 206), ResponseDecision::download);
  EXPECT_EQ(decide(csv, "application/json", 500), ResponseDecision::failLoad);
  EXPECT_EQ(decide(csv, "text/plain", 404), ResponseDecision::failLoad);
  EXPECT_EQ(decide(csv, "text/html", 200), ResponseDecision::asTheEngineChooses);
  EXPECT_EQ(decide(csv, "application/xhtml+xml", 404), ResponseDecision::asTheEngineChooses);
  EXPECT_EQ(decide(csv, "text/plain", 204), ResponseDecision::asTheEngineChooses);
  EXPECT_EQ(decide(csv, "text/csv", 200, false), ResponseDecision::asTheEngineChooses); // a frame
  EXPECT_EQ(decide("blob:http://127.0.0.1:7810/1", "text/html", 200), ResponseDecision::refuse);
  EXPECT_EQ(decide("data:text/html,x", "text/html", 200, false), ResponseDecision::refuse);
}

TEST(PagePolicy, TheBrowserOpensForEveryClickButRarelyUnasked) {
  auto ui = std::make_shared<test::FakeUi>();
  auto main = std::make_shared<test::FakeMainQueue>();
  auto log = std::make_shared<test::FakeLog>();
  NavigationPolicy policy(ui, main, log);
  for (const char* url : {"https://a.example/1", "https://a.example/2", "https://a.example/3"}) {
    EXPECT_EQ(policy.decidePolicyForNavigation(action(url, page, false)),
              NavigationDecision::cancel);
    EXPECT_EQ(policy.decidePolicyForNavigation(action(std::string(url) + "c", page, true)),
              NavigationDecision::cancel);
  }
  main->advance(NavigationPolicy::browserPauseSeconds);
  EXPECT_EQ(policy.decidePolicyForNavigation(action("https://a.example/4", page, false)),
            NavigationDecision::cancel);
  EXPECT_EQ(ui->opened, (std::vector<std::string>{"https://a.example/1", "https://a.example/1c",
                                                  "https://a.example/2c", "https://a.example/3c",
                                                  "https://a.example/4"}));
  ASSERT_EQ(log->notes().size(), 2U);
  EXPECT_NE(log->notes()[0].find("https://a.example/2"), std::string::npos);
  // A new window of the backend loads in the one view, as a link does.
  EXPECT_EQ(policy.decidePolicyForNavigation({"http://127.0.0.1:7810/x", page, false, true}),
            NavigationDecision::allow);
}

TEST(PagePolicy, ContextMenuKeepsEditingAndOffersTheBrowserForOtherLinks) {
  using C = platform::PageCommand;
  const std::vector<C> items = {C::other,     C::other,          C::separator, C::copy,
                                C::separator, C::separator,      C::other,     C::copyLinkLocation,
                                C::separator, C::inspectElement, C::separator};
  const auto plan = contextMenuPlan({items, "https://example.com/doc", page}, false);
  EXPECT_EQ(plan.kept, (std::vector<std::size_t>{3, 5, 7}));
  EXPECT_EQ(plan.browserLink, "https://example.com/doc");
  EXPECT_EQ(plan.browserTitle, "Open Link in Browser");
  const auto developer = contextMenuPlan({items, "/runs", page}, true);
  EXPECT_EQ(developer.kept, (std::vector<std::size_t>{3, 5, 7, 8, 9}));
  EXPECT_TRUE(developer.browserLink.empty());
  EXPECT_TRUE(contextMenuPlan({{C::other, C::separator}, "", page}, false).kept.empty());
  EXPECT_TRUE(contextMenuPlan({{}, "http://127.0.0.1:7810/a", page}, false).browserLink.empty());
}

TEST(PagePolicy, DeveloperModeAndItsConsoleLines) {
  EXPECT_TRUE(developerModeFrom("1"));
  EXPECT_FALSE(developerModeFrom(nullptr));
  EXPECT_FALSE(developerModeFrom("yes"));
  EXPECT_EQ(tokenOf("http://127.0.0.1:7810/#t=abc123"), "abc123");
  EXPECT_EQ(tokenOf("http://127.0.0.1:7810/"), "");
  EXPECT_EQ(consoleLogLine({"warn", "token abc123 at /#t=abc123", "app.js:4"}, "abc123"),
            "page console warn: token [token] at /#t=[token] (app.js:4)");
  EXPECT_EQ(consoleLogLine({"log", "hello", ""}, ""), "page console log: hello");
}

} // namespace
} // namespace tarvo
