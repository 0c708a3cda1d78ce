#include "shell/ApplicationAlert.h"
#include "support/FakeLog.h"
#include "support/FakeQueues.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tarvo::test {
namespace {

using Kind = ApplicationAlert::Kind;

struct AlertRig {
  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
  std::shared_ptr<ServiceLifecycle> lifecycle =
      std::make_shared<ServiceLifecycle>(std::make_shared<FakeLog>());
  std::shared_ptr<StatusLine> status = StatusLine::make(main, ui, lifecycle);
  std::shared_ptr<ApplicationAlert> alert = ApplicationAlert::make(ui, status);
  std::vector<int> answers; // each answer, by who gave it: 10 * giver + response

  platform::AlertDone answeredBy(int giver) {
    return [this, giver](int response) { answers.push_back(10 * giver + response); };
  }
};

TEST(ApplicationAlert, ALaterFailurePutsItsTextsOnTheAlertThatIsUp) {
  AlertRig rig;
  rig.alert->show(Kind::couldNotStart, {"first", "one", {"A", "B"}, 0}, rig.answeredBy(1));
  rig.alert->show(Kind::couldNotStart, {"second", "two", {"A", "B"}, 0}, rig.answeredBy(2));
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_EQ(rig.ui->last().alert.informative, "two");
  rig.ui->answerLast(1);
  rig.ui->answerLast(0); // a stray second report is no answer
  EXPECT_EQ(rig.answers, std::vector<int>{21}) << "the latest answer runs, once";
  EXPECT_EQ(rig.alert->shown(), Kind::none);
  rig.alert->show(Kind::couldNotStart, {"third", "", {"A"}, 0}, rig.answeredBy(3));
  EXPECT_EQ(rig.ui->shown.size(), 2U) << "once answered, the next one is shown anew";
}

TEST(ApplicationAlert, AnAlertWhoseCauseWentAwayClosesUnanswered) {
  AlertRig rig;
  rig.alert->show(Kind::pageStopped, {"page", "", {"A"}, 0}, rig.answeredBy(1));
  rig.alert->close(Kind::couldNotStart); // not the one up
  EXPECT_TRUE(rig.ui->alertUp);
  // Another kind takes its place.
  rig.alert->show(Kind::couldNotStart, {"start", "", {"A"}, 0}, rig.answeredBy(2));
  EXPECT_EQ(rig.ui->shown.size(), 2U);
  EXPECT_EQ(rig.alert->shown(), Kind::couldNotStart);
  rig.alert->close(Kind::couldNotStart);
  EXPECT_FALSE(rig.ui->alertUp);
  EXPECT_TRUE(rig.answers.empty());
  EXPECT_EQ(rig.status->line(), "") << "the line is no longer held back";
  rig.lifecycle->startBegins("test");
  rig.main->advance(StatusLine::graceSeconds);
  EXPECT_NE(rig.status->line(), "");
}

} // namespace
} // namespace tarvo::test
