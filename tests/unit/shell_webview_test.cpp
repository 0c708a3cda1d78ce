#include "support/ShellRig.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

using platform::LoadFailure;
using platform::NavigationDecision;
using platform::ScriptMessage;

TEST(ShellWebView, NavigationAnswersAndOpensOnlyWebAddressesElsewhere) {
  ShellRig rig;
  EXPECT_EQ(rig.delegate->decidePolicyForNavigation("http://127.0.0.1:7810/runs"),
            NavigationDecision::allow);
  EXPECT_TRUE(rig.ui->opened.empty());
  EXPECT_EQ(rig.delegate->decidePolicyForNavigation("https://example.com/a b"),
            NavigationDecision::cancel);
  EXPECT_EQ(rig.ui->opened, std::vector<std::string>{"https://example.com/a b"});
  EXPECT_EQ(rig.delegate->decidePolicyForNavigation("file:///etc/passwd"),
            NavigationDecision::cancel);
  EXPECT_EQ(rig.delegate->decidePolicyForNavigation(""), NavigationDecision::cancel);
  EXPECT_EQ(rig.ui->opened.size(), 1U);
}

TEST(ShellWebView, LoadsReplacedOrStoppedByPolicyAreNotFailures) {
  ShellRig rig;
  rig.delegate->didFailProvisionalNavigation(LoadFailure::replaced);
  rig.delegate->didFailProvisionalNavigation(LoadFailure::cancelledByPolicy);
  rig.drain();
  rig.main->advance(10);
  EXPECT_EQ(rig.backend->aliveChecks, 0);
  EXPECT_EQ(rig.backend->starts, 0);
  EXPECT_TRUE(rig.ui->loads.empty());
}

TEST(ShellWebView, FailedLoadWithTheBackendDownBringsItUp) {
  ShellRig rig;
  rig.backend->alive = false;
  rig.delegate->didFailProvisionalNavigation(LoadFailure::failed);
  EXPECT_EQ(rig.backend->aliveChecks, 0); // the ping is not made on the main thread
  rig.drain();
  EXPECT_EQ(rig.backend->aliveChecks, 1);
  EXPECT_EQ(rig.backend->starts, 1);
  EXPECT_EQ(rig.ui->loads.size(), 1U); // the successful start loads the page
  EXPECT_EQ(rig.delegate->restarts(), 0);
}

TEST(ShellWebView, FailedLoadWithTheBackendUpReloadsLaterOncePerFailure) {
  ShellRig rig;
  rig.delegate->didFailProvisionalNavigation(LoadFailure::failed);
  rig.drain();
  rig.main->advance(1);
  rig.delegate->didFailProvisionalNavigation(LoadFailure::failed);
  rig.drain();
  EXPECT_TRUE(rig.ui->loads.empty());
  rig.main->advance(0.5);
  EXPECT_EQ(rig.ui->loads.size(), 1U);
  rig.main->advance(1);
  ASSERT_EQ(rig.ui->loads.size(), 2U);
  EXPECT_EQ(rig.ui->loads[1].url, "http://127.0.0.1:7810/#t=abc123");
  EXPECT_EQ(rig.backend->starts, 0);
}

TEST(ShellWebView, ScriptMessagesFromTheBackendPageAreCarriedOut) {
  const ScriptMessage good{true, true, "http://127.0.0.1:7810/runs?x=1#t", R"({"type":"openLog"})"};
  {
    ShellRig rig;
    rig.delegate->didReceiveScriptMessage(good);
    EXPECT_EQ(rig.ui->opened,
              std::vector<std::string>{"file:///home/ada/.local/state/Tarvo%20Studio.log"});
  }
  {
    ShellRig rig;
    auto message = good;
    message.bodyJSON = R"({"type":"openHome","from":"button","n":[1,2]})"; // extra keys are fine
    rig.delegate->didReceiveScriptMessage(message);
    EXPECT_EQ(rig.ui->opened,
              std::vector<std::string>{"file:///home/ada/.local/share/Tarvo%20Studio"});
  }
  {
    ShellRig rig;
    auto message = good;
    message.bodyJSON = R"({"type":"restartService"})";
    rig.delegate->didReceiveScriptMessage(message);
    EXPECT_EQ(rig.backend->restarts, 1);
    EXPECT_EQ(rig.delegate->restarts(), 0); // counted when the exit is reported
  }
}

TEST(ShellWebView, OtherScriptMessagesAreDroppedSilently) {
  const ScriptMessage good{true, true, "http://127.0.0.1:7810/", R"({"type":"openLog"})"};
  auto with = [&](auto change) {
    auto message = good;
    change(message);
    return message;
  };
  const std::vector<std::pair<const char*, ScriptMessage>> cases = {
      {"another view", with([](ScriptMessage& m) { m.fromMainView = false; })},
      {"inner frame", with([](ScriptMessage& m) { m.mainFrame = false; })},
      {"other origin", with([](ScriptMessage& m) { m.frameURL = "http://evil.example/"; })},
      {"port 80", with([](ScriptMessage& m) { m.frameURL = "http://127.0.0.1/"; })},
      {"other port", with([](ScriptMessage& m) { m.frameURL = "http://127.0.0.1:7811/"; })},
      {"https", with([](ScriptMessage& m) { m.frameURL = "https://127.0.0.1:7810/"; })},
      {"localhost", with([](ScriptMessage& m) { m.frameURL = "http://localhost:7810/"; })},
      {"srcdoc", with([](ScriptMessage& m) { m.frameURL = "about:srcdoc"; })},
      {"no frame address", with([](ScriptMessage& m) { m.frameURL.clear(); })},
      {"bare text", with([](ScriptMessage& m) { m.bodyJSON = R"("openLog")"; })},
      {"numeric type", with([](ScriptMessage& m) { m.bodyJSON = R"({"type":1})"; })},
      {"capital letter", with([](ScriptMessage& m) { m.bodyJSON = R"({"type":"OpenLog"})"; })},
      {"unknown type", with([](ScriptMessage& m) { m.bodyJSON = R"({"type":"quit"})"; })},
      {"no type", with([](ScriptMessage& m) { m.bodyJSON = R"({"kind":"openLog"})"; })},
      {"array", with([](ScriptMessage& m) { m.bodyJSON = R"([{"type":"openLog"}])"; })},
      {"null", with([](ScriptMessage& m) { m.bodyJSON = "null"; })},
      {"not JSON", with([](ScriptMessage& m) { m.bodyJSON = "openLog"; })},
      {"truncated", with([](ScriptMessage& m) { m.bodyJSON = R"({"type":"openLog")"; })},
      {"empty body", with([](ScriptMessage& m) { m.bodyJSON.clear(); })},
  };
  for (const auto& [label, message] : cases) {
    ShellRig rig;
    rig.delegate->didReceiveScriptMessage(message);
    EXPECT_TRUE(rig.ui->calls.empty()) << label;
    EXPECT_EQ(rig.backend->restarts, 0) << label;
  }
}

TEST(ShellWebView, PageAlertIsASheetThatResumesThePageOnce) {
  for (const int response : {0, -1}) {
    ShellRig rig;
    int completions = 0;
    rig.delegate->runJavaScriptAlertPanel("Saved “draft” — 3 files", [&] { ++completions; });
    ASSERT_EQ(rig.ui->pageDialogs.size(), 1U);
    const auto& shown = rig.ui->pageDialogs[0];
    EXPECT_EQ(shown.dialog.title, "Tarvo Studio");
    EXPECT_EQ(shown.dialog.message, "Saved “draft” — 3 files");
    EXPECT_EQ(shown.dialog.buttons, std::vector<std::string>{"OK"});
    EXPECT_FALSE(shown.dialog.text);
    EXPECT_EQ(completions, 0);
    shown.done(response, "");
    EXPECT_EQ(completions, 1);
    shown.done(0, ""); // a second report of the end changes nothing
    EXPECT_EQ(completions, 1);
  }
}

} // namespace
} // namespace tarvo::test
