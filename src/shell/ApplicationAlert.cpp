#include "shell/ApplicationAlert.h"

#include <utility>

namespace tarvo {

std::shared_ptr<ApplicationAlert> ApplicationAlert::make(std::shared_ptr<platform::Ui> ui,
                                                         std::shared_ptr<StatusLine> status) {
  return std::shared_ptr<ApplicationAlert>(new ApplicationAlert(std::move(ui), std::move(status)));
}

ApplicationAlert::ApplicationAlert(std::shared_ptr<platform::Ui> ui,
                                   std::shared_ptr<StatusLine> status)
    : ui_(std::move(ui)), status_(std::move(status)) {}

void ApplicationAlert::show(Kind kind, const platform::Alert& alert, platform::AlertDone answer) {
  if (kind == kind_) {
    answer_ = std::move(answer);
    ui_->updateAlert(alert);
    return;
  }
  close(kind_);
  kind_ = kind;
  answer_ = std::move(answer);
  std::weak_ptr<ApplicationAlert> weak = weak_from_this();
  ui_->showAlert(alert, status_->whileAlertUp([weak, shown = ++alert_](int response) {
    if (auto self = weak.lock()) {
      self->answered(shown, response);
    }
  }));
}

void ApplicationAlert::close(Kind kind) {
  if (kind == Kind::none || kind != kind_) {
    return;
  }
  kind_ = Kind::none;
  answer_ = nullptr;
  ui_->closeAlert();
}

// The platform promises one answer per alert; a second one, or the report
// of an alert this class closed itself, is not an answer.
void ApplicationAlert::answered(unsigned alert, int response) {
  if (alert != alert_ || kind_ == Kind::none || response == platform::alertClosed) {
    return;
  }
  kind_ = Kind::none;
  auto answer = std::exchange(answer_, nullptr);
  if (answer) {
    answer(response);
  }
}

} // namespace tarvo
