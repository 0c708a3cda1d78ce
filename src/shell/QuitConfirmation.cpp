#include "shell/QuitConfirmation.h"

#include "shell/Texts.h"

#include <string>
#include <utility>

namespace tarvo {

std::shared_ptr<QuitConfirmation> QuitConfirmation::make(std::shared_ptr<Backend> service,
                                                         OffMain offMain,
                                                         std::shared_ptr<platform::Ui> ui,
                                                         std::shared_ptr<StatusLine> status,
                                                         std::shared_ptr<platform::Log> log) {
  return std::shared_ptr<QuitConfirmation>(new QuitConfirmation(
      std::move(service), std::move(offMain), std::move(ui), std::move(status), std::move(log)));
}

QuitConfirmation::QuitConfirmation(std::shared_ptr<Backend> service, OffMain offMain,
                                   std::shared_ptr<platform::Ui> ui,
                                   std::shared_ptr<StatusLine> status,
                                   std::shared_ptr<platform::Log> log)
    : service_(std::move(service)), offMain_(std::move(offMain)), ui_(std::move(ui)),
      status_(std::move(status)), log_(std::move(log)) {}

platform::TerminateReply QuitConfirmation::applicationShouldTerminate() {
  if (askingToQuit_) {
    log_->note("quit: asked again while the first request is decided: refused");
    return platform::TerminateReply::cancel;
  }
  // Until our child has answered a first ping it cannot have taken any work,
  // so there is nothing to ask about: a quit during bring-up ends at once
  // (and applicationWillTerminate calls the bring-up off).
  if (!service_->hasAnswered()) {
    log_->note("quit: asked while no service of ours has answered: quitting at once");
    return platform::TerminateReply::now;
  }
  log_->note("quit: asked; asking the service what is in flight");
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
    replyToQuit(true, "nothing is in flight");
    return;
  }
  log_->note(busy ? "quit: work is in flight: asking the user"
                  : "quit: the service did not answer: asking the user");
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
    const bool quit = noAnswer ? quitsAfterNoAnswer(response) : quitsAfterInFlight(response);
    self->replyToQuit(quit, response < 0 ? "the question was dismissed"
                            : quit       ? "the user chose to quit anyway"
                                         : "the user chose to stay open");
  }));
}

void QuitConfirmation::replyToQuit(bool quit, std::string_view why) {
  log_->note("quit: " + std::string(why) + (quit ? ": quitting" : ": staying open"));
  askingToQuit_ = false;
  ui_->replyToApplicationShouldTerminate(quit);
}

} // namespace tarvo
