#include "shell/QuitConfirmation.h"

#include "shell/Texts.h"

#include <utility>

namespace tarvo {

std::shared_ptr<QuitConfirmation> QuitConfirmation::make(std::shared_ptr<Backend> service,
                                                         OffMain offMain,
                                                         std::shared_ptr<platform::Ui> ui,
                                                         std::shared_ptr<StatusLine> status) {
  return std::shared_ptr<QuitConfirmation>(new QuitConfirmation(
      std::move(service), std::move(offMain), std::move(ui), std::move(status)));
}

QuitConfirmation::QuitConfirmation(std::shared_ptr<Backend> service, OffMain offMain,
                                   std::shared_ptr<platform::Ui> ui,
                                   std::shared_ptr<StatusLine> status)
    : service_(std::move(service)), offMain_(std::move(offMain)), ui_(std::move(ui)),
      status_(std::move(status)) {}

platform::TerminateReply QuitConfirmation::applicationShouldTerminate() {
  if (askingToQuit_) {
    return platform::TerminateReply::cancel;
  }
  // Until our child has answered a first ping it cannot have taken any work,
  // so there is nothing to ask about: a quit during bring-up ends at once
  // (and applicationWillTerminate calls the bring-up off).
  if (!service_->hasAnswered()) {
    return platform::TerminateReply::now;
  }
  askingToQuit_ = true;
  offMain_.run(
      weak_from_this(), [service = service_] { return service->busy(); },
      [](QuitConfirmation& self, std::optional<protocol::Busy> busy) {
        self.answerQuit(std::move(busy));
      });
  return platform::TerminateReply::later;
}

void QuitConfirmation::answerQuit(std::optional<protocol::Busy> busy) {
  if (busy && !hasWorkInFlight(*busy)) {
    replyToQuit(true);
    return;
  }
  const platform::Alert alert = busy ? inFlightAlert(*busy) : noAnswerAlert();
  const bool noAnswer = !busy;
  // The platform promises one end per sheet; the flag makes sure a deferred
  // decision is answered once even if that promise is broken.
  auto answered = std::make_shared<bool>(false);
  std::weak_ptr<QuitConfirmation> weak = weak_from_this();
  ui_->showSheet(alert, status_->whileAlertUp([weak, noAnswer, answered](int response) {
    auto self = weak.lock();
    if (!self || *answered) {
      return;
    }
    *answered = true;
    self->replyToQuit(noAnswer ? quitsAfterNoAnswer(response) : quitsAfterInFlight(response));
  }));
}

void QuitConfirmation::replyToQuit(bool quit) {
  askingToQuit_ = false;
  ui_->replyToApplicationShouldTerminate(quit);
}

} // namespace tarvo
