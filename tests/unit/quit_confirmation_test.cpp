#include "shell/QuitConfirmation.h"
#include "shell/Texts.h"
#include "support/FakeBackend.h"
#include "support/FakeLog.h"
#include "support/FakeQueues.h"
#include "support/FakeUi.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::test {
namespace {

using platform::TerminateReply;

// The quit confirmation alone, on a fake desktop and fake queues.
struct QuitRig {
  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeBackgroundQueue> background = std::make_shared<FakeBackgroundQueue>();
  std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
  std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  std::shared_ptr<QuitConfirmation> quit = QuitConfirmation::make(
      backend, OffMain(background, main), ui,
      StatusLine::make(main, ui, std::make_shared<ServiceLifecycle>(log)), log);

  void drain() {
    while (background->runAll() + main->runReady() > 0) {
    }
  }
};

protocol::Busy busy(std::int64_t running, std::int64_t pending, std::int64_t chats) {
  return {running, pending, chats, {}};
}

// A quit request with the own backend running, up to the moment the answer
// of the busy query has been handled on the main thread.
TerminateReply askToQuit(QuitRig& rig, std::optional<protocol::Busy> answer) {
  rig.backend->busyAnswer = std::move(answer);
  const auto reply = rig.quit->applicationShouldTerminate();
  rig.drain();
  return reply;
}

// A child that has not answered its first ping cannot have taken work.
TEST(QuitConfirmation, NoAnsweringBackendQuitsAtOnceWithoutAQuery) {
  QuitRig rig;
  rig.backend->answered = false;
  EXPECT_EQ(rig.quit->applicationShouldTerminate(), TerminateReply::now);
  EXPECT_EQ(rig.background->size(), 0U);
  EXPECT_EQ(rig.backend->busyQueries, 0);
  EXPECT_FALSE(rig.quit->askingToQuit());
  EXPECT_EQ(rig.log->notes(), std::vector<std::string>{"quit: asked while no service of ours "
                                                       "has answered: quitting at once"});
}

TEST(QuitConfirmation, NothingInFlightQuitsWithoutASheet) {
  QuitRig rig;
  rig.backend->busyAnswer = busy(0, 0, 0);
  EXPECT_EQ(rig.quit->applicationShouldTerminate(), TerminateReply::later);
  EXPECT_TRUE(rig.quit->askingToQuit());
  EXPECT_EQ(rig.backend->busyQueries, 0); // not on the main thread
  rig.drain();
  EXPECT_EQ(rig.backend->busyQueries, 1);
  EXPECT_TRUE(rig.ui->shown.empty());
  EXPECT_EQ(rig.ui->replies, std::vector<bool>{true});
  EXPECT_FALSE(rig.quit->askingToQuit());
}

TEST(QuitConfirmation, SecondRequestIsRefusedWhileTheFirstGoesOn) {
  QuitRig rig;
  rig.backend->busyAnswer = busy(1, 0, 0);
  EXPECT_EQ(rig.quit->applicationShouldTerminate(), TerminateReply::later);
  EXPECT_EQ(rig.quit->applicationShouldTerminate(), TerminateReply::cancel); // querying
  rig.drain();
  ASSERT_EQ(rig.ui->shown.size(), 1U);
  EXPECT_EQ(rig.quit->applicationShouldTerminate(), TerminateReply::cancel); // asking
  EXPECT_EQ(rig.backend->busyQueries, 1);
  EXPECT_TRUE(rig.ui->replies.empty());
  rig.ui->answerLast(0); // Stay open
  EXPECT_EQ(rig.ui->replies, std::vector<bool>{false});
  EXPECT_FALSE(rig.quit->askingToQuit());
  // A later request asks the backend afresh.
  EXPECT_EQ(askToQuit(rig, busy(0, 0, 0)), TerminateReply::later);
  EXPECT_EQ(rig.backend->busyQueries, 2);
  EXPECT_EQ(rig.ui->replies, (std::vector<bool>{false, true}));
  EXPECT_EQ(rig.log->notes(), (std::vector<std::string>{
                                  "quit: asked; asking the service what is in flight",
                                  "quit: asked again while the first request is decided: refused",
                                  "quit: work is in flight: asking the user",
                                  "quit: asked again while the first request is decided: refused",
                                  "quit: the user chose to stay open: staying open",
                                  "quit: asked; asking the service what is in flight",
                                  "quit: nothing is in flight: quitting",
                              }));
}

struct Ending {
  std::optional<protocol::Busy> answer;
  int response;
  bool quits;
};

TEST(QuitConfirmation, EachSheetEndingRepliesOnce) {
  const Ending endings[] = {
      {std::nullopt, 0, true},    // Quit anyway, the default
      {std::nullopt, 1, false},   // Stay open
      {std::nullopt, -1, false},  // dismissed
      {busy(0, 0, 2), 0, false},  // Stay open, the default
      {busy(0, 0, 2), 1, true},   // Quit anyway
      {busy(0, 0, 2), -1, false}, // dismissed: work in flight is not thrown away
  };
  for (const auto& ending : endings) {
    SCOPED_TRACE(std::string(ending.answer ? "in flight" : "no answer") + ", response " +
                 std::to_string(ending.response));
    QuitRig rig;
    EXPECT_EQ(askToQuit(rig, ending.answer), TerminateReply::later);
    ASSERT_EQ(rig.ui->shown.size(), 1U);
    EXPECT_TRUE(rig.ui->last().sheet);
    EXPECT_EQ(rig.ui->last().alert.message,
              ending.answer ? inFlightAlert(*ending.answer).message : noAnswerAlert().message);
    EXPECT_TRUE(rig.quit->askingToQuit());
    EXPECT_TRUE(rig.ui->replies.empty());
    rig.ui->answerLast(ending.response);
    EXPECT_EQ(rig.ui->replies, std::vector<bool>{ending.quits});
    EXPECT_FALSE(rig.quit->askingToQuit());
    rig.ui->answerLast(ending.response); // a stray second end is not a second reply
    EXPECT_EQ(rig.ui->replies.size(), 1U);
    const std::string why = ending.response < 0 ? "the question was dismissed"
                            : ending.quits      ? "the user chose to quit anyway"
                                                : "the user chose to stay open";
    EXPECT_EQ(rig.log->notes().back(),
              "quit: " + why + (ending.quits ? ": quitting" : ": staying open"));
  }
}

TEST(QuitConfirmation, NothingHappensOnceItIsGone) {
  QuitRig rig;
  EXPECT_EQ(rig.quit->applicationShouldTerminate(), TerminateReply::later);
  rig.quit.reset();
  rig.drain();
  EXPECT_EQ(rig.backend->busyQueries, 0);
  EXPECT_TRUE(rig.ui->calls.empty());
}

} // namespace
} // namespace tarvo::test
