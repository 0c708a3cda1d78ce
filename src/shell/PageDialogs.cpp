#include "shell/PageDialogs.h"

#include "shell/PageTexts.h"

#include <algorithm>
#include <utility>

namespace tarvo {

std::shared_ptr<PageDialogs> PageDialogs::make(std::shared_ptr<platform::Ui> ui,
                                               std::shared_ptr<StatusLine> status) {
  return std::shared_ptr<PageDialogs>(new PageDialogs(std::move(ui), std::move(status)));
}

PageDialogs::PageDialogs(std::shared_ptr<platform::Ui> ui, std::shared_ptr<StatusLine> status)
    : ui_(std::move(ui)), status_(std::move(status)) {}

void PageDialogs::alert(const std::string& message, std::function<void()> completion) {
  show(alertDialog(message), [completion = std::move(completion)](
                                 int /*response*/, const std::string& /*text*/) { completion(); });
}

void PageDialogs::confirm(const std::string& message, std::function<void(bool)> completion) {
  show(confirmDialog(message),
       [completion = std::move(completion)](int response, const std::string& /*text*/) {
         completion(answeredOk(response));
       });
}

void PageDialogs::prompt(const std::string& message, const std::string& defaultText,
                         std::function<void(std::optional<std::string>)> completion) {
  show(promptDialog(message, defaultText),
       [completion = std::move(completion)](int response, const std::string& text) {
         completion(answeredOk(response) ? std::optional<std::string>(text) : std::nullopt);
       });
}

// The answer runs once, whoever comes first: the user, or closeAll.
void PageDialogs::show(const platform::PageDialog& dialog, Answer answer) {
  auto counted = status_->whileAlertUp(nullptr);
  auto once = std::make_shared<Answer>([answer = std::move(answer), counted = std::move(counted)](
                                           int response, const std::string& text) {
    answer(response, text);
    counted(response);
  });
  open_.push_back(once);
  std::weak_ptr<PageDialogs> weak = weak_from_this();
  ui_->showPageDialog(dialog, [weak, once](int response, const std::string& text) {
    if (*once) {
      auto run = std::move(*once);
      *once = nullptr;
      run(response, text);
    }
    if (auto self = weak.lock()) {
      std::erase(self->open_, once);
    }
  });
}

void PageDialogs::closeAll() {
  if (open_.empty()) {
    return;
  }
  auto closing = std::move(open_);
  open_.clear();
  for (const auto& once : closing) {
    if (*once) {
      auto run = std::move(*once);
      *once = nullptr;
      run(-1, {});
    }
  }
  ui_->closePageDialogs();
}

} // namespace tarvo
