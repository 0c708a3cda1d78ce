// The health ping and the two ownership checks built on it.
#include "protocol/Replies.h"
#include "protocol/ReplySlot.h"
#include "supervisor/ChildProcess.h"
#include "supervisor/HttpSession.h"
#include "supervisor/Service.h"

namespace tarvo {

std::optional<std::string> Service::pingName(double timeout) const {
  // Waiting on the thread that runs the completions would wait for nothing.
  if (session_->onSessionThread()) {
    return std::nullopt;
  }
  HttpRequest request;
  request.url = base() + "/api/ping";
  if (!HttpSession::parsesAsUrl(request.url)) {
    return std::nullopt;
  }
  request.timeout = timeout;

  auto slot = std::make_shared<protocol::ReplySlot<std::string>>();
  session_->send(std::move(request),
                 [slot](const HttpReply& reply) { slot->fill(protocol::readPing(reply)); });
  return slot->waitFor(timeout + 0.5);
}

bool Service::isMine() const {
  std::lock_guard guard(lock_);
  return process_ != nullptr && process_->isRunning();
}

bool Service::isAlive() const {
  {
    std::lock_guard guard(lock_);
    if (process_ == nullptr || !process_->isRunning()) {
      return false;
    }
  }
  const std::optional<std::string> reported = pingName(1.2);
  return reported && *reported == name;
}

} // namespace tarvo
