#include "shell/AppDelegate.h"

#include "shell/QuitTexts.h"

namespace tarvo {

platform::TerminateReply AppDelegate::applicationShouldTerminate() {
  if (askingToQuit_) {
    return platform::TerminateReply::cancel;
  }
  if (!service_->isMine()) {
    return platform::TerminateReply::now;
  }
  askingToQuit_ = true;
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  auto main = platform_.main;
  platform_.background->post([weak, main] {
    std::optional<Service::Busy> busy;
    std::shared_ptr<Backend> service;
    if (auto self = weak.lock()) {
      service = self->service_;
    }
    if (service) {
      busy = service->busy();
    }
    main->post([weak, busy = std::move(busy)] {
      if (auto self = weak.lock()) {
        self->answerQuit(busy);
      }
    });
  });
  return platform::TerminateReply::later;
}

void AppDelegate::answerQuit(std::optional<Service::Busy> busy) {
  if (busy && !hasWorkInFlight(*busy)) {
    replyToQuit(true);
    return;
  }
  const platform::Alert alert = busy ? inFlightAlert(*busy) : noAnswerAlert();
  const bool noAnswer = !busy;
  // The platform promises one end per sheet; the flag makes sure a deferred
  // decision is answered once even if that promise is broken.
  auto answered = std::make_shared<bool>(false);
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform_.ui->showSheet(alert, [weak, noAnswer, answered](int response) {
    auto self = weak.lock();
    if (!self || *answered) {
      return;
    }
    *answered = true;
    self->replyToQuit(noAnswer ? quitsAfterNoAnswer(response) : quitsAfterInFlight(response));
  });
}

void AppDelegate::replyToQuit(bool quit) {
  askingToQuit_ = false;
  platform_.ui->replyToApplicationShouldTerminate(quit);
}

} // namespace tarvo
