#include "shell/PageRecovery.h"
#include "shell/Texts.h"
#include "support/FakeLog.h"
#include "support/FakeQueues.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <memory>

namespace tarvo::test {
namespace {

using platform::WebProcessEnd;

struct RecoveryRig {
  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  std::shared_ptr<ServiceLifecycle> lifecycle = std::make_shared<ServiceLifecycle>(log);
  std::shared_ptr<ApplicationAlert> alert =
      ApplicationAlert::make(ui, StatusLine::make(main, ui, lifecycle));
  int reloads = 0;
  int quits = 0;
  std::shared_ptr<PageRecovery> recovery = PageRecovery::make(
      main, log, lifecycle, alert, [this] { ++reloads; }, [this] { ++quits; });
};

TEST(PageRecovery, ReloadsThreeTimesAMinuteThenAsks) {
  RecoveryRig rig;
  rig.recovery->webProcessEnded(WebProcessEnd::asked); // our own doing: nothing
  for (int i = 0; i < PageRecovery::budget; ++i) {
    rig.recovery->webProcessEnded(i == 0 ? WebProcessEnd::exceededMemory : WebProcessEnd::crashed);
    rig.main->advance(10);
  }
  EXPECT_EQ(rig.reloads, 3);
  EXPECT_TRUE(rig.lifecycle->pageReloading());
  EXPECT_EQ(rig.log->notes().front(),
            "page: its web process went past its memory limit: reloading it");
  rig.recovery->webProcessEnded(WebProcessEnd::crashed);
  EXPECT_EQ(rig.reloads, 3);
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_EQ(rig.ui->last().alert.message, pageStoppedAlert().message);
  EXPECT_EQ(rig.log->notes().back(), "page: its web process crashed or was killed, more than 3 "
                                     "times within a minute: asking the user");
  rig.ui->answerLast(-1); // dismissed: asked again
  EXPECT_EQ(rig.ui->shown.size(), 2U);
  rig.ui->answerLast(0); // Reload
  EXPECT_EQ(rig.reloads, 4);

  // The first reload's minute is over: one more comes by itself.
  rig.main->advance(30);
  rig.recovery->webProcessEnded(WebProcessEnd::crashed);
  EXPECT_EQ(rig.reloads, 5);
  rig.recovery->webProcessEnded(WebProcessEnd::crashed);
  rig.ui->answerLast(1); // Quit
  EXPECT_EQ(rig.quits, 1);
}

// While the service cannot start, that alert speaks for the window.
TEST(PageRecovery, DoesNotAskOverTheCouldNotStartAlert) {
  RecoveryRig rig;
  rig.alert->show(ApplicationAlert::Kind::couldNotStart, couldNotStartAlert("x"), {});
  for (int i = 0; i <= PageRecovery::budget; ++i) {
    rig.recovery->webProcessEnded(WebProcessEnd::crashed);
  }
  EXPECT_EQ(rig.ui->shown.size(), 1U);
}

} // namespace
} // namespace tarvo::test
