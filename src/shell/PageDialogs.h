#pragma once

#include "platform/Ui.h"
#include "shell/StatusLine.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo {

// alert(), confirm() and prompt() of the page, each a sheet on the window.
// The page waits for its answer; a dialog still open when the page goes
// (it navigates, the service restarts, the application quits) is answered
// as cancelled (false, null) and closed. Main thread only.
class PageDialogs : public std::enable_shared_from_this<PageDialogs> {
public:
  static std::shared_ptr<PageDialogs> make(std::shared_ptr<platform::Ui> ui,
                                           std::shared_ptr<StatusLine> status);

  void alert(const std::string& message, std::function<void()> completion);
  void confirm(const std::string& message, std::function<void(bool)> completion);
  void prompt(const std::string& message, const std::string& defaultText,
              std::function<void(std::optional<std::string>)> completion);
  void closeAll();

private:
  using Answer = std::function<void(int response, const std::string& text)>;

  PageDialogs(std::shared_ptr<platform::Ui> ui, std::shared_ptr<StatusLine> status);
  void show(const platform::PageDialog& dialog, Answer answer);

  std::shared_ptr<platform::Ui> ui_;
  std::shared_ptr<StatusLine> status_;
  std::vector<std::shared_ptr<Answer>> open_; // each answered once, then emptied
};

} // namespace tarvo
