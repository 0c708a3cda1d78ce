#pragma once

#include "platform/Ui.h"
#include "shell/StatusLine.h"

#include <memory>

namespace tarvo {

// The application's own alert, one at a time: a later failure puts its
// texts on the alert that is up rather than stack another on it, and an
// alert whose cause went away is taken off the screen. Main thread only.
class ApplicationAlert : public std::enable_shared_from_this<ApplicationAlert> {
public:
  enum class Kind { none, couldNotStart, pageStopped };

  static std::shared_ptr<ApplicationAlert> make(std::shared_ptr<platform::Ui> ui,
                                                std::shared_ptr<StatusLine> status);

  // Shows `alert`; when one of the same kind is up, it takes these texts
  // instead, and `answer` is what answers it now. One of another kind gives
  // way to it. `answer` runs once, with the button chosen or -1.
  void show(Kind kind, const platform::Alert& alert, platform::AlertDone answer);
  // Takes the alert off the screen if it is of `kind`; its answer never runs.
  void close(Kind kind);

  [[nodiscard]] Kind shown() const { return kind_; }

private:
  ApplicationAlert(std::shared_ptr<platform::Ui> ui, std::shared_ptr<StatusLine> status);
  void answered(unsigned alert, int response);

  std::shared_ptr<platform::Ui> ui_;
  std::shared_ptr<StatusLine> status_; // gives way while the alert is up
  Kind kind_ = Kind::none;
  unsigned alert_ = 0; // which showing an answer belongs to
  platform::AlertDone answer_;
};

} // namespace tarvo
