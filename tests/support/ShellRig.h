#pragma once

#include "shell/AppDelegate.h"
#include "support/FakeBackend.h"
#include "support/FakeDownloadFolder.h"
#include "support/FakeLog.h"
#include "support/FakeQueues.h"
#include "support/FakeUi.h"

#include <memory>

namespace tarvo::test {

// One delegate wired to a fake desktop, fake queues and a fake supervisor.
struct ShellRig {
  explicit ShellRig(bool developer = false)
      : delegate(AppDelegate::make(backend, {main, background, ui, quit, log, folder, developer})) {
  }

  std::shared_ptr<FakeMainQueue> main = std::make_shared<FakeMainQueue>();
  std::shared_ptr<FakeBackgroundQueue> background = std::make_shared<FakeBackgroundQueue>();
  std::shared_ptr<FakeUi> ui = std::make_shared<FakeUi>();
  std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
  std::shared_ptr<FakeBackgroundQueue> quit = std::make_shared<FakeBackgroundQueue>();
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  std::shared_ptr<FakeDownloadFolder> folder = std::make_shared<FakeDownloadFolder>();
  std::shared_ptr<AppDelegate> delegate;

  // Runs background and main-thread work that is due now until none is left;
  // the clock does not move.
  void drain() {
    while (background->runAll() + quit->runAll() + main->runReady() > 0) {
    }
  }
  // A death reported by the supervisor, as its onExit would on the main queue.
  void die(std::int32_t status) { delegate->serviceDied(status); }
};

} // namespace tarvo::test
