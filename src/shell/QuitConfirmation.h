#pragma once

#include "platform/Delegate.h"
#include "platform/Log.h"
#include "platform/Ui.h"
#include "shell/Backend.h"
#include "shell/OffMain.h"
#include "shell/StatusLine.h"

#include <memory>
#include <optional>
#include <string_view>

namespace tarvo {

// Stands between a request to quit and the end: while the application's own
// backend runs, the decision is deferred, the backend is asked what is in
// flight off the main thread, and the user chooses when anything is (or when
// it cannot tell). Each request and its answer leave a line in the log. Main
// thread only, so its state needs no lock.
class QuitConfirmation : public std::enable_shared_from_this<QuitConfirmation> {
public:
  static std::shared_ptr<QuitConfirmation> make(std::shared_ptr<Backend> service, OffMain offMain,
                                                std::shared_ptr<platform::Ui> ui,
                                                std::shared_ptr<StatusLine> status,
                                                std::shared_ptr<platform::Log> log);

  [[nodiscard]] platform::TerminateReply applicationShouldTerminate();
  // The busy query's answer, or none: quits at once or asks the user. Every
  // path ends in exactly one reply to the open decision.
  void answerQuit(std::optional<protocol::Busy> busy);

  [[nodiscard]] bool askingToQuit() const { return askingToQuit_; }

private:
  QuitConfirmation(std::shared_ptr<Backend> service, OffMain offMain,
                   std::shared_ptr<platform::Ui> ui, std::shared_ptr<StatusLine> status,
                   std::shared_ptr<platform::Log> log);
  void replyToQuit(bool quit, std::string_view why);

  std::shared_ptr<Backend> service_;
  OffMain offMain_;
  std::shared_ptr<platform::Ui> ui_;
  std::shared_ptr<StatusLine> status_; // gives way while a sheet is up
  std::shared_ptr<platform::Log> log_;
  bool askingToQuit_ = false;
};

} // namespace tarvo
