// The busy query: what the backend has in flight, with a bounded wait.
#include "protocol/Replies.h"
#include "protocol/ReplySlot.h"
#include "supervisor/HttpSession.h"
#include "supervisor/Service.h"

namespace tarvo {

std::optional<Service::Busy> Service::busy(double timeout) const {
  if (session_->onSessionThread()) {
    return std::nullopt;
  }
  const std::string currentToken = token();
  if (currentToken.empty()) {
    return std::nullopt;
  }
  HttpRequest request;
  request.url = base() + "/api/busy";
  if (!HttpSession::parsesAsUrl(request.url)) {
    return std::nullopt;
  }
  request.headers.push_back("X-Studio-Token: " + currentToken);
  request.timeout = timeout;

  auto slot = std::make_shared<protocol::ReplySlot<Busy>>();
  session_->send(std::move(request),
                 [slot](const HttpReply& reply) { slot->fill(protocol::readBusy(reply)); });
  return slot->waitFor(timeout + 0.5);
}

} // namespace tarvo
