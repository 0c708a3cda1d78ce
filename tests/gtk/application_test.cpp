// The one road to the end: every request to quit asks the delegate, and the
// application ends only on its answer, with applicationWillTerminate once.
#include "gtk/Application.h"

#include <gtest/gtest.h>

#include <csignal>

#include <memory>
#include <vector>

namespace tarvo::gtk {
namespace {

class RecordingDelegate : public platform::Delegate {
public:
  std::vector<platform::TerminateReply> replies; // answered in turn; cancel once spent
  int asked = 0;
  int willTerminate = 0;
  int lastWindowClosedAsked = 0;

  void applicationDidFinishLaunching() override {}
  bool applicationShouldTerminateAfterLastWindowClosed() override {
    ++lastWindowClosedAsked;
    return false;
  }
  bool applicationShouldHandleReopen(bool /*visible*/) override { return true; }
  void applicationWillTerminate() override { ++willTerminate; }
  platform::TerminateReply applicationShouldTerminate() override {
    const auto index = static_cast<std::size_t>(asked++);
    return index < replies.size() ? replies[index] : platform::TerminateReply::cancel;
  }
  void showWindow() override {}
  void reload() override {}
  void openLog() override {}
  void openHome() override {}
  void restartService() override {}
  platform::NavigationDecision decidePolicyForNavigation(const std::string& /*url*/) override {
    return platform::NavigationDecision::cancel;
  }
  void didFailProvisionalNavigation(platform::LoadFailure /*why*/) override {}
  void didCommitNavigation() override {}
  void webProcessTerminated(platform::WebProcessEnd /*why*/) override {}
  void didReceiveScriptMessage(const platform::ScriptMessage& /*message*/) override {}
  void runJavaScriptAlertPanel(const std::string& /*message*/,
                               std::function<void()> completion) override {
    completion();
  }
};

struct Rig {
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  Application shell{"studio.tarvo.TarvoStudioTest"};
  Rig() { shell.setDelegate(delegate); }
};

TEST(ApplicationQuit, NowEndsAtOnceAndOnlyOnce) {
  Rig rig;
  rig.delegate->replies = {platform::TerminateReply::now, platform::TerminateReply::now};
  rig.shell.requestQuit();
  EXPECT_TRUE(rig.shell.quitting());
  EXPECT_EQ(rig.delegate->willTerminate, 1);
  // The end is under way: later requests are not even asked.
  rig.shell.requestQuit();
  rig.shell.replyToTerminate(true);
  EXPECT_EQ(rig.delegate->asked, 1);
  EXPECT_EQ(rig.delegate->willTerminate, 1);
}

TEST(ApplicationQuit, CancelLeavesTheApplicationRunning) {
  Rig rig;
  rig.delegate->replies = {platform::TerminateReply::cancel};
  rig.shell.requestQuit();
  EXPECT_FALSE(rig.shell.quitting());
  EXPECT_EQ(rig.delegate->willTerminate, 0);
  // No decision is open, so a stray reply changes nothing.
  rig.shell.replyToTerminate(true);
  EXPECT_FALSE(rig.shell.quitting());
  EXPECT_EQ(rig.delegate->willTerminate, 0);
}

TEST(ApplicationQuit, LaterWaitsForTheReply) {
  Rig rig;
  rig.delegate->replies = {platform::TerminateReply::later, platform::TerminateReply::later};
  rig.shell.requestQuit();
  EXPECT_FALSE(rig.shell.quitting());
  EXPECT_EQ(rig.delegate->willTerminate, 0);

  rig.shell.replyToTerminate(false); // stay
  EXPECT_FALSE(rig.shell.quitting());
  EXPECT_EQ(rig.delegate->willTerminate, 0);
  rig.shell.replyToTerminate(true); // the decision was already answered
  EXPECT_FALSE(rig.shell.quitting());

  rig.shell.requestQuit(); // asked afresh
  EXPECT_EQ(rig.delegate->asked, 2);
  rig.shell.replyToTerminate(true);
  EXPECT_TRUE(rig.shell.quitting());
  EXPECT_EQ(rig.delegate->willTerminate, 1);
}

TEST(ApplicationQuit, RequestsDuringAnOpenDecisionStillAskTheDelegate) {
  // The delegate refuses them (its decision is open); the shell does not
  // second-guess it.
  Rig rig;
  rig.delegate->replies = {platform::TerminateReply::later, platform::TerminateReply::cancel};
  rig.shell.requestQuit();
  rig.shell.requestQuit();
  EXPECT_EQ(rig.delegate->asked, 2);
  rig.shell.replyToTerminate(true);
  EXPECT_TRUE(rig.shell.quitting());
  EXPECT_EQ(rig.delegate->willTerminate, 1);
}

// A closed terminal hangs up: that is a request to quit, decided by the
// delegate, not the end of the process. SIGTERM and SIGINT go the same way.
TEST(ApplicationQuit, TerminalSignalsAskTheDelegate) {
  Rig rig;
  rig.shell.watchQuitSignals();
  int expected = 0;
  for (const int number : {SIGHUP, SIGTERM, SIGINT}) {
    ++expected;
    ASSERT_EQ(::raise(number), 0);
    const gint64 deadline = g_get_monotonic_time() + gint64{10} * G_USEC_PER_SEC;
    while (rig.delegate->asked < expected && g_get_monotonic_time() < deadline) {
      g_main_context_iteration(nullptr, FALSE);
    }
    EXPECT_EQ(rig.delegate->asked, expected) << "signal " << number;
  }
  EXPECT_FALSE(rig.shell.quitting()) << "the delegate said no each time";
}

TEST(ApplicationQuit, WithoutADelegateTheApplicationEnds) {
  Application shell{"studio.tarvo.TarvoStudioTest"};
  shell.requestQuit();
  EXPECT_TRUE(shell.quitting());
}

} // namespace
} // namespace tarvo::gtk
